// The full screen: a display mode of our own, shown through a two-surface
// flip chain in the multimedia window, rebuilt when its surfaces are lost.
#include "runtime/screen/screen_internal.h"

#include "runtime/keyboard/keyboard.h"

namespace {

int32_t LowWordSigned(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

void ReattachPalette() {
    IDirectDrawPalette* palette = nullptr;
    if (SUCCEEDED(Screen.primarySurface->GetPalette(&palette)) && palette) {
        Screen.primarySurface->SetPalette(palette);
        palette->Release();
    }
}

// Nothing here is examined: if it does not take, the next flip reports the
// loss again and we come back.
void RebuildLostDisplay() {
    IDirectDraw7* directDraw = DirectDraw.object;
    directDraw->SetCooperativeLevel(Screen.displayWindow, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    directDraw->SetDisplayMode(Screen.width, Screen.height, Screen.depth, Screen.requestedRefreshRate, 0);
    directDraw->RestoreAllSurfaces();
    ShowWindow(Screen.displayWindow, SW_SHOWMAXIMIZED);
    RestoreScreenObjects();
    if (Screen.depth == 8) ReattachPalette();
    PollKeyboard();
}

// The exclusive level, the mode and the flip chain, each on the one before.
int TakeFullScreen(HWND window) {
    if (FAILED(DirectDraw.object->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN))) return 0;
    if (FAILED(DirectDraw.object->SetDisplayMode(Screen.width, Screen.height, Screen.depth,
                                                 Screen.requestedRefreshRate, 0)))
        return 0;
    return CreateFlipChain();
}

// Under an X window manager the display window is mapped anew while the mode
// changes, and the manager may meanwhile give the focus back to the window
// that had it (another copy of the program, say). DirectDraw then drops the
// mode, minimises the window and makes the chain already lost. That is no
// refusal: the window goes back to hidden and the whole step is tried once
// more. A chain refused while the window is in front is not retried.
int RetakeFullScreen(HWND window) {
    if (GetForegroundWindow() == window) return 0;
    DirectDraw.object->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    ReleaseDisplaySurfaces();
    ShowWindow(window, SW_HIDE);
    DispatchPendingMessages();
    MoveWindow(window, 0, 0, Screen.width, Screen.height, TRUE);
    return TakeFullScreen(window);
}

int FailFullDisplay() {
    ReleaseDisplayResources();
    return 0;
}

}  // namespace

void DispatchPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int CreateFlipChain() {
    DDSURFACEDESC2 description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    description.dwBackBufferCount = 1;
    if (FAILED(DirectDraw.object->CreateSurface(&description, &Screen.primarySurface, nullptr))) {
        Screen.primarySurface = nullptr;
        return 0;
    }
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE;
    if (FAILED(Screen.primarySurface->GetAttachedSurface(&caps, &Screen.backBuffer))) {
        Screen.backBuffer = nullptr;
        return 0;
    }
    return 1;
}

void PresentFullScreen(int /*verticalSync: the flip always waits for the vertical blank*/) {
    // The multimedia window learns here whether it is still in front.
    DispatchPendingMessages();
    if (Screen.active && Screen.primarySurface) {
        if (Screen.primarySurface->Flip(nullptr, DDFLIP_WAIT) == DDERR_SURFACELOST) RebuildLostDisplay();
    }
    if (Screen.frameRate != 0 && Screen.monitorFrequency != Screen.requestedRefreshRate) WaitFrameInterval();
}

int OpenFullDisplay(int32_t width, int32_t height, int32_t depth, const char* title) {
    width = LowWordSigned(width);
    height = LowWordSigned(height);
    depth = LowWordSigned(depth);
    // One display at a time. Closing first also keeps a windowed display's
    // parent from being retitled and resized as if it were ours.
    if (Screen.presentRoutine) CloseDisplay();
    Screen.deactivationHook = PreserveScreenObjects;

    HWND window = Screen.displayWindow;
    if (!window || !DirectDraw.object || width <= 0 || height <= 0 || depth <= 0) return FailFullDisplay();
    SetWindowTextA(window, title ? title : "");
    MoveWindow(window, 0, 0, width, height, TRUE);
    Screen.width = width;
    Screen.height = height;
    Screen.depth = depth;
    ShowCursor(FALSE);
    Screen.cursorHidden = 1;
    if (!TakeFullScreen(window) && !RetakeFullScreen(window)) return FailFullDisplay();
    ShowWindow(window, SW_SHOWMAXIMIZED);
    ClearDisplayBuffers();
    DWORD frequency = 0;
    if (SUCCEEDED(DirectDraw.object->GetMonitorFrequency(&frequency))) Screen.monitorFrequency = frequency;
    DetectPixelFormat();
    Screen.active = 1;
    Screen.presentRoutine = PresentFullScreen;
    PollKeyboard();
    return 1;
}
