// Audio: the DirectSound sound system with numbered sound buffers, and the
// DirectShow media-clip layer through which the pop sounds play.
#pragma once

#include <windows.h>

#include <cstdint>

#include "runtime/core/core.h"

// Sound system
uintptr_t InitSoundSystem();   // non-zero on success
void EndSoundSystem();
uintptr_t LoadSoundFromMemory(ObjectId number, const void* block, uint32_t length);  // 0 on failure
void DestroySound(ObjectId value);

// Media clips
uintptr_t InitMediaPlayer();   // non-zero on success
uintptr_t LoadMediaClip(ObjectId number, const char* fileName);   // clip handle, 0 on failure
int PlayMediaClip(ObjectId value, HWND owner);                    // 1 started, 0 no such clip
void SetMediaClipAudio(int32_t volume, int32_t balance);           // percent 0..100, -100..100
void DestroyMediaClip(ObjectId value);
void EndMediaPlayer();
