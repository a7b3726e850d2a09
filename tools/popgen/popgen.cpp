// Synthesises the three pop sounds of the toy as 16-bit mono PCM WAV files.
//
// A pop is a short sine burst whose pitch jumps up quickly and then sags,
// under an envelope that rises over 3 ms and decays exponentially; the last
// 10 ms fade to exact silence, so neither end clicks. Fully deterministic:
// the same bytes on every build.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kSampleRate = 44100;
constexpr double kPi = 3.14159265358979323846;

struct PopVoice {
    const char* fileName;
    double baseHz;   // pitch the pop settles to
    double seconds;  // length, always under half a second
};

// Smaller bubbles pop higher: "pop+1" plays for radii 0-13, "pop-1" for 27-40.
constexpr PopVoice kVoices[] = {
    {"pop+1.wav", 1320.0, 0.16},
    {"pop-0.wav", 740.0, 0.22},
    {"pop-1.wav", 370.0, 0.30},
};

std::vector<int16_t> Synthesise(const PopVoice& voice) {
    const int count = static_cast<int>(voice.seconds * kSampleRate);
    const int attack = kSampleRate * 3 / 1000;
    const int release = kSampleRate * 10 / 1000;
    std::vector<int16_t> samples(count);
    double phase = 0.0;
    for (int i = 0; i < count; ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        // Upward flick over the first 15 ms, then a slow sag of a fifth.
        double flick = 1.0 - std::exp(-t / 0.004);
        double sag = 1.0 - 0.33 * (t / voice.seconds);
        double hz = voice.baseHz * (0.6 + 0.6 * flick) * sag;
        phase += 2.0 * kPi * hz / kSampleRate;
        double envelope = std::exp(-t / (voice.seconds * 0.25));
        if (i < attack) envelope *= 0.5 - 0.5 * std::cos(kPi * i / attack);
        if (i >= count - release) envelope *= 0.5 - 0.5 * std::cos(kPi * (count - 1 - i) / release);
        double value = 0.8 * envelope * (std::sin(phase) + 0.15 * std::sin(2.0 * phase));
        samples[i] = static_cast<int16_t>(std::lround(value / 1.15 * 32767.0));
    }
    return samples;
}

void PutWord(std::FILE* f, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), f);
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::fputs("RIFF", f);
    PutWord(f, 36 + dataBytes, 4);
    std::fputs("WAVEfmt ", f);
    PutWord(f, 16, 4);               // format chunk size
    PutWord(f, 1, 2);                // PCM
    PutWord(f, 1, 2);                // mono
    PutWord(f, kSampleRate, 4);
    PutWord(f, kSampleRate * 2, 4);  // bytes per second
    PutWord(f, 2, 2);                // block align
    PutWord(f, 16, 2);               // bits per sample
    std::fputs("data", f);
    PutWord(f, dataBytes, 4);
    for (int16_t s : samples) PutWord(f, static_cast<uint16_t>(s), 2);
    bool ok = std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : ".";
    for (const PopVoice& voice : kVoices) {
        std::string path = folder + "/" + voice.fileName;
        if (!WriteWav(path, Synthesise(voice))) {
            std::fprintf(stderr, "popgen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
