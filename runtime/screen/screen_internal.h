// What the screen library's files share: its one state record, the shared
// DirectDraw object, the screen objects and the routines the two display
// kinds have in common. Not for other libraries.
#pragma once

#include "runtime/screen/screen.h"

// A screen object: an off-screen surface the program may keep across frames.
// Nothing in this program creates one, but the close, preserve and restore
// walks run over the table all the same.
struct ScreenObject {
    IDirectDrawSurface7* surface;  // first word: the object's handle (0 = free); kind -2: a heap block
    void* preservedPixels;         // 32-bit pitch, then pitch * height bytes, while the surface may be lost
    int16_t kind;                  // -2 = pixel block without a surface
    int16_t width;
    int16_t height;
};
constexpr int16_t SCREEN_OBJECT_PIXEL_BLOCK = -2;

using PresentRoutine = void (*)(int verticalSync);
using DeactivationHook = void (*)();

// A parent window that the windowed display has subclassed, with the
// procedure it had before; each parent keeps its own.
struct SubclassedParent {
    HWND window;
    WNDPROC savedProcedure;
    BOOL sessionRegistered;  // receives the session's lock and unlock
};
constexpr int MAX_SUBCLASSED_PARENTS = 32;

// "Wtsapi32.dll"'s registration pair, looked up once and kept for the
// process: a parent may outlive the screen library. Null where missing.
struct SessionNotificationCalls {
    BOOL(WINAPI* registerWindow)(HWND window, DWORD flags);
    BOOL(WINAPI* unregisterWindow)(HWND window);
};
extern SessionNotificationCalls SessionNotifications;

struct ScreenState {
    HWND displayWindow;              // window of the current display
    HWND multimediaWindow;           // the "MultimediaBase Class" window
    int32_t multimediaWindowCreated;
    int32_t libraryStarted;          // InitScreenSystem got the window and the keyboard
    int32_t windowed;                // a windowed display is open
    int32_t active;                  // IsDisplayActive
    IDirectDrawSurface7* primarySurface;
    IDirectDrawSurface7* backBuffer;
    IDirectDrawClipper* clipper;     // windowed display only
    int32_t width;
    int32_t height;
    int32_t depth;                   // bits per pixel
    int32_t pixelFormatCode;         // 1..7
    PresentRoutine presentRoutine;   // PresentWindowed or PresentFullScreen
    intptr_t backBufferAccess;       // 0 none, -1 locked, else the back buffer's HDC
    DDSURFACEDESC2 surfaceDescription;  // from the last Lock
    int32_t frameRate;               // frames per second, 0 = none set
    int32_t automaticRate;           // the windowed display chose the rate itself
    int32_t frameInterval;           // performance-counter ticks per frame
    int32_t lastFrameTick;           // low half of the counter after the last wait, 0 = none
    uint32_t monitorFrequency;
    uint32_t requestedRefreshRate;   // always 0: the adapter's default
    int32_t leftOffset;              // windowed blit geometry, from the outer window corner
    int32_t topOffset;
    int32_t rightMargin;
    int32_t bottomMargin;
    int32_t stretchToWindow;
    SubclassedParent subclassedParents[MAX_SUBCLASSED_PARENTS];
    DeactivationHook deactivationHook;
    int32_t hookCalled;              // the hook ran since the last activation
    int32_t cursorHidden;            // a full-screen open hid the cursor
    ObjectTableOf<ScreenObject> screenObjects;
    DrawTarget drawTarget;           // the one record DisplayDrawTarget hands out
};

struct DirectDrawLoader {
    IDirectDraw7* object;
    HMODULE module;                  // "DDRAW.DLL"
    int32_t referenceCount;
};

extern ScreenState Screen;
extern DirectDrawLoader DirectDraw;

// Screen system
LRESULT CALLBACK MultimediaWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Windowed display
bool LoadSessionNotifications();  // false where the platform has none
void PresentWindowed(int verticalSync);
LRESULT CALLBACK DisplayParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Full screen
HRESULT CreateFlipChain();          // DD_OK, or the answer of the call that failed
void PresentFullScreen(int verticalSync);

// Frame cycle
int32_t ComputeFrameInterval(int64_t frequency, int32_t rate);
void WaitFrameInterval();
void ReleaseDisplayResources();
void ReleaseDisplaySurfaces();  // the primary surface and the back buffer
int32_t PixelFormatCodeFor(int32_t depth, uint32_t redMask, uint32_t greenMask);
void DetectPixelFormat();
void ClearDisplayBuffers();
void PreserveScreenObjects();
void RestoreScreenObjects();
void ReleaseBackBufferAccess();
HDC GetBackBufferDC();
void* LockBackBuffer();
