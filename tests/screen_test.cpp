// The screen library under Wine: the multimedia window, the shared DirectDraw
// object, windowed and full-screen displays on the real (headless) desktop,
// and the frame cycle.
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <functional>
#include <numeric>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "runtime/screen/screen_internal.h"
#include "support/display.h"
#include "support/method_hook.h"
#include "support/testbed.h"
#include "support/windows.h"

namespace {

constexpr uint32_t RED = 0x0000FF;
constexpr uint32_t GREEN = 0x00FF00;
constexpr uint32_t BLUE = 0xFF0000;
constexpr uint32_t WHITE = 0xFFFFFF;
const RECT WHOLE_SCREEN{0, 0, 1024, 768};

class ScreenTest : public DisplayTest {};
// Surfaces lost and restored as Windows' drivers do: Wine's gdi renderer, the toy's own,
// restores a surface across a mode change that it can then no longer copy. These cases
// run on Wine's OpenGL one.
class ScreenTestOnOpenGL : public DisplayTest {};

// Fills the whole back buffer through the display's drawing target, then gives the target back as EndDrawing
// would. A marked frame has a red top-left and a green bottom-right corner of 10 by 10 on it.
bool DrawFrame(uint32_t rgb, bool marked = false) {
    DrawTarget* target = DisplayDrawTarget();
    if (!target || !target->dc) return false;
    FillWithColor(target->dc, RECT{0, 0, Screen.width, Screen.height}, rgb);
    if (marked) {
        FillWithColor(target->dc, {0, 0, 10, 10}, RED);
        FillWithColor(target->dc, {Screen.width - 10, Screen.height - 10, Screen.width, Screen.height}, GREEN);
    }
    target->release();
    return true;
}

RECT Inset(RECT r, int by) {
    InflateRect(&r, -by, -by);
    return r;
}

// Waits until the area shows `rgb` over nine tenths of it (the X server may
// need a moment), presenting a frame before each look when `present`.
testing::AssertionResult Shows(const RECT& area, uint32_t rgb, bool present = false) {
    DominantColor seen;
    bool shown = PumpMessagesUntil([&] {
        if (present) PresentFrame();
        seen = DominantScreenColor(area);
        return seen.rgb == rgb && seen.count * 10 >= seen.total * 9;
    });
    if (shown) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "showed " << std::hex << seen.rgb << std::dec << " on " << seen.count
                                       << " of " << seen.total << " pixels, not " << std::hex << rgb;
}

// Draws a frame of `rgb` and waits until it shows: over the whole screen after one flip, as a second would show
// the other, black buffer; or over the `area` of a windowed display, presenting before each look.
testing::AssertionResult FrameShows(uint32_t rgb, const RECT* windowed = nullptr) {
    if (!DrawFrame(rgb)) return testing::AssertionFailure() << "no drawing target";
    if (!windowed) PresentFrame();
    return Shows(windowed ? *windowed : WHOLE_SCREEN, rgb, windowed != nullptr);
}

// Gives the window the foreground and makes it active, as a switch by Alt+Tab does.
void BringToFront(HWND window) { SetForegroundWindow(window), SetActiveWindow(window); }

// Presents frames until the display is active or not, as the program's frames would notice.
bool PresentUntilActive(int active) {
    return PumpMessagesUntil([=] {
        PresentFrame();
        return IsDisplayActive() == active;
    });
}

COLORREF SurfacePixel(IDirectDrawSurface7* surface, int x, int y) {
    HDC dc = nullptr;
    if (FAILED(surface->GetDC(&dc))) return CLR_INVALID;
    COLORREF pixel = GetPixel(dc, x, y);
    surface->ReleaseDC(dc);
    return pixel;
}

int CursorDisplayCount() {
    int count = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return count - 1;
}

// A mode's width, height and bits, to compare and print in one go.
std::tuple<DWORD, DWORD, DWORD> SizeOf(const DEVMODEA& mode) { return {mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel}; }

bool HasMode(DWORD width, DWORD height, DWORD bits) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i)
        if (SizeOf(mode) == std::make_tuple(width, height, bits)) return true;
    return false;
}

// The seconds each of `count` presents in a row took, adding up to the time of them all.
std::vector<double> FrameSeconds(int count) {
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    std::vector<double> seconds;
    for (int i = 0; i < count; ++i, before = after) {
        PresentFrame();
        QueryPerformanceCounter(&after);
        seconds.push_back(static_cast<double>(after.QuadPart - before.QuadPart) / frequency.QuadPart);
    }
    return seconds;
}
double Sum(const std::vector<double>& values) { return std::accumulate(values.begin(), values.end(), 0.0); }

int HooksRun = 0;
void CountHook() { ++HooksRun; }
// A parent procedure that counts what reaches it, to see that subclassing
// passes messages on to the right window's own procedure exactly once.
constexpr UINT PROBE_MESSAGE = WM_APP + 7;
int ProbesAtFirst = 0;
int ProbesAtSecond = 0;
int SessionChangesSeen = 0;
LRESULT CALLBACK FirstParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PROBE_MESSAGE) return ++ProbesAtFirst;
    if (message == WM_WTSSESSION_CHANGE) ++SessionChangesSeen;
    return DefWindowProcA(window, message, wParam, lParam);
}
LRESULT CALLBACK SecondParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PROBE_MESSAGE) return ++ProbesAtSecond;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Another program's window, on a thread of its own, that takes the
// foreground when asked: the window a window manager hands the focus to.
class ForegroundThief {
public:
    ForegroundThief() : thread_([this] { Run(); }) { WaitForSingleObject(ready_, INFINITE); }
    ~ForegroundThief() {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        thread_.join();
        CloseHandle(ready_);
    }
    // Returns once it is in front; our thread meanwhile receives what losing
    // the foreground sends it, as it would while waiting for the platform.
    void TakeForeground() { SendMessageA(window_, TAKE_FOREGROUND, 0, 0); }

private:
    static constexpr UINT TAKE_FOREGROUND = WM_APP + 8;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == TAKE_FOREGROUND) return SetForegroundWindow(window);
        if (message == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    void Run() {
        window_ = CreateParentWindow(600, 400, 200, 100, Procedure);
        SetEvent(ready_);
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    }
    HANDLE ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND window_ = nullptr;
    std::thread thread_;
};

// Places in the method tables, IUnknown's three first.
constexpr int DIRECTDRAW_CREATE_CLIPPER = 4;
constexpr int DIRECTDRAW_CREATE_SURFACE = 6;
constexpr int DIRECTDRAW_GET_MONITOR_FREQUENCY = 15;
constexpr int DIRECTDRAW_SET_DISPLAY_MODE = 21;
constexpr int SURFACE_BLT = 5;
constexpr int SURFACE_FLIP = 11;

// The screen library's calls into DirectDraw, watched on their way: the
// modes asked for and the copies made are counted, and a step of the test
// can run once right before a mode request or right after a primary surface
// is made.
MethodHook* ModeRequestHook = nullptr;
MethodHook* CreateSurfaceHook = nullptr;
MethodHook* CreateClipperHook = nullptr;
MethodHook* BltHook = nullptr;
int ModeRequests = 0;
int Copies = 0;
std::function<void()> BeforeModeRequest;
std::function<void()> AfterPrimaryMade;

DWORD ReportedFrequency = 0;
HRESULT STDMETHODCALLTYPE ReportFrequency(IDirectDraw7*, DWORD* frequency) {
    *frequency = ReportedFrequency;
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE CountModeRequest(IDirectDraw7* self, DWORD width, DWORD height, DWORD bits, DWORD rate,
                                           DWORD flags) {
    ++ModeRequests;
    if (BeforeModeRequest) std::exchange(BeforeModeRequest, nullptr)();
    return ModeRequestHook->Original<decltype(&CountModeRequest)>()(self, width, height, bits, rate, flags);
}
// While set, refuses the surfaces it picks, as a driver short of memory would;
// meanwhile the surfaces and clippers made get a reference of ours, so that
// what the library still holds shows in the count our release leaves.
std::function<bool(const DDSURFACEDESC2&)> RefuseSurface;
std::vector<IUnknown*> MadeWhileWatched;

HRESULT STDMETHODCALLTYPE WatchCreateSurface(IDirectDraw7* self, DDSURFACEDESC2* description,
                                             IDirectDrawSurface7** surface, IUnknown* outer) {
    if (RefuseSurface && RefuseSurface(*description)) return DDERR_OUTOFMEMORY;
    HRESULT result = CreateSurfaceHook->Original<decltype(&WatchCreateSurface)>()(self, description, surface, outer);
    if (SUCCEEDED(result) && RefuseSurface) MadeWhileWatched.push_back(*surface), (*surface)->AddRef();
    if ((description->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) && AfterPrimaryMade)
        std::exchange(AfterPrimaryMade, nullptr)();
    return result;
}
HRESULT STDMETHODCALLTYPE WatchCreateClipper(IDirectDraw7* self, DWORD flags, IDirectDrawClipper** clipper,
                                             IUnknown* outer) {
    HRESULT result = CreateClipperHook->Original<decltype(&WatchCreateClipper)>()(self, flags, clipper, outer);
    if (SUCCEEDED(result) && RefuseSurface) MadeWhileWatched.push_back(*clipper), (*clipper)->AddRef();
    return result;
}
HRESULT STDMETHODCALLTYPE CountCopy(IDirectDrawSurface7* self, RECT* destination, IDirectDrawSurface7* from,
                                    RECT* source, DWORD flags, DDBLTFX* effects) {
    ++Copies;
    return BltHook->Original<decltype(&CountCopy)>()(self, destination, from, source, flags, effects);
}

MethodHook* FlipHook = nullptr;
int Flips = 0;
HRESULT STDMETHODCALLTYPE CountFlip(IDirectDrawSurface7* self, IDirectDrawSurface7* target, DWORD flags) {
    ++Flips;
    return FlipHook->Original<decltype(&CountFlip)>()(self, target, flags);
}

// Counts the modes asked for and watches the surfaces and clippers made, while alive.
struct DirectDrawWatch {
    MethodHook modes{DirectDraw.object, DIRECTDRAW_SET_DISPLAY_MODE, CountModeRequest};
    MethodHook surfaces{DirectDraw.object, DIRECTDRAW_CREATE_SURFACE, WatchCreateSurface};
    MethodHook clippers{DirectDraw.object, DIRECTDRAW_CREATE_CLIPPER, WatchCreateClipper};
    DirectDrawWatch() {
        ModeRequestHook = &modes;
        CreateSurfaceHook = &surfaces;
        CreateClipperHook = &clippers;
        ModeRequests = 0;
    }
    // Drops our references, made first to last, and says how many the library still held.
    std::vector<ULONG> ReleaseMade() {
        std::vector<ULONG> left;
        for (IUnknown* made : MadeWhileWatched) left.push_back(made->Release());
        MadeWhileWatched.clear();
        return left;
    }
    ~DirectDrawWatch() {
        RefuseSurface = nullptr;
        ReleaseMade();
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Screen system and the multimedia window

TEST_F(ScreenTest, MultimediaWindowIsCreatedOnceHiddenAndIgnoresCloseAndClicks) {
    HWND window = FindThreadWindow("MultimediaBase Class");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetDisplayWindowHandle(), window);
    EXPECT_EQ(CreateMultimediaWindow(), 1);
    EXPECT_EQ(CountThreadWindows("MultimediaBase Class"), 1);
    EXPECT_FALSE(IsWindowVisible(window));
    const std::pair<UINT, LRESULT> answers[] = {{WM_CLOSE, 0}, {WM_ERASEBKGND, 1}, {WM_LBUTTONDOWN, 0}, {WM_RBUTTONUP, 0},
                                                {WM_KEYUP, 0}};
    for (auto [message, answer] : answers) EXPECT_EQ(SendMessageA(window, message, 'A', 0), answer) << "message " << message;
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);  // Alt+F4 ends as WM_CLOSE
    FlushMessages();
    EXPECT_TRUE(IsWindow(window)) << "the multimedia window was closed";
}

TEST_F(ScreenTest, ActivationDrivesActiveAndRunsTheHookOncePerDeactivation) {
    HWND window = GetDisplayWindowHandle();
    Screen.deactivationHook = CountHook;
    struct Step {
        UINT message;
        WPARAM wParam;
        int hooks;   // hook runs so far
        int active;  // IsDisplayActive afterwards
    } steps[] = {
        {WM_ACTIVATE, WA_ACTIVE, 0, 1},
        {WM_KEYUP, 'A', 0, 1},              // only Tab and Alt announce a switch
        {WM_KEYUP, VK_TAB, 1, 1},
        {WM_SYSKEYUP, VK_MENU, 1, 1},       // already ran for this deactivation
        {WM_ACTIVATE, WA_INACTIVE, 1, 0},   // no second run, but inactive all the same
        {WM_ACTIVATE, WA_CLICKACTIVE, 1, 1},  // re-armed
        {WM_ACTIVATE, WA_INACTIVE, 2, 0},
        {WM_SYSKEYUP, VK_MENU, 2, 0},
        {WM_ACTIVATE, WA_ACTIVE, 2, 1},
        {WM_SYSKEYUP, VK_MENU, 3, 1},
    };
    for (const Step& step : steps) {
        SendMessageA(window, step.message, step.wParam, 0);
        EXPECT_EQ(HooksRun, step.hooks) << "step " << &step - steps;
        EXPECT_EQ(IsDisplayActive(), step.active) << "step " << &step - steps;
    }
}

TEST_F(ScreenTest, ActivationOfMultimediaWindowIsIgnoredWhileWindowed) {
    ASSERT_NE(OpenWindowed(600, 450), nullptr);
    Screen.deactivationHook = CountHook;
    SendMessageA(FindThreadWindow("MultimediaBase Class"), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(IsDisplayActive(), 1);
    EXPECT_EQ(HooksRun, 0);
}

TEST_F(ScreenTest, DirectDrawOutlivesTheScreenLibraryWhileTheMediaLayerHoldsIt) {
    IDirectDraw7* media = AcquireDirectDraw();  // as the media layer's start does
    ASSERT_NE(media, nullptr);
    EndScreenSystem();
    DWORD frequency = 0;
    HRESULT alive = media->GetMonitorFrequency(&frequency);  // still a working object
    EXPECT_NE(alive, DDERR_INVALIDOBJECT) << "got " << std::hex << alive;
    ReleaseDirectDraw();  // the media layer's end
    EXPECT_EQ(DirectDraw.object, nullptr);
}

TEST(DirectDrawLoaderTest, ModuleGoesAtTheLastRelease) {
    ASSERT_EQ(GetModuleHandleA("ddraw.dll"), nullptr) << "loaded before the test";
    // Wine pins ddraw.dll once it is loaded; whether the last release lets go
    // of it can only be seen where the platform unloads it at all.
    HMODULE probe = LoadLibraryA("ddraw.dll");
    ASSERT_NE(probe, nullptr);
    FreeLibrary(probe);
    if (GetModuleHandleA("ddraw.dll")) GTEST_SKIP() << "this platform never unloads ddraw.dll";
    ASSERT_NE(AcquireDirectDraw(), nullptr);
    ASSERT_NE(AcquireDirectDraw(), nullptr);
    ReleaseDirectDraw();
    EXPECT_NE(GetModuleHandleA("ddraw.dll"), nullptr) << "unloaded while a reference was held";
    ReleaseDirectDraw();
    EXPECT_EQ(GetModuleHandleA("ddraw.dll"), nullptr) << "still loaded after the last release";
}

// ---------------------------------------------------------------------------
// Windowed display

TEST_F(ScreenTest, WindowedFrameShowsInTheClientAreaUntilTheClose) {
    HWND parent = OpenWindowed(400, 300);
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(GetDisplayWindowHandle(), parent);
    EXPECT_EQ(IsDisplayActive(), 1);
    RECT area = Inset(ClientRectOnScreen(parent), 2);
    EXPECT_TRUE(FrameShows(RED, &area));
    // The parent's own painting erases to white; the last frame must come back over it.
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_TRUE(Shows(area, RED)) << "after a repaint";
    CloseDisplay();
    EXPECT_EQ(GetDisplayWindowHandle(), FindThreadWindow("MultimediaBase Class"));
    EXPECT_TRUE(Shows(area, WHITE)) << "the close did not repaint the parent without the frame";
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_TRUE(Shows(area, WHITE)) << "a closed display painted";
}

// Presents until a blue marked frame shows over `frame` (screen coordinates),
// then checks that its corners lie on the frame's and nothing of it outside;
// unscaled, the corners must be 10 by 10 as drawn.
void ExpectMarkedFrameAt(const RECT& frame, bool unscaled) {
    ASSERT_TRUE(Shows(Inset(frame, 20), BLUE, true));
    BitmapPixels seen = ReadScreenRect(Inset(frame, -5));
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    ASSERT_EQ(seen.width, w + 10);
    struct Probe {
        int x, y;  // frame coordinates
        uint32_t rgb;
        bool equal;
    } probes[] = {
        {0, 0, RED, true},       {w - 1, h - 1, GREEN, true}, {-1, -1, RED, false},  {w, h, GREEN, false},
        {w, h / 2, BLUE, false}, {w / 2, h, BLUE, false},     {9, 9, RED, true},     {10, 10, BLUE, true},
        {w - 11, h - 11, BLUE, true}, {w - 10, h - 10, GREEN, true},  // the corners' own edges: unscaled only
    };
    for (const Probe& probe : probes) {
        if (!unscaled && &probe >= probes + 6) break;
        uint32_t got = seen.At(probe.x + 5, probe.y + 5);
        EXPECT_EQ(got == probe.rgb, probe.equal) << "at " << probe.x << "," << probe.y << " got " << std::hex << got;
    }
}

TEST_F(ScreenTest, WindowedFrameIsCopiedAtItsOffsetUnscaledWhereverTheWindowMoves) {
    HWND parent = Parent(60, 60, 500, 400);
    ASSERT_EQ(OpenWindowedDisplay(parent, 40, 30, 200, 100, 0, 0, 0), 1);
    for (int moved : {0, 1}) {
        SCOPED_TRACE(moved ? "moved" : "where it opened");
        if (moved) {  // the last frame, red, repaints at the new place: the next must come there too
            ASSERT_TRUE(DrawFrame(RED));
            PresentFrame();
            RECT outer = OuterRect(parent);
            SetWindowPos(parent, nullptr, outer.left + 350, outer.top + 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            FlushMessages();
        }
        ASSERT_TRUE(DrawFrame(BLUE, true));
        RECT client = ClientRectOnScreen(parent);
        ExpectMarkedFrameAt({client.left + 40, client.top + 30, client.left + 240, client.top + 130}, true);
    }
}

// Stretched with no margins, the frame covers the client area whatever its
// size: the copy is placed from the window's real frame, measured, not assumed.
TEST_F(ScreenTest, StretchedFrameFillsTheClientAreaAsTheWindowIsResized) {
    HWND parent = Parent(100, 100, 600, 450);
    ASSERT_EQ(OpenWindowedDisplay(parent, 0, 0, 600, 450, 1, 0, 0), 1);
    ASSERT_TRUE(DrawFrame(BLUE, true));
    RECT outer = OuterRect(parent);
    for (int wider : {0, 100}) {
        SCOPED_TRACE(wider);
        SetWindowPos(parent, nullptr, 0, 0, outer.right - outer.left + wider, outer.bottom - outer.top - wider / 2,
                     SWP_NOMOVE | SWP_NOZORDER);
        ExpectMarkedFrameAt(ClientRectOnScreen(parent), wider == 0);
    }
}

// Subclassed twice, a parent's saved procedure would be our own and its
// messages would loop; with another parent's, they would reach the wrong window.
TEST_F(ScreenTest, EachParentKeepsItsOwnProcedureOnceAcrossOpens) {
    HWND first = Parent(50, 50, 300, 200, FirstParentProc);
    HWND second = Parent(400, 50, 300, 200, SecondParentProc);
    // More opens on one parent than the layer keeps procedures for: each must find it subclassed.
    // Its own procedure sees each message once, however often it was opened on.
    for (int open = 0; open <= MAX_SUBCLASSED_PARENTS; ++open) {
        ASSERT_EQ(OpenWindowedDisplay(first, 0, 0, 300, 200, 0, 0, 0), 1) << "open " << open;
        EXPECT_EQ(SendMessageA(first, PROBE_MESSAGE, 0, 0), open + 1) << "open " << open;
        CloseDisplay();
    }
    ASSERT_EQ(OpenWindowedDisplay(second, 0, 0, 300, 200, 0, 0, 0), 1);
    SendMessageA(first, PROBE_MESSAGE, 0, 0);
    SendMessageA(second, PROBE_MESSAGE, 0, 0);
    EXPECT_EQ(ProbesAtFirst, MAX_SUBCLASSED_PARENTS + 2);
    EXPECT_EQ(ProbesAtSecond, 1);
    CloseDisplay();

    // More parents, one after another, than the layer keeps procedures for at
    // once, each destroyed. Hidden: under Wine on a bare X server every visible
    // window takes two seconds to go, waiting for a window manager's answer.
    for (int i = 0; i < MAX_SUBCLASSED_PARENTS + 8; ++i) {
        HWND parent = CreateParentWindow(100, 100, 200, 100, i % 2 ? FirstParentProc : SecondParentProc, false);
        ASSERT_EQ(OpenWindowedDisplay(parent, 0, 0, 200, 100, 0, 0, 0), 1) << "parent " << i;
        CloseDisplay();
        DestroyWindow(parent);
    }
    HWND last = OpenWindowed(200, 100, FirstParentProc);
    ASSERT_NE(last, nullptr) << "destroyed parents left their traces";
    int before = ProbesAtFirst;
    SendMessageA(last, PROBE_MESSAGE, 0, 0);
    EXPECT_EQ(ProbesAtFirst, before + 1);
}

// The ways a windowed display's surfaces go. Wine marks only the surfaces of
// the DirectDraw object that changed the mode, so ours stands in for the other
// program; a desktop changed with ChangeDisplaySettings keeps them unmarked there.
void LockAndUnlockSession(HWND parent) {
    EXPECT_EQ(SendMessageA(parent, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0), 0);
    EXPECT_EQ(SendMessageA(parent, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0), 0);
}
void ChangeModeForGood(HWND) {
    DirectDraw.object->SetDisplayMode(1024, 768, CurrentDisplayMode().dmBitsPerPel == 16 ? 32 : 16, 0, 0);
}
void ChangeModeAndBack(HWND parent) {
    ChangeModeForGood(parent);
    DirectDraw.object->RestoreDisplayMode();
}

TEST_F(ScreenTestOnOpenGL, WindowedFramesShowAgainAfterTheSurfacesWereLost) {
    struct Loss {
        const char* how;
        void (*lose)(HWND parent);
    } losses[] = {
        {"session locked and unlocked", LockAndUnlockSession},
        {"mode changed and back", ChangeModeAndBack},
        {"mode changed for good", ChangeModeForGood},  // a surface of the old mode never restores
    };
    HWND parent = Parent(100, 100, 300, 200, FirstParentProc);
    for (const Loss& loss : losses) {
        SCOPED_TRACE(loss.how);
        ASSERT_EQ(OpenWindowedDisplay(parent, 0, 0, 300, 200, 0, 0, 0), 1);
        RECT area = Inset(ClientRectOnScreen(parent), 2);
        EXPECT_TRUE(FrameShows(RED, &area));
        loss.lose(parent);
        printf("%s: primary %s\n", loss.how, Screen.primarySurface->IsLost() == DDERR_SURFACELOST ? "lost" : "kept");
        PresentFrame();
        for (IDirectDrawSurface7* surface : {Screen.primarySurface, Screen.backBuffer})
            EXPECT_EQ(surface->IsLost(), DD_OK) << "got " << std::hex << surface->IsLost();
        EXPECT_EQ(static_cast<DWORD>(Screen.depth), CurrentDisplayMode().dmBitsPerPel);
        EXPECT_TRUE(FrameShows(BLUE, &area));
        CloseDisplay();
        DirectDraw.object->RestoreDisplayMode();
    }
    EXPECT_EQ(SessionChangesSeen, 0) << "the parent's own procedure saw the session change";
}

TEST_F(ScreenTest, NoCopyIsMadeOnceTheParentWindowIsGone) {
    HWND parent = OpenWindowed(300, 200);
    ASSERT_NE(parent, nullptr);
    MethodHook copies(Screen.primarySurface, SURFACE_BLT, CountCopy);
    BltHook = &copies;
    Copies = 0;
    PresentFrame();
    ASSERT_EQ(Copies, 1);
    DestroyWindow(parent);
    ASSERT_TRUE(DrawFrame(RED));
    PresentFrame();
    EXPECT_EQ(Copies, 1) << "a frame was copied to a place nobody measured";
}

// The desktop's mode changed for good and the new surfaces cannot all be made
// (the mode may still be changing): the old ones stay and show the next frame
// once the mode is back, and the new ones made before the failure go.
TEST_F(ScreenTestOnOpenGL, AFailedRemakeKeepsTheOldSurfacesAndReleasesTheNewOnes) {
    HWND parent = Parent(100, 100, 300, 200);
    ASSERT_EQ(OpenWindowedDisplay(parent, 0, 0, 300, 200, 0, 0, 0), 1);
    RECT area = Inset(ClientRectOnScreen(parent), 2);
    DirectDrawWatch watch;
    RefuseSurface = [](const DDSURFACEDESC2& d) { return !(d.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE); };
    ChangeModeForGood(parent);
    ASSERT_TRUE(DrawFrame(RED));
    PresentFrame();  // meets the old mode's surfaces and makes new ones, up to the back buffer
    RefuseSurface = nullptr;
    std::vector<ULONG> held = watch.ReleaseMade();
    ASSERT_FALSE(held.empty()) << "nothing new was made";
    EXPECT_EQ(std::count(held.begin(), held.end(), 0u), static_cast<long>(held.size())) << "of " << held.size() << " made, some are still held";
    DirectDraw.object->RestoreDisplayMode();
    EXPECT_TRUE(FrameShows(BLUE, &area)) << "with the old back buffer";
}

// Wine's registration calls are stubs, so the calls are recorded on their way there.
std::vector<std::pair<char, HWND>> SessionCalls;
SessionNotificationCalls PlatformCalls;
BOOL WINAPI RecordRegistration(HWND window, DWORD flags) {
    SessionCalls.push_back({'+', window});
    return PlatformCalls.registerWindow(window, flags);
}
BOOL WINAPI RecordUnregistration(HWND window) {
    SessionCalls.push_back({'-', window});
    return PlatformCalls.unregisterWindow(window);
}

TEST_F(ScreenTest, SessionRegistrationEndsWithTheParentWindow) {
    if (!LoadSessionNotifications()) GTEST_SKIP() << "no session notifications here";
    PlatformCalls = SessionNotifications;
    SessionNotifications = {RecordRegistration, RecordUnregistration};
    std::vector<std::pair<char, HWND>> expected;
    for (int trip = 0; trip < 2; ++trip) {  // window 0 of two F12 round trips, its display opened twice
        HWND parent = CreateParentWindow(100, 100, 300, 200);
        for (int open = 0; open < 2; ++open) {
            ASSERT_EQ(OpenWindowedDisplay(parent, 0, 0, 300, 200, 0, 0, 0), 1);
            CloseDisplay();
        }
        DestroyWindow(parent);
        expected.insert(expected.end(), {{'+', parent}, {'-', parent}});
    }
    SessionNotifications = PlatformCalls;
    EXPECT_EQ(SessionCalls, expected) << "got " << SessionCalls.size() << " calls";
}

// Every number the screen's operations take, at, just past and far past its ends: refused with 0, or cut to its low
// 16 bits where the full screen takes only those; what opens has a back buffer as wide as asked and presents.
TEST_F(ScreenTest, NumbersAtAndPastTheirEndsAreRefusedOrCut) {
    auto rate = [](int32_t r) { return [=] { return SetFrameRateLimit(r); }; };
    auto full = [](int32_t w, int32_t h, int32_t d) { return [=] { return OpenFullDisplay(w, h, d, FULL_TITLE); }; };
    auto windowed = [parent = Parent(100, 100, 300, 200)](int32_t x, int32_t y, int32_t w, int32_t h, int32_t s = 0, int32_t m = 0) {
        return [=] { return OpenWindowedDisplay(parent, x, y, w, h, s, m, m); };  // s: stretch, m: both margins
    };
    const int32_t MAX = INT32_MAX, MIN = INT32_MIN;
    // What a call returns, and the width of the back buffer it opened (0 for none).
    const struct { const char* call; std::function<int()> run; int result; int32_t width; } ends[] = {
        {"rate MIN", rate(MIN), 0, 0}, {"rate -2", rate(-2), 0, 0}, {"rate -1", rate(-1), 0, 0},
        {"rate 0", rate(0), 1, 0}, {"rate MAX", rate(MAX), 1, 0}, {"full width 0", full(0, 768, 16), 0, 0},
        {"full width -1", full(-1, 768, 16), 0, 0}, {"full width 32767", full(32767, 768, 16), 0, 0},
        {"full width 32768", full(32768, 768, 16), 0, 0},
        {"full width 65536 + 1024", full(65536 + 1024, 768, 16), 1, 1024}, {"full width MAX", full(MAX, 768, 16), 0, 0},
        {"full width MIN", full(MIN, 768, 16), 0, 0}, {"full height 0", full(1024, 0, 16), 0, 0},
        {"full height -1", full(1024, -1, 16), 0, 0}, {"full height 65536 + 768", full(1024, 65536 + 768, 16), 1, 1024},
        {"full height MIN", full(1024, MIN, 16), 0, 0}, {"full depth 0", full(1024, 768, 0), 0, 0},
        {"full depth -1", full(1024, 768, -1), 0, 0}, {"full depth 65536 + 16", full(1024, 768, 65536 + 16), 1, 1024},
        {"full depth 32768", full(1024, 768, 32768), 0, 0}, {"full depth MAX", full(1024, 768, MAX), 0, 0},
        {"no parent", [] { return OpenWindowedDisplay(nullptr, 0, 0, 300, 200, 0, 0, 0); }, 0, 0},
        {"width 0", windowed(0, 0, 0, 200), 0, 0}, {"width -1", windowed(0, 0, -1, 200), 0, 0},
        {"width MIN", windowed(0, 0, MIN, 200), 0, 0}, {"width 1", windowed(0, 0, 1, 200), 1, 1},
        {"width MAX", windowed(0, 0, MAX, 200), 0, 0}, {"height 0", windowed(0, 0, 300, 0), 0, 0},
        {"height -1", windowed(0, 0, 300, -1), 0, 0}, {"height 1", windowed(0, 0, 300, 1), 1, 300},
        {"height MAX", windowed(0, 0, 300, MAX), 0, 0}, {"x MAX", windowed(MAX, 0, 300, 200), 1, 300},
        {"x MIN", windowed(MIN, 0, 300, 200), 1, 300}, {"y MAX", windowed(0, MAX, 300, 200), 1, 300},
        {"y MIN", windowed(0, MIN, 300, 200), 1, 300},
        {"stretch MIN, margins MAX", windowed(0, 0, 300, 200, MIN, MAX), 1, 300},
        {"stretch MAX, margins MIN", windowed(0, 0, 300, 200, MAX, MIN), 1, 300},
    };
    for (const auto& end : ends) {
        EXPECT_EQ(end.run(), end.result) << end.call;
        DrawTarget* target = DisplayDrawTarget();
        EXPECT_EQ(target ? target->width : 0, end.width) << end.call;
        if (target) PresentFrame();  // gives the target back
        CloseDisplay();
    }
}

// ---------------------------------------------------------------------------
// Full screen

TEST_F(ScreenTest, FullScreenTakesOverTheMultimediaWindowAndGivesTheModeBack) {
    HWND multimedia = GetDisplayWindowHandle();
    int cursorBefore = CursorDisplayCount();
    DEVMODEA before = CurrentDisplayMode();
    ASSERT_TRUE(OpenFullScreen());
    EXPECT_EQ(WindowText(multimedia), FULL_TITLE);
    EXPECT_TRUE(IsWindowVisible(multimedia));
    EXPECT_TRUE(IsZoomed(multimedia));
    EXPECT_EQ(CursorDisplayCount(), cursorBefore - 1);
    EXPECT_EQ(GetDisplayWindowHandle(), multimedia);
    EXPECT_EQ(SizeOf(CurrentDisplayMode()), std::make_tuple(1024ul, 768ul, 16ul));
    EXPECT_EQ(Screen.pixelFormatCode, 3);
    EXPECT_EQ(IsDisplayActive(), 1);

    CloseDisplay();
    EXPECT_EQ(CursorDisplayCount(), cursorBefore);
    EXPECT_FALSE(IsWindowVisible(multimedia));
    EXPECT_EQ(GetDisplayWindowHandle(), multimedia);
    EXPECT_EQ(SizeOf(CurrentDisplayMode()), SizeOf(before)) << "the desktop's mode, as width, height and bits";
    CloseDisplay();  // a second close must not show the cursor twice
    EXPECT_EQ(CursorDisplayCount(), cursorBefore);
}

TEST_F(ScreenTest, AChainLostWhileTheModeChangesIsTakenOnceMore) {
    // The window manager hands the focus to another program just as the chain
    // is made, so DirectDraw gives the desktop its mode back and the chain is lost.
    ForegroundThief thief;
    DirectDrawWatch watch;
    AfterPrimaryMade = [&] {  // on a busy machine the switch's messages may come after it returned
        thief.TakeForeground(), PumpMessagesUntil([] { return IsIconic(GetDisplayWindowHandle()) != 0; });
    };
    ASSERT_TRUE(OpenFullScreen());
    EXPECT_FALSE(AfterPrimaryMade) << "no chain was made";
    EXPECT_EQ(ModeRequests, 2);
    EXPECT_EQ(CurrentDisplayMode().dmBitsPerPel, 16u);
    EXPECT_TRUE(FrameShows(RED));
}

TEST_F(ScreenTest, ARefusedModeIsAskedForOnceAndRunsNoWindowProcedure) {
    if (HasMode(1000, 700, 16)) GTEST_SKIP() << "this adapter has a 1000 by 700 mode";
    // Another program in front, which the open must not read as a lost chain.
    ForegroundThief thief;
    DirectDrawWatch watch;
    BeforeModeRequest = [&] { thief.TakeForeground(); };
    PostMessageA(Parent(10, 10, 200, 100, FirstParentProc), PROBE_MESSAGE, 0, 0);
    EXPECT_EQ(OpenFullDisplay(1000, 700, 16, FULL_TITLE), 0);
    EXPECT_EQ(ModeRequests, 1);
    EXPECT_EQ(ProbesAtFirst, 0) << "the program's window procedure ran inside the open";
}

TEST_F(ScreenTest, OpeningTheFullScreenClosesAWindowedDisplayFirst) {
    HWND parent = OpenWindowed(300, 200);
    ASSERT_NE(parent, nullptr);
    ASSERT_TRUE(OpenFullScreen());
    EXPECT_EQ(WindowText(parent), "screen test") << "the parent was retitled";
    EXPECT_EQ(GetDisplayWindowHandle(), FindThreadWindow("MultimediaBase Class"));
}

TEST_F(ScreenTest, DeactivationStopsFlipsAndReactivationResumes) {
    ASSERT_TRUE(OpenFullScreen());
    HWND multimedia = GetDisplayWindowHandle();
    Screen.deactivationHook = CountHook;
    EXPECT_TRUE(FrameShows(RED));

    // Another window of ours takes the foreground, as an Alt+Tab would.
    HWND other = Parent(10, 10, 200, 100);
    BringToFront(other);
    ASSERT_TRUE(PresentUntilActive(0)) << "the display stayed active";
    EXPECT_EQ(HooksRun, 1);
    ASSERT_TRUE(DrawFrame(GREEN));
    {
        MethodHook flips(Screen.primarySurface, SURFACE_FLIP, CountFlip);
        FlipHook = &flips, Flips = 0;
        PresentFrame();
        PresentFrame();
    }
    EXPECT_EQ(Flips, 0) << "flipped while away, where a lost chain would take the display back";

    DestroyWindow(other);
    BringToFront(multimedia);
    ASSERT_TRUE(PresentUntilActive(1)) << "the display stayed inactive";
    EXPECT_EQ(HooksRun, 1);
    EXPECT_TRUE(FrameShows(BLUE));
}

// A plain off-screen surface of `width` by `height` at the desktop's depth,
// with its rows on `memory` if given (then `pitch` bytes apart).
IDirectDrawSurface7* CreatePlainSurface(DWORD width, DWORD height, DWORD caps, void* memory = nullptr, LONG pitch = 0) {
    DDSURFACEDESC2 description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (memory ? DDSD_PITCH | DDSD_LPSURFACE : 0);
    description.dwWidth = width;
    description.dwHeight = height;
    description.lPitch = pitch;
    description.lpSurface = memory;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | caps;
    IDirectDrawSurface7* surface = nullptr;
    return SUCCEEDED(DirectDraw.object->CreateSurface(&description, &surface, nullptr)) ? surface : nullptr;
}

TEST_F(ScreenTest, LostSurfacesAreRebuiltAtTheNextFlip) {
    ASSERT_TRUE(OpenFullScreen());
    HWND multimedia = GetDisplayWindowHandle();

    // A screen object the program would keep across the switch: 16 by 16, red.
    IDirectDrawSurface7* kept = CreatePlainSurface(16, 16, 0);
    ASSERT_NE(kept, nullptr);
    HDC dc = nullptr;
    ASSERT_EQ(kept->GetDC(&dc), DD_OK);
    FillWithColor(dc, {0, 0, 16, 16}, RED);
    kept->ReleaseDC(dc);
    ScreenObject* object = Screen.screenObjects.Slot(3);
    ASSERT_NE(object, nullptr);
    *object = ScreenObject{kept, nullptr, 0, 16, 16};

    // Alt+Tab to another program: Alt's key-up, the focus leaving, and the
    // application deactivation after which the platform takes the surfaces away.
    SendMessageA(multimedia, WM_SYSKEYUP, VK_MENU, 0);
    EXPECT_NE(object->preservedPixels, nullptr) << "the hook did not preserve the object";
    HWND other = Parent(10, 10, 200, 100);
    BringToFront(other);
    SendMessageA(multimedia, WM_ACTIVATEAPP, FALSE, 0);
    ASSERT_TRUE(PresentUntilActive(0));
    HRESULT lost = Screen.primarySurface->IsLost();
    if (lost != DDERR_SURFACELOST) GTEST_SKIP() << "surfaces were not lost here: got " << std::hex << lost;

    DestroyWindow(other);
    SendMessageA(multimedia, WM_ACTIVATEAPP, TRUE, 0);
    BringToFront(multimedia);
    ASSERT_TRUE(PresentUntilActive(1));
    // The first active present meets the loss and rebuilds; the next frames show.
    ASSERT_TRUE(PumpMessagesUntil([] {
        PresentFrame();
        return Screen.primarySurface->IsLost() == DD_OK;
    })) << "still lost";
    EXPECT_EQ(Screen.backBuffer->IsLost(), DD_OK);
    EXPECT_EQ(object->preservedPixels, nullptr) << "the object was not restored";
    EXPECT_EQ(kept->IsLost(), DD_OK);
    EXPECT_EQ(SurfacePixel(kept, 8, 8), RED) << "the object's pixels";
    EXPECT_TRUE(FrameShows(BLUE));
    CloseDisplay();
    EXPECT_EQ(Screen.screenObjects.Lookup(3), nullptr) << "the close did not free the object";
}

TEST_F(ScreenTest, RestoringCopiesNoMoreOfARowThanTheSurfaceHolds) {
    // An object preserved with wide rows comes back as a surface with narrow
    // ones, on memory of our own with guard bytes behind its last row.
    ASSERT_EQ(DirectDraw.object->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    constexpr int16_t height = 4;
    constexpr LONG pitch = 32;
    IDirectDrawSurface7* wide = CreatePlainSurface(64, height, DDSCAPS_SYSTEMMEMORY);  // 128 bytes a row and more
    ASSERT_NE(wide, nullptr);
    DDSURFACEDESC2 locked{};
    locked.dwSize = sizeof locked;
    ASSERT_EQ(wide->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    for (int r = 0; r < height; ++r)
        std::memset(static_cast<uint8_t*>(locked.lpSurface) + r * locked.lPitch, r + 1, locked.lPitch);
    wide->Unlock(nullptr);
    ScreenObject* object = Screen.screenObjects.Slot(2);
    *object = ScreenObject{wide, nullptr, 0, 64, height};
    PreserveScreenObjects();

    std::vector<uint8_t> memory(pitch * height + 64, 0xEE);
    IDirectDrawSurface7* narrow = CreatePlainSurface(pitch / 4, height, DDSCAPS_SYSTEMMEMORY, memory.data(), pitch);
    ASSERT_NE(narrow, nullptr);
    object->surface = narrow;
    RestoreScreenObjects();
    for (int r = 0; r < height; ++r)
        EXPECT_EQ(memory[r * pitch + pitch - 1], r + 1) << "row " << r;
    for (size_t i = pitch * height; i < memory.size(); ++i)
        ASSERT_EQ(memory[i], 0xEE) << "ran " << i - pitch * height << " bytes past the surface";
    Screen.screenObjects.Clear(2);
    narrow->Release();
    wide->Release();
}

// ---------------------------------------------------------------------------
// Frame cycle

TEST(FrameInterval, IsTheCounterFrequencyOverRatePlusOne) {
    struct Case { int64_t frequency; int32_t rate; int32_t interval; } cases[] = {
        {3579545, 50, 70187},  {3579545, 60, 58681},     {3579545, 0, 3579545},
        {10000000, 50, 196078}, {10000000, 60, 163934},  {10000000, 0, 10000000},
        {1193182, 50, 23395},  {2400000000LL, 60, 39344262}, {3579545, 1000000, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComputeFrameInterval(c.frequency, c.rate), c.interval) << c.frequency << " Hz at " << c.rate;
}

TEST_F(ScreenTest, AutomaticRateEndsWithTheWindowedDisplayButAProgramRateStays) {
    HWND parent = OpenWindowed(300, 200);
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(Screen.frameRate, 60);
    CloseDisplay();
    EXPECT_EQ(Screen.frameRate, 0);

    ASSERT_EQ(SetFrameRateLimit(50), 1);
    for (int open = 0; open < 2; ++open) {
        ASSERT_EQ(OpenWindowedDisplay(parent, 0, 0, 300, 200, 0, 0, 0), 1);
        EXPECT_EQ(Screen.frameRate, 50) << "open " << open;
        CloseDisplay();
        EXPECT_EQ(Screen.frameRate, 50) << "open " << open;
    }
}

// Lower bounds only: a loaded machine makes frames late, never early.
TEST_F(ScreenTest, WindowedPresentPacesToTheFrameRate) {
    ASSERT_NE(OpenWindowed(300, 200), nullptr);
    FrameSeconds(2);  // the first copies after an open are slow for reasons of their own
    // 1/10 s a frame: longer than the copy's own wait for the beam, which may last 40 ms.
    ASSERT_EQ(SetFrameRateLimit(9), 1);
    EXPECT_EQ(SetFrameRateLimit(-2), 0);  // refused: 9 stays
    std::vector<double> frames = FrameSeconds(5);
    // However long ago the last frame was, the first after a rate is set waits a whole interval.
    EXPECT_GE(frames[0], 1.0 / 10) << "the first frame took " << frames[0] << " s";
    EXPECT_GE(Sum(frames), 5.0 / 10) << "got " << Sum(frames) << " s for 5 frames";
}

TEST_F(ScreenTest, FullScreenPacesOnlyWhenTheAdapterReportsAFrequency) {
    // What the adapter reports is the test's: Wine reports none, a real adapter its refresh rate.
    MethodHook reported(DirectDraw.object, DIRECTDRAW_GET_MONITOR_FREQUENCY, ReportFrequency);
    ReportedFrequency = 60;
    ASSERT_TRUE(OpenFullScreen());
    ASSERT_EQ(SetFrameRateLimit(10), 1);  // 1/11 s a frame
    double paced = Sum(FrameSeconds(4));
    EXPECT_GE(paced, 4.0 / 11) << "got " << paced << " s for 4 frames";

    ReportedFrequency = 0;  // equal to the requested rate: only the flip paces
    ASSERT_TRUE(OpenFullScreen());
    ASSERT_EQ(SetFrameRateLimit(1), 1);  // half a second a frame, were they paced
    // The median, not the sum: a loaded machine may hold up a frame or two.
    std::vector<double> frames = FrameSeconds(5);
    std::nth_element(frames.begin(), frames.begin() + 2, frames.end());
    EXPECT_LT(frames[2], 0.25) << "unpaced frames took a median " << frames[2] << " s";
    printf("4 frames: %.3f s paced; unpaced, a median %.3f s a frame\n", paced, frames[2]);
}

TEST_F(ScreenTest, DrawTargetIsHandedOutOnceUntilGivenBack) {
    ASSERT_NE(OpenWindowed(300, 200), nullptr);
    DrawTarget* target = DisplayDrawTarget();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->kind, DRAW_TARGET_SCREEN);
    EXPECT_NE(target->dc, nullptr);
    EXPECT_EQ(target->width, 300);
    EXPECT_EQ(target->height, 200);
    EXPECT_GE(target->pitch, 300 * target->depth / 8);
    EXPECT_EQ(DisplayDrawTarget(), nullptr) << "handed out while still held";

    target->release();  // what EndDrawing calls
    ASSERT_EQ(DisplayDrawTarget(), target);
    PresentFrame();     // gives it back too
    ASSERT_EQ(DisplayDrawTarget(), target);

    // Pixel access and back, as drawing asks for it.
    EXPECT_NE(target->giveUp(), nullptr);
    EXPECT_NE(target->reacquire(), nullptr);
    target->release();
    EXPECT_EQ(DisplayDrawTarget(), target) << "not given back";
    CloseDisplay();
    EXPECT_EQ(DisplayDrawTarget(), nullptr);
}

TEST(PixelFormat, CodeFollowsDepthAndMasks) {
    struct Case { int32_t depth; uint32_t red; uint32_t green; int32_t code; } cases[] = {
        {8, 0, 0, 1},          {15, 0x7C00, 0x3E0, 1},     {16, 0x7C00, 0x3E0, 2}, {16, 0xF800, 0x7E0, 3},
        {24, 0xFF, 0xFF00, 4}, {24, 0xFF0000, 0xFF00, 5}, {32, 0xFF, 0xFF00, 6},  {32, 0xFF0000, 0xFF00, 7},
        {0, 0xFF, 0xFF00, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PixelFormatCodeFor(c.depth, c.red, c.green), c.code) << "depth " << c.depth << " red " << std::hex << c.red;
}
