// The toy's own globals and procedures, shared by the program frame, the
// bubble scene and the display-mode toggle.
#pragma once

#include <windows.h>

#include <cstdint>

// One bubble: five 32-bit words, as the array's element size says.
struct Bubble {
    int32_t x;      // centre, scene pixels
    int32_t y;
    int32_t size;   // radius; shrinks by one a frame
    uint32_t color;
    int32_t style;  // 0 filled disc, 1 ring
};
static_assert(sizeof(Bubble) == 20, "the bubble array's element size is 20");

struct SceneGlobals {
    uint8_t displayMode;         // 0 window mode, 1 full screen
    int32_t quitRequested;       // ends the loop after the current frame
    int32_t lastWindowEvent;     // last code from PollWindowEvent
    int32_t backgroundLevel;     // red and green of the background
    uint8_t pulseRising;         // 1 while the level climbs
    HWND soundOwnerWindow;       // owner passed to PlayMediaClip
    uintptr_t sceneImageHandle;  // bitmap of image 1
    int8_t popSoundIndex;        // 0..2, clip number - 3
    int32_t soundVolume;
    int32_t soundBalance;
    int32_t bubbleIndex;
    Bubble* bubbles;             // 7 elements, 0..5 used
};
extern SceneGlobals SceneState;

constexpr int32_t SCENE_WIDTH = 600;
constexpr int32_t SCENE_HEIGHT = 450;
constexpr int32_t FULL_SCREEN_WIDTH = 1024;
constexpr int32_t FULL_SCREEN_HEIGHT = 768;
constexpr int32_t FULL_SCREEN_DEPTH = 16;
constexpr int32_t APP_WINDOW_X = 100;  // outer top-left corner of window 0
constexpr int32_t APP_WINDOW_Y = 100;
constexpr uint32_t APP_WINDOW_STYLE = WS_CAPTION | WS_SYSMENU;
constexpr int32_t BUBBLE_COUNT = 6;
constexpr int32_t FIRST_POP_CLIP = 3;  // clips 3, 4, 5; 0 to 2 are never used

extern const char* const START_TITLE;
extern const char* const WINDOW_MODE_TITLE;
extern const char* const FULL_SCREEN_TITLE;

[[noreturn]] void ProgramMain(HINSTANCE module, HINSTANCE previous, const char* commandLine, int showCommand);
void StartProgram(HINSTANCE module);  // start-up steps up to the open windowed screen

[[noreturn]] void ExitProgram();
void EndAllLibraries();
[[noreturn]] void FailWithMessage(const char* text);

// Bubble scene
void SetUpScene();
void RunFrame();      // one frame: present, input, update, draw, show, pulse
void RunFrameLoop();  // returns once the end was requested
void UpdateBubble(Bubble& bubble);
void StepBackgroundPulse();

struct PopSound {
    int8_t index;     // 0 smallest bubbles (highest pop) .. 2 largest
    int32_t volume;   // percent
    int32_t balance;  // -50..50 from the bubble's x
};
PopSound PopSoundFor(int32_t size, int32_t x);

// Display-mode toggle: 0 on success; on failure it ends the program.
int ToggleDisplayMode();
