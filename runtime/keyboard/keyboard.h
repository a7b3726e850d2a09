// Keyboard: DirectInput snapshots of the whole keyboard and released-key queries.
#pragma once

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0700
#endif
#include <windows.h>
#include <dinput.h>

#include <cstdint>

constexpr int32_t KEY_ESCAPE = 1;   // DIK_ESCAPE
constexpr int32_t KEY_F12 = 88;     // DIK_F12
constexpr int32_t KEY_ANY = -1;

int InitKeyboardInput();            // non-zero on success, also when already started
int PollKeyboard();                 // 1 fresh snapshot, 0 read failed and device rebound
int WasKeyReleased(int32_t key);    // 1 once per release of key (or of any key for -1)
void EndKeyboardInput();
IDirectInput7A* AcquireDirectInput();  // shared object or null; always takes a reference
void ReleaseDirectInput();             // drops one reference
