// Copying an image (a bitmap, or an icon) onto the current DC, at its own
// size or scaled, and the device-independent copy that kind-5 targets need.
#include "runtime/drawing/drawing_state.h"

#include <cstring>

namespace {

constexpr size_t DIB_HEADER_SIZE = sizeof(BITMAPINFOHEADER);  // 40

size_t DibRowSize(LONG width) { return ((static_cast<size_t>(width) * 24 + 31) & ~size_t{31}) / 8; }

void StretchThroughDib(HDC dc, HBITMAP bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                       const BITMAP& source, DWORD rop) {
    HGLOBAL copy = BitmapToDib(bitmap, nullptr);
    if (!copy) return;
    auto* block = static_cast<uint8_t*>(GlobalLock(copy));
    if (block) {
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, x, y, width, height, 0, 0, source.bmWidth, source.bmHeight, block + DIB_HEADER_SIZE,
                      reinterpret_cast<BITMAPINFO*>(block), DIB_RGB_COLORS, rop);
        GlobalUnlock(copy);
    }
    GlobalFree(copy);
}

void CopyThroughMemoryDC(HDC dc, HDC memory, HBITMAP bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                         const BITMAP& source, DWORD rop) {
    // A bitmap can be selected into one DC only; when another holds it there
    // is nothing to copy from, and the memory DC's own 1 by 1 bitmap must not
    // be smeared over the target instead.
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (!previous) return;
    if (width != source.bmWidth || height != source.bmHeight) {
        // The screen's stretch is every frame's in full screen: there the library filters it itself.
        bool scaled = Drawing.kind == DRAW_TARGET_SCREEN && CopyScaledToScreen(dc, memory, source, x, y, width, height, rop);
        if (!scaled) {
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, x, y, width, height, memory, 0, 0, source.bmWidth, source.bmHeight, rop);
        }
    } else {
        BitBlt(dc, x, y, width, height, memory, 0, 0, rop);
    }
    SelectObject(memory, previous);
}

}  // namespace

void BlitImage(uintptr_t handle, int32_t x, int32_t y, int32_t width, int32_t height) {
    HDC dc = Drawing.dc;
    if (!dc) return;
    auto object = reinterpret_cast<HGDIOBJ>(handle);
    if (GetObjectType(object) != OBJ_BITMAP) {
        DrawIconEx(dc, x, y, static_cast<HICON>(object), width, height, 0, nullptr, DI_NORMAL);
        return;
    }

    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return;
    BITMAP source{};
    GetObjectA(object, sizeof source, &source);
    DWORD rop = (Drawing.drawMode & DRAW_MODE_INVERT) ? NOTSRCERASE : SRCCOPY;
    // One size of 0 is enough to mean "at its own size".
    if (width == 0 || height == 0) {
        width = source.bmWidth;
        height = source.bmHeight;
    }
    auto bitmap = static_cast<HBITMAP>(object);
    if (Drawing.kind == DRAW_TARGET_DIB)
        StretchThroughDib(dc, bitmap, x, y, width, height, source, rop);
    else
        CopyThroughMemoryDC(dc, memory, bitmap, x, y, width, height, source, rop);
    DeleteDC(memory);
}

void BlitImageUnscaled(uintptr_t handle, int32_t x, int32_t y) { BlitImage(handle, x, y, 0, 0); }

HGLOBAL BitmapToDib(HBITMAP bitmap, HPALETTE palette) {
    BITMAP info{};
    if (GetObjectA(bitmap, sizeof info, &info) != sizeof info) return nullptr;
    if (info.bmWidth <= 0 || info.bmHeight <= 0) return nullptr;
    size_t rowSize = DibRowSize(info.bmWidth);
    size_t bytes = DIB_HEADER_SIZE + rowSize * static_cast<size_t>(info.bmHeight);
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes);
    if (!block) return nullptr;
    auto* memory = static_cast<uint8_t*>(block);  // a fixed block's handle is its address
    std::memset(memory, 0, bytes);

    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(memory);
    header->biSize = DIB_HEADER_SIZE;
    header->biWidth = info.bmWidth;
    header->biHeight = info.bmHeight;  // positive: rows bottom-up
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;

    HDC screen = GetDC(nullptr);
    HPALETTE previousPalette = nullptr;
    if (palette) {
        previousPalette = SelectPalette(screen, palette, TRUE);
        RealizePalette(screen);
    }
    int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), memory + DIB_HEADER_SIZE,
                          reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS);
    if (palette) SelectPalette(screen, previousPalette, TRUE);
    ReleaseDC(nullptr, screen);
    if (lines < 1) {
        GlobalFree(block);
        return nullptr;
    }
    return block;
}
