// Reading and measuring what the test bed's ALSA default device captured.
//
// How the capture behaves under Wine (found by trial): every DirectSound
// device that Wine opens - one per DirectShow audio renderer, made when a
// graph is built - opens the capture file afresh and truncates it; two
// devices alive at once write over each other. So a measurement keeps one
// graph, plays it, and waits for the sound to show in the file.
// While a device is open it writes digital silence between sounds, so
// sounds are found as runs of non-silent frames.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/testbed.h"

constexpr int CAPTURE_RATE = 44100;  // frames per second, two 16-bit channels
constexpr int LEFT_CHANNEL = 0;
constexpr int RIGHT_CHANNEL = 1;

struct CapturedAudio {
    std::vector<int16_t> samples;  // interleaved left, right
    size_t Frames() const { return samples.size() / 2; }
    int16_t At(size_t frame, int channel) const { return samples[frame * 2 + channel]; }
};

// One sound in the capture: frames [first, end).
struct SoundSpan {
    size_t first;
    size_t end;
    double Seconds() const { return static_cast<double>(end - first) / CAPTURE_RATE; }
};

// Reads the whole capture file; false when it cannot be read.
bool ReadCaptureFile(const std::string& path, CapturedAudio* audio);

// The sounds in the capture, in order: runs of frames where either channel
// reaches `threshold`, joined across quieter gaps shorter than `gapFrames`.
std::vector<SoundSpan> FindSounds(const CapturedAudio& audio, int threshold = 64, size_t gapFrames = CAPTURE_RATE / 10);

inline SoundSpan WholeOf(const CapturedAudio& sound) { return {0, sound.Frames()}; }

// Re-reads the capture until the sound from frame `from` on is heard to at
// least `frames` frames and silence follows it (so nothing more of it is
// still to come); false on timeout. `sound` gets what was heard: from the
// first non-silent frame to the last, less the runs of digital silence inside
// it longer than a pop's own.
bool WaitForHeardSound(size_t from, size_t frames, CapturedAudio* audio, CapturedAudio* sound, DWORD timeoutMs = WAIT_LIMIT_MS);

// The samples of a 16-bit mono PCM WAV file at the capture's rate (the
// generated pops), or none: the clip to hold a sound heard against.
std::vector<int16_t> WavFileSamples(const std::string& path);

// The clip frame that the heard sound's first frame lines up with, at a lag
// from just before the clip's start up to `latest`. Wine's mixer starts a
// whole sound 31 or 32 frames before its clip (its filter's lead); a sound
// whose start was dropped starts at the first clip frame that was kept.
long ClipFrameAtHeardStart(const CapturedAudio& sound, const std::vector<int16_t>& clip, long latest);

// Sum of squared samples of one channel over the span (channel -1: both).
double ChannelEnergy(const CapturedAudio& audio, const SoundSpan& span, int channel);
double ChannelRms(const CapturedAudio& audio, const SoundSpan& span, int channel);

// 10 log10(a / b): how many decibels the energy a lies above b.
double EnergyDecibels(double a, double b);

// Pitch estimated from zero crossings of the louder channel over the span,
// with a small hysteresis so that near-silent wiggles do not count.
double EstimatePitchHz(const CapturedAudio& audio, const SoundSpan& span);

// Lets the graph run without a reference clock. The test bed's null device
// takes data faster than real time; against a clock, the audio renderer then
// finds its samples late and skips stretches of them, so a pop arrives with
// holes in it (40 ms heard, 50 ms gone, and so on). Without a clock every
// sample is written, and levels and lengths can be measured.
bool RemoveGraphClock(IUnknown* graph);

// Re-reads the capture until it holds at least `count` sounds, the last one
// followed by silence (so it is whole). The device writes ahead in bursts:
// a sound reaches the file some time after its graph reported the end, and
// what was not yet written when the device closes is lost.
bool WaitForCapturedSounds(size_t count, CapturedAudio* audio, DWORD timeoutMs = WAIT_LIMIT_MS);

// Waits for EC_COMPLETE (or an abort) of the graph; false on timeout.
bool WaitForGraphCompletion(IUnknown* graph, DWORD timeoutMs = WAIT_LIMIT_MS);

// The graph's present position in milliseconds, or -1.
long long GraphPositionMs(IUnknown* graph);

// How far into the clip the graph is right after `start` ran, in 100 ns units:
// its position less what the graph's own reference clock ran meanwhile, so
// that however long a busy machine takes over the call and the read, a start
// from the beginning gives 0 or less. `length` receives the clip's duration.
long long HeadStartAfter(IUnknown* graph, const std::function<bool()>& start, long long* length);
