// Box and circle on the current DC, in the current mode, in a colour per call.
// The colour of the cached front brush reuses the objects already selected;
// any other colour gets its own brush and pen for one call only.
#include "runtime/drawing/drawing_state.h"

namespace {

bool IsOutlineMode() { return (Drawing.drawMode & DRAW_MODE_OUTLINE) != 0; }

}  // namespace

void FillBox(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color) {
    HDC dc = Drawing.dc;
    if (!dc) return;
    if (width == 1 && height == 1) {
        SetPixelV(dc, x, y, color);
        return;
    }
    int32_t right = AddCoordinates(x, width);
    int32_t bottom = AddCoordinates(y, height);

    if (IsOutlineMode()) {
        HPEN pen = nullptr;
        HGDIOBJ previousPen = nullptr;
        if (color != Drawing.frontColor) {
            pen = CreatePen(PS_SOLID, 0, color);
            if (pen) previousPen = SelectObject(dc, pen);
        }
        // The hollow brush that outline mode selected leaves the inside as it was.
        Rectangle(dc, x, y, right, bottom);
        if (pen) {
            SelectObject(dc, previousPen);
            DeleteObject(pen);
        }
        return;
    }

    bool ownBrush = color != Drawing.frontColor;
    HBRUSH brush = ownBrush ? CreateSolidBrush(color) : Drawing.frontBrush;
    if (!brush) return;
    RECT box{x, y, right, bottom};
    FillRect(dc, &box, brush);
    if (ownBrush) DeleteObject(brush);
}

void DrawCircle(int32_t x, int32_t y, int32_t radius, uint32_t color) {
    // The smallest bubble is a steady 2 by 2 square rather than whatever the
    // ellipse rasteriser makes of a 2 by 2 box; its top-left pixel is the centre.
    if (radius == 1) {
        FillBox(x, y, 2, 2, color);
        return;
    }
    DrawEllipse(x, y, radius, radius, color);
}

void DrawEllipse(int32_t x, int32_t y, int32_t radiusX, int32_t radiusY, uint32_t color) {
    HDC dc = Drawing.dc;
    if (!dc) return;
    HBRUSH brush = nullptr;
    HPEN pen = nullptr;
    HGDIOBJ previousBrush = nullptr;
    HGDIOBJ previousPen = nullptr;
    if (color != Drawing.frontColor) {
        if (!IsOutlineMode()) {
            brush = CreateSolidBrush(color);
            if (brush) previousBrush = SelectObject(dc, brush);
        }
        pen = CreatePen(PS_SOLID, 0, color);
        if (pen) previousPen = SelectObject(dc, pen);
    }
    Ellipse(dc, AddCoordinates(x, -int64_t{radiusX}), AddCoordinates(y, -int64_t{radiusY}), AddCoordinates(x, radiusX),
            AddCoordinates(y, radiusY));
    if (pen) {
        SelectObject(dc, previousPen);
        DeleteObject(pen);
    }
    if (brush) {
        SelectObject(dc, previousBrush);
        DeleteObject(brush);
    }
}
