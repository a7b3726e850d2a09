// The message requester: a message box that is modal for every window of the
// calling thread, not only for its owner.
#include "runtime/window/window.h"
#include "runtime/window/window_internal.h"

namespace {

DWORD ThreadOfWindow(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

BOOL CALLBACK DisableIfThreadWindow(HWND window, LPARAM) {
    if (ThreadOfWindow(window) != GetCurrentThreadId()) return TRUE;
    if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    if (window == GetForegroundWindow()) return TRUE;
    // The record comes first: a window whose record cannot be kept would
    // never be enabled again, so it is better left enabled.
    auto* record = static_cast<DisabledWindowRecord*>(
        AllocObjectNode(&WindowSystem.disabledWindows, sizeof(DisabledWindowRecord)));
    if (!record) return TRUE;
    EnableWindow(window, FALSE);
    record->window = window;
    record->threadId = GetCurrentThreadId();
    return TRUE;
}

void DisableThreadWindows() { EnumWindows(DisableIfThreadWindow, 0); }

HWND RequesterOwnerWindow() {
    HWND foreground = GetForegroundWindow();
    if (!foreground) return nullptr;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() ? foreground : nullptr;
}

// Newest first, so windows come back in the reverse order of their disabling.
void ReenableThreadWindows() {
    for (ObjectNode* node = WindowSystem.disabledWindows; node;) {
        ObjectNode* next = node->next;
        auto* record = reinterpret_cast<DisabledWindowRecord*>(node + 1);
        if (record->threadId == GetCurrentThreadId()) {
            EnableWindow(record->window, TRUE);  // fails harmlessly for a window destroyed meanwhile
            FreeObjectNode(&WindowSystem.disabledWindows, record);
        }
        node = next;
    }
}

}  // namespace

int ShowMessageBox(const char* title, const char* text, UINT flags) {
    DisableThreadWindows();
    HWND owner = RequesterOwnerWindow();
    int result = MessageBoxA(owner, text, title, flags);
    ReenableThreadWindows();
    return result;
}

int ShowMessageBox(const char* title, const char* text) { return ShowMessageBox(title, text, 0); }
