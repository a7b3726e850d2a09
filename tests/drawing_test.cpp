// Images and drawing under Wine: real GDI, pixels read back from the bitmaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "runtime/core/core.h"
#include "runtime/drawing/drawing.h"
#include "support/child_process.h"
#include "support/gdi_readback.h"
#include "support/method_hook.h"

namespace {

constexpr uint32_t BLACK = 0x000000;
constexpr uint32_t WHITE = 0xFFFFFF;
const uint32_t RED = MakeRGB(255, 0, 0);
const uint32_t GREEN = MakeRGB(0, 255, 0);
const uint32_t BLUE = MakeRGB(0, 0, 255);
const uint32_t SENTINEL = MakeRGB(200, 0, 200);

class Drawing : public ::testing::Test {
protected:
    void SetUp() override {
        InitDrawingDefaults();
        ResetImageDecoders();
        InitImageLibrary();
    }
    void TearDown() override {
        EndDrawing();
        FreeAllImages();
    }
};

HBITMAP BitmapOf(ObjectId image) { return reinterpret_cast<HBITMAP>(GetImageHandle(image)); }

BitmapPixels PixelsOf(ObjectId image) { return ReadBitmapPixels(BitmapOf(image)); }

// Starts drawing on an image; the test fails at once if that is impossible.
HDC DrawOnImage(ObjectId image) {
    EXPECT_NE(GetImageHandle(image), 0u) << "image " << image;
    return BeginDrawing(ImageDrawTarget());
}

// A new image filled with one colour, drawing finished.
uintptr_t CreateFilledImage(ObjectId image, int width, int height, uint32_t color) {
    uintptr_t handle = CreateImageObject(image, width, height);
    EXPECT_NE(handle, 0u) << "image " << image << " " << width << "x" << height;
    DrawOnImage(image);
    FillBox(0, 0, width, height, color);
    EndDrawing();
    return handle;
}

// Draws in `mode` on image 1, made anew with one colour; returns its pixels.
// Mode 0 is left to BeginDrawing, which starts every drawing in it: a mode
// kept from the drawing before would show in the fill or in the shape.
BitmapPixels DrawOnNewImage(int width, int height, uint32_t background, int32_t mode, const std::function<void()>& draw) {
    CreateFilledImage(1, width, height, background);
    DrawOnImage(1);
    if (mode) SetDrawMode(mode);
    draw();
    EndDrawing();
    return PixelsOf(1);
}

// A producer of drawing targets other than the image library: it owns a
// memory DC holding a bitmap and counts how often its DC is given back.
struct ProducedTarget {
    static int releases;
    static void Release() { ++releases; }

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ originalBitmap = nullptr;
    HGDIOBJ ownBrush = nullptr, ownPen = nullptr;  // what drawing must leave selected in the DC
    DrawTarget target{};

    ProducedTarget(int32_t kind, int width, int height, int32_t depth = 0, int32_t pixelFormatCode = 0) {
        releases = 0;
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        originalBitmap = SelectObject(dc, bitmap);
        FillWithColor(dc, {0, 0, width, height}, SENTINEL);
        ownBrush = GetCurrentObject(dc, OBJ_BRUSH);
        ownPen = GetCurrentObject(dc, OBJ_PEN);
        target.kind = kind;
        target.dc = dc;
        target.release = Release;
        target.width = width;
        target.height = height;
        target.depth = depth;
        target.pixelFormatCode = pixelFormatCode;
    }
    ~ProducedTarget() {
        EndDrawing();
        if (GetObjectType(dc) == OBJ_MEMDC) {
            SelectObject(dc, originalBitmap);
            DeleteDC(dc);
        }
        DeleteObject(bitmap);
    }
    BitmapPixels Pixels() const { return ReadBitmapPixels(bitmap); }
    bool KeepsItsOwnBrushAndPen() const {
        return GetCurrentObject(dc, OBJ_BRUSH) == ownBrush && GetCurrentObject(dc, OBJ_PEN) == ownPen;
    }
};
int ProducedTarget::releases = 0;

// Run below in a process of its own, where no drawing defaults were ever set up.
TEST(DrawingWithoutDefaults, DISABLED_EndDrawingStillRestoresTheDC) {
    ProducedTarget produced(DRAW_TARGET_SCREEN, 8, 8);
    ASSERT_NE(BeginDrawing(&produced.target), nullptr);
    SetDrawMode(0);
    FillBox(0, 0, 4, 4, BLACK);
    EndDrawing();
    EXPECT_TRUE(produced.KeepsItsOwnBrushAndPen());
    EXPECT_EQ(produced.Pixels().Count(BLACK), 16);
}

// The defaults are process-wide and never go, so in this shared process any
// case before it would have set them up.
TEST(DrawingWithoutDefaults, EndDrawingStillRestoresTheDCInAFreshProcess) {
    ChildRun child =
        RunThisTestProgram("--gtest_also_run_disabled_tests --gtest_filter=DrawingWithoutDefaults.DISABLED_*");
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}

// ---------------------------------------------------------------------------
// Image objects

TEST_F(Drawing, ANewImageIsABlackBitmapThatReplacesTheNumbersOldOne) {
    uintptr_t first = CreateFilledImage(1, 50, 40, WHITE);
    uintptr_t second = CreateImageObject(1, 600, 450);
    ASSERT_NE(second, 0u);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(first)), 0u) << "first bitmap still a GDI object";
    EXPECT_EQ(GetImageHandle(1), second);
    BitmapPixels pixels = PixelsOf(1);
    ASSERT_EQ(pixels.width, 600);
    ASSERT_EQ(pixels.height, 450);
    EXPECT_EQ(pixels.Count(BLACK), 600 * 450);
}

TEST_F(Drawing, FreeAllImagesDeletesListAndNumberedBitmaps) {
    std::vector<HGDIOBJ> bitmaps;
    for (ObjectId number : {ObjectId{0}, ObjectId{1}, ObjectId{10}, ObjectId{35}, NEW_LIST_OBJECT, NEW_LIST_OBJECT}) {
        uintptr_t created = CreateImageObject(number, 4, 4);  // a list image answers with its handle
        ASSERT_NE(created, 0u) << "image " << number;
        bitmaps.push_back(reinterpret_cast<HGDIOBJ>(GetImageHandle(number < 0 ? static_cast<ObjectId>(created) : number)));
    }
    FreeAllImages();
    for (size_t i = 0; i < bitmaps.size(); ++i)
        EXPECT_EQ(GetObjectType(bitmaps[i]), 0u) << "bitmap " << i << " survived";
    EXPECT_EQ(GetImageHandle(35), 0u);
}

TEST_F(Drawing, RecreatingOrFreeingTheImageBeingDrawnOnDeletesItsBitmap) {
    for (bool recreate : {true, false}) {
        SCOPED_TRACE(recreate ? "recreated" : "freed");
        uintptr_t bitmap = CreateImageObject(1, 20, 20);
        HDC dc = DrawOnImage(1);
        ASSERT_NE(dc, nullptr);
        if (recreate) {
            ASSERT_NE(CreateImageObject(1, 20, 20), 0u);
        } else {
            FreeImageObject(1);
        }
        EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(bitmap)), 0u) << "the bitmap was kept alive by its DC";
        EXPECT_EQ(GetObjectType(dc), 0u) << "the image DC outlived its image";
        FillBox(0, 0, 20, 20, RED);  // drawing ended with the image it was on
        EndDrawing();
        if (recreate) {
            EXPECT_EQ(PixelsOf(1).Count(BLACK), 400);
        } else {
            EXPECT_EQ(ImageDrawTarget(), nullptr) << "the freed image is still current";
        }
    }
}

// ---------------------------------------------------------------------------
// Drawing context

TEST_F(Drawing, BeginDrawingGivesThePreviousDCBackFirst) {
    CreateImageObject(1, 20, 20);
    ASSERT_NE(DrawOnImage(1), nullptr);
    FillBox(0, 0, 10, 20, RED);
    HDC imageDC = DrawOnImage(1);  // the same image again, without EndDrawing
    ASSERT_NE(imageDC, nullptr);
    FillBox(10, 0, 10, 20, GREEN);

    ProducedTarget screen(DRAW_TARGET_SCREEN, 30, 30);
    EXPECT_EQ(BeginDrawing(&screen.target), screen.dc);
    EXPECT_EQ(GetObjectType(imageDC), 0u) << "the image DC was not given back";
    EXPECT_EQ(ProducedTarget::releases, 0);
    FillBox(0, 0, 5, 5, RED);
    EndDrawing();
    EXPECT_EQ(ProducedTarget::releases, 1);
    EndDrawing();
    EXPECT_EQ(ProducedTarget::releases, 1) << "a second EndDrawing gave the DC back again";
    EXPECT_EQ(screen.Pixels().Count(RED), 25);
    BitmapPixels pixels = PixelsOf(1);
    EXPECT_EQ(pixels.CountIn(RED, 0, 0, 10, 20), 200);
    EXPECT_EQ(pixels.CountIn(GREEN, 10, 0, 20, 20), 200);
    EXPECT_EQ(pixels.Count(RED), 200) << "drawing for the screen went to the image";
}

TEST_F(Drawing, EndDrawingGivesTheDCBackByKind) {
    struct {
        int32_t kind;
        int releases;      // calls of the producer's release procedure
        bool dcDeleted;    // EndDrawing deleted the DC itself
    } cases[] = {
        {DRAW_TARGET_IMAGE, 1, false}, {DRAW_TARGET_DIB, 1, false}, {DRAW_TARGET_SCREEN, 1, false},
        {3, 0, true},                  {0, 0, true},
    };
    for (auto c : cases) {
        ProducedTarget produced(c.kind, 8, 8);
        ASSERT_EQ(BeginDrawing(&produced.target), produced.dc) << "kind " << c.kind;
        SetDrawMode(DRAW_MODE_OUTLINE);
        EndDrawing();
        EXPECT_EQ(ProducedTarget::releases, c.releases) << "kind " << c.kind;
        bool deleted = GetObjectType(produced.dc) == 0;
        EXPECT_EQ(deleted, c.dcDeleted) << "kind " << c.kind;
        EXPECT_TRUE(deleted || produced.KeepsItsOwnBrushAndPen()) << "kind " << c.kind;
    }
}

TEST_F(Drawing, WindowTargetDrawsOnTheWindowDC) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 40, 40, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    DrawTarget target{};
    target.kind = DRAW_TARGET_WINDOW;
    target.window = window;
    HDC dc = BeginDrawing(&target);
    EXPECT_EQ(WindowFromDC(dc), window) << "got " << WindowFromDC(dc);
    EndDrawing();
    DestroyWindow(window);
}

TEST_F(Drawing, NoTargetLeavesTheContextIdle) {
    CreateImageObject(1, 20, 20);
    ASSERT_NE(DrawOnImage(1), nullptr);
    EXPECT_EQ(BeginDrawing(nullptr), nullptr);
    DrawTarget noDC{};
    noDC.kind = DRAW_TARGET_SCREEN;
    EXPECT_EQ(BeginDrawing(&noDC), nullptr);
    HBITMAP bitmap = BitmapOf(1);
    FillBox(0, 0, 20, 20, RED);
    DrawCircle(10, 10, 5, RED);
    DrawEllipse(10, 10, 5, 3, RED);
    BlitImage(reinterpret_cast<uintptr_t>(bitmap), 0, 0, 5, 5);
    SetDrawMode(DRAW_MODE_OUTLINE);
    EndDrawing();
    EXPECT_EQ(PixelsOf(1).Count(BLACK), 400);
}

// ---------------------------------------------------------------------------
// Box and circle

// Each shape on a white 100 by 100 image: how many pixels it sets, all of
// them in `bounds` and of its colour alone (an edge included), none in `hole`.
// Outline rows are followed by filled ones, drawn without setting a mode.
TEST_F(Drawing, ShapesSetExactlyTheirPixels) {
    const uint32_t INK = MakeRGB(10, 20, 30);  // channels must come back where they went
    const struct {
        const char* name;
        int32_t mode;
        void (*draw)(uint32_t color);
        uint32_t color;
        int least, most;
        RECT bounds, hole;
        std::vector<POINT> set;  // pixels that must be set
    } cases[] = {
        {"box", 0, [](uint32_t c) { FillBox(5, 5, 90, 80, c); }, INK, 7200, 7200, {5, 5, 95, 85}, {}, {{5, 5}}},
        {"1 by 1 box", 0, [](uint32_t c) { FillBox(5, 7, 1, 1, c); }, INK, 1, 1, {5, 7, 6, 8}, {}, {{5, 7}}},
        {"1 by 1 outline box", DRAW_MODE_OUTLINE, [](uint32_t c) { FillBox(5, 7, 1, 1, c); }, INK, 1, 1, {5, 7, 6, 8},
         {}, {{5, 7}}},
        {"outline box: a frame", DRAW_MODE_OUTLINE, [](uint32_t c) { FillBox(10, 10, 20, 15, c); }, INK, 66, 66,
         {10, 10, 30, 25}, {11, 11, 29, 24}, {}},
        // The smallest bubble is a 2 by 2 square whatever the mode.
        {"radius 1", 0, [](uint32_t c) { DrawCircle(6, 9, 1, c); }, INK, 4, 4, {6, 9, 8, 11}, {}, {}},
        {"radius 1 outline", DRAW_MODE_OUTLINE, [](uint32_t c) { DrawCircle(6, 9, 1, c); }, INK, 4, 4, {6, 9, 8, 11},
         {}, {}},
        {"radius 0 in black", 0, [](uint32_t c) { DrawCircle(8, 8, 0, c); }, BLACK, 0, 0, {}, {}, {}},
        // A disc of radius 20 covers about pi * 400 pixels, its ring about 2 * pi * 20.
        {"disc", 0, [](uint32_t c) { DrawCircle(50, 50, 20, c); }, INK, 1150, 1370, {30, 30, 70, 70}, {},
         {{50, 50}, {30, 50}, {50, 30}}},
        {"ring", DRAW_MODE_OUTLINE, [](uint32_t c) { DrawCircle(50, 50, 20, c); }, INK, 100, 170, {30, 30, 70, 70},
         {40, 40, 60, 60}, {}},
        // The quarter of a disc of radius 40 inside the image: about pi * 1600 / 4.
        {"disc at the corner", 0, [](uint32_t c) { DrawCircle(0, 0, 40, c); }, INK, 1150, 1400, {0, 0, 41, 41}, {},
         {{0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapPixels pixels = DrawOnNewImage(100, 100, WHITE, c.mode, [&] { c.draw(c.color); });
        int set = pixels.Count(c.color);
        EXPECT_GE(set, c.least);
        EXPECT_LE(set, c.most);
        EXPECT_EQ(set + pixels.Count(WHITE), 100 * 100) << "another colour drawn";
        const RECT& b = c.bounds;
        EXPECT_EQ(pixels.CountIn(c.color, b.left, b.top, b.right, b.bottom), set) << "drawn outside its bounds";
        const RECT& h = c.hole;
        EXPECT_EQ(pixels.CountIn(WHITE, h.left, h.top, h.right, h.bottom), (h.right - h.left) * (h.bottom - h.top))
            << "the inside was painted";
        for (POINT p : c.set) EXPECT_EQ(pixels.At(p.x, p.y), c.color) << "at " << p.x << "," << p.y;
    }
}

TEST_F(Drawing, ColourZeroDrawsWithTheObjectsSelectedInTheDC) {
    CreateImageObject(1, 60, 60);
    HDC dc = DrawOnImage(1);
    ASSERT_NE(dc, nullptr);
    SelectObject(dc, GetStockObject(DC_PEN));
    SelectObject(dc, GetStockObject(DC_BRUSH));
    SetDCPenColor(dc, BLUE);
    SetDCBrushColor(dc, GREEN);
    DrawCircle(30, 30, 20, BLACK);
    EndDrawing();
    BitmapPixels pixels = PixelsOf(1);
    EXPECT_EQ(pixels.At(30, 30), GREEN) << "got " << std::hex << pixels.At(30, 30);
    EXPECT_EQ(pixels.At(10, 30), BLUE) << "got " << std::hex << pixels.At(10, 30);
}

// ---------------------------------------------------------------------------
// Drawing images

// Noise from a fixed seed, so that any filtering or shift shows.
uintptr_t CreateNoiseImage(ObjectId image, int width, int height) {
    uintptr_t handle = CreateImageObject(image, width, height);
    std::mt19937 generator(20261207);
    std::vector<uint32_t> bgrx(static_cast<size_t>(width) * height);
    for (uint32_t& pixel : bgrx) pixel = (generator() & 0xFFFFFF) | 0x100;  // green never 0: never the sentinel
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    int lines = SetDIBits(screen, reinterpret_cast<HBITMAP>(GetImageHandle(image)), 0, height, bgrx.data(), &info,
                          DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(lines, height) << "got " << lines;
    return handle;
}

// Which copy ran, told by its pixels (from left, top) against the source stretched bilinearly in floating
// point, pixel centres lined up: the library's filter is within its fixed point of it everywhere, edges
// too, and a copy at the image's size is it; the platform's smoothed stretch is not; its plain one only
// repeats source pixels. `worst` is the largest difference of a channel.
enum StretchSeen { BILINEAR, PLATFORM_SMOOTHED, PLATFORM_PLAIN };

StretchSeen StretchOf(const BitmapPixels& drawn, int left, int top, const BitmapPixels& source, int width, int height,
                      int tolerance, int& worst) {
    auto at = [](int d, int to, int from) { return std::clamp((d + 0.5) * from / to - 0.5, 0.0, from - 1.0); };
    std::vector<uint32_t> colors = source.rgb;
    std::sort(colors.begin(), colors.end());
    bool sourceColors = true;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double sx = at(x, width, source.width), sy = at(y, height, source.height);
            int x0 = std::min(static_cast<int>(sx), source.width - 2), y0 = std::min(static_cast<int>(sy), source.height - 2);
            for (int shift = 0; shift < 24; shift += 8) {
                auto c = [&](int dx, int dy) { return (source.At(x0 + dx, y0 + dy) >> shift & 0xFF) * 1.0; };
                double upper = c(0, 0) + (c(1, 0) - c(0, 0)) * (sx - x0), lower = c(0, 1) + (c(1, 1) - c(0, 1)) * (sx - x0);
                double off = std::abs((drawn.At(left + x, top + y) >> shift & 0xFF) - upper - (lower - upper) * (sy - y0));
                worst = std::max(worst, static_cast<int>(std::lround(off)));
            }
            sourceColors = sourceColors && std::binary_search(colors.begin(), colors.end(), drawn.At(left + x, top + y));
        }
    return worst <= tolerance ? BILINEAR : sourceColors ? PLATFORM_PLAIN : PLATFORM_SMOOTHED;
}

// A processor that says it has no SSE2, for the case that falls back.
BOOL WINAPI WithoutSse2(DWORD) { return FALSE; }

TEST_F(Drawing, CopyFillsTheWholeAreaThroughTheStretchOfTheTargetKind) {
    // The screen's copy is filtered by the library in the screen's format (32-bit, 5-6-5, 5-5-5; widths not a
    // multiple of four too); without SSE2 the platform's smoothed stretch serves instead.
    struct {
        int32_t kind, depth, pixelFormatCode, width, height;
        StretchSeen stretch;
        bool sse2;
    } cases[] = {{DRAW_TARGET_IMAGE, 0, 0, 1024, 768, PLATFORM_SMOOTHED, true},
                 {DRAW_TARGET_SCREEN, 32, 7, 1024, 768, BILINEAR, true},
                 {DRAW_TARGET_SCREEN, 16, 3, 1023, 768, BILINEAR, true},
                 {DRAW_TARGET_SCREEN, 16, 2, 1022, 768, BILINEAR, true},
                 {DRAW_TARGET_SCREEN, 16, 3, 1024, 768, PLATFORM_SMOOTHED, false},
                 {DRAW_TARGET_DIB, 0, 0, 1024, 768, PLATFORM_PLAIN, true},
                 {DRAW_TARGET_IMAGE, 0, 0, 64, 48, BILINEAR, true},
                 {DRAW_TARGET_SCREEN, 32, 7, 64, 48, BILINEAR, true},
                 {DRAW_TARGET_DIB, 0, 0, 64, 48, BILINEAR, true}};
    uintptr_t noise = CreateNoiseImage(1, 64, 48);
    BitmapPixels source = PixelsOf(1);
    for (auto c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", pixel format " << c.pixelFormatCode << (c.sse2 ? "" : ", no SSE2"));
        ProducedTarget produced(c.kind, 1100, 800, c.depth, c.pixelFormatCode);
        MethodHook noSse2(c.sse2 ? nullptr : ImportSlot("KERNEL32.dll", "IsProcessorFeaturePresent"), WithoutSse2);
        ASSERT_TRUE(c.sse2 || noSse2.Works()) << "no import of IsProcessorFeaturePresent to hook";
        ASSERT_NE(BeginDrawing(&produced.target), nullptr);
        BlitImage(noise, 10, 5, c.width, c.height);
        EndDrawing();
        BitmapPixels pixels = produced.Pixels();
        EXPECT_EQ(pixels.CountIn(SENTINEL, 10, 5, 10 + c.width, 5 + c.height), 0) << "area not covered";
        EXPECT_EQ(pixels.Count(SENTINEL), 1100 * 800 - c.width * c.height) << "drawn beyond " << c.width << "x" << c.height;
        int worst = 0, tolerance = c.width == 64 ? 0 : c.depth == 16 ? 9 : 2;
        EXPECT_EQ(StretchOf(pixels, 10, 5, source, c.width, c.height, tolerance, worst), c.stretch)
            << "off the bilinear picture by " << worst;
    }
}

TEST_F(Drawing, BitmapHeldByAnotherDCIsNotCopied) {
    uintptr_t held = CreateFilledImage(1, 8, 8, RED);
    HDC holder = CreateCompatibleDC(nullptr);
    HGDIOBJ original = SelectObject(holder, reinterpret_cast<HGDIOBJ>(held));
    CreateFilledImage(2, 16, 16, SENTINEL);
    DrawOnImage(2);
    BlitImage(held, 0, 0, 16, 16);
    BlitImageUnscaled(held, 0, 0);
    EndDrawing();
    SelectObject(holder, original);
    DeleteDC(holder);
    EXPECT_EQ(PixelsOf(2).Count(SENTINEL), 256);
}

// Its header and pixel order show in the device-independent copies of the stretch table.
TEST_F(Drawing, BitmapToDibPadsTheRowsOfBitmapsOnly) {
    struct {
        int width, height;
        SIZE_T bytes;
    } cases[] = {{1, 1, 44}, {3, 2, 40 + 2 * 12}, {4, 1, 40 + 12}, {600, 450, 40 + 1800 * 450}};
    for (auto c : cases) {
        ASSERT_NE(CreateFilledImage(1, c.width, c.height, MakeRGB(1, 2, 3)), 0u);
        HGLOBAL block = BitmapToDib(BitmapOf(1), nullptr);
        ASSERT_NE(block, nullptr) << c.width << "x" << c.height;
        EXPECT_EQ(GlobalSize(block), c.bytes) << c.width << "x" << c.height;
        GlobalFree(block);
    }
    EXPECT_EQ(BitmapToDib(nullptr, nullptr), nullptr);
    EXPECT_EQ(BitmapToDib(reinterpret_cast<HBITMAP>(GetStockObject(BLACK_BRUSH)), nullptr), nullptr) << "a brush";
}

HICON CreateSolidIcon(int size, uint32_t color) {
    HDC screen = GetDC(nullptr);
    HBITMAP colorBitmap = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);  // all 0: every pixel opaque
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ original = SelectObject(dc, colorBitmap);
    FillWithColor(dc, {0, 0, size, size}, color);
    SelectObject(dc, mask);
    PatBlt(dc, 0, 0, size, size, BLACKNESS);
    SelectObject(dc, original);
    DeleteDC(dc);
    ICONINFO info{TRUE, 0, 0, mask, colorBitmap};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colorBitmap);
    DeleteObject(mask);
    return icon;
}

TEST_F(Drawing, IconIsDrawnAtItsOwnOrAGivenSize) {
    struct { int32_t width, height; int expected; } cases[] = {{0, 0, 16 * 16}, {32, 24, 32 * 24}};
    HICON icon = CreateSolidIcon(16, GREEN);
    ASSERT_NE(icon, nullptr);
    for (auto c : cases) {
        BitmapPixels pixels = DrawOnNewImage(64, 64, BLACK, 0, [&] {
            BlitImage(reinterpret_cast<uintptr_t>(icon), 8, 8, c.width, c.height);
        });
        EXPECT_EQ(pixels.Count(GREEN), c.expected) << c.width << "x" << c.height;
        EXPECT_EQ(pixels.At(8, 8), GREEN) << "got " << std::hex << pixels.At(8, 8);
    }
    DestroyIcon(icon);
}

// ---------------------------------------------------------------------------
// Every numeric input at, just past and far past both its ends

// 1 when image 2 was made at this size; 0 when refused and the image it held kept.
int64_t ImageMade(int32_t width, int32_t height) {
    uintptr_t kept = CreateImageObject(2, 4, 4);
    return CreateImageObject(2, width, height) ? 1 : GetImageHandle(2) == kept ? 0 : -1;
}

// Pixels of a 200 by 150 screen that a one-colour image `side` pixels square covers copied at x, y, width by height.
int64_t ScreenCoveredBy(int32_t side, int32_t x, int32_t y, int32_t width, int32_t height) {
    const uint32_t INK = MakeRGB(10, 20, 30);
    uintptr_t image = CreateFilledImage(4, side, side, INK);
    ProducedTarget screen(DRAW_TARGET_SCREEN, 200, 150, 32, 7);
    BeginDrawing(&screen.target);
    BlitImage(image, x, y, width, height);
    EndDrawing();
    return screen.Pixels().Count(INK);
}

// Pixels that one shape sets on a white 100 by 100 image.
int64_t Drawn(const std::function<void()>& draw) { return 100 * 100 - DrawOnNewImage(100, 100, WHITE, 0, draw).Count(WHITE); }

TEST_F(Drawing, EveryOperationClampsOrRefusesPastItsEnds) {
    const int64_t FAR_BELOW = sizeof(ObjectId) > 4 ? INT64_MIN : INT32_MIN;
    const struct {
        const char* operation;
        int64_t (*answer)(int64_t input);
        std::vector<std::pair<int64_t, int64_t>> ends;  // input, designed answer
    } operations[] = {
        {"CreateImageObject number, 1 when made",
         [](int64_t n) -> int64_t { return CreateImageObject(n, 4, 4) != 0; },
         {{-1, 1}, {0, 1}, {10, 1}, {11, 1}, {-2, 0}, {FAR_BELOW, 0}}},
        {"CreateImageObject width", [](int64_t w) { return ImageMade(w, 4); },
         {{1, 1}, {32767, 1}, {0, 0}, {-1, 0}, {INT32_MIN, 0}, {32768, 0}, {INT32_MAX, 0}}},
        {"CreateImageObject height", [](int64_t h) { return ImageMade(4, h); },
         {{1, 1}, {32767, 1}, {0, 0}, {-1, 0}, {INT32_MIN, 0}, {32768, 0}, {INT32_MAX, 0}}},
        // A failed lookup leaves no current image to draw on.
        {"GetImageHandle number, 1 when found or still current",
         [](int64_t n) -> int64_t { return CreateImageObject(1, 4, 4) && (GetImageHandle(n) || ImageDrawTarget()); },
         {{1, 1}, {-1, 0}, {-2, 0}, {FAR_BELOW, 0}, {12, 0}, {INT32_MAX, 0}}},
        {"FreeImageObject number, 1 when image 1 is left",
         [](int64_t n) -> int64_t { return CreateImageObject(1, 4, 4) && (FreeImageObject(n), GetImageHandle(1)); },
         {{1, 0}, {-1, 1}, {-2, 1}, {FAR_BELOW, 1}, {11, 1}}},
        // Far-off boxes and circles clip; none wraps round to the other side.
        {"FillBox width at 10, 10, 10 high", [](int64_t w) { return Drawn([w] { FillBox(10, 10, w, 10, BLUE); }); },
         {{1, 10}, {90, 900}, {91, 900}, {INT32_MAX, 900}, {0, 0}, {-1, 10}, {-1000000, 110}}},
        {"FillBox x, 10 wide and high", [](int64_t x) { return Drawn([x] { FillBox(x, 10, 10, 10, BLUE); }); },
         {{0, 100}, {-10, 0}, {INT32_MIN, 0}, {90, 100}, {100, 0}, {INT32_MAX, 0}}},
        {"DrawCircle radius at 50, 50", [](int64_t r) { return Drawn([r] { DrawCircle(50, 50, r, BLUE); }); },
         {{1, 4}, {0, 0}, {-1, 4}, {71, 10000}, {INT32_MAX, 10000}, {INT32_MIN, 10000}}},
        // Bit 2 inverts (a copy: NOT (source OR target)), bit 4 leaves shapes hollow; no other bit counts.
        {"SetDrawMode, the centre of a red disc on white", [](int64_t mode) -> int64_t {
             return DrawOnNewImage(40, 40, WHITE, mode, [] { DrawCircle(20, 20, 10, RED); }).At(20, 20);
         }, {{0, RED}, {DRAW_MODE_INVERT, BLACK}, {DRAW_MODE_OUTLINE, WHITE}, {-1, WHITE}, {INT32_MIN, RED}, {8, RED}}},
        {"SetDrawMode, a red copy onto blue", [](int64_t mode) -> int64_t {
             uintptr_t red = CreateFilledImage(3, 8, 8, RED);
             return DrawOnNewImage(8, 8, BLUE, mode, [red] { BlitImageUnscaled(red, 0, 0); }).At(4, 4);
         }, {{0, RED}, {DRAW_MODE_INVERT, GREEN}, {-1, GREEN}, {INT32_MIN, RED}}},
        // Onto the screen: the library's filter up to the screen's size, the
        // platform's stretch past it, or mirrored, or from a source under 2 by 2.
        {"BlitImage width at x 100", [](int64_t w) { return ScreenCoveredBy(8, 100, 0, w, 150); },
         {{0, 64}, {1, 150}, {200, 15000}, {201, 15000}, {100000, 15000}, {-1, 150}, {-100000, 15150}}},
        {"BlitImage height at y 0", [](int64_t h) { return ScreenCoveredBy(8, 0, 0, 200, h); },
         {{0, 64}, {1, 200}, {150, 30000}, {151, 30000}, {100000, 30000}, {-1, 200}, {-100000, 200}}},
        {"BlitImage source side", [](int64_t side) { return ScreenCoveredBy(side, 0, 0, 200, 150); },
         {{1, 30000}, {2, 30000}, {3, 30000}}},
    };
    for (const auto& op : operations)
        for (auto [input, expected] : op.ends) EXPECT_EQ(op.answer(input), expected) << op.operation << " of " << input;
}

// ---------------------------------------------------------------------------
// GDI objects

// One frame of the toy: background and six bubbles into the scene image,
// then the scene copied onto another target.
void DrawAndCopyFrame(int frame, uintptr_t scene, const DrawTarget& screen) {
    DrawOnImage(1);
    FillBox(0, 0, 600, 450, MakeRGB(frame % 256, frame % 256, 255));
    for (int bubble = 0; bubble < 6; ++bubble) {
        SetDrawMode(bubble % 2 ? DRAW_MODE_OUTLINE : 0);
        DrawCircle(50 + bubble * 90, 200, 1 + (frame + bubble * 7) % 40, MakeRGB(255, bubble * 40, 0));
    }
    FillBox(frame % 600, 10, 1, 1, BLACK);
    FillBox(20, 20, 30, 30, BLACK);
    EndDrawing();
    BeginDrawing(&screen);
    if (frame % 3 == 0)
        BlitImageUnscaled(scene, 0, 0);
    else
        BlitImage(scene, 0, 0, 320 + frame % 2 * 40, 240);
    EndDrawing();
}

TEST_F(Drawing, ThousandsOfDrawAndCopyCyclesLeakNoGdiObjects) {
    int before = CountGdiObjects();
    if (before < 0) GTEST_SKIP() << "no way to count GDI objects here";
    HBRUSH brush = CreateSolidBrush(RED);
    ASSERT_EQ(CountGdiObjects(), before + 1) << "the count does not see a new brush";
    DeleteObject(brush);
    uintptr_t scene = CreateImageObject(1, 600, 450);
    ASSERT_NE(scene, 0u);
    ProducedTarget screen(DRAW_TARGET_SCREEN, 640, 480);
    ProducedTarget dib(DRAW_TARGET_DIB, 640, 480);
    // Frame 1 stretches onto the screen, whose filter keeps its canvases from then on.
    DrawAndCopyFrame(1, scene, screen.target);
    DrawAndCopyFrame(0, scene, dib.target);
    int afterFirst = CountGdiObjects();
    for (int frame = 1; frame <= 2000; ++frame) DrawAndCopyFrame(frame, scene, frame % 50 ? screen.target : dib.target);
    int afterAll = CountGdiObjects();
    EXPECT_EQ(afterAll, afterFirst) << "GDI objects after the first frame and after all";
}

}  // namespace
