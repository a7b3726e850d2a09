// The one process-wide drawing context: a target's DC made current and
// prepared, and given back to whoever supplied it.
#include "runtime/drawing/drawing_state.h"

DrawingState Drawing;

namespace {

void GiveBackDC(HDC dc, int32_t kind, HWND window, DrawTargetProcedure release) {
    switch (kind) {
    case DRAW_TARGET_WINDOW:
        ReleaseDC(window, dc);
        break;
    case DRAW_TARGET_IMAGE:
    case DRAW_TARGET_DIB:
    case DRAW_TARGET_SCREEN:
        // The producer owns the DC; without its procedure we must not touch it.
        if (release) release();
        break;
    default:
        DeleteDC(dc);
        break;
    }
}

}  // namespace

void InitDrawingDefaults() {
    // Process-wide and never deleted, so a second call must not make a second pair.
    if (!Drawing.defaultBrush) Drawing.defaultBrush = CreateSolidBrush(0);
    if (!Drawing.defaultPen) Drawing.defaultPen = CreatePen(PS_SOLID, 0, 0);
}

HDC BeginDrawing(const DrawTarget* target) {
    EndDrawing();
    if (!target) return nullptr;

    Drawing.kind = target->kind;
    Drawing.window = target->window;
    Drawing.release = target->release;
    Drawing.drawMode = 0;
    HDC dc = target->kind == DRAW_TARGET_WINDOW ? GetDC(target->window) : target->dc;
    if (target->kind == DRAW_TARGET_SCREEN) {
        Drawing.screen = {target->bufferAddress, target->pitch,    target->width,     target->height,
                          target->depth,         target->pixelFormatCode, target->reacquire, target->giveUp};
    }
    if (!dc) return nullptr;

    // Without the defaults the DC's own brush and pen could not be saved, and
    // EndDrawing would leave the deleted front brush selected in it.
    if (!Drawing.defaultBrush || !Drawing.defaultPen) InitDrawingDefaults();
    Drawing.dc = dc;
    SetTextAlign(dc, TA_UPDATECP);
    Drawing.savedBrush = SelectObject(dc, Drawing.defaultBrush);
    Drawing.savedPen = SelectObject(dc, Drawing.defaultPen);
    Drawing.frontColor = 0;
    Drawing.frontBrush = CreateSolidBrush(0);
    SetTextColor(dc, 0);
    return dc;
}

void EndDrawing() {
    HDC dc = Drawing.dc;
    if (!dc) return;
    SelectObject(dc, Drawing.savedBrush);
    SelectObject(dc, Drawing.savedPen);
    // Deleted only now that the saved brush has replaced it in the DC.
    if (Drawing.frontBrush) DeleteObject(Drawing.frontBrush);
    Drawing.frontBrush = nullptr;
    Drawing.savedBrush = nullptr;
    Drawing.savedPen = nullptr;
    // Idle before the producer's procedure runs, so that it may start drawing anew.
    Drawing.dc = nullptr;
    GiveBackDC(dc, Drawing.kind, Drawing.window, Drawing.release);
}

void SetDrawMode(int32_t mode) {
    HDC dc = Drawing.dc;
    if (!dc) return;
    Drawing.drawMode = mode;
    SetROP2(dc, (mode & DRAW_MODE_INVERT) ? R2_NOT : R2_COPYPEN);
    SelectObject(dc, (mode & DRAW_MODE_OUTLINE) ? GetStockObject(NULL_BRUSH) : Drawing.frontBrush);
    SetBkMode(dc, (mode & DRAW_MODE_TRANSPARENT) ? TRANSPARENT : OPAQUE);
}
