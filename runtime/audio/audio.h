// Audio: the DirectSound sound system with numbered sound buffers, and the
// DirectShow media-clip layer through which the pop sounds play.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <mmstream.h>

#include <cstdint>
#include <cstdio>

#include "runtime/core/core.h"

// ---------------------------------------------------------------------------
// Sound system

// A reader of a sound kind other than WAV, turning it into 16-bit PCM.
struct SoundDecoder {
    int32_t (*accept)(FILE* file, const char* fileName, const void* block, int32_t length);  // non-zero: can read it
    void (*decode)(void* target, int32_t targetLength, int32_t flags);  // interleaved 16-bit samples; flags 0
    int32_t (*channels)();
    int32_t (*frames)();  // samples per channel
    int32_t (*rate)();    // frames per second
};

constexpr int SOUND_DECODER_CAPACITY = 100;

uintptr_t InitSoundSystem();   // non-zero on success
void EndSoundSystem();
uintptr_t LoadSoundFromMemory(ObjectId number, const void* block, uint32_t length);  // 0 on failure; length 0 = not given
void DestroySound(ObjectId value);
void RegisterSoundDecoder(const SoundDecoder* decoder);
int SelectSoundDecoder(const char* fileName, const void* block, int32_t length);  // 1 when a decoder accepted
int32_t CurrentDecoderChannels();
int32_t CurrentDecoderFrames();
int32_t CurrentDecoderRate();
void DecodeWithCurrentDecoder(void* target, int32_t targetLength, int32_t flags);  // then closes the current file

// ---------------------------------------------------------------------------
// Media clips

// One clip: a DirectShow filter graph built from a file. A record whose
// graph builder is null is an empty slot.
struct MediaClip {
    IGraphBuilder* graphBuilder;
    IMediaControl* mediaControl;
    IMediaEventEx* mediaEvents;  // held and released, never read
    IVideoWindow* videoWindow;
    IBasicAudio* audio;
    IBasicVideo* video;
    IMediaSeeking* seeking;
    int32_t state;     // MEDIA_CLIP_EMPTY, _STOPPED or _PLAYING
    char* fileName;    // own copy, malloc'd
    int32_t streamMode;  // 1 when last started with window -1
    uintptr_t streamReserved;
    IMultiMediaStream* multimediaStream;
    IUnknown* streamInterfaces[3];  // released in the order 0, 2, 1
    uintptr_t streamReservedTail[4];
};

constexpr int32_t MEDIA_CLIP_EMPTY = 0;
constexpr int32_t MEDIA_CLIP_PLAYING = 2;
constexpr int32_t MEDIA_CLIP_STOPPED = 3;
inline const HWND MEDIA_CLIP_STREAM_WINDOW = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));  // owner for stream mode

uintptr_t InitMediaPlayer();   // non-zero on success
uintptr_t LoadMediaClip(ObjectId number, const char* fileName);   // clip handle, 0 on failure
int PlayMediaClip(ObjectId value, HWND owner);                    // 1 started, 0 no such clip
void SetMediaClipAudio(int32_t volume, int32_t balance);           // percent 0..100, -100..100
void DestroyMediaClip(ObjectId value);
void EndMediaPlayer();
IGraphBuilder* SelectMediaClip(ObjectId value);  // makes a live clip current; null leaves the current one
void RewindCurrentClip();
int32_t GetClipVideoWidth();   // -1 without video, 0 with no current clip
int32_t GetClipVideoHeight();
