// The WAV memory image as the sound loader reads it; internal to the audio library.
#pragma once

#include <cstdint>

struct WavImage {
    const void* format;    // WAVEFORMATEX in place, handed to DirectSound as it stands
    uint32_t dataLength;   // bytes of sample data
    const uint8_t* samples;
};

bool StartsWithRiff(const void* block, uint32_t length);
// The format record, data length and samples of a RIFF block; false when the
// first chunk is not "fmt ", or when a given length (non-zero) does not hold them.
bool ReadWavImage(const void* block, uint32_t length, WavImage* image);
