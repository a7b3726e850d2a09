// Helpers shared by the test programs; each test program runs under Wine.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The bound of a wait for what should come: only a fault reaches it, load does not.
constexpr DWORD WAIT_LIMIT_MS = 30000;

// Dispatches the thread's messages until `done` holds or `timeoutMs` passes;
// returns whether `done` held. Tests wait on conditions, never fixed sleeps.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs = WAIT_LIMIT_MS);

// Dispatches whatever is pending now, without waiting.
void FlushMessages();

// The folder holding the test programs and the generated pop sounds.
std::string BuildFolder();

// The Unix path in an environment variable as Wine sees it (the host's root
// is drive Z:), or empty when the variable is unset.
std::string WindowsPathFromEnvironment(const char* variable);

// The file that ALSA's default device writes (16-bit stereo, 44.1 kHz),
// or empty when the test bed has no capture.
std::string CaptureFilePath();
