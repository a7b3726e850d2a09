// The drawing library's one state record, shared by its source files only.
#pragma once

#include <windows.h>

#include <climits>
#include <cstdint>

#include "runtime/drawing/drawing.h"

// The slot of the image table.
struct ImageRecord {
    uintptr_t handle;  // bitmap (or icon) handle; 0 = free slot
    int16_t width;     // bmWidth
    int16_t height;    // bmHeight
    int16_t depth;     // bmBitsPixel, the display's when the image was made
};

constexpr int32_t IMAGE_DECODER_ROOM = 100;

// The screen's part of a kind-7 target, kept while it is being drawn on.
struct ScreenTargetValues {
    void* bufferAddress;
    int32_t pitch;
    int32_t width;
    int32_t height;
    int32_t depth;
    int32_t pixelFormatCode;
    DrawTargetAcquireProcedure reacquire;
    DrawTargetLockProcedure giveUp;
};

struct ImageLibraryState {
    ObjectTableOf<ImageRecord> table;
    ImageRecord* currentImage;              // last created or looked up; null after a failed lookup
    HDC imageDC;                            // memory DC holding an image for drawing, or null
    DrawTarget imageTarget;                 // refilled by every ImageDrawTarget
    const void* decoders[IMAGE_DECODER_ROOM];  // registered image decoders (none in this program)
    int32_t decoderCount;
    const void* currentDecoder;
    const char* currentFile;
};

// Where a destination column (or row) of a scaled copy reads its source: two
// neighbouring source pixels, and for each of their four channels its weight
// out of 256 (the first pixel's four, then the second's).
struct SourceTap {
    int32_t first;
    uint16_t weights[8];
};

enum ScaledFormat : int32_t { SCALED_RGB565 = 1, SCALED_RGB555, SCALED_RGB32 };

// A DIB section (top row first) selected into a memory DC of its own.
struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;  // the DC's own bitmap, put back before deleting
    void* pixels;
};

// The copy of an image stretched onto the screen, kept from frame to frame
// for one source size, destination size and pixel format.
struct ScaledCopy {
    int32_t sourceWidth, sourceHeight;
    int32_t width, height;
    int32_t rowPixels;       // width rounded up to four: the length of every row below
    ScaledFormat format;
    Canvas source;           // the image's pixels as 0x00RRGGBB
    Canvas destination;      // the scaled picture in the screen's format, rowPixels wide
    SourceTap* columns;      // one per destination column, rowPixels of them
    SourceTap* rows;         // one per destination row
    uint32_t* acrossRows;    // two source rows scaled across, rowPixels each
    int32_t acrossRowOf[2];  // the source row each holds, -1 for none
};

struct DrawingState {
    HDC dc;                          // current DC; null while idle
    int32_t kind;                    // DrawTargetKind of the current target
    HWND window;                     // kind 1: whose DC was taken
    DrawTargetProcedure release;     // kinds 2, 5, 7: gives the DC back
    ScreenTargetValues screen;       // kind 7 only
    int32_t drawMode;                // DRAW_MODE_* bits
    uint32_t frontColor;             // colour of frontBrush
    HBRUSH frontBrush;               // made by BeginDrawing, deleted by EndDrawing
    HGDIOBJ savedBrush;              // selected in the DC before BeginDrawing
    HGDIOBJ savedPen;
    HBRUSH defaultBrush;             // black, lives for the whole process
    HPEN defaultPen;                 // black, one pixel wide, lives for the whole process
    ImageLibraryState images;
    ScaledCopy scaledCopy;           // made at the first scaled copy onto the screen
};

extern DrawingState Drawing;

// The bitmap in `memory` stretched onto the screen target's `dc` by the
// library's own filter; false, with nothing drawn, where that does not serve:
// a mirrored (negative) size, a size larger than the screen target, a source
// smaller than 2 by 2, a processor without SSE2, no memory for the copy, or a
// source that cannot be read. The caller then stretches with the platform's
// HALFTONE, as for image, window and other targets; kind-5 targets keep
// COLORONCOLOR and copies at the image's own size BitBlt, and neither comes here.
bool CopyScaledToScreen(HDC dc, HDC memory, const BITMAP& source, int32_t x, int32_t y, int32_t width, int32_t height,
                        DWORD rop);
void ReleaseScaledCopy();  // its DCs, sections and tables

// x + width and the like, saturated: the program's arguments are 32-bit and a
// far-off box must clip, not wrap around to the other side.
inline int32_t AddCoordinates(int32_t a, int64_t b) {
    int64_t sum = a + b;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(sum);
}
