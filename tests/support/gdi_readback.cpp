#include "support/gdi_readback.h"

int BitmapPixels::CountIn(uint32_t color, int left, int top, int right, int bottom) const {
    int found = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (At(x, y) == color) ++found;
    return found;
}

BitmapPixels ReadBitmapPixels(HBITMAP bitmap) {
    BitmapPixels pixels;
    BITMAP info{};
    if (GetObjectType(bitmap) != OBJ_BITMAP || GetObjectA(bitmap, sizeof info, &info) != sizeof info) return pixels;
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof request.bmiHeader;
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = -info.bmHeight;  // top row first
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> bgrx(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = GetDC(nullptr);
    int lines = GetDIBits(screen, bitmap, 0, info.bmHeight, bgrx.data(), &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines != info.bmHeight) return pixels;
    pixels.width = info.bmWidth;
    pixels.height = info.bmHeight;
    pixels.rgb.resize(bgrx.size());
    for (size_t i = 0; i < bgrx.size(); ++i) {
        uint32_t v = bgrx[i];
        pixels.rgb[i] = ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
    }
    return pixels;
}

void FillWithColor(HDC dc, const RECT& area, uint32_t rgb) {
    HBRUSH brush = CreateSolidBrush(rgb);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

int CountGdiObjects() {
    DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return static_cast<int>(reported);
    // Wine keeps GDI objects in a table indexed by the low 16 bits of the handle
    // and accepts a handle whose upper word is 0 for any generation of the entry,
    // so asking the type of every index finds every live object. It also finds
    // the stock objects and those of other libraries, which stay put between two
    // counts of the same test.
    int live = 0;
    for (uintptr_t index = 1; index <= 0xFFFF; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
    return live > 0 ? live : -1;
}
