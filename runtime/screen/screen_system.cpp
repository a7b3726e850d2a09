// The screen library's start, the shared DirectDraw object and the hidden
// multimedia window that the keyboard, DirectSound and the full screen use.
#include "runtime/screen/screen_internal.h"

#include "runtime/keyboard/keyboard.h"

ScreenState Screen;
DirectDrawLoader DirectDraw;

namespace {

constexpr char MULTIMEDIA_CLASS_NAME[] = "MultimediaBase Class";

using DirectDrawCreateExProc = HRESULT(WINAPI*)(GUID*, void**, REFIID, IUnknown*);

void RunDeactivationHookOnce() {
    if (Screen.deactivationHook && !Screen.hookCalled) {
        Screen.deactivationHook();
        Screen.hookCalled = 1;
    }
}

void HandleMultimediaActivate(WPARAM wParam) {
    // A windowed display lives in another window; this one's focus says nothing then.
    if (Screen.windowed) return;
    if (LOWORD(wParam) != WA_INACTIVE) {
        Screen.active = 1;
        Screen.hookCalled = 0;
    } else {
        RunDeactivationHookOnce();
        Screen.active = 0;
    }
}

void HandleMultimediaKeyUp(WPARAM wParam) {
    // Alt+Tab is on its way: preserve before the surfaces can be lost.
    if (wParam == VK_TAB || wParam == VK_MENU) RunDeactivationHookOnce();
}

LRESULT PaintOnly(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 1;
}

}  // namespace

LRESULT CALLBACK MultimediaWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE: HandleMultimediaActivate(wParam); return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP: HandleMultimediaKeyUp(wParam); return 0;
    case WM_PAINT: return PaintOnly(window);
    case WM_CLOSE: return 0;  // Alt+F4 ends here too: only the program closes the display
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

int CreateMultimediaWindow() {
    if (Screen.multimediaWindowCreated || Screen.displayWindow) return Screen.multimediaWindowCreated;

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = MultimediaWindowProc;
    windowClass.hInstance = ModuleHandle;
    windowClass.hIcon = LoadIconA(ModuleHandle, MAKEINTRESOURCEA(1));  // none: the program has no resources
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = MULTIMEDIA_CLASS_NAME;
    if (!RegisterClassExA(&windowClass)) return 0;

    Screen.displayWindow = CreateWindowExA(0, MULTIMEDIA_CLASS_NAME, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                           ModuleHandle, nullptr);
    if (Screen.displayWindow) Screen.multimediaWindowCreated = 1;
    return Screen.multimediaWindowCreated;
}

IDirectDraw7* AcquireDirectDraw() {
    if (!DirectDraw.object) {
        HMODULE module = LoadLibraryA("DDRAW.DLL");
        if (module) {
            auto create = reinterpret_cast<DirectDrawCreateExProc>(
                reinterpret_cast<void*>(GetProcAddress(module, "DirectDrawCreateEx")));
            if (create) create(nullptr, reinterpret_cast<void**>(&DirectDraw.object), IID_IDirectDraw7, nullptr);
            if (DirectDraw.object) {
                DirectDraw.module = module;
            } else {
                FreeLibrary(module);
            }
        }
    }
    // Counted even on failure, so that every caller's release balances.
    ++DirectDraw.referenceCount;
    return DirectDraw.object;
}

void ReleaseDirectDraw() {
    --DirectDraw.referenceCount;
    if (DirectDraw.object && DirectDraw.referenceCount == 0) {
        DirectDraw.object->Release();
        FreeLibrary(DirectDraw.module);
        DirectDraw.object = nullptr;
        DirectDraw.module = nullptr;
    }
}

int InitScreenSystem() {
    Screen.requestedRefreshRate = 0;
    Screen.frameRate = 0;
    Screen.automaticRate = 0;
    Screen.backBufferAccess = 0;
    Screen.surfaceDescription = DDSURFACEDESC2{};
    Screen.surfaceDescription.dwSize = sizeof(DDSURFACEDESC2);

    if (!Screen.screenObjects.Exists() && !Screen.screenObjects.Create(SCREEN_OBJECT_TABLE)) return 0;
    if (!CreateMultimediaWindow()) return 0;
    if (!InitKeyboardInput()) return 0;
    Screen.libraryStarted = 1;
    if (!AcquireDirectDraw()) return 0;
    Screen.multimediaWindow = Screen.displayWindow;
    return 1;
}

HWND GetDisplayWindowHandle() {
    return Screen.displayWindow;
}
