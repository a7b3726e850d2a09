// Tests of the display libraries: the keyboard and the screen started as the
// program starts them, and parent windows that go with the test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "runtime/keyboard/keyboard.h"
#include "runtime/screen/screen.h"
#include "support/screen_readback.h"

constexpr char FULL_TITLE[] = "F12 for window-mode and back";

// The program's full screen: 1024 by 768 at 16 bits.
inline bool OpenFullScreen() { return OpenFullDisplay(1024, 768, 16, FULL_TITLE) == 1; }

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(InitKeyboardInput(), 0);
        ASSERT_NE(InitScreenSystem(), 0);
    }
    void TearDown() override {
        CloseDisplay();
        for (HWND parent : parents_) DestroyWindow(parent);
        EndScreenSystem();
        EndKeyboardInput();
    }
    // A parent window (see CreateParentWindow) destroyed when the test ends.
    HWND Parent(int x, int y, int width, int height, WNDPROC procedure = nullptr, bool visible = true) {
        parents_.push_back(CreateParentWindow(x, y, width, height, procedure, visible));
        return parents_.back();
    }
    // A windowed display over the whole client area of a new parent at 100, 100;
    // null when it did not open.
    HWND OpenWindowed(int width, int height, WNDPROC procedure = nullptr) {
        HWND parent = Parent(100, 100, width, height, procedure);
        return OpenWindowedDisplay(parent, 0, 0, width, height, 0, 0, 0) == 1 ? parent : nullptr;
    }

private:
    std::vector<HWND> parents_;
};
