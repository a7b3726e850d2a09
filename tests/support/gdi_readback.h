// Reading drawn pixels back and counting the process's GDI objects, for the
// drawing tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// A bitmap's pixels as RGB colour values (red in the low byte), top row first.
struct BitmapPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;

    uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
    // Pixels of the given colour inside [left, right) x [top, bottom).
    int CountIn(uint32_t color, int left, int top, int right, int bottom) const;
    int Count(uint32_t color) const { return CountIn(color, 0, 0, width, height); }
};

// Empty (width 0) when the handle is not a readable bitmap.
BitmapPixels ReadBitmapPixels(HBITMAP bitmap);

// Fills an area of a device context with one colour (an RGB value as above).
void FillWithColor(HDC dc, const RECT& area, uint32_t rgb);

// GDI objects the process holds now, or -1 when there is no way to count them
// here. Uses GetGuiResources where the platform implements it; under Wine,
// whose GetGuiResources is a stub answering 0, it counts the live entries of
// the process's GDI handle table instead.
int CountGdiObjects();
