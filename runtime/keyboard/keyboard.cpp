// DirectInput keyboard: one 256-byte snapshot per poll, bound to the screen's
// display window and rebound whenever a snapshot fails.
#include "runtime/keyboard/keyboard_internal.h"

#include "runtime/core/core.h"
#include "runtime/screen/screen.h"

KeyboardState Keyboard;
DirectInputLoader DirectInput;

namespace {

using DirectInputCreateExProc = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, void**, IUnknown*);

// The same layout as the published c_dfDIKeyboard: byte i of the snapshot is
// key i. Built here so that the library needs nothing from dinput's import library.
void BuildKeyboardDataFormat() {
    Keyboard.objectArray = static_cast<DIOBJECTDATAFORMAT*>(
        HeapAlloc(RuntimeHeap, 0, KEY_CODE_COUNT * sizeof(DIOBJECTDATAFORMAT)));
    if (Keyboard.objectArray) {
        for (int i = 0; i < KEY_CODE_COUNT; ++i) {
            DIOBJECTDATAFORMAT& object = Keyboard.objectArray[i];
            object.pguid = &GUID_Key;
            object.dwOfs = static_cast<DWORD>(i);
            object.dwType = DIDFT_BUTTON | DIDFT_OPTIONAL | DIDFT_MAKEINSTANCE(i);
            object.dwFlags = 0;
        }
    }
    Keyboard.dataFormat.dwSize = sizeof(DIDATAFORMAT);
    Keyboard.dataFormat.dwObjSize = sizeof(DIOBJECTDATAFORMAT);
    Keyboard.dataFormat.dwFlags = DIDF_RELAXIS;
    Keyboard.dataFormat.dwDataSize = KEY_CODE_COUNT;
    Keyboard.dataFormat.dwNumObjs = KEY_CODE_COUNT;
    Keyboard.dataFormat.rgodf = Keyboard.objectArray;
}

void BindToDisplayWindow() {
    Keyboard.boundWindow = GetDisplayWindowHandle();
    Keyboard.device->SetCooperativeLevel(Keyboard.boundWindow, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    Keyboard.device->Acquire();
}

// Our window is in front again after another window had the foreground.
// Wine's DirectInput reads keys through a system-wide keyboard hook; one that
// another program set above ours and left behind when it ended cuts ours off
// for good, and Wine keeps our stale hook through an ordinary re-acquire.
// Letting go while acquired makes it take the hook down, and acquiring again
// sets it anew, on top. A display moving to another window is no such loss.
void RenewHookAfterForegroundReturns() {
    HWND foreground = GetForegroundWindow();
    if (foreground != Keyboard.boundWindow) {
        Keyboard.foregroundLost = Keyboard.boundWindow == GetDisplayWindowHandle();
        return;
    }
    if (!Keyboard.foregroundLost) return;
    Keyboard.device->Acquire();
    Keyboard.device->Unacquire();
    if (Keyboard.device->Acquire() == DI_OK) Keyboard.foregroundLost = 0;
}

bool IsDown(int key) {
    return (Keyboard.keyState[key] & 0x80) != 0;
}

}  // namespace

IDirectInput7A* AcquireDirectInput() {
    if (!DirectInput.object) {
        if (!DirectInput.module) DirectInput.module = LoadLibraryA("DINPUT.DLL");
        if (DirectInput.module) {
            auto create = reinterpret_cast<DirectInputCreateExProc>(
                reinterpret_cast<void*>(GetProcAddress(DirectInput.module, "DirectInputCreateEx")));
            if (create)
                create(ModuleHandle, 0x0700, IID_IDirectInput7A, reinterpret_cast<void**>(&DirectInput.object),
                       nullptr);
        }
    }
    ++DirectInput.referenceCount;
    return DirectInput.object;
}

void ReleaseDirectInput() {
    --DirectInput.referenceCount;
    if (DirectInput.object && DirectInput.referenceCount == 0) {
        DirectInput.object->Release();
        FreeLibrary(DirectInput.module);
        DirectInput.object = nullptr;
        DirectInput.module = nullptr;
    }
}

int InitKeyboardInput() {
    AcquireDirectInput();
    Keyboard.libraryStarted = 1;
    if (!DirectInput.object) return 0;
    if (Keyboard.devicePhase != 0) return 1;

    if (!Keyboard.objectArray) BuildKeyboardDataFormat();
    if (!Keyboard.device &&
        FAILED(DirectInput.object->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A,
                                                  reinterpret_cast<void**>(&Keyboard.device), nullptr))) {
        Keyboard.device = nullptr;
        return 0;
    }
    if (!Keyboard.objectArray || FAILED(Keyboard.device->SetDataFormat(&Keyboard.dataFormat))) return 0;
    Keyboard.devicePhase = 1;
    return 1;
}

int PollKeyboard() {
    if (!Keyboard.device) return 0;
    if (Keyboard.devicePhase == 1) {
        // The window is chosen here, not at start: the display window exists only now.
        BindToDisplayWindow();
        Keyboard.devicePhase = 2;
    }
    RenewHookAfterForegroundReturns();
    if (Keyboard.device->GetDeviceState(KEY_CODE_COUNT, Keyboard.keyState) == DI_OK) return 1;

    // The display moved to another window, or ours lost the foreground: let go
    // entirely before binding again, or the exclusive level stays with the old window.
    Keyboard.device->Unacquire();
    Keyboard.device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE);
    BindToDisplayWindow();
    return 0;
}

int WasKeyReleased(int32_t key) {
    if (key == KEY_ANY) {
        int released = 0;
        // 255 codes, not 256: the any-key form has never looked at code 255.
        for (int code = 0; code < KEY_CODE_COUNT - 1; ++code) {
            if (IsDown(code)) {
                Keyboard.keyWasDown[code] = 1;
            } else if (Keyboard.keyWasDown[code]) {
                Keyboard.keyWasDown[code] = 0;
                released = 1;
            }
        }
        return released;
    }
    if (key < 0 || key >= KEY_CODE_COUNT) return 0;
    if (IsDown(key)) {
        Keyboard.keyWasDown[key] = 1;
        return 0;
    }
    if (!Keyboard.keyWasDown[key]) return 0;
    Keyboard.keyWasDown[key] = 0;
    return 1;
}

void EndKeyboardInput() {
    if (!Keyboard.libraryStarted) return;
    if (Keyboard.device) {
        Keyboard.device->Unacquire();
        Keyboard.device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE);
        Keyboard.device->Release();
        Keyboard.device = nullptr;
    }
    Keyboard.devicePhase = 0;  // a later start makes a device again rather than claim one
    Keyboard.boundWindow = nullptr;
    Keyboard.foregroundLost = 0;
    ReleaseDirectInput();
}
