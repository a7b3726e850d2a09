// Helpers for tests of windows, events and message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "support/testbed.h"

// Polls PollWindowEvent until no event is waiting, and discards a code that
// window creation or a direct dispatch left recorded, so the next poll
// reports only what the test itself causes.
void DrainWindowEvents();

// The client and outer rectangles of a window, in screen coordinates.
RECT ClientRectOnScreen(HWND window);
RECT OuterRect(HWND window);

// The class name and the text of a window ("" when it has none).
std::string ClassNameOf(HWND window);
std::string WindowText(HWND window);

// A window of this thread with the given class, or null, and how many there
// are (of any class for null). Unlike FindWindow these never see the windows
// of another test program running alongside.
HWND FindThreadWindow(const char* className);
int CountThreadWindows(const char* className = nullptr);

// Sends a real key press and release through the input queue of the thread,
// with Shift held when `shift`. The keys reach the window with the focus.
void TypeKey(WORD virtualKey, bool shift = false);

// Sends one real key press or release through the input queue, as a keyboard
// would: low-level hooks and DirectInput see it.
void SendKeyEvent(WORD virtualKey, bool up);

// Another program's low-level keyboard hook, on a thread of its own, that
// keeps every key from the hooks set before it, while it lives.
class KeySwallower {
public:
    KeySwallower();
    ~KeySwallower();

private:
    HANDLE ready_;
    DWORD threadId_ = 0;
    std::thread thread_;
};

// What a watcher saw of a message box.
struct MessageBoxSeen {
    bool found = false;
    std::string caption;
    std::string text;  // the box's message text
    HWND owner = nullptr;
};

// Watches from a second thread for a message box of this process captioned
// `caption`, reads it, runs `whileOpen` (on the watcher's thread) while the
// box is still open, then presses `button` (IDOK, IDNO, ...). A box that does
// not appear within WAIT_LIMIT_MS is reported as not found.
class MessageBoxWatcher {
public:
    MessageBoxWatcher(std::string caption, int button, std::function<void(HWND box)> whileOpen = nullptr);
    ~MessageBoxWatcher();
    // Waits for the watcher to finish and returns what it saw.
    const MessageBoxSeen& Finish();

private:
    void Watch();
    std::string caption_;
    int button_;
    std::function<void(HWND)> whileOpen_;
    MessageBoxSeen seen_;
    std::thread thread_;
};
