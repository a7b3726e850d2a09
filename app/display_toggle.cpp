// F12: replaces the whole display, window mode <-> full screen. The scene
// image, the sounds and the bubbles are untouched.
#include "app/program.h"
#include "runtime/keyboard/keyboard.h"
#include "runtime/screen/screen.h"
#include "runtime/window/window.h"

namespace {

void EnterFullScreen() {
    CloseDisplay();
    DestroyAppWindow(0);
    if (!OpenFullDisplay(FULL_SCREEN_WIDTH, FULL_SCREEN_HEIGHT, FULL_SCREEN_DEPTH, FULL_SCREEN_TITLE))
        FailWithMessage("can't open screen");
    SceneState.soundOwnerWindow = GetDisplayWindowHandle();
}

void EnterWindowMode() {
    CloseDisplay();
    if (!CreateAppWindow(0, APP_WINDOW_X, APP_WINDOW_Y, SCENE_WIDTH, SCENE_HEIGHT, APP_WINDOW_STYLE,
                         WINDOW_MODE_TITLE))
        FailWithMessage("can't open window");
    if (!OpenWindowedDisplay(GetAppWindowHandle(0), 0, 0, SCENE_WIDTH, SCENE_HEIGHT, 0, 0, 0))
        FailWithMessage("can't open windowed screen #");
    SceneState.soundOwnerWindow = GetAppWindowHandle(0);
    // The keyboard follows the display now, as the full screen's opening has
    // it do: left to the next frame's read, that read would find the keyboard
    // cut off, bind it anew and read nothing, and a key held across it is lost.
    PollKeyboard();
}

}  // namespace

int ToggleDisplayMode() {
    if (SceneState.displayMode == 0)
        EnterFullScreen();
    else
        EnterWindowMode();
    SceneState.displayMode ^= 1;
    return 0;
}
