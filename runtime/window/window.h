// Windows and events: numbered application windows, the non-blocking event
// pump with the shared window procedure, and the modal message requester.
#pragma once

#include <windows.h>

#include <cstdint>

#include "runtime/core/core.h"

// Creation flags of CreateAppWindow, besides the Win32 style bits.
constexpr uint32_t WINDOW_CENTER_SCREEN = 0x1;
constexpr uint32_t WINDOW_CENTER_ACTIVE = 0x2;
constexpr uint32_t WINDOW_INVISIBLE = 0x10000000;  // WS_VISIBLE read inverted

// Event codes of PollWindowEvent (any other non-zero code is a message number).
constexpr int32_t EVENT_NONE = 0;
constexpr int32_t EVENT_MOVE_WINDOW = 3;
constexpr int32_t EVENT_SIZE_WINDOW = 5;
constexpr int32_t EVENT_CLOSE_WINDOW = 16;
constexpr int32_t EVENT_CONTROL = 13100;
constexpr int32_t EVENT_MENU = 13101;
constexpr int32_t EVENT_TRAY = 13102;
constexpr int32_t EVENT_ACTIVATE_WINDOW = 13104;

// Window objects
ATOM InitWindowSystem();
uintptr_t CreateAppWindow(ObjectId number, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags,
                          const char* title);  // window handle (list handle for -1), 0 on failure
HWND GetAppWindowHandle(ObjectId number);
void DestroyAppWindow(ObjectId number);
void DestroyAllAppWindows();

// Event pump
int32_t PollWindowEvent();
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Message requester: modal for the thread's windows; returns MessageBoxA's result.
int ShowMessageBox(const char* title, const char* text, UINT flags);
int ShowMessageBox(const char* title, const char* text);  // flags 0 (MB_OK)
