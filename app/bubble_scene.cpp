// Six bubbles over a pulsing background, drawn into image 1 and copied to
// the display once a frame.
#include <bit>

#include "app/program.h"
#include "runtime/audio/audio.h"
#include "runtime/core/core.h"
#include "runtime/drawing/drawing.h"
#include "runtime/keyboard/keyboard.h"
#include "runtime/screen/screen.h"
#include "runtime/window/window.h"

namespace {

// Radii 0-13 pop with the first sound, 14-26 the second, 27-40 the third:
// the divisor is the single-precision 13.337779 exactly, so the bands stay put.
constexpr float POP_SIZE_STEP = std::bit_cast<float>(0x4155678Bu);

constexpr int32_t BUBBLE_ARRAY_UPPER_BOUND = 6;
constexpr int32_t BUBBLE_TYPE_CODE = 7;

void RebirthBubble(Bubble& bubble) {
    bubble.x = RandomInt(520) + 40;
    bubble.y = RandomInt(370) + 40;
    bubble.size = RandomInt(40);
    bubble.style = RandomInt(1);
    PopSound pop = PopSoundFor(bubble.size, bubble.x);
    SceneState.popSoundIndex = pop.index;
    SceneState.soundBalance = pop.balance;
    SceneState.soundVolume = pop.volume;
    PlayMediaClip(SceneState.popSoundIndex + FIRST_POP_CLIP, SceneState.soundOwnerWindow);
    SetMediaClipAudio(SceneState.soundVolume, SceneState.soundBalance);
}

void ReadInput() {
    PollKeyboard();
    if (SceneState.displayMode == 0) {
        SceneState.lastWindowEvent = PollWindowEvent();
        if (SceneState.lastWindowEvent == EVENT_CLOSE_WINDOW) SceneState.quitRequested = 1;
    }
    if (WasKeyReleased(KEY_ESCAPE)) SceneState.quitRequested = 1;
    if (WasKeyReleased(KEY_F12)) ToggleDisplayMode();
}

void DrawScene() {
    BeginDrawing(ImageDrawTarget());
    FillBox(0, 0, SCENE_WIDTH, SCENE_HEIGHT, MakeRGB(SceneState.backgroundLevel, SceneState.backgroundLevel, 255));
    for (SceneState.bubbleIndex = 0; SceneState.bubbleIndex < BUBBLE_COUNT; ++SceneState.bubbleIndex) {
        const Bubble& bubble = SceneState.bubbles[SceneState.bubbleIndex];
        SetDrawMode(bubble.style * DRAW_MODE_OUTLINE);
        DrawCircle(bubble.x, bubble.y, bubble.size, bubble.color);
    }
    EndDrawing();
}

void ShowScene() {
    BeginDrawing(DisplayDrawTarget());
    if (SceneState.displayMode == 1) {
        BlitImage(SceneState.sceneImageHandle, 0, 0, FULL_SCREEN_WIDTH, FULL_SCREEN_HEIGHT);
    } else if (SceneState.displayMode == 0) {
        BlitImageUnscaled(SceneState.sceneImageHandle, 0, 0);
        WaitMs(10);
    }
    EndDrawing();
}

}  // namespace

PopSound PopSoundFor(int32_t size, int32_t x) {
    PopSound pop;
    float quotient = static_cast<float>(size) / POP_SIZE_STEP;
    pop.index = static_cast<int8_t>(RoundReal(quotient, 0));
    pop.balance = (x * 100) / 600 - 50;
    pop.volume = pop.index * 40 + 20;
    return pop;
}

void UpdateBubble(Bubble& bubble) {
    bubble.size -= 1;
    if (bubble.size < 1) RebirthBubble(bubble);
    int32_t level = bubble.size * 255 / 40;
    bubble.color = MakeRGB(level, level, 255);
    bubble.x = bubble.x + RandomInt(4) - 2;
    bubble.y = bubble.y + RandomInt(4) - 2;
}

void StepBackgroundPulse() {
    SceneState.backgroundLevel += SceneState.pulseRising == 1 ? 3 : -3;
    if (SceneState.backgroundLevel > 100 || SceneState.backgroundLevel < 3) SceneState.pulseRising ^= 1;
}

void SetUpScene() {
    CreateImageObject(1, SCENE_WIDTH, SCENE_HEIGHT);
    SceneState.sceneImageHandle = GetImageHandle(1);
    FreeArray(SceneState.bubbles);
    AllocArray(BUBBLE_ARRAY_UPPER_BOUND, sizeof(Bubble), 0, reinterpret_cast<void**>(&SceneState.bubbles),
               BUBBLE_TYPE_CODE);
    // Without the array there is nothing to animate; end the way every failure does.
    if (!SceneState.bubbles) ExitProgram();
    SceneState.displayMode = 0;
    SceneState.backgroundLevel = 10;
    SceneState.pulseRising = 1;
    SceneState.soundOwnerWindow = GetAppWindowHandle(0);
    ToggleDisplayMode();
    SetFrameRateLimit(50);
}

void RunFrame() {
    PresentFrame();
    WaitMs(50);
    ReadInput();
    for (SceneState.bubbleIndex = 0; SceneState.bubbleIndex < BUBBLE_COUNT; ++SceneState.bubbleIndex)
        UpdateBubble(SceneState.bubbles[SceneState.bubbleIndex]);
    DrawScene();
    // The activation that ends this pause only arrives when the display
    // window's messages are dispatched.
    while (!IsDisplayActive()) {
        WaitMs(100);
        DispatchPendingMessages();
    }
    ShowScene();
    StepBackgroundPulse();
}

void RunFrameLoop() {
    do RunFrame();
    while (SceneState.quitRequested == 0);
}
