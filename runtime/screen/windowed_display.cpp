// The windowed display: an off-screen back buffer copied onto the parent
// window's part of the desktop's primary surface, and the subclass that
// repaints the last frame and survives a locked session.
#include "runtime/screen/screen_internal.h"

#include <wtsapi32.h>

#include <cstdint>
#include <utility>

SessionNotificationCalls SessionNotifications;

namespace {

constexpr char SUBCLASS_MARK[] = "zr_dxpaint";

SubclassedParent* FindSubclassedParent(HWND window) {
    for (SubclassedParent& parent : Screen.subclassedParents)
        if (parent.window == window) return &parent;
    return nullptr;
}

// Each parent keeps the procedure it had, so that with several parents no
// window's messages reach another window's procedure.
bool SubclassParent(HWND parentWindow) {
    if (GetPropA(parentWindow, SUBCLASS_MARK)) return true;
    SubclassedParent* slot = FindSubclassedParent(nullptr);
    if (!slot) return false;
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(parentWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DisplayParentProc)));
    if (!previous) return false;
    slot->window = parentWindow;
    slot->savedProcedure = previous;
    SetPropA(parentWindow, SUBCLASS_MARK, reinterpret_cast<HANDLE>(1));

    // Optional: without it a locked session is simply not noticed.
    if (LoadSessionNotifications())
        slot->sessionRegistered = SessionNotifications.registerWindow(parentWindow, NOTIFY_FOR_THIS_SESSION);
    return true;
}

void ForgetSubclassedParent(HWND window) {
    SubclassedParent* parent = FindSubclassedParent(window);
    if (!parent) return;
    // Each new window 0 registers anew; the one going must not stay registered.
    if (parent->sessionRegistered) SessionNotifications.unregisterWindow(window);
    RemovePropA(window, SUBCLASS_MARK);
    *parent = SubclassedParent{};
}

int CreateWindowedSurfaces() {
    IDirectDraw7* directDraw = DirectDraw.object;
    DDSURFACEDESC2 description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
    if (FAILED(directDraw->CreateSurface(&description, &Screen.primarySurface, nullptr))) {
        Screen.primarySurface = nullptr;
        return 0;
    }

    if (FAILED(directDraw->CreateClipper(0, &Screen.clipper, nullptr))) {
        Screen.clipper = nullptr;
        return 0;
    }
    if (FAILED(Screen.clipper->SetHWnd(0, Screen.displayWindow))) return 0;
    if (FAILED(Screen.primarySurface->SetClipper(Screen.clipper))) return 0;

    description = DDSURFACEDESC2{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    description.dwWidth = static_cast<DWORD>(Screen.width);
    description.dwHeight = static_cast<DWORD>(Screen.height);
    if (FAILED(directDraw->CreateSurface(&description, &Screen.backBuffer, nullptr))) {
        Screen.backBuffer = nullptr;
        return 0;
    }
    return 1;
}

void MeasureBlitGeometry(HWND parentWindow, int32_t x, int32_t y, int32_t rightMargin, int32_t bottomMargin) {
    RECT client;
    RECT outer;
    GetClientRect(parentWindow, &client);
    GetWindowRect(parentWindow, &outer);
    POINT topLeft{client.left, client.top};
    POINT bottomRight{client.right, client.bottom};
    ClientToScreen(parentWindow, &topLeft);
    ClientToScreen(parentWindow, &bottomRight);
    Screen.leftOffset = x + (topLeft.x - outer.left);
    Screen.topOffset = y + (topLeft.y - outer.top);
    Screen.rightMargin = rightMargin + (outer.right - bottomRight.x);
    Screen.bottomMargin = bottomMargin + (outer.bottom - bottomRight.y);
}

bool ComputeBlitRects(RECT* destination, RECT* source) {
    // A parent destroyed under the open display has no rectangle to copy to.
    if (!GetWindowRect(Screen.displayWindow, destination)) return false;
    OffsetRect(destination, Screen.leftOffset, Screen.topOffset);
    if (Screen.stretchToWindow) {
        destination->right -= Screen.rightMargin + Screen.leftOffset;
        destination->bottom -= Screen.bottomMargin + Screen.topOffset;
    } else {
        destination->right = destination->left + Screen.width;
        destination->bottom = destination->top + Screen.height;
    }
    SetRect(source, 0, 0, Screen.width, Screen.height);
    return true;
}

void BlitBackBuffer() {
    RECT destination;
    RECT source;
    if (ComputeBlitRects(&destination, &source))
        Screen.primarySurface->Blt(&destination, Screen.backBuffer, &source, DDBLT_WAIT, nullptr);
}

// A whole refresh at 30 Hz and more: a driver whose scan line never moves
// must not hold the frame for longer than that.
constexpr DWORD LONGEST_BEAM_WAIT_MS = 40;

void WaitForBeamBelow(LONG bottom) {
    DWORD screenHeight = static_cast<DWORD>(GetSystemMetrics(SM_CYSCREEN));
    DWORD start = GetTickCount();
    DWORD scanLine = 0;
    // Fails during the vertical blank, and always where the driver cannot tell.
    while (SUCCEEDED(DirectDraw.object->GetScanLine(&scanLine)) && static_cast<LONG>(scanLine) <= bottom &&
           scanLine < screenHeight && GetTickCount() - start < LONGEST_BEAM_WAIT_MS) {
    }
}

int32_t WindowDepth(HWND window) {
    HDC dc = GetDC(window);
    int32_t depth = GetDeviceCaps(dc, BITSPIXEL);
    ReleaseDC(window, dc);
    return depth;
}

void ReleaseSurfaceSet(IDirectDrawSurface7* primary, IDirectDrawSurface7* backBuffer, IDirectDrawClipper* clipper) {
    if (backBuffer) backBuffer->Release();
    if (primary) primary->Release();
    if (clipper) clipper->Release();
}

// The desktop changed its resolution or depth under the window: surfaces made
// for the old mode never restore, so we make new ones for the mode in force.
// If that fails too (the mode may still be changing), the old ones stay and
// the next lost frame tries again.
void RecreateWindowedSurfaces() {
    ReleaseBackBufferAccess();
    IDirectDrawSurface7* primary = std::exchange(Screen.primarySurface, nullptr);
    IDirectDrawSurface7* backBuffer = std::exchange(Screen.backBuffer, nullptr);
    IDirectDrawClipper* clipper = std::exchange(Screen.clipper, nullptr);
    bool made = CreateWindowedSurfaces();
    if (!made) {
        std::swap(primary, Screen.primarySurface);
        std::swap(backBuffer, Screen.backBuffer);
        std::swap(clipper, Screen.clipper);
    }
    ReleaseSurfaceSet(primary, backBuffer, clipper);
    if (!made) return;
    Screen.depth = WindowDepth(Screen.displayWindow);
    ClearDisplayBuffers();
    DetectPixelFormat();
}

void RestoreWindowedSurfaces() {
    HRESULT primary = Screen.primarySurface ? Screen.primarySurface->Restore() : DD_OK;
    HRESULT backBuffer = Screen.backBuffer ? Screen.backBuffer->Restore() : DD_OK;
    // Only our own surfaces: a session unlock can come while the full screen is open.
    if (Screen.windowed && (primary == DDERR_WRONGMODE || backBuffer == DDERR_WRONGMODE))
        RecreateWindowedSurfaces();
    RestoreScreenObjects();
}

void HandleSessionChange(WPARAM wParam) {
    if (wParam == WTS_SESSION_LOCK) {
        PreserveScreenObjects();
    } else if (wParam == WTS_SESSION_UNLOCK) {
        RestoreWindowedSurfaces();
    }
}

LRESULT PassOn(WNDPROC saved, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return saved ? CallWindowProcA(saved, window, message, wParam, lParam)
                 : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT RepaintLastFrame(WNDPROC saved, HWND window, WPARAM wParam, LPARAM lParam) {
    LRESULT result = PassOn(saved, window, WM_PAINT, wParam, lParam);
    if (Screen.windowed && Screen.displayWindow == window && Screen.primarySurface && Screen.backBuffer)
        BlitBackBuffer();
    return result;
}

// A handle can be reused once its window is gone; its entry must not outlive it.
LRESULT ForgetOnDestroy(WNDPROC saved, HWND window, WPARAM wParam, LPARAM lParam) {
    LRESULT result = PassOn(saved, window, WM_NCDESTROY, wParam, lParam);
    ForgetSubclassedParent(window);
    return result;
}

}  // namespace

bool LoadSessionNotifications() {
    static bool looked = false;
    if (!looked) {
        looked = true;
        HMODULE wts = LoadLibraryA("Wtsapi32.dll");
        if (wts) {
            SessionNotifications.registerWindow = reinterpret_cast<decltype(SessionNotifications.registerWindow)>(
                reinterpret_cast<void*>(GetProcAddress(wts, "WTSRegisterSessionNotification")));
            SessionNotifications.unregisterWindow = reinterpret_cast<decltype(SessionNotifications.unregisterWindow)>(
                reinterpret_cast<void*>(GetProcAddress(wts, "WTSUnRegisterSessionNotification")));
        }
        if (!SessionNotifications.registerWindow || !SessionNotifications.unregisterWindow) {
            SessionNotifications = SessionNotificationCalls{};
            if (wts) FreeLibrary(wts);
        }
    }
    return SessionNotifications.registerWindow != nullptr;
}

LRESULT CALLBACK DisplayParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SubclassedParent* parent = FindSubclassedParent(window);
    WNDPROC saved = parent ? parent->savedProcedure : nullptr;  // never another window's procedure
    switch (message) {
    case WM_PAINT: return RepaintLastFrame(saved, window, wParam, lParam);
    case WM_WTSSESSION_CHANGE: HandleSessionChange(wParam); return 0;
    case WM_NCDESTROY: return ForgetOnDestroy(saved, window, wParam, lParam);
    default: return PassOn(saved, window, message, wParam, lParam);
    }
}

void PresentWindowed(int /*verticalSync: the windowed copy always waits for the beam*/) {
    RECT destination;
    RECT source;
    bool placed = ComputeBlitRects(&destination, &source);
    WaitFrameInterval();  // paced all the same, so a frame loop without a window does not spin
    if (!placed) return;
    WaitForBeamBelow(destination.bottom);
    HRESULT copied = Screen.primarySurface->Blt(&destination, Screen.backBuffer, &source, DDBLT_WAIT, nullptr);
    // Another program's mode change or a secure-desktop prompt takes the
    // surfaces away with no unlock to follow: this frame is dropped and the
    // next one draws again. Wine still copies to a lost surface, so the
    // surface's own word counts too; a restore that fails is tried next frame,
    // and surfaces of another display mode are made anew.
    if (copied == DDERR_SURFACELOST || Screen.primarySurface->IsLost() == DDERR_SURFACELOST)
        RestoreWindowedSurfaces();
}

int OpenWindowedDisplay(HWND parentWindow, int32_t x, int32_t y, int32_t width, int32_t height,
                        int32_t stretchToWindow, int32_t rightMargin, int32_t bottomMargin) {
    // One display at a time: whatever is open goes first, so nothing leaks.
    if (Screen.presentRoutine) CloseDisplay();
    Screen.deactivationHook = PreserveScreenObjects;
    // A back buffer whose bytes a 32-bit size cannot count is refused here, as Windows' drivers refuse it:
    // Wine's gdi renderer, the one the toy runs on under Linux, would take one of any height.
    bool sized = width > 0 && height > 0 && int64_t{width} * height * 4 <= INT32_MAX;
    if (!parentWindow || !IsWindow(parentWindow) || !sized || !DirectDraw.object) {
        ReleaseDisplayResources();
        return 0;
    }
    Screen.displayWindow = parentWindow;
    Screen.width = width;
    Screen.height = height;
    Screen.depth = WindowDepth(parentWindow);
    if (Screen.frameRate == 0) {
        SetFrameRateLimit(60);
        Screen.automaticRate = 1;
    } else {
        Screen.automaticRate = 0;
    }
    Screen.windowed = 1;

    if (FAILED(DirectDraw.object->SetCooperativeLevel(parentWindow, DDSCL_NORMAL)) || !CreateWindowedSurfaces()) {
        ReleaseDisplayResources();
        return 0;
    }
    ClearDisplayBuffers();
    MeasureBlitGeometry(parentWindow, x, y, rightMargin, bottomMargin);
    Screen.stretchToWindow = stretchToWindow;
    if (!SubclassParent(parentWindow)) {
        ReleaseDisplayResources();
        return 0;
    }
    DetectPixelFormat();
    Screen.active = 1;
    Screen.presentRoutine = PresentWindowed;
    return 1;
}
