// Start-up of every library in its fixed order, and the one way out.
#include <windows.h>
#include <commctrl.h>

#include "app/program.h"
#include "runtime/audio/audio.h"
#include "runtime/core/core.h"
#include "runtime/drawing/drawing.h"
#include "runtime/keyboard/keyboard.h"
#include "runtime/screen/screen.h"
#include "runtime/window/window.h"

SceneGlobals SceneState;

const char* const START_TITLE = "plimbadoosh  -   press F12 to toggle fullscreen mode  -  esc for quit";
const char* const WINDOW_MODE_TITLE = "plimbadoosh  -   press F12 for fullscreen and back  -  esc for quit";
const char* const FULL_SCREEN_TITLE = "F12 for window-mode and back";

namespace {

void ZeroProgramGlobals() {
    SceneState = {};
    RuntimeHeap = nullptr;
    ModuleHandle = nullptr;
}

bool StartInputAndScreen() { return InitKeyboardInput() && InitScreenSystem(); }

bool StartSoundAndMovie() { return InitSoundSystem() && InitMediaPlayer(); }

bool LoadPopSounds() {
    return LoadMediaClip(FIRST_POP_CLIP, "pop+1.wav") && LoadMediaClip(FIRST_POP_CLIP + 1, "pop-0.wav") &&
           LoadMediaClip(FIRST_POP_CLIP + 2, "pop-1.wav");
}

}  // namespace

void FailWithMessage(const char* text) {
    ShowMessageBox("error", text, 0);
    ExitProgram();
}

void ProgramMain(HINSTANCE module, HINSTANCE, const char*, int) {
    StartProgram(module);
    SetUpScene();
    RunFrameLoop();
    ExitProgram();
}

void StartProgram(HINSTANCE module) {
    ZeroProgramGlobals();
    ModuleHandle = module;
    RuntimeHeap = HeapCreate(0, 4000, 0);
    InitDrawingDefaults();
    ResetImageDecoders();
    CreateObjectNodeHeap();
    InitImageLibrary();
    InitCommonControls();
    InitWindowSystem();
    InitStringBuffer();
    if (!StartInputAndScreen()) FailWithMessage("DX ?");
    if (!StartSoundAndMovie()) FailWithMessage("can't init sound/movie");
    if (!LoadPopSounds()) FailWithMessage("pop sounds not loaded");
    if (!CreateAppWindow(0, APP_WINDOW_X, APP_WINDOW_Y, SCENE_WIDTH, SCENE_HEIGHT, APP_WINDOW_STYLE, START_TITLE))
        FailWithMessage("can't open window #");
    if (!OpenWindowedDisplay(GetAppWindowHandle(0), 0, 0, SCENE_WIDTH, SCENE_HEIGHT, 0, 0, 0))
        FailWithMessage("can't open windowed screen #");
}

void EndAllLibraries() {
    DestroyAllAppWindows();
    EndScreenSystem();
    EndSoundSystem();
    EndMediaPlayer();
    EndKeyboardInput();
    FreeAllImages();
    DestroyObjectNodeHeap();
}

void ExitProgram() {
    EndAllLibraries();
    // Whatever is still held in the heap (tables, strings, the bubbles) goes with it.
    if (RuntimeHeap) HeapDestroy(RuntimeHeap);
    RuntimeHeap = nullptr;
    ExitProcess(0);
}
