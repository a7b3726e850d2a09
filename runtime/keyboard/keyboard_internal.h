// The keyboard library's state, for its own file and for tests that must
// place a snapshot by hand. Not for other libraries.
#pragma once

#include "runtime/keyboard/keyboard.h"

constexpr int KEY_CODE_COUNT = 256;

struct KeyboardState {
    int32_t libraryStarted;            // set by every InitKeyboardInput
    IDirectInputDevice7A* device;      // the system keyboard, or none
    int32_t devicePhase;               // 0 none, 1 format set, 2 bound and acquired
    HWND boundWindow;                  // the window of the last cooperative level set
    int32_t foregroundLost;            // another window took the foreground from boundWindow
    DIDATAFORMAT dataFormat;
    DIOBJECTDATAFORMAT* objectArray;   // RuntimeHeap, KEY_CODE_COUNT entries
    uint8_t keyState[KEY_CODE_COUNT];  // last snapshot; bit 7 = down
    uint8_t keyWasDown[KEY_CODE_COUNT];  // seen down by WasKeyReleased, release not yet reported
};

struct DirectInputLoader {
    IDirectInput7A* object;
    HMODULE module;                    // "DINPUT.DLL"
    int32_t referenceCount;
};

extern KeyboardState Keyboard;
extern DirectInputLoader DirectInput;
