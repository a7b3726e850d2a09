// LiveSizing: sizing a window message by message inside the program's own
// event flow, in place of the platform's modal sizing loop, which would stop
// the frame loop for as long as the user drags.
#include "runtime/window/window_internal.h"

namespace {

LiveSizingState& Sizing() { return WindowSystem.sizing; }

void FillSizeLimits(HWND window) {
    MINMAXINFO& limits = Sizing().limits;
    limits.ptReserved = POINT{0, 0};
    limits.ptMaxSize = POINT{GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)};
    if (GetWindowLongA(window, GWL_STYLE) & WS_BORDER)
        limits.ptMaxPosition = POINT{GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)};
    else if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_WINDOWEDGE)
        limits.ptMaxPosition = POINT{GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)};
    else
        limits.ptMaxPosition = POINT{0, 0};
    limits.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    limits.ptMaxTrackSize = POINT{GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
}

void ShowSizingCursor(WORD cursor) {
    SetCursor(static_cast<HCURSOR>(
        LoadImageA(nullptr, MAKEINTRESOURCEA(cursor), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED)));
}

void PlaceSizingCursor(WORD cursor, LONG x, LONG y) {
    SetCursorPos(x, y);
    ShowSizingCursor(cursor);
}

// The moving edge of a span whose other edge stays put, kept so that the span
// lies within the size limits; direction is +1 for a right or bottom edge,
// -1 for a left or top one.
LONG ClampMovingEdge(LONG moving, LONG fixed, int direction, LONG minSize, LONG maxSize) {
    LONG size = direction * (moving - fixed);
    if (size < minSize) return fixed + direction * minSize;
    if (size > maxSize) return fixed + direction * maxSize;
    return moving;
}

// Right and bottom edges are taken 2 pixels inside the point, the top-left
// corner 2 pixels out, so that the cursor spots chosen for each edge give
// back the rectangle unchanged.
void ApplySizingPoint(LONG x, LONG y) {
    LiveSizingState& s = Sizing();
    RECT& r = s.currentRect;
    const LONG minW = s.limits.ptMinTrackSize.x, minH = s.limits.ptMinTrackSize.y;
    const LONG maxW = s.limits.ptMaxTrackSize.x, maxH = s.limits.ptMaxTrackSize.y;
    if (s.edge == WMSZ_LEFT || s.edge == WMSZ_TOPLEFT || s.edge == WMSZ_BOTTOMLEFT)
        r.left = ClampMovingEdge(s.edge == WMSZ_TOPLEFT ? x - 2 : x, r.right, -1, minW, maxW);
    if (s.edge == WMSZ_RIGHT || s.edge == WMSZ_TOPRIGHT || s.edge == WMSZ_BOTTOMRIGHT)
        r.right = ClampMovingEdge(x + 2, r.left, 1, minW, maxW);
    if (s.edge == WMSZ_TOP || s.edge == WMSZ_TOPLEFT || s.edge == WMSZ_TOPRIGHT)
        r.top = ClampMovingEdge(s.edge == WMSZ_TOPLEFT ? y - 2 : y, r.bottom, -1, minH, maxH);
    if (s.edge == WMSZ_BOTTOM || s.edge == WMSZ_BOTTOMLEFT || s.edge == WMSZ_BOTTOMRIGHT)
        r.bottom = ClampMovingEdge(y + 2, r.top, 1, minH, maxH);
}

void MoveSizedWindow(HWND window, const RECT& rect) {
    RECT r = rect;
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void ResizeToPoint(HWND window, LONG x, LONG y) {
    ApplySizingPoint(x, y);
    SendMessageA(window, WM_SIZING, Sizing().edge, reinterpret_cast<LPARAM>(&Sizing().currentRect));
    MoveSizedWindow(window, Sizing().currentRect);
}

void StepSizingEdge(HWND window, LONG x, LONG y) {
    SetCursorPos(x, y);
    ResizeToPoint(window, x, y);
}

LRESULT StartLiveSizing(HWND window, WPARAM wParam) {
    BOOL fullWindowDrag = FALSE;
    SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &fullWindowDrag, 0);
    if (!fullWindowDrag) return NOT_HANDLED;  // the system's outline sizing runs instead

    LiveSizingState& s = Sizing();
    s.active = 1;
    s.window = window;
    s.edge = static_cast<int32_t>(wParam & 0xF);
    GetWindowRect(window, &s.currentRect);
    s.startRect = s.currentRect;
    FillSizeLimits(window);
    // The capture below ends with a button release; from the keyboard there
    // was no press, so the window is given one.
    if (GetKeyState(VK_LBUTTON) == 0) SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SetCapture(window);
    PostMessageA(window, WM_ENTERSIZEMOVE, 0, 0);
    if (s.edge == 0) {
        s.restoreCursor = 1;
        GetCursorPos(&s.savedCursor);
        ShowSizingCursor(32646);  // IDC_SIZEALL
    } else {
        s.restoreCursor = 0;
    }
    return 0;
}

LRESULT FinishLiveSizing(HWND window) {
    PostMessageA(window, WM_EXITSIZEMOVE, 0, 0);
    Sizing().active = 0;
    if (Sizing().restoreCursor) SetCursorPos(Sizing().savedCursor.x, Sizing().savedCursor.y);
    return 0;
}

LRESULT HandleSizingMouseMove(HWND window, LPARAM lParam) {
    Sizing().restoreCursor = 0;
    POINT point{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
    MapWindowPoints(window, nullptr, &point, 1);
    ResizeToPoint(window, point.x, point.y);
    return 0;
}

// Cursor identifiers of the sizing arrows.
constexpr WORD CURSOR_NWSE = 32642, CURSOR_NESW = 32643, CURSOR_WE = 32644, CURSOR_NS = 32645;

void ChooseOrStepEdge(HWND window, WPARAM key) {
    LiveSizingState& s = Sizing();
    const RECT& r = s.currentRect;
    POINT p;
    GetCursorPos(&p);
    int32_t& edge = s.edge;
    switch (key) {
        case VK_LEFT:
            if (edge == 0) { edge = WMSZ_LEFT; PlaceSizingCursor(CURSOR_WE, r.left, p.y); }
            else if (edge == WMSZ_TOP) { edge = WMSZ_TOPLEFT; PlaceSizingCursor(CURSOR_NWSE, r.left + 2, r.top + 2); }
            else if (edge == WMSZ_BOTTOM) { edge = WMSZ_BOTTOMLEFT; PlaceSizingCursor(CURSOR_NESW, r.left, r.bottom - 2); }
            else StepSizingEdge(window, p.x - 10, p.y);
            break;
        case VK_RIGHT:
            if (edge == 0) { edge = WMSZ_RIGHT; PlaceSizingCursor(CURSOR_WE, r.right - 2, p.y); }
            else if (edge == WMSZ_TOP) { edge = WMSZ_TOPRIGHT; PlaceSizingCursor(CURSOR_NESW, r.right - 2, r.top); }
            else if (edge == WMSZ_BOTTOM) { edge = WMSZ_BOTTOMRIGHT; PlaceSizingCursor(CURSOR_NWSE, r.right - 2, r.bottom - 2); }
            else StepSizingEdge(window, p.x + 10, p.y);
            break;
        case VK_UP:
            if (edge == 0) { edge = WMSZ_TOP; PlaceSizingCursor(CURSOR_NS, p.x, r.top); }
            else if (edge == WMSZ_RIGHT) { edge = WMSZ_TOPRIGHT; PlaceSizingCursor(CURSOR_NESW, r.right - 2, r.top); }
            else if (edge == WMSZ_LEFT) { edge = WMSZ_TOPLEFT; PlaceSizingCursor(CURSOR_NWSE, r.left + 2, r.top + 2); }
            else StepSizingEdge(window, p.x, p.y - 10);
            break;
        case VK_DOWN:
            if (edge == 0) { edge = WMSZ_BOTTOM; PlaceSizingCursor(CURSOR_NS, p.x, r.bottom - 2); }
            else if (edge == WMSZ_RIGHT) { edge = WMSZ_BOTTOMRIGHT; PlaceSizingCursor(CURSOR_NWSE, r.right - 2, r.bottom - 2); }
            else if (edge == WMSZ_LEFT) { edge = WMSZ_BOTTOMLEFT; PlaceSizingCursor(CURSOR_NESW, r.left, r.bottom - 2); }
            else StepSizingEdge(window, p.x, p.y + 10);
            break;
    }
}

LRESULT HandleSizingKey(HWND window, WPARAM key) {
    switch (key) {
        case VK_RETURN:
            ReleaseCapture();
            return FinishLiveSizing(window);
        case VK_ESCAPE:
            ReleaseCapture();
            MoveSizedWindow(window, Sizing().startRect);
            return FinishLiveSizing(window);
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            ChooseOrStepEdge(window, key);
            return NOT_HANDLED;  // the arrow still gets its default processing
        default: return NOT_HANDLED;
    }
}

}  // namespace

LRESULT HandleLiveSizing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Sizing().active) {
        if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_SIZE) return StartLiveSizing(window, wParam);
        return NOT_HANDLED;
    }
    // Other windows go on as usual; without this, a key or mouse move that
    // reaches another window would move it onto the sized window's rectangle.
    if (window != Sizing().window) return NOT_HANDLED;
    switch (message) {
        case WM_MOUSEMOVE: return HandleSizingMouseMove(window, lParam);
        case WM_LBUTTONUP:
            ReleaseCapture();
            return FinishLiveSizing(window);
        case WM_KEYDOWN: return HandleSizingKey(window, wParam);
        case WM_CAPTURECHANGED:
        case WM_DESTROY:
            // Capture taken away, or the window destroyed (the program leaves
            // window mode): sizing ends where it stands, or it would carry on
            // in whatever window comes next.
            if (message == WM_DESTROY || reinterpret_cast<HWND>(lParam) != window) Sizing().active = 0;
            return NOT_HANDLED;
        default: return NOT_HANDLED;
    }
}
