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

// The exclusive level, the mode and the flip chain, each on the one before:
// DD_OK, or the answer of the step that failed.
HRESULT TakeFullScreen(HWND window) {
    HRESULT result = DirectDraw.object->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    if (SUCCEEDED(result))
        result = DirectDraw.object->SetDisplayMode(Screen.width, Screen.height, Screen.depth,
                                                   Screen.requestedRefreshRate, 0);
    if (SUCCEEDED(result)) result = CreateFlipChain();
    return result;
}

// Under an X window manager the display window is mapped anew while the mode
// changes, and the manager may meanwhile give the focus back to the window
// that had it (another copy of the program, say). DirectDraw then drops the
// mode, minimises the window and hands back a chain that is already lost.
// That is no refusal: the window goes back to hidden and the whole step is
// tried once more. Only then: a refused level or mode is an answer, and
// trying again would only run the program's window procedures mid-open.
HRESULT RetakeFullScreen(HWND window) {
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

HRESULT CreateFlipChain() {
    DDSURFACEDESC2 description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    description.dwBackBufferCount = 1;
    HRESULT result = DirectDraw.object->CreateSurface(&description, &Screen.primarySurface, nullptr);
    if (FAILED(result)) {
        Screen.primarySurface = nullptr;
        return result;
    }
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE;
    result = Screen.primarySurface->GetAttachedSurface(&caps, &Screen.backBuffer);
    if (FAILED(result)) Screen.backBuffer = nullptr;
    return result;
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
    HRESULT taken = TakeFullScreen(window);
    if (taken == DDERR_SURFACELOST) taken = RetakeFullScreen(window);
    if (FAILED(taken)) return FailFullDisplay();
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
