// Tab and Shift+Tab: the focus walks over the enabled, visible tab-stop
// controls of the active window in the platform's child order, wrapping at
// both ends.
#include "runtime/window/window_internal.h"

namespace {

struct FocusWalk {
    HWND current;   // focused control of the active window, or none
    HWND previous;  // last qualifying control seen (Shift+Tab)
    bool found;     // current was passed (Tab)
    bool done;      // the focus moved (Shift+Tab)
};

bool QualifiesForFocus(HWND control) {
    return IsWindowEnabled(control) && IsWindowVisible(control) &&
           (GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP) != 0;
}

HWND FocusedChildOf(HWND active) {
    HWND focus = GetFocus();
    return focus && IsChild(active, focus) ? focus : nullptr;
}

BOOL CALLBACK VisitNext(HWND control, LPARAM parameter) {
    auto* walk = reinterpret_cast<FocusWalk*>(parameter);
    if (!QualifiesForFocus(control)) return TRUE;
    if (walk->found) {
        SetFocus(control);
        walk->found = false;
        return FALSE;
    }
    if (!walk->current) {
        SetFocus(control);
        return FALSE;
    }
    if (control == walk->current) walk->found = true;
    return TRUE;
}

BOOL CALLBACK VisitPrevious(HWND control, LPARAM parameter) {
    auto* walk = reinterpret_cast<FocusWalk*>(parameter);
    if (!QualifiesForFocus(control)) return TRUE;
    if (control == walk->current && walk->previous) {
        SetFocus(walk->previous);
        walk->done = true;
        return FALSE;
    }
    walk->previous = control;
    return TRUE;
}

}  // namespace

void FocusNextControl() {
    HWND active = GetActiveWindow();
    if (!active) return;
    FocusWalk walk{FocusedChildOf(active), nullptr, false, false};
    EnumChildWindows(active, VisitNext, reinterpret_cast<LPARAM>(&walk));
    // Still set: the focus was on the last control, so a second round hands
    // it to the first.
    if (walk.found) EnumChildWindows(active, VisitNext, reinterpret_cast<LPARAM>(&walk));
}

void FocusPreviousControl() {
    HWND active = GetActiveWindow();
    if (!active) return;
    FocusWalk walk{FocusedChildOf(active), nullptr, false, false};
    EnumChildWindows(active, VisitPrevious, reinterpret_cast<LPARAM>(&walk));
    // Not moved: the focus was on the first control (or on none), so it wraps
    // to the last one.
    if (!walk.done && walk.previous) SetFocus(walk.previous);
}
