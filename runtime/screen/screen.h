// Screen: the DirectDraw 7 display, windowed or full screen, its back buffer,
// presentation and frame pacing, and the hidden multimedia window that the
// keyboard and the sound libraries share.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "runtime/drawing/drawing.h"

// Screen system and the shared multimedia window
int InitScreenSystem();                  // non-zero on success
IDirectDraw7* AcquireDirectDraw();       // shared object or null; always takes a reference
void ReleaseDirectDraw();                // drops one reference
int CreateMultimediaWindow();            // 1 when the multimedia window exists
HWND GetDisplayWindowHandle();           // window of the current display

// Windowed and full-screen displays
int OpenWindowedDisplay(HWND parentWindow, int32_t x, int32_t y, int32_t width, int32_t height,
                        int32_t stretchToWindow, int32_t rightMargin, int32_t bottomMargin);  // 1 or 0
int OpenFullDisplay(int32_t width, int32_t height, int32_t depth, const char* title);      // 1 or 0

// Frame cycle
int SetFrameRateLimit(int32_t rate);     // 1, or 0 without a performance counter
void PresentFrame();
int IsDisplayActive();
DrawTarget* DisplayDrawTarget();         // the back buffer as a drawing target, or null
void DispatchPendingMessages();          // every message waiting in the thread's queue, as a full-screen present does
void CloseDisplay();
void EndScreenSystem();
