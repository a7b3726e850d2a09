// The bubble scene's arithmetic and its use of the random sequence.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "app/program.h"
#include "runtime/core/core.h"
#include "support/child_process.h"
#include "support/gdi_readback.h"

namespace {

TEST(PopSound, RadiusPicksTheClipAndVolume) {
    struct Case { int32_t size; int8_t index; int32_t volume; } cases[] = {
        {0, 0, 20}, {1, 0, 20}, {13, 0, 20}, {14, 1, 60}, {26, 1, 60}, {27, 2, 100}, {40, 2, 100},
    };
    for (const Case& c : cases) {
        PopSound pop = PopSoundFor(c.size, 300);
        EXPECT_EQ(pop.index, c.index) << "radius " << c.size << " got index " << int(pop.index);
        EXPECT_EQ(pop.volume, c.volume) << "radius " << c.size << " got volume " << pop.volume;
    }
}

TEST(PopSound, BalanceFollowsTheHorizontalPosition) {
    struct Case { int32_t x; int32_t balance; } cases[] = {
        {40, -44}, {41, -44}, {300, 0}, {305, 0}, {306, 1}, {560, 43}, {559, 43},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PopSoundFor(10, c.x).balance, c.balance) << "x " << c.x;
}

TEST(BackgroundPulse, ClimbsToOneHundredAndThreeThenSwingsBetweenOneAndIt) {
    SceneState = {};
    SceneState.backgroundLevel = 10;
    SceneState.pulseRising = 1;
    std::vector<int32_t> drawn;
    for (int frame = 0; frame < 31 + 68 * 2; ++frame) {
        drawn.push_back(SceneState.backgroundLevel);
        StepBackgroundPulse();
    }
    std::vector<int32_t> expected;
    for (int level = 10; level <= 103; level += 3) expected.push_back(level);
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (int level = 100; level >= 1; level -= 3) expected.push_back(level);
        for (int level = 4; level <= 103; level += 3) expected.push_back(level);
    }
    expected.resize(drawn.size());
    EXPECT_EQ(drawn, expected);
}

// Replays the designed order of random draws for one bubble update.
struct ExpectedBubble {
    Bubble bubble;
    bool reborn;
};
ExpectedBubble ReplayUpdate(Bubble b) {
    bool reborn = false;
    b.size -= 1;
    if (b.size < 1) {
        reborn = true;
        b.x = RandomInt(520) + 40;
        b.y = RandomInt(370) + 40;
        b.size = RandomInt(40);
        b.style = RandomInt(1);
    }
    b.color = MakeRGB(b.size * 255 / 40, b.size * 255 / 40, 255);
    b.x += RandomInt(4) - 2;
    b.y += RandomInt(4) - 2;
    return {b, reborn};
}

TEST(BubbleUpdate, FirstFrameRebornsAllSixInTheDesignedRandomOrder) {
    SceneState = {};
    Bubble bubbles[6] = {};
    Bubble expected[6] = {};
    SeedRandom(2024);
    for (Bubble& e : expected) e = ReplayUpdate(e).bubble;
    SeedRandom(2024);
    for (Bubble& b : bubbles) UpdateBubble(b);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(bubbles[i].x, expected[i].x) << "bubble " << i;
        EXPECT_EQ(bubbles[i].y, expected[i].y) << "bubble " << i;
        EXPECT_EQ(bubbles[i].size, expected[i].size) << "bubble " << i;
        EXPECT_EQ(bubbles[i].style, expected[i].style) << "bubble " << i;
        EXPECT_EQ(bubbles[i].color, expected[i].color) << "bubble " << i;
        EXPECT_GE(bubbles[i].x, 38) << "bubble " << i;
        EXPECT_LE(bubbles[i].x, 562) << "bubble " << i;
        EXPECT_GE(bubbles[i].y, 38) << "bubble " << i;
        EXPECT_LE(bubbles[i].y, 412) << "bubble " << i;
    }
}

TEST(BubbleUpdate, ABubbleLivesItsRadiusInFramesAndIsRebornAtZero) {
    SceneState = {};
    SeedRandom(99);
    Bubble bubble{300, 200, 6, 0, 1};
    std::vector<int32_t> sizes;
    for (int frame = 0; frame < 5; ++frame) {
        UpdateBubble(bubble);
        sizes.push_back(bubble.size);
    }
    EXPECT_EQ(sizes, (std::vector<int32_t>{5, 4, 3, 2, 1}));
    EXPECT_EQ(bubble.style, 1) << "no rebirth yet";
    EXPECT_EQ(bubble.color, MakeRGB(6, 6, 255)) << "colour follows the radius: 1 * 255 / 40";
    UpdateBubble(bubble);
    EXPECT_GE(bubble.size, 0) << "reborn in the frame its radius reaches 0";
    EXPECT_LE(bubble.size, 40);
}

TEST(BubbleUpdate, ColourRunsFromBlueAtRadiusZeroToWhiteAtForty) {
    SceneState = {};
    SeedRandom(5);
    Bubble big{300, 200, 41, 0, 0};
    UpdateBubble(big);
    EXPECT_EQ(big.color, 0x00FFFFFFu) << std::hex << big.color;
    Bubble small{300, 200, 2, 0, 0};
    UpdateBubble(small);
    EXPECT_EQ(small.color, MakeRGB(6, 6, 255)) << std::hex << small.color;
}

// The whole toy in a child process: real start-up, 200 switches between the
// display modes with a frame after each, then the real end. GDI objects and
// windows must not pile up, and the process must leave with status 0.
BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int CountThreadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Bytes in use in one of the runtime's private heaps.
long long HeapBytesInUse(HANDLE heap) {
    if (!heap) return 0;
    long long total = 0;
    PROCESS_HEAP_ENTRY entry{};
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    HeapUnlock(heap);
    return total;
}

long long RuntimeBytesInUse() { return HeapBytesInUse(RuntimeHeap) + HeapBytesInUse(ObjectNodeHeap); }

TEST(ToyRun, DISABLED_TogglesInChild) {
    StartProgram(GetModuleHandleA(nullptr));
    SetUpScene();
    for (int i = 0; i < 4; ++i) {
        ToggleDisplayMode();
        RunFrame();
    }
    int gdiBefore = CountGdiObjects(), windowsBefore = CountThreadWindows();
    long long heapBefore = RuntimeBytesInUse();
    for (int i = 0; i < 200; ++i) {
        ToggleDisplayMode();
        RunFrame();
    }
    std::printf("counts %d %d %d %d mode %d heap %lld %lld\n", gdiBefore, CountGdiObjects(), windowsBefore,
                CountThreadWindows(), SceneState.displayMode, heapBefore, RuntimeBytesInUse());
    std::fflush(stdout);
    ExitProgram();
}

TEST(ToyRun, TwoHundredTogglesLeaveGdiObjectsWindowsAndHeapsFlat) {
    ChildRun child = RunThisTestProgram("--gtest_also_run_disabled_tests --gtest_filter=ToyRun.DISABLED_TogglesInChild",
                                        180000);
    ASSERT_TRUE(child.started);
    ASSERT_TRUE(child.finished) << "the toy did not end; output: " << child.output;
    EXPECT_EQ(child.exitCode, 0u) << "output: " << child.output;
    size_t at = child.output.find("counts ");
    ASSERT_NE(at, std::string::npos) << "the child never got through the toggles: " << child.output;
    int gdiBefore = 0, gdiAfter = 0, windowsBefore = 0, windowsAfter = 0, mode = -1;
    long long heapBefore = 0, heapAfter = 0;
    ASSERT_EQ(std::sscanf(child.output.c_str() + at, "counts %d %d %d %d mode %d heap %lld %lld", &gdiBefore,
                          &gdiAfter, &windowsBefore, &windowsAfter, &mode, &heapBefore, &heapAfter),
              7)
        << child.output;
    EXPECT_GT(heapBefore, 0) << "the runtime's heaps were not walked";
    EXPECT_EQ(heapAfter, heapBefore) << "bytes in use in the runtime's own heaps";
    EXPECT_GT(gdiBefore, 0) << "no way to count GDI objects here";
    EXPECT_EQ(gdiAfter, gdiBefore) << "GDI objects before and after 200 toggles";
    EXPECT_EQ(windowsAfter, windowsBefore) << "windows before and after 200 toggles";
    EXPECT_EQ(mode, 1) << "an even number of toggles after set-up ends in full screen";
}

}  // namespace
