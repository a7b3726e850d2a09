// Stretching a bitmap onto the screen's back buffer with a bilinear filter of
// our own. The platform's smoothed stretch filters every destination pixel in
// floating point, which under some GDI implementations costs a frame's worth of
// time at 1024 by 768; here the weights are fixed-point and worked out once per
// size, each source row is scaled across once, and the platform gets one plain
// copy in the display's own pixel format. No floating point in the pixel work:
// 32-bit x86 compilers default to the x87 unit, where every conversion to an
// integer is slow.
#include "runtime/drawing/drawing_state.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t WEIGHT_BITS = 8;
constexpr uint32_t WEIGHT_ONE = 1u << WEIGHT_BITS;

// Pixel centres line up: destination pixel d samples the source at
// (d + 1/2) * source / destination - 1/2, held to the source's edges.
void FillTaps(SourceTap* taps, int32_t destination, int32_t source) {
    for (int32_t d = 0; d < destination; ++d) {
        int64_t position = ((2 * static_cast<int64_t>(d) + 1) * source << 16) / (2 * static_cast<int64_t>(destination)) -
                           (1 << 15);  // 16.16 fixed point
        if (position < 0) position = 0;
        auto first = static_cast<int32_t>(position >> 16);
        SourceTap& tap = taps[d];
        if (first >= source - 1) {
            tap = {source - 1, source - 1, 0};
        } else {
            tap = {first, first + 1, static_cast<uint32_t>(position & 0xFFFF) >> (16 - WEIGHT_BITS)};
        }
    }
}

// a * (1 - w) + b * w for two 0x00RRGGBB pixels, red and blue together in one
// multiply and green in another; each lane has room for 8 bits times 256.
inline uint32_t Blend(uint32_t a, uint32_t b, uint32_t weight) {
    uint32_t keep = WEIGHT_ONE - weight;
    uint32_t redBlue = ((a & 0xFF00FFu) * keep + (b & 0xFF00FFu) * weight + 0x800080u) >> WEIGHT_BITS;
    uint32_t green = ((a & 0x00FF00u) * keep + (b & 0x00FF00u) * weight + 0x008000u) >> WEIGHT_BITS;
    return (redBlue & 0xFF00FFu) | (green & 0x00FF00u);
}

// 16-bit screens come as 5-6-5 or 5-5-5; anything else is handed over as
// 32-bit pixels and converted by the platform's plain copy.
ScaledFormat FormatForScreen(int32_t depth, int32_t pixelFormatCode) {
    if (depth == 16) return pixelFormatCode == 3 ? SCALED_RGB565 : SCALED_RGB555;
    return SCALED_RGB32;
}

bool MakeCanvas(Canvas& canvas, int32_t width, int32_t height, ScaledFormat format) {
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width;
    info.header.biHeight = -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = format == SCALED_RGB32 ? 32 : 16;
    info.header.biCompression = format == SCALED_RGB565 ? BI_BITFIELDS : BI_RGB;
    if (format == SCALED_RGB565) {
        info.masks[0] = 0xF800;
        info.masks[1] = 0x07E0;
        info.masks[2] = 0x001F;
    }
    canvas.dc = CreateCompatibleDC(nullptr);
    canvas.bitmap = CreateDIBSection(canvas.dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &canvas.pixels,
                                     nullptr, 0);
    canvas.previous = canvas.bitmap ? SelectObject(canvas.dc, canvas.bitmap) : nullptr;
    return canvas.dc && canvas.bitmap && canvas.previous && canvas.pixels;
}

void FreeCanvas(Canvas& canvas) {
    if (canvas.previous) SelectObject(canvas.dc, canvas.previous);
    if (canvas.bitmap) DeleteObject(canvas.bitmap);
    if (canvas.dc) DeleteDC(canvas.dc);
    canvas = Canvas{};
}

void FreeScaledCopy(ScaledCopy& copy) {
    FreeCanvas(copy.source);
    FreeCanvas(copy.destination);
    std::free(copy.columns);
    std::free(copy.rows);
    std::free(copy.acrossRows);
    copy = ScaledCopy{};
}

ScaledCopy* PrepareScaledCopy(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height,
                              ScaledFormat format) {
    ScaledCopy& copy = Drawing.scaledCopy;
    if (copy.columns && copy.sourceWidth == sourceWidth && copy.sourceHeight == sourceHeight && copy.width == width &&
        copy.height == height && copy.format == format)
        return &copy;
    FreeScaledCopy(copy);
    copy.columns = static_cast<SourceTap*>(std::malloc(sizeof(SourceTap) * static_cast<size_t>(width)));
    copy.rows = static_cast<SourceTap*>(std::malloc(sizeof(SourceTap) * static_cast<size_t>(height)));
    copy.acrossRows = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * 2 * static_cast<size_t>(width)));
    if (!copy.columns || !copy.rows || !copy.acrossRows || !MakeCanvas(copy.source, sourceWidth, sourceHeight, SCALED_RGB32) ||
        !MakeCanvas(copy.destination, width, height, format)) {
        FreeScaledCopy(copy);
        return nullptr;
    }
    FillTaps(copy.columns, width, sourceWidth);
    FillTaps(copy.rows, height, sourceHeight);
    copy.sourceWidth = sourceWidth;
    copy.sourceHeight = sourceHeight;
    copy.width = width;
    copy.height = height;
    copy.format = format;
    return &copy;
}

// Source row `row` scaled across to the destination's width; the slot
// holding `keep` is never the one overwritten.
const uint32_t* AcrossRow(ScaledCopy& copy, int32_t row, int32_t keep) {
    for (int slot = 0; slot < 2; ++slot)
        if (copy.acrossRowOf[slot] == row) return copy.acrossRows + slot * copy.width;
    int slot = copy.acrossRowOf[0] == keep ? 1 : 0;
    copy.acrossRowOf[slot] = row;
    uint32_t* out = copy.acrossRows + slot * copy.width;
    const auto* in = static_cast<const uint32_t*>(copy.source.pixels) + static_cast<size_t>(row) * copy.sourceWidth;
    for (int32_t x = 0; x < copy.width; ++x) {
        const SourceTap& tap = copy.columns[x];
        out[x] = Blend(in[tap.first], in[tap.second], tap.weight);
    }
    return out;
}

template <typename Pixel, typename Pack>
void ScaleDown(ScaledCopy& copy, Pack pack) {
    copy.acrossRowOf[0] = copy.acrossRowOf[1] = -1;
    for (int32_t y = 0; y < copy.height; ++y) {
        const SourceTap& tap = copy.rows[y];
        const uint32_t* upper = AcrossRow(copy, tap.first, -1);
        const uint32_t* lower = AcrossRow(copy, tap.second, tap.first);
        auto* out = reinterpret_cast<Pixel*>(static_cast<uint8_t*>(copy.destination.pixels) +
                                             static_cast<size_t>(y) * ((copy.width * sizeof(Pixel) + 3) & ~size_t{3}));
        const uint32_t weight = tap.weight;
        for (int32_t x = 0; x < copy.width; ++x) out[x] = pack(Blend(upper[x], lower[x], weight));
    }
}

void ScaleSourceIntoDestination(ScaledCopy& copy) {
    switch (copy.format) {
    case SCALED_RGB565:
        ScaleDown<uint16_t>(copy, [](uint32_t p) {
            return static_cast<uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
        });
        break;
    case SCALED_RGB555:
        ScaleDown<uint16_t>(copy, [](uint32_t p) {
            return static_cast<uint16_t>(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
        });
        break;
    case SCALED_RGB32:
        ScaleDown<uint32_t>(copy, [](uint32_t p) { return p; });
        break;
    }
}

}  // namespace

bool CopyScaledToScreen(HDC dc, HDC memory, const BITMAP& source, int32_t x, int32_t y, int32_t width, int32_t height,
                        DWORD rop) {
    // Beyond the screen's own size, or mirrored, the platform's stretch serves.
    const ScreenTargetValues& screen = Drawing.screen;
    if (width <= 0 || height <= 0 || width > screen.width || height > screen.height) return false;
    if (source.bmWidth <= 0 || source.bmHeight <= 0) return false;
    ScaledCopy* copy =
        PrepareScaledCopy(source.bmWidth, source.bmHeight, width, height, FormatForScreen(screen.depth, screen.pixelFormatCode));
    if (!copy) return false;
    if (!BitBlt(copy->source.dc, 0, 0, source.bmWidth, source.bmHeight, memory, 0, 0, SRCCOPY)) return false;
    GdiFlush();  // the pixels are read straight from the section's memory
    ScaleSourceIntoDestination(*copy);
    BitBlt(dc, x, y, width, height, copy->destination.dc, 0, 0, rop);
    return true;
}

void ReleaseScaledCopy() { FreeScaledCopy(Drawing.scaledCopy); }
