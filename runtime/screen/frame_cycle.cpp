// From frame to frame: pacing, presenting, the back buffer as a drawing
// target, closing, and what both display kinds do when surfaces get lost.
#include "runtime/screen/screen_internal.h"

#include <cstring>

namespace {

bool DisplayIsOpen() {
    return Screen.presentRoutine && Screen.primarySurface && Screen.backBuffer;
}

void FreeScreenObject(ObjectId value) {
    ScreenObject* object = Screen.screenObjects.Lookup(value);
    if (!object) return;
    if (object->kind == SCREEN_OBJECT_PIXEL_BLOCK) {
        HeapFree(RuntimeHeap, 0, object->surface);
    } else if (object->surface) {
        object->surface->Release();
    }
    if (object->preservedPixels) HeapFree(RuntimeHeap, 0, object->preservedPixels);
    Screen.screenObjects.Clear(value);
}

// Preserving and restoring skip pixel blocks, which have no surface to lose.
template <void (*Visit)(ScreenObject&)>
void VisitScreenObject(ObjectId value) {
    ScreenObject* object = Screen.screenObjects.Lookup(value);
    if (object && object->kind != SCREEN_OBJECT_PIXEL_BLOCK && object->surface) Visit(*object);
}

void PreserveScreenObject(ScreenObject& object) {
    if (object.preservedPixels || !DirectDraw.object) return;
    DDSURFACEDESC2 description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    description.dwWidth = object.width;
    description.dwHeight = object.height;
    IDirectDrawSurface7* copy = nullptr;
    if (FAILED(DirectDraw.object->CreateSurface(&description, &copy, nullptr)) || !copy) return;

    void* block = nullptr;
    if (SUCCEEDED(copy->Blt(nullptr, object.surface, nullptr, DDBLT_WAIT, nullptr))) {
        DDSURFACEDESC2 locked{};
        locked.dwSize = sizeof locked;
        if (SUCCEEDED(copy->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr))) {
            size_t bytes = static_cast<size_t>(locked.lPitch) * object.height;
            block = HeapAlloc(RuntimeHeap, 0, bytes + 4);
            if (block) {
                int32_t pitch = locked.lPitch;
                memcpy(block, &pitch, 4);
                memcpy(static_cast<uint8_t*>(block) + 4, locked.lpSurface, bytes);
            }
            copy->Unlock(nullptr);
        }
    }
    object.preservedPixels = block;
    copy->Release();
}

void RestoreScreenObject(ScreenObject& object) {
    if (object.surface->IsLost() == DDERR_SURFACELOST) object.surface->Restore();
    if (!object.preservedPixels) return;
    DDSURFACEDESC2 locked{};
    locked.dwSize = sizeof locked;
    if (FAILED(object.surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr))) return;  // kept for a later try
    int32_t savedPitch;
    memcpy(&savedPitch, object.preservedPixels, 4);
    const uint8_t* rows = static_cast<const uint8_t*>(object.preservedPixels) + 4;
    // The restored surface may have narrower rows than the one preserved.
    size_t rowBytes = static_cast<size_t>(savedPitch < locked.lPitch ? savedPitch : locked.lPitch);
    for (int r = 0; r < object.height; ++r)
        memcpy(static_cast<uint8_t*>(locked.lpSurface) + static_cast<ptrdiff_t>(r) * locked.lPitch,
               rows + static_cast<ptrdiff_t>(r) * savedPitch, rowBytes);
    object.surface->Unlock(nullptr);
    HeapFree(RuntimeHeap, 0, object.preservedPixels);
    object.preservedPixels = nullptr;
}

void BlackenSurface(IDirectDrawSurface7* surface) {
    HDC dc = nullptr;
    if (!surface || FAILED(surface->GetDC(&dc))) return;
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Rectangle(dc, 0, 0, Screen.width, Screen.height);
    surface->ReleaseDC(dc);
}

bool ReadCounter(LARGE_INTEGER* counter) {
    // One retry: a counter that fails twice is taken as gone, and the frame
    // goes unpaced rather than hanging the program.
    return QueryPerformanceCounter(counter) || QueryPerformanceCounter(counter);
}

}  // namespace

int32_t ComputeFrameInterval(int64_t frequency, int32_t rate) {
    // rate + 1, not rate: the pacing has always run a shade fast (1/51 s at 50).
    return static_cast<int32_t>(static_cast<uint32_t>(frequency / (static_cast<int64_t>(rate) + 1)));
}

int SetFrameRateLimit(int32_t rate) {
    // -1 would divide by zero and other negative rates give negative intervals.
    if (rate < 0) return 0;
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return 0;
    Screen.automaticRate = 0;
    Screen.frameRate = rate;
    Screen.frameInterval = ComputeFrameInterval(frequency.QuadPart, rate);
    Screen.lastFrameTick = 0;
    return 1;
}

void WaitFrameInterval() {
    LARGE_INTEGER counter;
    for (;;) {
        if (!ReadCounter(&counter)) return;
        int32_t now = static_cast<int32_t>(static_cast<uint32_t>(counter.QuadPart));
        // A sign change of the low half (or the 0 left by SetFrameRateLimit)
        // starts the measurement afresh: this wait then lasts a whole interval.
        if ((now < 0 && Screen.lastFrameTick >= 0) || (now > 0 && Screen.lastFrameTick <= 0))
            Screen.lastFrameTick = now;
        int32_t elapsed = static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(Screen.lastFrameTick));
        if (elapsed > Screen.frameInterval) {
            Screen.lastFrameTick = now;
            return;
        }
    }
}

void PresentFrame() {
    if (!DisplayIsOpen()) return;
    ReleaseBackBufferAccess();
    Screen.presentRoutine(1);
}

int IsDisplayActive() {
    return Screen.active;
}

void ReleaseBackBufferAccess() {
    if (Screen.backBuffer) {
        if (Screen.backBufferAccess == -1) {
            Screen.backBuffer->Unlock(nullptr);
        } else if (Screen.backBufferAccess != 0) {
            Screen.backBuffer->ReleaseDC(reinterpret_cast<HDC>(Screen.backBufferAccess));
        }
    }
    Screen.backBufferAccess = 0;
}

HDC GetBackBufferDC() {
    if (Screen.backBufferAccess != -1 || !Screen.backBuffer) return reinterpret_cast<HDC>(Screen.backBufferAccess);
    Screen.backBuffer->Unlock(nullptr);
    HDC dc = nullptr;
    if (FAILED(Screen.backBuffer->GetDC(&dc))) dc = nullptr;
    Screen.backBufferAccess = reinterpret_cast<intptr_t>(dc);
    return dc;
}

void* LockBackBuffer() {
    if (!Screen.backBuffer) return nullptr;
    if (Screen.backBufferAccess != 0 && Screen.backBufferAccess != -1)
        Screen.backBuffer->ReleaseDC(reinterpret_cast<HDC>(Screen.backBufferAccess));
    Screen.backBufferAccess = -1;  // also on failure: GetBackBufferDC then tries a DC again
    if (FAILED(Screen.backBuffer->Lock(nullptr, &Screen.surfaceDescription, DDLOCK_WAIT, nullptr))) return nullptr;
    return Screen.surfaceDescription.lpSurface;
}

DrawTarget* DisplayDrawTarget() {
    if (!DisplayIsOpen() || Screen.backBufferAccess != 0) return nullptr;
    HDC dc = nullptr;
    if (FAILED(Screen.backBuffer->GetDC(&dc)) || !dc) return nullptr;
    Screen.backBufferAccess = reinterpret_cast<intptr_t>(dc);

    // A short lock only to learn the buffer's address, pitch and size.
    Screen.surfaceDescription.lpSurface = nullptr;
    void* address = LockBackBuffer();
    HDC drawingDC = GetBackBufferDC();

    DrawTarget& target = Screen.drawTarget;
    target = DrawTarget{};
    target.kind = DRAW_TARGET_SCREEN;
    target.dc = drawingDC;
    target.release = ReleaseBackBufferAccess;
    target.bufferAddress = address;
    target.pitch = address ? Screen.surfaceDescription.lPitch : 0;
    target.width = address ? static_cast<int32_t>(Screen.surfaceDescription.dwWidth) : 0;
    target.height = address ? static_cast<int32_t>(Screen.surfaceDescription.dwHeight) : 0;
    target.depth = Screen.depth;
    target.pixelFormatCode = Screen.pixelFormatCode;
    target.reacquire = GetBackBufferDC;
    target.giveUp = LockBackBuffer;
    return &target;
}

void CloseDisplay() {
    if (Screen.automaticRate) SetFrameRateLimit(0);
    ReleaseDisplayResources();
    Screen.width = 0;
    Screen.height = 0;
}

void ReleaseDisplaySurfaces() {
    if (Screen.backBuffer) Screen.backBuffer->Release();
    Screen.backBuffer = nullptr;
    if (Screen.primarySurface) Screen.primarySurface->Release();
    Screen.primarySurface = nullptr;
}

void ReleaseDisplayResources() {
    ReleaseBackBufferAccess();
    Screen.screenObjects.FreeAll(FreeScreenObject);
    if (DirectDraw.object) DirectDraw.object->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    ReleaseDisplaySurfaces();
    // Only undo our own hiding: the cursor's display count is process-wide, and
    // a close with no full screen open must not push it up.
    if (Screen.cursorHidden) ShowCursor(TRUE);
    Screen.cursorHidden = 0;
    if (Screen.clipper) Screen.clipper->Release();
    Screen.clipper = nullptr;
    if (Screen.windowed) {
        Screen.windowed = 0;
        InvalidateRect(Screen.displayWindow, nullptr, TRUE);
    }
    Screen.presentRoutine = nullptr;
    Screen.displayWindow = Screen.multimediaWindow;
    if (Screen.multimediaWindow) ShowWindow(Screen.multimediaWindow, SW_HIDE);
}

void EndScreenSystem() {
    if (!Screen.libraryStarted) return;
    ReleaseDisplayResources();
    ReleaseDirectDraw();
    Screen.libraryStarted = 0;
}

int32_t PixelFormatCodeFor(int32_t depth, uint32_t redMask, uint32_t greenMask) {
    switch (depth) {
    case 16: return greenMask == 0x7E0 ? 3 : 2;
    case 24: return redMask == 0xFF ? 4 : 5;
    case 32: return redMask == 0xFF ? 6 : 7;
    default: return 1;
    }
}

void DetectPixelFormat() {
    if (!Screen.primarySurface) return;
    if (FAILED(Screen.primarySurface->Lock(nullptr, &Screen.surfaceDescription, DDLOCK_WAIT, nullptr))) return;
    Screen.primarySurface->Unlock(nullptr);
    const DDPIXELFORMAT& format = Screen.surfaceDescription.ddpfPixelFormat;
    Screen.pixelFormatCode = PixelFormatCodeFor(Screen.depth, format.dwRBitMask, format.dwGBitMask);
}

void ClearDisplayBuffers() {
    BlackenSurface(Screen.backBuffer);
    if (!Screen.windowed) BlackenSurface(Screen.primarySurface);
}

void PreserveScreenObjects() {
    Screen.screenObjects.ForEach(VisitScreenObject<PreserveScreenObject>);
}

void RestoreScreenObjects() {
    Screen.screenObjects.ForEach(VisitScreenObject<RestoreScreenObject>);
}
