#include "support/audio_capture.h"

#include "support/testbed.h"

#include <dshow.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool ReadCaptureFile(const std::string& path, CapturedAudio* audio) {
    audio->samples.clear();
    if (path.empty()) return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    int16_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, sizeof chunk[0], 4096, file)) > 0) audio->samples.insert(audio->samples.end(), chunk, chunk + got);
    std::fclose(file);
    if (audio->samples.size() % 2) audio->samples.pop_back();  // a frame cut off mid-write
    return true;
}

std::vector<SoundSpan> FindSounds(const CapturedAudio& audio, int threshold, size_t gapFrames) {
    std::vector<SoundSpan> sounds;
    bool inSound = false;
    SoundSpan current{0, 0};
    for (size_t frame = 0; frame < audio.Frames(); ++frame) {
        bool loud = std::abs(audio.At(frame, LEFT_CHANNEL)) >= threshold || std::abs(audio.At(frame, RIGHT_CHANNEL)) >= threshold;
        if (!loud) continue;
        if (inSound && frame - current.end < gapFrames) {
            current.end = frame + 1;
        } else {
            if (inSound) sounds.push_back(current);
            current = {frame, frame + 1};
            inSound = true;
        }
    }
    if (inSound) sounds.push_back(current);
    return sounds;
}

double ChannelEnergy(const CapturedAudio& audio, const SoundSpan& span, int channel) {
    double energy = 0;
    for (size_t frame = span.first; frame < span.end && frame < audio.Frames(); ++frame) {
        for (int c = 0; c < 2; ++c) {
            if (channel >= 0 && c != channel) continue;
            double sample = audio.At(frame, c);
            energy += sample * sample;
        }
    }
    return energy;
}

double ChannelRms(const CapturedAudio& audio, const SoundSpan& span, int channel) {
    size_t frames = span.end > span.first ? span.end - span.first : 0;
    if (frames == 0) return 0;
    return std::sqrt(ChannelEnergy(audio, span, channel) / (frames * (channel < 0 ? 2 : 1)));
}

double EnergyDecibels(double a, double b) {
    // A silent side counts as one unit of energy, so the ratio stays finite.
    return 10.0 * std::log10((a > 1 ? a : 1) / (b > 1 ? b : 1));
}

double EstimatePitchHz(const CapturedAudio& audio, const SoundSpan& span) {
    int channel = ChannelEnergy(audio, span, LEFT_CHANNEL) >= ChannelEnergy(audio, span, RIGHT_CHANNEL) ? LEFT_CHANNEL
                                                                                                         : RIGHT_CHANNEL;
    constexpr int HYSTERESIS = 16;
    int sign = 0;
    size_t crossings = 0;
    for (size_t frame = span.first; frame < span.end && frame < audio.Frames(); ++frame) {
        int sample = audio.At(frame, channel);
        int now = sample >= HYSTERESIS ? 1 : sample <= -HYSTERESIS ? -1 : 0;
        if (now == 0) continue;
        if (sign != 0 && now != sign) ++crossings;
        sign = now;
    }
    double seconds = span.Seconds();
    return seconds > 0 ? crossings / 2.0 / seconds : 0;
}

namespace {

// Re-reads the capture file until `done` holds for what it holds; false on timeout.
template <typename Done>
bool ReadCaptureUntil(CapturedAudio* audio, DWORD timeoutMs, Done done) {
    std::string path = CaptureFilePath();
    DWORD start = GetTickCount();
    for (;;) {
        if (ReadCaptureFile(path, audio) && done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);  // the file only grows by the device's writes; polling is all there is
    }
}

// Whether silence as long as FindSounds' gap follows the last sound, so that
// nothing more of it is still to come.
bool EndsInSilence(const CapturedAudio& audio, const std::vector<SoundSpan>& sounds) {
    return !sounds.empty() && audio.Frames() - sounds.back().end >= CAPTURE_RATE / 10;
}

// On a busy machine the player falls behind and the device fills the wait
// with zeros (6,355 frames were seen inside one pop). A pop's own runs (its
// zero crossings and fade, longer when quieter) were up to 8 frames long at
// volume 100 and 20 at volume 20.
constexpr size_t OWN_SILENCE = 20;

CapturedAudio HeardSound(const CapturedAudio& audio, size_t from) {
    CapturedAudio sound;
    size_t silent = 0;
    for (size_t frame = from; frame < audio.Frames(); ++frame) {
        if (audio.At(frame, LEFT_CHANNEL) == 0 && audio.At(frame, RIGHT_CHANNEL) == 0) {
            ++silent;
            continue;
        }
        // Zeros before the first sound and runs longer than its own are left out.
        if (!sound.samples.empty() && silent <= OWN_SILENCE) sound.samples.insert(sound.samples.end(), 2 * silent, 0);
        silent = 0;
        sound.samples.push_back(audio.At(frame, LEFT_CHANNEL));
        sound.samples.push_back(audio.At(frame, RIGHT_CHANNEL));
    }
    return sound;
}

}  // namespace

bool WaitForHeardSound(size_t from, size_t frames, CapturedAudio* audio, CapturedAudio* sound, DWORD timeoutMs) {
    return ReadCaptureUntil(audio, timeoutMs, [&] {
        if (audio->Frames() < from) return false;
        *sound = HeardSound(*audio, from);
        return sound->Frames() >= frames && EndsInSilence(*audio, FindSounds(*audio));
    });
}

std::vector<int16_t> WavFileSamples(const std::string& path) {
    // The generated pops: a plain 44-byte header, its format chunk and then the data.
    std::vector<int16_t> samples;
    unsigned char h[44] = {};
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file && std::fread(h, 1, sizeof h, file) == sizeof h && std::memcmp(h + 36, "data", 4) == 0 && h[22] == 1 &&
        h[34] == 16 && (h[24] | h[25] << 8 | h[26] << 16) == CAPTURE_RATE) {
        samples.resize((h[40] | h[41] << 8 | h[42] << 16) / 2);
        samples.resize(std::fread(samples.data(), 2, samples.size(), file));
    }
    if (file) std::fclose(file);
    return samples;
}

long ClipFrameAtHeardStart(const CapturedAudio& sound, const std::vector<int16_t>& clip, long latest) {
    // Both channels added are the clip at some level, wherever the balance puts it. A window past the
    // heard start's first frames is matched against the clip at each lag, by normalised correlation.
    constexpr long SKIP = 64, WINDOW = 512;
    long best = LONG_MIN;
    double bestScore = -2;
    for (long lag = -SKIP; lag <= latest && SKIP + lag + WINDOW <= static_cast<long>(clip.size()); ++lag) {
        double both = 0, heard = 0, own = 0;
        for (long i = SKIP; i < SKIP + WINDOW && i < static_cast<long>(sound.Frames()); ++i) {
            double h = sound.At(i, LEFT_CHANNEL) + sound.At(i, RIGHT_CHANNEL), c = clip[i + lag];
            both += h * c, heard += h * h, own += c * c;
        }
        double score = both / std::sqrt(heard * own + 1);
        if (score > bestScore) bestScore = score, best = lag;
    }
    return best;
}

bool WaitForGraphCompletion(IUnknown* graph, DWORD timeoutMs) {
    IMediaEvent* events = nullptr;
    if (!graph || FAILED(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events)))) return false;
    long code = 0;
    HRESULT waited = events->WaitForCompletion(static_cast<long>(timeoutMs), &code);
    events->Release();
    return waited == S_OK;
}

long long GraphPositionMs(IUnknown* graph) {
    IMediaSeeking* seeking = nullptr;
    if (!graph || FAILED(graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)))) return -1;
    LONGLONG position = 0;
    HRESULT got = seeking->GetCurrentPosition(&position);
    seeking->Release();
    return SUCCEEDED(got) ? position / 10000 : -1;  // media time is in 100 ns units
}

long long HeadStartAfter(IUnknown* graph, const std::function<bool()>& start, long long* length) {
    IMediaSeeking* seeking = nullptr;
    IMediaFilter* filter = nullptr;
    IReferenceClock* clock = nullptr;
    long long headStart = LLONG_MAX;
    IFilterGraph* filterGraph = nullptr;
    // A graph that never ran has no clock yet: the one its first run would choose.
    if (graph && SUCCEEDED(graph->QueryInterface(IID_IFilterGraph, reinterpret_cast<void**>(&filterGraph)))) {
        filterGraph->SetDefaultSyncSource();
        filterGraph->Release();
    }
    if (graph && SUCCEEDED(graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking))) &&
        SUCCEEDED(graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&filter))) &&
        filter->GetSyncSource(&clock) == S_OK && clock) {
        REFERENCE_TIME before = 0, after = 0;
        LONGLONG position = 0;
        clock->GetTime(&before);
        if (start() && SUCCEEDED(seeking->GetCurrentPosition(&position)) && SUCCEEDED(clock->GetTime(&after)) &&
            SUCCEEDED(seeking->GetDuration(length)))
            headStart = position - (after - before);
    }
    if (clock) clock->Release();
    if (filter) filter->Release();
    if (seeking) seeking->Release();
    return headStart;
}

bool WaitForCapturedSounds(size_t count, CapturedAudio* audio, DWORD timeoutMs) {
    return ReadCaptureUntil(audio, timeoutMs, [&] {
        std::vector<SoundSpan> sounds = FindSounds(*audio);
        return sounds.size() >= count && EndsInSilence(*audio, sounds);
    });
}

bool RemoveGraphClock(IUnknown* graph) {
    IMediaFilter* filter = nullptr;
    if (!graph || FAILED(graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&filter)))) return false;
    HRESULT removed = filter->SetSyncSource(nullptr);
    filter->Release();
    return SUCCEEDED(removed);
}
