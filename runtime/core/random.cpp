// RANROT-W: 17 pairs of 32-bit words, lags 17 and 10, rotations 19 and 27.
#include "core.h"

namespace {

struct RandomState {
    uint32_t words[17][2];  // 17 pairs: [k][0] first word, [k][1] second word
    int p1;                 // pair the next step replaces
    int p2;                 // lagged pair the next step adds
    bool seeded;
};
RandomState RandomGenerator;

uint32_t RotateLeft(uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

}  // namespace

void SeedRandom(uint32_t seed) {
    RandomGenerator.seeded = true;  // a chosen seed holds: the first draw must not seed again
    for (int i = 0; i < 34; ++i) {
        seed = seed * 2891336453u + 1u;
        RandomGenerator.words[i / 2][i % 2] = seed;
    }
    RandomGenerator.p1 = 0;
    RandomGenerator.p2 = 10;
    for (int i = 0; i < 31; ++i) NextRandomPair();
}

void AutoSeedRandom() {
    RandomGenerator.seeded = true;
    SeedRandom(GetTickCount());
}

RandomPair NextRandomPair() {
    uint32_t* a = RandomGenerator.words[RandomGenerator.p1];
    const uint32_t* b = RandomGenerator.words[RandomGenerator.p2];
    uint32_t z = RotateLeft(a[0], 19) + b[0];
    uint32_t y = RotateLeft(a[1], 27) + b[1];
    // The exchange is part of the generator: the new first word is y.
    a[0] = y;
    a[1] = z;
    RandomGenerator.p1 = RandomGenerator.p1 == 0 ? 16 : RandomGenerator.p1 - 1;
    RandomGenerator.p2 = RandomGenerator.p2 == 0 ? 16 : RandomGenerator.p2 - 1;
    return {y, z};
}

int32_t RandomInt(int32_t max) {
    if (!RandomGenerator.seeded) AutoSeedRandom();
    RandomPair pair = NextRandomPair();
    if (max < 0) return INT32_MIN;
    // floor((z * 2^32 + y) * R / 2^64), exactly, in 64-bit pieces.
    uint64_t range = static_cast<uint64_t>(max) + 1;
    uint64_t zr = pair.z * range;
    uint64_t yr = pair.y * range;
    uint64_t middle = (zr & 0xFFFFFFFFu) + (yr >> 32);
    return static_cast<int32_t>((zr >> 32) + (middle >> 32));
}
