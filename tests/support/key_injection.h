// Real key events for keyboard tests. Wine cannot start a host program, so a
// key server on the host (tests/e2e/keyboard_keys_test.sh) runs xdotool for
// us: a request file in the folder named by PLIMBA_KEY_SERVER holds the
// xdotool arguments, and the server answers with a done file holding its exit
// status. xdotool presses keys through XTEST as a user would, so DirectInput
// sees them the ordinary way.
#pragma once

#include <string>

// Whether a key server is there to press keys for this test process.
bool CanInjectKeys();

// Has the key server run xdotool with these arguments ("keydown Escape") and
// waits for it to finish; false when there is no server or xdotool failed.
bool InjectKeys(const std::string& xdotoolArguments);
