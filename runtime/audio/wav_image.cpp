// Reading a WAV image in memory: "RIFF", a "fmt " chunk at 12, and the chunk
// right after it taken as the sample data.
#include "wav_image.h"

#include <cstring>

namespace {

constexpr uint32_t FORMAT_CHUNK_OFFSET = 12;
constexpr uint32_t FORMAT_RECORD_OFFSET = 20;
constexpr uint32_t CHUNK_HEADER_SIZE = 8;

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
    uint32_t dataLength = ReadWord(bytes + dataHeader + 4);
    if (bounded && dataHeader + CHUNK_HEADER_SIZE + dataLength > length) return false;

    image->format = bytes + FORMAT_RECORD_OFFSET;
    image->dataLength = dataLength;
    image->samples = bytes + dataHeader + CHUNK_HEADER_SIZE;
    return true;
}
