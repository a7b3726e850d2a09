// Stretching a bitmap onto the screen's back buffer with a bilinear filter of
// our own. The platform's smoothed stretch filters every destination pixel in
// floating point, which under some GDI implementations costs a frame's worth of
// time at 1024 by 768; here the weights are fixed-point and worked out once per
// size, each source row is scaled across once, and the platform gets one plain
// copy in the display's own pixel format. No floating point in the pixel work
// (32-bit x86 compilers default to the x87 unit, where every conversion to an
// integer is slow), and SSE2's 16-bit lanes for it, which every x86 processor
// since 2003 has; without them the platform's stretch serves as before.
#include "runtime/drawing/drawing_state.h"

#include <emmintrin.h>

#include <cstdlib>

// The 32-bit build assumes no SSE2 elsewhere: only these functions use it,
// and only after the processor has said it has it.
#define SSE2_FUNCTION __attribute__((target("sse2")))

namespace {

constexpr int32_t WEIGHT_BITS = 8;
constexpr uint16_t WEIGHT_ONE = 1u << WEIGHT_BITS;

// Pixel centres line up: destination pixel d samples the source at
// (d + 1/2) * source / destination - 1/2, held to the source's edges. The
// tap always reads two neighbours (source sizes of 2 or more), the last
// column or row taking all of its weight from the second, as do the taps
// past the destination's end (count may exceed destination).
void FillTaps(SourceTap* taps, int32_t count, int32_t destination, int32_t source) {
    for (int32_t d = 0; d < count; ++d) {
        int64_t position = ((2 * static_cast<int64_t>(d) + 1) * source << 16) / (2 * static_cast<int64_t>(destination)) -
                           (1 << 15);  // 16.16 fixed point
        if (position < 0) position = 0;
        auto first = static_cast<int32_t>(position >> 16);
        auto take = static_cast<uint16_t>((position & 0xFFFF) >> (16 - WEIGHT_BITS));
        if (first >= source - 1) {
            first = source - 2;
            take = WEIGHT_ONE;
        }
        SourceTap& tap = taps[d];
        tap.first = first;
        for (int channel = 0; channel < 4; ++channel) {
            tap.weights[channel] = static_cast<uint16_t>(WEIGHT_ONE - take);
            tap.weights[channel + 4] = take;
        }
    }
}

// Each channel: (a * keep + b * take + 128) / 256, with keep + take = 256; in
// 16-bit lanes that is at most 255 * 256 + 128, so no lane overflows. Rows are
// a multiple of four pixels long (ScaledCopy::rowPixels), so neither pass has
// a tail to finish one pixel at a time.
SSE2_FUNCTION void ScaleRowAcross(const uint32_t* in, uint32_t* out, const SourceTap* columns, int32_t width) {
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(WEIGHT_ONE / 2);
    // A column's two neighbours' channels in one register, each weighted.
    auto weighted = [&](const SourceTap& tap) SSE2_FUNCTION {
        __m128i pair = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + tap.first)), zero);
        return _mm_mullo_epi16(pair, _mm_loadu_si128(reinterpret_cast<const __m128i*>(tap.weights)));
    };
    // The first neighbours' and the second neighbours' halves added, rounded, to 8 bits.
    auto finish = [&](__m128i firsts, __m128i seconds) SSE2_FUNCTION {
        __m128i sum = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(firsts, seconds), half), WEIGHT_BITS);
        return _mm_packus_epi16(sum, sum);
    };
    for (int32_t x = 0; x < width; x += 2) {  // two columns at a time
        __m128i a = weighted(columns[x]), b = weighted(columns[x + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x),
                         finish(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b)));
    }
}

// Two rows scaled across, blended into one destination row, four pixels at a time.
SSE2_FUNCTION void ScaleRowDown(const uint32_t* upper, const uint32_t* lower, void* out, int32_t width,
                                const SourceTap& tap, ScaledFormat format) {
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(WEIGHT_ONE / 2);
    const __m128i keep = _mm_set1_epi16(static_cast<short>(tap.weights[0]));
    const __m128i take = _mm_set1_epi16(static_cast<short>(tap.weights[4]));
    auto blend = [&](__m128i u, __m128i l) SSE2_FUNCTION {
        __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(u, keep), _mm_mullo_epi16(l, take)), half);
        return _mm_srli_epi16(sum, WEIGHT_BITS);
    };
    // Four 0x00RRGGBB pixels to 16 bits each, sign-extended first so that the
    // signed narrowing keeps the 16 bits as they are.
    auto packFour = [format](__m128i p) SSE2_FUNCTION {
        auto field = [&p](int shift, int mask) SSE2_FUNCTION {
            return _mm_and_si128(_mm_srli_epi32(p, shift), _mm_set1_epi32(mask));
        };
        __m128i packed = format == SCALED_RGB565 ? _mm_or_si128(_mm_or_si128(field(8, 0xF800), field(5, 0x07E0)), field(3, 0x001F))
                                                 : _mm_or_si128(_mm_or_si128(field(9, 0x7C00), field(6, 0x03E0)), field(3, 0x001F));
        packed = _mm_srai_epi32(_mm_slli_epi32(packed, 16), 16);
        return _mm_packs_epi32(packed, packed);
    };
    for (int32_t x = 0; x < width; x += 4) {
        __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + x));
        __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + x));
        __m128i four = _mm_packus_epi16(blend(_mm_unpacklo_epi8(u, zero), _mm_unpacklo_epi8(l, zero)),
                                        blend(_mm_unpackhi_epi8(u, zero), _mm_unpackhi_epi8(l, zero)));
        if (format == SCALED_RGB32)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(static_cast<uint32_t*>(out) + x), four);
        else
            _mm_storel_epi64(reinterpret_cast<__m128i*>(static_cast<uint16_t*>(out) + x), packFour(four));
    }
}

// Source row `row` scaled across to the destination's width; the slot
// holding `keep` is never the one overwritten.
const uint32_t* AcrossRow(ScaledCopy& copy, int32_t row, int32_t keep) {
    for (int slot = 0; slot < 2; ++slot)
        if (copy.acrossRowOf[slot] == row) return copy.acrossRows + slot * copy.rowPixels;
    int slot = copy.acrossRowOf[0] == keep ? 1 : 0;
    copy.acrossRowOf[slot] = row;
    uint32_t* out = copy.acrossRows + slot * copy.rowPixels;
    ScaleRowAcross(static_cast<const uint32_t*>(copy.source.pixels) + static_cast<size_t>(row) * copy.sourceWidth, out,
                   copy.columns, copy.rowPixels);
    return out;
}

void ScaleSourceIntoDestination(ScaledCopy& copy) {
    copy.acrossRowOf[0] = copy.acrossRowOf[1] = -1;
    size_t stride = static_cast<size_t>(copy.rowPixels) * (copy.format == SCALED_RGB32 ? 4 : 2);
    for (int32_t y = 0; y < copy.height; ++y) {
        const SourceTap& tap = copy.rows[y];
        const uint32_t* upper = AcrossRow(copy, tap.first, -1);
        const uint32_t* lower = AcrossRow(copy, tap.first + 1, tap.first);
        ScaleRowDown(upper, lower, static_cast<uint8_t*>(copy.destination.pixels) + stride * y, copy.rowPixels, tap,
                     copy.format);
    }
}

// 16-bit screens come as 5-6-5 or 5-5-5; anything else is handed over as
// 32-bit pixels and converted by the platform's plain copy.
ScaledFormat FormatForScreen(int32_t depth, int32_t pixelFormatCode) {
    if (depth == 16) return pixelFormatCode == 3 ? SCALED_RGB565 : SCALED_RGB555;  // 3: green mask 0x7E0
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
    int32_t rowPixels = (width + 3) & ~3;
    copy.columns = static_cast<SourceTap*>(std::malloc(sizeof(SourceTap) * static_cast<size_t>(rowPixels)));
    copy.rows = static_cast<SourceTap*>(std::malloc(sizeof(SourceTap) * static_cast<size_t>(height)));
    copy.acrossRows = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * 2 * static_cast<size_t>(rowPixels)));
    if (!copy.columns || !copy.rows || !copy.acrossRows || !MakeCanvas(copy.source, sourceWidth, sourceHeight, SCALED_RGB32) ||
        !MakeCanvas(copy.destination, rowPixels, height, format)) {
        FreeScaledCopy(copy);
        return nullptr;
    }
    FillTaps(copy.columns, rowPixels, width, sourceWidth);
    FillTaps(copy.rows, height, height, sourceHeight);
    copy.sourceWidth = sourceWidth;
    copy.sourceHeight = sourceHeight;
    copy.width = width;
    copy.rowPixels = rowPixels;
    copy.height = height;
    copy.format = format;
    return &copy;
}

}  // namespace

bool CopyScaledToScreen(HDC dc, HDC memory, const BITMAP& source, int32_t x, int32_t y, int32_t width, int32_t height,
                        DWORD rop) {
    // Beyond the screen's own size, or mirrored, the platform's stretch serves.
    const ScreenTargetValues& screen = Drawing.screen;
    if (width <= 0 || height <= 0 || width > screen.width || height > screen.height) return false;
    if (source.bmWidth < 2 || source.bmHeight < 2 || !IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE))
        return false;
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
