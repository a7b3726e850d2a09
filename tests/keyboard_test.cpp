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

// A key held across four polls stays down in each and is not reported released.
void ExpectHeldAcrossPolls(int key) {
    for (int poll = 0; poll < 4; ++poll) {
        EXPECT_EQ(PollKeyboard(), 1) << "poll " << poll;
        EXPECT_TRUE(IsKeyDown(key)) << "poll " << poll << " lost the held key " << key;
        EXPECT_EQ(WasKeyReleased(key), 0) << "poll " << poll;
    }
}

class KeyboardTest : public DisplayTest {};

// The program's full screen in front, read by the keyboard, given the foreground as a click would: opened while
// the bare X server's desktop has it (after a case whose other window went), it does not take it.
class KeyboardInFront : public KeyboardTest {
protected:
    void SetUp() override {
        KeyboardTest::SetUp();
        ASSERT_TRUE(OpenFullScreen());
        SetForegroundWindow(GetDisplayWindowHandle());
        ASSERT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 1; })) << "the keyboard never read";
    }
};

// The real-key cases need the host's key server: tests/e2e/keyboard_keys_test.sh runs them. Wine gives
// the full screen the X focus itself, where other windows wait for a window manager the test bed lacks.
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

// Each code at, just past and far past the snapshot's ends, with every key down, then up (every bit but bit 7,
// the only one meaning down): a snapshot code (or any key) reports its release, any other touches nothing.
TEST(WasKeyReleased, KeyCodesAtAndPastTheEnds) {
    const struct { int32_t key; int released; } ends[] = {
        {0, 1}, {255, 1}, {KEY_ANY, 1}, {256, 0}, {-2, 0}, {257, 0}, {-3, 0}, {INT32_MAX, 0}, {INT32_MIN, 0}};
    for (const auto& end : ends) {
        memset(Keyboard.keyWasDown, 0, sizeof Keyboard.keyWasDown);
        for (uint8_t state : {0x80, 0x7F}) {
            memset(Keyboard.keyState, state, sizeof Keyboard.keyState);
            uint8_t before[sizeof Keyboard];
            memcpy(before, &Keyboard, sizeof before);
            bool down = state == 0x80;
            EXPECT_EQ(WasKeyReleased(end.key), down ? 0 : end.released) << "key " << end.key << " all " << (down ? "down" : "up");
            EXPECT_TRUE(end.released || memcmp(before, &Keyboard, sizeof before) == 0) << "key " << end.key << " changed the keyboard";
        }
    }
}

// ---------------------------------------------------------------------------
// The device

// Entry for entry the format that dinput's import library publishes, which
// the library builds for itself so as to need nothing from that library.
TEST_F(KeyboardTest, DataFormatMatchesThePublishedKeyboardFormat) {
    const DIDATAFORMAT& ours = Keyboard.dataFormat;
    ASSERT_EQ(ours.dwNumObjs, c_dfDIKeyboard.dwNumObjs);
    EXPECT_EQ(ours.dwDataSize, c_dfDIKeyboard.dwDataSize);
    EXPECT_EQ(ours.dwFlags, c_dfDIKeyboard.dwFlags);
    for (DWORD i = 0; i < ours.dwNumObjs; ++i) {
        const DIOBJECTDATAFORMAT &got = ours.rgodf[i], &published = c_dfDIKeyboard.rgodf[i];
        EXPECT_TRUE(IsEqualGUID(*got.pguid, *published.pguid) && got.dwOfs == published.dwOfs &&
                    got.dwType == published.dwType && got.dwFlags == published.dwFlags)
            << "entry " << i << ": offset " << got.dwOfs << ", type " << std::hex << got.dwType << " for " << published.dwType;
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
    ExpectHeldAcrossPolls(KEY_ESCAPE);
    SendKeyEvent(VK_ESCAPE, true);
    ASSERT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 1 && !IsKeyDown(KEY_ESCAPE); })) << "Esc's release never came";
    EXPECT_EQ(WasKeyReleased(KEY_ESCAPE), 1);
}

TEST_F(KeyboardInFront, ASecondStartKeepsTheDeviceAndARestartAfterTheEndReadsAgain) {
    IDirectInputDevice7A* device = Keyboard.device;
    int32_t references = DirectInput.referenceCount;  // each start takes one, each end drops one
    EXPECT_NE(InitKeyboardInput(), 0);
    EXPECT_EQ(Keyboard.device, device) << "a second device was made";
    EXPECT_EQ(DirectInput.referenceCount, references + 1);
    EndKeyboardInput();
    EXPECT_EQ(DirectInput.referenceCount, references);
    EXPECT_EQ(PollKeyboard(), 0) << "read with no device";
    ASSERT_NE(InitKeyboardInput(), 0);
    EXPECT_TRUE(PumpMessagesUntil([] { return PollKeyboard() == 1; })) << "the restarted keyboard never read";
}

// ---------------------------------------------------------------------------
// Real key events

TEST_F(KeyboardRealKeys, EscapeHeldAcrossPollsIsReportedOnceWhenLetGo) {
    Press("keydown Escape", KEY_ESCAPE, true);
    ExpectHeldAcrossPolls(KEY_ESCAPE);
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
