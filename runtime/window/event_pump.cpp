// The non-blocking event pump and the window procedure every window class
// shares: platform messages in, the library's event codes out.
#include "runtime/window/window.h"
#include "runtime/window/window_internal.h"

#include <commctrl.h>

#include <cstring>

namespace {

EventState& Events() { return WindowSystem.events; }

bool IsKeyDown(int key) { return (GetKeyState(key) & 0x80) != 0; }

// First four characters of a window's class name; an unreadable class leaves
// the emptied buffer, which matches no prefix.
bool ClassBeginsWith(HWND window, const char* prefix) {
    char* name = WindowSystem.controlClassName;
    std::memset(name, 0, CLASS_NAME_SIZE);
    GetClassNameA(window, name, CLASS_NAME_SIZE);
    return std::strncmp(name, prefix, 4) == 0;
}

// A plain Tab in a rich-edit control is the control's own (it inserts a tab),
// so the accelerators stay out of its way; Shift+Tab still walks the focus.
HACCEL SelectAccelerators(HWND active) {
    if (IsKeyDown(VK_TAB) && !IsKeyDown(VK_CONTROL) && !IsKeyDown(VK_SHIFT) && !IsKeyDown(VK_MENU)) {
        char name[5] = {};
        GetClassNameA(GetFocus(), name, sizeof name);
        if (std::strncmp(name, "Rich", 4) == 0) return nullptr;
    }
    return FindAcceleratorTable(active);
}

HWND RootAncestor(HWND window) {
    for (HWND parent = GetParent(window); parent; parent = GetParent(window)) window = parent;
    return window;
}

void RecordControlEvent(int32_t item) {
    Events().eventCode = EVENT_CONTROL;
    Events().eventItem = item;
    Events().eventWindow = RootAncestor(Events().eventWindow);
}

int32_t ClickKind(UINT code) {
    switch (code) {
        case NM_CLICK: return 0;
        case NM_RCLICK: return 1;
        case NM_DBLCLK: return 2;
        case NM_RDBLCLK: return 3;
        case LVN_ITEMACTIVATE: return 2;
        default: return -1;
    }
}

LRESULT HandleNotify(LPARAM lParam) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header) return 0;
    int32_t item = static_cast<int32_t>(header->idFrom);
    if (ClassBeginsWith(header->hwndFrom, "SysT") || ClassBeginsWith(header->hwndFrom, "SysL")) {
        int32_t kind = ClickKind(header->code);
        if (kind != -1) Events().eventType = kind;
        if (Events().eventType != -1 || header->code == TVN_SELCHANGEDA || header->code == LVN_ITEMCHANGED) {
            RecordControlEvent(item);
            return 0;
        }
    }
    if ((ClassBeginsWith(header->hwndFrom, "SysD") && header->code == DTN_DATETIMECHANGE) ||
        (ClassBeginsWith(header->hwndFrom, "SysM") && header->code == MCN_SELCHANGE)) {
        RecordControlEvent(item);
        return 0;
    }
    if (header->code == UDN_DELTAPOS) {
        Events().eventType = reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta;
        RecordControlEvent(item);
    }
    return 0;
}

LRESULT HandleScroll(LPARAM lParam) {
    RecordControlEvent(GetWindowLongA(reinterpret_cast<HWND>(lParam), GWL_ID));
    return 0;
}

void HandleControlCommand(WPARAM wParam, HWND control) {
    EventState& events = Events();
    events.eventCode = EVENT_CONTROL;
    events.eventType = HIWORD(wParam);
    events.eventItem = GetWindowLongA(control, GWL_ID);
    if (events.eventItem == MENU_CONTROL_ID) {
        events.eventCode = EVENT_MENU;
        events.eventItem = LOWORD(wParam);
    }
    if (ClassBeginsWith(control, "List")) {
        if (HIWORD(wParam) == LBN_SELCHANGE)
            events.eventType = 0;
        else if (HIWORD(wParam) != LBN_DBLCLK)
            events.eventCode = 0;
    }
}

LRESULT HandleCommand(WPARAM wParam, LPARAM lParam) {
    if (lParam) {
        HandleControlCommand(wParam, reinterpret_cast<HWND>(lParam));
    } else if (HIWORD(wParam) == 0) {
        Events().eventCode = EVENT_MENU;
        Events().eventItem = static_cast<int32_t>(wParam);
    } else if (LOWORD(wParam) == CMD_FOCUS_NEXT) {
        FocusNextControl();
    } else if (LOWORD(wParam) == CMD_FOCUS_PREVIOUS) {
        FocusPreviousControl();
    } else {
        Events().eventCode = EVENT_MENU;
        Events().eventItem = LOWORD(wParam);
    }
    return 0;
}

LRESULT HandleTrayEvent(WPARAM wParam, LPARAM lParam) {
    EventState& events = Events();
    events.eventCode = 0;
    events.eventItem = static_cast<int32_t>(wParam);
    int32_t kind;
    switch (lParam) {
        case WM_LBUTTONUP: kind = 0; break;
        case WM_RBUTTONUP: kind = 1; break;
        case WM_LBUTTONDBLCLK: kind = 2; break;
        case WM_RBUTTONDBLCLK: kind = 3; break;
        default: return 0;  // mouse moves and the rest are not events
    }
    events.eventCode = EVENT_TRAY;
    events.eventType = kind;
    return 0;
}

// The tray icon's callback arrives sent, in the middle of whatever the shell
// is doing; it becomes an event only when a later poll takes the repost.
LRESULT HandleTrayCallback(HWND window, WPARAM wParam, LPARAM lParam) {
    PostMessageA(window, MSG_TRAY_EVENT, wParam, lParam);
    return 0;
}

LRESULT RecordEvent(int32_t code) {
    Events().eventCode = code;
    return 0;
}

// Size and activation are reported one poll late, so that a burst of them
// (a restore activates and resizes) reaches the program as its last one.
LRESULT DeferEvent(HWND window, int32_t code) {
    Events().pendingEvent = code;
    Events().pendingWindow = window;
    return 0;
}

LRESULT HandleSize(HWND window, WPARAM wParam) {
    if (wParam == SIZE_MINIMIZED) return NOT_HANDLED;
    return DeferEvent(window, EVENT_SIZE_WINDOW);
}

LRESULT HandleActivate(HWND window, WPARAM wParam) {
    if (LOWORD(wParam) != WA_INACTIVE) DeferEvent(window, EVENT_ACTIVATE_WINDOW);
    return 1;
}

}  // namespace

int32_t PollWindowEvent() {
    EventState& events = Events();
    events.eventType = -1;
    if (events.pendingEvent != 0) {
        int32_t code = events.pendingEvent;
        events.eventWindow = events.pendingWindow;
        events.pendingEvent = 0;
        events.eventCode = 0;
        return code;
    }

    MSG& msg = WindowSystem.lastMessage;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return EVENT_NONE;

    HWND active = GetActiveWindow();
    HACCEL accelerators = SelectAccelerators(active);
    if (!accelerators || !TranslateAcceleratorA(active, accelerators, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    int32_t code = events.eventCode;
    if (code == 0) {
        code = static_cast<int32_t>(msg.message);
        events.eventWParam = msg.wParam;
        events.eventLParam = msg.lParam;
    }
    events.eventCode = 0;
    return code;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DispatchWindowMessage(window, message, wParam, lParam);
    if (result == NOT_HANDLED) return DefWindowProcA(window, message, wParam, lParam);
    return result;
}

LRESULT DispatchWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    EventState& events = Events();
    events.eventWindow = window;
    events.eventWParam = wParam;
    events.eventLParam = lParam;
    if (HandleLiveSizing(window, message, wParam, lParam) != NOT_HANDLED) return 0;

    switch (message) {
        case MSG_CONTROL_EVENT:
            events.eventCode = EVENT_CONTROL;
            events.eventItem = static_cast<int32_t>(wParam);
            events.eventType = static_cast<int32_t>(lParam);
            return 0;
        case WM_NOTIFY: return HandleNotify(lParam);
        case WM_HSCROLL:
        case WM_VSCROLL: return HandleScroll(lParam);
        case WM_COMMAND: return HandleCommand(wParam, lParam);
        case MSG_TRAY_EVENT: return HandleTrayEvent(wParam, lParam);
        case MSG_TRAY_CALLBACK: return HandleTrayCallback(window, wParam, lParam);
        case WM_MOVE: return RecordEvent(EVENT_MOVE_WINDOW);
        case WM_CLOSE: return RecordEvent(EVENT_CLOSE_WINDOW);
        case WM_SIZE: return HandleSize(window, wParam);
        case WM_ACTIVATE: return HandleActivate(window, wParam);
        default: return NOT_HANDLED;
    }
}
