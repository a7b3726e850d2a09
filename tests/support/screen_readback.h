// Looking at what reached the screen, and plain parent windows for display
// tests that must not depend on the window library.
#pragma once

#include <windows.h>

#include "support/gdi_readback.h"

// The pixels of a rectangle of the screen (screen coordinates) as RGB values,
// read through the desktop's device context: what the user would see.
BitmapPixels ReadScreenRect(const RECT& area);

// The most frequent colour of a rectangle of the screen, and how many pixels have it.
struct DominantColor {
    uint32_t rgb = 0;
    int count = 0;
    int total = 0;
};
DominantColor DominantScreenColor(const RECT& area);

// The display mode the desktop is in now.
DEVMODEA CurrentDisplayMode();

// An overlapped top-level window, visible and in front unless told otherwise,
// whose client area is clientWidth by clientHeight at roughly x, y, painting
// itself white. `procedure` defaults to DefWindowProcA; the class is
// registered once per procedure.
HWND CreateParentWindow(int x, int y, int clientWidth, int clientHeight, WNDPROC procedure = nullptr,
                        bool visible = true);
