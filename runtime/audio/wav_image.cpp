// Reading a WAV image in memory: "RIFF", a "fmt " chunk at 12, and the chunk
// right after it taken as the sample data.
#include "wav_image.h"

#include <cstring>

namespace {

constexpr uint32_t FORMAT_CHUNK_OFFSET = 12;
constexpr uint32_t FORMAT_RECORD_OFFSET = 20;
constexpr uint32_t CHUNK_HEADER_SIZE = 8;
constexpr uint32_t PCM_FORMAT_SIZE = 16;       // tag to bits per sample
constexpr uint32_t EXTENDED_FORMAT_SIZE = 18;  // the same plus the extension length
constexpr uint16_t WAVE_FORMAT_PCM_TAG = 1;

uint32_t ReadWord(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);  // chunk fields need not be aligned
    return value;
}

}  // namespace

bool StartsWithRiff(const void* block, uint32_t length) {
    if (length != 0 && length < 4) return false;
    return std::memcmp(block, "RIFF", 4) == 0;
}

bool ReadWavImage(const void* block, uint32_t length, WavImage* image) {
    const auto* bytes = static_cast<const uint8_t*>(block);
    bool bounded = length != 0;
    if (bounded && length < FORMAT_RECORD_OFFSET) return false;
    if (std::memcmp(bytes + FORMAT_CHUNK_OFFSET, "fmt ", 4) != 0) return false;

    // The data chunk is taken to follow the format chunk directly; whatever
    // chunk sits there is played. Wider sums keep a hostile F or D from
    // wrapping past the bounds check.
    uint64_t formatLength = ReadWord(bytes + 16);
    uint64_t dataHeader = FORMAT_RECORD_OFFSET + formatLength;
    if (bounded && dataHeader + CHUNK_HEADER_SIZE > length) return false;
    // DirectSound reads the format record in place: 16 bytes of a PCM one, 18
    // plus the extension length of any other. All of it must lie in the chunk.
    if (formatLength < PCM_FORMAT_SIZE) return false;
    uint16_t tag;
    std::memcpy(&tag, bytes + FORMAT_RECORD_OFFSET, sizeof tag);
    if (tag != WAVE_FORMAT_PCM_TAG) {
        if (formatLength < EXTENDED_FORMAT_SIZE) return false;
        uint16_t extension;
        std::memcpy(&extension, bytes + FORMAT_RECORD_OFFSET + PCM_FORMAT_SIZE, sizeof extension);
        if (formatLength < EXTENDED_FORMAT_SIZE + extension) return false;
    }
    uint32_t dataLength = ReadWord(bytes + dataHeader + 4);
    if (bounded && dataHeader + CHUNK_HEADER_SIZE + dataLength > length) return false;

    image->format = bytes + FORMAT_RECORD_OFFSET;
    image->dataLength = dataLength;
    image->samples = bytes + dataHeader + CHUNK_HEADER_SIZE;
    return true;
}
