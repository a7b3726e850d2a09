// Images and drawing: numbered off-screen images, the one drawing context,
// box and circle, and copying images plain or stretched.
#pragma once

#include <windows.h>

#include <cstdint>

#include "runtime/core/core.h"

// How BeginDrawing obtains a target's device context and gives it back.
enum DrawTargetKind : int32_t {
    DRAW_TARGET_WINDOW = 1,   // GetDC / ReleaseDC on the window handle
    DRAW_TARGET_IMAGE = 2,    // the target's DC, given back by its release procedure
    DRAW_TARGET_DIB = 5,      // like an image; images are copied through a device-independent copy
    DRAW_TARGET_SCREEN = 7,   // the screen's back buffer (the screen values below apply)
};

using DrawTargetProcedure = void (*)();
using DrawTargetAcquireProcedure = HDC (*)();
using DrawTargetLockProcedure = void* (*)();

// Produced by an output query (ImageDrawTarget, DisplayDrawTarget), read by
// BeginDrawing; each producer keeps one static record and returns its address.
struct DrawTarget {
    int32_t kind;                              // DrawTargetKind
    HWND window;                               // kind 1 only
    HDC dc;                                    // every kind but 1
    DrawTargetProcedure release;               // kinds 2, 5, 7: gives the DC back
    void* bufferAddress;                       // kind 7: locked back-buffer pixels
    int32_t pitch;                             // kind 7: bytes per row
    int32_t width;                             // kind 7
    int32_t height;                            // kind 7
    int32_t depth;                             // kind 7: bits per pixel
    int32_t pixelFormatCode;                   // kind 7: 1..7
    DrawTargetAcquireProcedure reacquire;      // kind 7: a fresh DC for the back buffer
    DrawTargetLockProcedure giveUp;            // kind 7: release the DC and lock for pixel access
};

// Image objects
void InitImageLibrary();                                         // image table with count 10
uintptr_t CreateImageObject(ObjectId number, int32_t width, int32_t height);  // bitmap handle (list handle for -1), 0 on failure or a size outside 1..32767
uintptr_t GetImageHandle(ObjectId value);                        // bitmap handle or 0; becomes the current image
DrawTarget* ImageDrawTarget();                                   // target for the current image, or null
void ReleaseImageDC();                                           // deletes the image DC if any (ends drawing on it first)
void FreeImageObject(ObjectId value);                            // -1 ignored
void FreeAllImages();                                            // list images first, then 0..count-1; then what the screen stretch kept
void ResetImageDecoders();                                       // empties the decoder registry

// Drawing context
constexpr int32_t DRAW_MODE_TRANSPARENT = 1;  // background mix TRANSPARENT
constexpr int32_t DRAW_MODE_INVERT = 2;       // R2_NOT; image copies use NOTSRCERASE
constexpr int32_t DRAW_MODE_OUTLINE = 4;      // NULL_BRUSH: shapes are not filled

void InitDrawingDefaults();            // default black brush and pen, once
HDC BeginDrawing(const DrawTarget* target);  // the DC, or null
void EndDrawing();
void SetDrawMode(int32_t mode);

// Box and circle
void FillBox(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color);
void DrawCircle(int32_t x, int32_t y, int32_t radius, uint32_t color);
void DrawEllipse(int32_t x, int32_t y, int32_t radiusX, int32_t radiusY, uint32_t color);

// Drawing images
void BlitImage(uintptr_t handle, int32_t x, int32_t y, int32_t width, int32_t height);
void BlitImageUnscaled(uintptr_t handle, int32_t x, int32_t y);
HGLOBAL BitmapToDib(HBITMAP bitmap, HPALETTE palette);  // caller frees with GlobalFree
