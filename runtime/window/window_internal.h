// The window library's own records and helpers, shared by its source files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "runtime/core/core.h"

// Marker for "not handled here, give it default processing". An odd value
// that no handler returns as a real result.
constexpr LRESULT NOT_HANDLED = static_cast<LRESULT>(0xD0D0D0D1u);

// Commands of the Tab accelerators.
constexpr WORD CMD_FOCUS_NEXT = 1212;
constexpr WORD CMD_FOCUS_PREVIOUS = 1213;

// Private window messages (application range).
constexpr UINT MSG_TRAY_CALLBACK = 12501;
constexpr UINT MSG_TRAY_EVENT = 12502;
constexpr UINT MSG_CONTROL_EVENT = 13103;

// A control whose WM_COMMAND is reported as a menu command.
constexpr LONG MENU_CONTROL_ID = -10000;

constexpr int CLASS_NAME_SIZE = 50;

struct WindowRecord {
    HWND window;              // 0 = empty slot
    int32_t acceleratorCount; // 2 once the Tab pair was built
    ACCEL* accelerators;      // RuntimeHeap array behind acceleratorTable
    HACCEL acceleratorTable;
};

struct EventState {
    int32_t eventCode;    // recorded during a dispatch; 0 = none
    int32_t eventType;    // click kind, notification code or up-down step; -1 each poll
    HWND eventWindow;
    int32_t eventItem;    // control, menu, command or tray identifier
    WPARAM eventWParam;
    LPARAM eventLParam;
    int32_t pendingEvent; // size or activate, delivered by the next poll
    HWND pendingWindow;
};

struct LiveSizingState {
    int32_t active;
    HWND window;          // the window being sized
    int32_t edge;         // 0 = keyboard sizing with no edge chosen, else WMSZ_*
    RECT currentRect;     // screen coordinates
    RECT startRect;       // restored by Esc
    MINMAXINFO limits;    // only the track sizes are used
    POINT savedCursor;
    int32_t restoreCursor;
};

// One window disabled by a requester; a list object of ObjectNodeHeap.
struct DisabledWindowRecord {
    DWORD threadId;
    HWND window;
};

struct WindowSystemState {
    ObjectTableOf<WindowRecord> windows;
    WNDCLASSA classTemplate;
    char classNameBuffer[CLASS_NAME_SIZE];  // "WindowClass_%ld" of the window at hand
    EventState events;
    MSG lastMessage;                        // the message the last poll took
    char controlClassName[CLASS_NAME_SIZE]; // class of a control that sent an event
    LiveSizingState sizing;
    ObjectNode* disabledWindows;            // requester's list, newest first
};
extern WindowSystemState WindowSystem;

void FormatWindowClassName(ObjectId number);
HACCEL FindAcceleratorTable(HWND window);
LRESULT DispatchWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT HandleLiveSizing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void FocusNextControl();
void FocusPreviousControl();
