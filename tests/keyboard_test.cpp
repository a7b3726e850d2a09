// The keyboard library under Wine: the released-key rules on placed
// snapshots, and real key events from the X server through DirectInput.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/keyboard/keyboard_internal.h"
#include "support/display.h"
#include "support/key_injection.h"
#include "support/windows.h"
#include "support/testbed.h"

namespace {

void PlaceSnapshot(const std::vector<int>& downKeys) {
    memset(Keyboard.keyState, 0, sizeof Keyboard.keyState);
    for (int key : downKeys) Keyboard.keyState[key] = 0x80;
}

bool IsKeyDown(int key) { return (Keyboard.keyState[key] & 0x80) != 0; }

class KeyboardTest : public DisplayTest {};

// The program's full screen, its usual mode, in front and read by the keyboard.
// Given the foreground as a click would: a full screen opened while the bare X
// server's desktop window has it (as after a case whose other window went)
// does not take it, and no keyboard would read.
class KeyboardInFront : public KeyboardTest {
protected:
    void SetUp() override {
        KeyboardTest::SetUp();
        ASSERT_TRUE(OpenFullScreen());
        SetForegroundWindow(GetDisplayWindowHandle());
        ASSERT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 1; })) << "the keyboard never read";
    }
};

// The real-key cases need the host's key server; tests/e2e/keyboard_keys_test.sh
// runs them with it. Wine gives the full screen the X focus itself, where an
// ordinary window would wait for a window manager that the test bed does not have.
class KeyboardRealKeys : public KeyboardInFront {
protected:
    void SetUp() override {
        if (!CanInjectKeys()) GTEST_SKIP() << "no key server: tests/e2e/keyboard_keys_test.sh runs these";
        KeyboardInFront::SetUp();
    }
    // Has xdotool press or release keys, then polls until the snapshot shows
    // `key` in the wanted state. Only PollKeyboard runs meanwhile: what
    // WasKeyReleased has seen stays as the test left it.
    void Press(const std::string& arguments, int key, bool down) {
        ASSERT_TRUE(InjectKeys(arguments)) << "xdotool " << arguments;
        ASSERT_TRUE(PumpMessagesUntil([&] { return PollKeyboard() == 1 && IsKeyDown(key) == down; }))
            << "after " << arguments << " key " << key << " stayed " << (down ? "up" : "down");
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Released-key rules, on snapshots placed by hand

TEST(WasKeyReleased, ReportsEachReleaseOnceAfterACallSawTheKeyDown) {
    struct Step {
        std::vector<int> down;  // keys down in the snapshot
        int32_t key;            // asked for
        int expected;
    } steps[] = {
        {{}, KEY_ESCAPE, 0},
        {{KEY_ESCAPE}, KEY_ESCAPE, 0},
        {{KEY_ESCAPE}, KEY_ESCAPE, 0},   // held across polls
        {{}, KEY_ESCAPE, 1},             // let go: once
        {{}, KEY_ESCAPE, 0},
        {{KEY_F12}, KEY_ESCAPE, 0},      // F12 down, but nobody asked for it
        {{}, KEY_F12, 0},                // asked only after it went up: not reported
        {{KEY_F12, KEY_ESCAPE}, KEY_ANY, 0},
        {{}, KEY_ANY, 1},                // both releases consumed at once
        {{}, KEY_ESCAPE, 0},
        {{}, KEY_F12, 0},
        {{255}, 255, 0},
        {{}, 255, 1},                    // the single-key form knows code 255
        {{255}, KEY_ANY, 0},
        {{}, KEY_ANY, 0},                // the any-key form never looks at it
        {{254}, KEY_ANY, 0},
        {{}, KEY_ANY, 1},
    };
    memset(Keyboard.keyWasDown, 0, sizeof Keyboard.keyWasDown);
    for (const Step& step : steps) {
        PlaceSnapshot(step.down);
        EXPECT_EQ(WasKeyReleased(step.key), step.expected) << "step " << &step - steps << " key " << step.key;
    }
}

// Each code at, just past and far past the ends of the snapshot, seen with
// every key down and then every key up: a code of the snapshot (or any key)
// reports its release, any other is refused and touches nothing.
TEST(WasKeyReleased, KeyCodesAtAndPastTheEnds) {
    const struct { int32_t key; int released; } ends[] = {
        {0, 1}, {255, 1}, {KEY_ANY, 1}, {256, 0}, {-2, 0}, {257, 0}, {-3, 0}, {INT32_MAX, 0}, {INT32_MIN, 0}};
    for (const auto& end : ends) {
        memset(Keyboard.keyWasDown, 0, sizeof Keyboard.keyWasDown);
        for (uint8_t state : {0x80, 0x00}) {
            memset(Keyboard.keyState, state, sizeof Keyboard.keyState);
            uint8_t before[sizeof Keyboard];
            memcpy(before, &Keyboard, sizeof before);
            EXPECT_EQ(WasKeyReleased(end.key), state ? 0 : end.released) << "key " << end.key << " all " << (state ? "down" : "up");
            EXPECT_TRUE(end.released || memcmp(before, &Keyboard, sizeof before) == 0) << "key " << end.key << " changed the keyboard";
        }
    }
}

TEST(WasKeyReleased, OnlyBitSevenMeansDown) {
    memset(Keyboard.keyWasDown, 0, sizeof Keyboard.keyWasDown);
    PlaceSnapshot({});
    Keyboard.keyState[KEY_ESCAPE] = 0x7F;
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 0);
    EXPECT_EQ(Keyboard.keyWasDown[KEY_ESCAPE], 0) << "a byte without bit 7 counted as down";
    Keyboard.keyState[KEY_ESCAPE] = 0x80;
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 0);
    Keyboard.keyState[KEY_ESCAPE] = 0x01;
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 1);
}

// ---------------------------------------------------------------------------
// The device

TEST_F(KeyboardTest, SecondInitCreatesNoSecondDevice) {
    IDirectInputDevice7A* device = Keyboard.device;
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(Keyboard.devicePhase, 1);
    EXPECT_NE(InitKeyboardInput(), 0);
    EXPECT_EQ(Keyboard.device, device);
    EXPECT_EQ(DirectInput.referenceCount, 3);  // ours, the screen's, this
    EndKeyboardInput();
    EXPECT_EQ(DirectInput.referenceCount, 2);
    EXPECT_NE(DirectInput.object, nullptr);
}

TEST_F(KeyboardTest, DataFormatMatchesThePublishedKeyboardFormat) {
    ASSERT_NE(Keyboard.objectArray, nullptr);
    EXPECT_EQ(Keyboard.dataFormat.dwDataSize, 256u);
    EXPECT_EQ(Keyboard.dataFormat.dwNumObjs, 256u);
    EXPECT_EQ(Keyboard.dataFormat.dwFlags, static_cast<DWORD>(DIDF_RELAXIS));
    // The published keyboard format: an optional button (0x8000000C) per key,
    // with the key's number as the instance in bits 8 to 23.
    struct Entry { int key; DWORD type; } entries[] = {{0, 0x8000000Cu}, {1, 0x8000010Cu}, {88, 0x8000580Cu}, {255, 0x8000FF0Cu}};
    for (const Entry& e : entries) {
        const DIOBJECTDATAFORMAT& object = Keyboard.objectArray[e.key];
        EXPECT_TRUE(IsEqualGUID(*object.pguid, GUID_Key)) << "entry " << e.key;
        EXPECT_EQ(object.dwOfs, static_cast<DWORD>(e.key)) << "entry " << e.key << " got " << object.dwOfs;
        EXPECT_EQ(object.dwType, e.type) << "entry " << e.key << " got " << std::hex << object.dwType;
    }
}

TEST_F(KeyboardInFront, PollFollowsTheDisplayFromTheFullScreenToAWindow) {
    CloseDisplay();
    ASSERT_NE(OpenWindowed(300, 200), nullptr);
    FlushMessages();
    EXPECT_EQ(PollKeyboard(), 0) << "the first poll after the switch read the old binding";
    EXPECT_EQ(PollKeyboard(), 1) << "the rebinding did not take";
}

// Another program's keyboard hook, set while the display was away and left
// above ours, would cut the keyboard off for good. Back in front, the
// keyboard sets its own anew, on top, once: a key held across the polls after
// that stays down and is released once.
TEST_F(KeyboardInFront, KeysReachTheDisplayBackInFrontOverAHookSetWhileAway) {
    HWND multimedia = GetDisplayWindowHandle();
    SetForegroundWindow(Parent(100, 100, 300, 200));
    ASSERT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 0; })) << "the keyboard still read with another window in front";
    KeySwallower otherProgram;
    SetForegroundWindow(multimedia);
    ASSERT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 1; })) << "the keyboard never read in front again";

    SendKeyEvent(VK_ESCAPE, false);
    ASSERT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 1 && IsKeyDown(KEY_ESCAPE); }))
        << "Esc pressed once the display was back in front never reached it";
    for (int poll = 0; poll < 4; ++poll) {
        EXPECT_EQ(PollKeyboard(), 1) << "poll " << poll;
        EXPECT_TRUE(IsKeyDown(KEY_ESCAPE)) << "poll " << poll << " lost the held Esc";
        EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 0) << "poll " << poll;
    }
    SendKeyEvent(VK_ESCAPE, true);
    ASSERT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 1 && !IsKeyDown(KEY_ESCAPE); })) << "Esc's release never came";
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 1);
}

TEST_F(KeyboardInFront, PollWithoutDeviceReturnsZeroAndARestartReadsAgain) {
    EndKeyboardInput();
    EXPECT_EQ(PollKeyboard(), 0);
    ASSERT_NE(InitKeyboardInput(), 0);
    EXPECT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 1; })) << "the restarted keyboard never read";
}

// ---------------------------------------------------------------------------
// Real key events

TEST_F(KeyboardRealKeys, EscapeHeldAcrossPollsIsReportedOnceWhenLetGo) {
    Press("keydown Escape", KEY_ESCAPE, true);
    for (int poll = 0; poll < 4; ++poll) {
        EXPECT_EQ(PollKeyboard(), 1) << "poll " << poll;
        EXPECT_TRUE(IsKeyDown(KEY_ESCAPE)) << "poll " << poll << " did not see Esc down";
        EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 0) << "poll " << poll;
    }
    Press("keyup Escape", KEY_ESCAPE, false);
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 1);
    for (int poll = 0; poll < 3; ++poll) {
        PollKeyboard();
        EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 0) << "reported again at poll " << poll;
    }
}

TEST_F(KeyboardRealKeys, KeyPressedAndReleasedBetweenCallsIsNotReported) {
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 0);
    // Keys arrive in order: once F11 shows down, Esc has been down and up.
    Press("key Escape keydown F11", 87, true);
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 0) << "a release no call saw coming was reported";
    Press("keyup F11", 87, false);
}

TEST_F(KeyboardRealKeys, AnyKeyConsumesEveryPendingRelease) {
    Press("keydown Escape keydown F12", KEY_F12, true);
    EXPECT_TRUE(IsKeyDown(KEY_ESCAPE)) << "Esc not seen down";
    EXPECT_EQ(WasKeyReleased(KEY_ANY), 0);
    Press("keyup Escape keyup F12", KEY_F12, false);
    EXPECT_EQ(WasKeyReleased(KEY_ANY), 1);
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 0) << "Esc's release was left pending";
    EXPECT_EQ(WasKeyReleased(KEY_F12), 0) << "F12's release was left pending";
    EXPECT_EQ(WasKeyReleased(KEY_ANY), 0);
}
