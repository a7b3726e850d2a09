// Windows, events and the message requester under Wine, with real windows,
// controls and message boxes.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "runtime/window/window.h"
#include "runtime/window/window_internal.h"
#include "support/objects.h"
#include "support/testbed.h"
#include "support/windows.h"

namespace {

constexpr char TITLE[] = "plimbadoosh  -   press F12 to toggle fullscreen mode  -  esc for quit";
constexpr uint32_t CAPTION_AND_SYSMENU = WS_CAPTION | WS_SYSMENU;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(InitWindowSystem(), 0) << "TemplateClass not registered"; }
    void TearDown() override { DestroyAllAppWindows(); }
};

HWND OpenWindow(ObjectId number, int32_t x = 100, int32_t y = 100, int32_t width = 300, int32_t height = 200,
                uint32_t flags = CAPTION_AND_SYSMENU) {
    CreateAppWindow(number, x, y, width, height, flags, "test window");
    return GetAppWindowHandle(number);
}

HWND AddChild(HWND parent, const char* className, int id, DWORD style, int x, int y, int width = 120,
              int height = 24) {
    return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleHandle, nullptr);
}

// Creations and destructions of the library's windows, in the order they
// happen, seen through a hook on this thread; with `refuse`, every creation
// fails, as when the system refuses a window.
struct WindowLifeEvent {
    int code;  // HCBT_CREATEWND or HCBT_DESTROYWND
    HWND window;
    std::string className;
};

class WindowLifeRecorder {
public:
    explicit WindowLifeRecorder(bool refuse = false) {
        recorder = this;
        refuse_ = refuse;
        hook = SetWindowsHookExA(WH_CBT, Record, nullptr, GetCurrentThreadId());
    }
    ~WindowLifeRecorder() { UnhookWindowsHookEx(hook); }
    std::vector<WindowLifeEvent> events;

private:
    static LRESULT CALLBACK Record(int code, WPARAM wParam, LPARAM lParam) {
        // The platform's own helper windows of the thread (input method) are left out.
        auto window = reinterpret_cast<HWND>(wParam);
        std::string name = code == HCBT_CREATEWND || code == HCBT_DESTROYWND ? ClassNameOf(window) : "";
        if (name.rfind("WindowClass_", 0) != 0) return CallNextHookEx(nullptr, code, wParam, lParam);
        recorder->events.push_back({code, window, name});
        return recorder->refuse_ && code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline WindowLifeRecorder* recorder = nullptr;
    HHOOK hook;
    bool refuse_;
};

// ---------------------------------------------------------------------------
// Window objects

TEST_F(WindowTest, MainWindowHasExactClientSizeCornerClassAndTitle) {
    uintptr_t result = CreateAppWindow(0, 100, 100, 600, 450, CAPTION_AND_SYSMENU, TITLE);
    HWND window = GetAppWindowHandle(0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(result, reinterpret_cast<uintptr_t>(window));

    RECT client = ClientRectOnScreen(window);
    EXPECT_EQ(client.right - client.left, 600);
    EXPECT_EQ(client.bottom - client.top, 450);
    RECT outer = OuterRect(window);
    EXPECT_EQ(outer.left, 100);
    EXPECT_EQ(outer.top, 100);
    EXPECT_EQ(ClassNameOf(window), "WindowClass_0");
    EXPECT_EQ(WindowText(window), TITLE);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_VISIBLE), static_cast<LONG>(WS_CAPTION | WS_SYSMENU | WS_VISIBLE))
        << "got style " << std::hex << style;
}

TEST_F(WindowTest, CreatingANumberInUseReplacesTheWindowUnderTheSameClass) {
    HWND first = OpenWindow(0);
    ASSERT_NE(first, nullptr);
    WindowLifeRecorder recorder;
    HWND second = OpenWindow(0, 50, 60);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(recorder.events.size(), 2u) << "got " << recorder.events.size() << " creations and destructions";
    EXPECT_EQ(recorder.events[0].code, HCBT_DESTROYWND) << "the old window goes before the new one is made";
    EXPECT_EQ(recorder.events[0].window, first);
    EXPECT_EQ(recorder.events[1].code, HCBT_CREATEWND);
    EXPECT_FALSE(IsWindow(first)) << "the first window still exists";
    EXPECT_EQ(GetAppWindowHandle(0), second);
    EXPECT_EQ(ClassNameOf(second), "WindowClass_0");
    HACCEL accelerators = FindAcceleratorTable(second);
    ASSERT_EQ(CopyAcceleratorTableA(accelerators, nullptr, 0), 2) << "no Tab pair";

    DestroyAppWindow(0);
    WNDCLASSA info;
    EXPECT_FALSE(GetClassInfoA(ModuleHandle, "WindowClass_0", &info)) << "class left registered";
    int left = CopyAcceleratorTableA(accelerators, nullptr, 0);
    EXPECT_EQ(left, 0) << "the window is gone but its accelerator table still holds " << left << " entries";
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(GetAppWindowHandle(0), nullptr);
}

// An axis on which the window's centre is that of the screen or of the active window, each rounded down.
constexpr LONG CENTRED = LONG_MIN;

struct FlagCase {
    const char* name;
    uint32_t flags;
    int32_t width, height;
    RECT activeRect;         // of a window made active first, when not empty
    bool visible;
    bool zoomed;             // WS_MAXIMIZE in the style, as IsZoomed reads it
    LONG stylePresent;       // bits that must be in the window's style
    POINT corner;            // of the outer rectangle, or CENTRED
};

TEST_F(WindowTest, CreationFlagsGiveStyleVisibilityAndPlacement) {
    const FlagCase cases[] = {
        {"flags 0", 0, 200, 100, {}, true, false, WS_CAPTION, {20, 30}},
        {"invisible alone", WINDOW_INVISIBLE, 200, 100, {}, false, false, WS_CAPTION, {20, 30}},
        {"invisible maximised", WINDOW_INVISIBLE | WS_CAPTION | WS_MAXIMIZE, 200, 100, {}, false, true, WS_MAXIMIZE, {}},
        {"visible maximised", WS_CAPTION | WS_MAXIMIZE, 200, 100, {}, true, true, WS_MAXIMIZE, {}},
        {"centre on screen", WINDOW_CENTER_SCREEN | CAPTION_AND_SYSMENU, 301, 203, {}, true, false, WS_CAPTION,
         {CENTRED, CENTRED}},
        // Placed as if it fitted: its left edge on the screen's.
        {"wider than the screen", WINDOW_CENTER_SCREEN, 2000, 100, {}, true, false, WS_CAPTION, {0, CENTRED}},
        {"centre on active, none active", WINDOW_CENTER_ACTIVE, 250, 150, {}, true, false, WS_CAPTION,
         {CENTRED, CENTRED}},
        {"both bits, active window", WINDOW_CENTER_SCREEN | WINDOW_CENTER_ACTIVE, 250, 150, {400, 300, 700, 500}, true,
         false, WS_CAPTION, {CENTRED, CENTRED}},
        // Centred, it would start off the screen.
        {"active near the corner", WINDOW_CENTER_ACTIVE, 600, 450, {0, 0, 120, 90}, true, false, WS_CAPTION, {0, 0}},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.name);
        DestroyAllAppWindows();
        SetActiveWindow(nullptr);
        HWND active = nullptr;
        RECT on = c.activeRect;  // what a centred window is centred on
        if (!IsRectEmpty(&on)) {
            active = CreateWindowExA(0, "TemplateClass", "active", WS_POPUP | WS_VISIBLE, on.left, on.top,
                                     on.right - on.left, on.bottom - on.top, nullptr, nullptr, ModuleHandle, nullptr);
            ASSERT_NE(active, nullptr);
            SetActiveWindow(active);
        } else {
            SetRect(&on, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        }
        if (GetActiveWindow() != active) {
            if (active) DestroyWindow(active);
            GTEST_SKIP() << "this platform does not let the test choose the active window";
        }
        CreateAppWindow(5, 20, 30, c.width, c.height, c.flags, "flags");
        if (active) DestroyWindow(active);
        HWND window = GetAppWindowHandle(5);
        ASSERT_NE(window, nullptr);
        LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_EQ((style & c.stylePresent), c.stylePresent) << "got style " << std::hex << style;
        EXPECT_EQ(IsWindowVisible(window) != 0, c.visible) << "got style " << std::hex << style;
        EXPECT_EQ(IsZoomed(window) != 0, c.zoomed) << "got style " << std::hex << style;
        if (c.zoomed) continue;  // a maximised window sits where the screen puts it

        RECT r = OuterRect(window);
        bool cx = c.corner.x == CENTRED, cy = c.corner.y == CENTRED;
        EXPECT_EQ(cx ? (r.left + r.right) >> 1 : r.left, cx ? (on.left + on.right) >> 1 : c.corner.x) << "at " << r.left;
        EXPECT_EQ(cy ? (r.top + r.bottom) >> 1 : r.top, cy ? (on.top + on.bottom) >> 1 : c.corner.y) << "at " << r.top;
    }
}

// Every number that creation, lookup and destruction take, at, just past and far past its ends: a window made,
// found and destroyed, or a refusal that touches nothing, not even the window holding the number.
TEST_F(WindowTest, NumbersAtAndPastTheirEndsMakeAWindowOrNothing) {
    HWND kept = OpenWindow(2);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(CreateAppWindow(1, 0, 0, 100, 100, 0, nullptr), 0u) << "no title";
    int windows = CountThreadWindows();
    const int32_t MAX = INT32_MAX, MIN = INT32_MIN;
    const struct { ObjectId number; int32_t x, y, width, height; bool made; } ends[] = {
        {NEW_LIST_OBJECT, 0, 0, 100, 80, true}, {-2, 0, 0, 100, 80, false}, {MIN, 0, 0, 100, 80, false},
        {INTPTR_MIN, 0, 0, 100, 80, false}, {0, 0, 0, 100, 80, true},
        {10, 0, 0, 100, 80, true},  // the table's capacity: it grows
        {MAX - 29, 0, 0, 100, 80, false},  // the table would grow past 32 bits
        {MAX, 0, 0, 100, 80, false}, {INTPTR_MAX, 0, 0, 100, 80, false},
        // The far corner must fit in 32 bits.
        {3, MAX - 100, 0, 100, 80, true}, {2, MAX - 99, 0, 100, 80, false}, {2, MAX, 0, MAX, 80, false},
        {3, 0, MIN + 80, 100, -80, true}, {2, 0, MIN + 79, 100, -80, false}, {2, 0, MIN, 100, MIN, false},
        {3, 0, 0, -1, -1, true}, {3, 0, 0, MIN, MIN, true}, {3, 0, 0, MAX, MAX, true},
    };
    for (const auto& end : ends) {
        uintptr_t made = CreateAppWindow(end.number, end.x, end.y, end.width, end.height, WINDOW_INVISIBLE, "ends");
        SCOPED_TRACE(testing::Message() << "number " << end.number << " at " << end.x << "," << end.y << " size "
                                        << end.width << "," << end.height);
        EXPECT_EQ(made != 0, end.made);
        ObjectId id = end.number == NEW_LIST_OBJECT ? static_cast<ObjectId>(made) : end.number;
        EXPECT_EQ(GetAppWindowHandle(id) != nullptr, end.made || id == 2);
        if (id != 2) DestroyAppWindow(id);
        EXPECT_EQ(GetAppWindowHandle(id), id == 2 ? kept : nullptr);
        EXPECT_EQ(CountThreadWindows(), windows) << "a window was left";
    }
    EXPECT_TRUE(HeapValidate(RuntimeHeap, 0, nullptr)) << "the runtime heap is damaged";
}

TEST_F(WindowTest, DestroyAllTakesListWindowsNewestFirstThenNumbersDownward) {
    std::vector<HWND> expected;
    uintptr_t older = CreateAppWindow(NEW_LIST_OBJECT, 0, 0, 100, 80, 0, "older");
    uintptr_t newer = CreateAppWindow(NEW_LIST_OBJECT, 0, 0, 100, 80, 0, "newer");
    HWND zero = OpenWindow(0), three = OpenWindow(3), eleven = OpenWindow(11);
    expected = {GetAppWindowHandle(static_cast<ObjectId>(newer)), GetAppWindowHandle(static_cast<ObjectId>(older)),
                eleven, three, zero};
    for (HWND w : expected) ASSERT_NE(w, nullptr);
    std::string listClass = "WindowClass_" + std::to_string(static_cast<int32_t>(newer));
    EXPECT_EQ(ClassNameOf(expected[0]), listClass);

    std::vector<HWND> destroyed;
    {
        WindowLifeRecorder recorder;
        DestroyAllAppWindows();
        for (const WindowLifeEvent& event : recorder.events)
            if (event.code == HCBT_DESTROYWND) destroyed.push_back(event.window);
    }

    ASSERT_EQ(destroyed.size(), expected.size()) << "got " << destroyed.size() << " windows destroyed";
    for (size_t i = 0; i < destroyed.size(); ++i)
        EXPECT_EQ(destroyed[i], expected[i]) << "position " << i << ": got " << ClassNameOf(destroyed[i]);
    for (HWND w : expected) EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowTest, RefusedListWindowGivesItsRecordAndClassBack) {
    int nodes = CountObjectNodes();
    std::vector<WindowLifeEvent> refused;
    {
        WindowLifeRecorder recorder(true);
        EXPECT_EQ(CreateAppWindow(NEW_LIST_OBJECT, 0, 0, 100, 80, 0, "refused"), 0u);
        refused = recorder.events;
    }
    ASSERT_FALSE(refused.empty()) << "no creation reached the hook";
    EXPECT_EQ(CountObjectNodes(), nodes) << "the list record stayed, with no window to free it by";
    WNDCLASSA info;
    const std::string& name = refused[0].className;
    EXPECT_FALSE(GetClassInfoA(ModuleHandle, name.c_str(), &info)) << name << " left registered";
}

// Window 0 reuses a slot whose accelerator fields still describe the window
// it held before; running out of memory must neither keep a window nor free
// the old array a second time.
TEST_F(WindowTest, NoMemoryForAcceleratorsFailsCreationWithoutAWindow) {
    ASSERT_NE(OpenWindow(0), nullptr);
    DestroyAppWindow(0);

    HANDLE fullHeap = HeapCreate(HEAP_NO_SERIALIZE, 4096, 4096);
    ASSERT_NE(fullHeap, nullptr);
    while (HeapAlloc(fullHeap, 0, 16)) {
    }
    HANDLE savedHeap = RuntimeHeap;
    RuntimeHeap = fullHeap;
    uintptr_t result = CreateAppWindow(0, 0, 0, 100, 100, 0, "no memory");
    RuntimeHeap = savedHeap;
    HeapDestroy(fullHeap);

    EXPECT_EQ(result, 0u);
    EXPECT_EQ(GetAppWindowHandle(0), nullptr);
    EXPECT_EQ(FindThreadWindow("WindowClass_0"), nullptr) << "the new window was left";
    DestroyAppWindow(0);
    EXPECT_TRUE(HeapValidate(RuntimeHeap, 0, nullptr)) << "the runtime heap is damaged";
    EXPECT_NE(OpenWindow(0), nullptr) << "the number is usable again";
}

// ---------------------------------------------------------------------------
// Event pump

TEST_F(WindowTest, EachPollTakesOneMessageWithItsParametersThenGivesNone) {
    HWND window = OpenWindow(0);
    ASSERT_NE(window, nullptr);
    DrainWindowEvents();
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } posted[] = {{WM_APP + 1, 10, 0}, {WM_APP + 2, 20, -1}, {WM_KEYDOWN, VK_F5, 0x003F0001}};  // F5's scan code, once
    for (const auto& p : posted) PostMessageA(window, p.message, p.wParam, p.lParam);
    for (const auto& p : posted) {
        EXPECT_EQ(PollWindowEvent(), static_cast<int32_t>(p.message));
        EXPECT_EQ(WindowSystem.events.eventWParam, p.wParam) << "message " << p.message;
        EXPECT_EQ(WindowSystem.events.eventLParam, p.lParam) << "message " << p.message;
    }
    WindowSystem.events.eventType = 77;
    EXPECT_EQ(PollWindowEvent(), EVENT_NONE);
    EXPECT_EQ(WindowSystem.events.eventType, -1);
}

TEST_F(WindowTest, CloseRequestIsReportedAndTheWindowStays) {
    HWND window = OpenWindow(0);
    ASSERT_NE(window, nullptr);
    DrainWindowEvents();
    // The close box's system command sends the request; a program may post it.
    const std::pair<UINT, WPARAM> requests[] = {{WM_SYSCOMMAND, SC_CLOSE}, {WM_CLOSE, 0}};
    for (auto [message, wParam] : requests) {
        PostMessageA(window, message, wParam, 0);
        EXPECT_EQ(PollWindowEvent(), EVENT_CLOSE_WINDOW) << "message " << message;
        EXPECT_TRUE(IsWindow(window)) << "message " << message;
        EXPECT_EQ(GetAppWindowHandle(0), window);
    }
}

TEST_F(WindowTest, SizeAndActivationArriveOnePollLateAndTheLaterWins) {
    HWND first = OpenWindow(0, 10, 10);
    HWND second = OpenWindow(1, 400, 10);
    ASSERT_TRUE(first && second);
    SetActiveWindow(first);
    if (GetActiveWindow() != first) GTEST_SKIP() << "this platform does not let the test activate a window";
    DrainWindowEvents();

    // Resizing gives a move (recorded at once) and a size (deferred); the
    // activation that follows replaces the deferred size.
    MoveWindow(first, 20, 20, 350, 250, TRUE);
    SetActiveWindow(second);
    PostMessageA(first, WM_APP, 0, 0);
    EXPECT_EQ(PollWindowEvent(), EVENT_ACTIVATE_WINDOW);
    EXPECT_EQ(WindowSystem.events.eventWindow, second);
    EXPECT_EQ(PollWindowEvent(), static_cast<int32_t>(WM_APP)) << "the move's code was not discarded";

    DrainWindowEvents();
    SetActiveWindow(first);
    MoveWindow(second, 400, 20, 320, 220, TRUE);
    EXPECT_EQ(PollWindowEvent(), EVENT_SIZE_WINDOW);
    EXPECT_EQ(WindowSystem.events.eventWindow, second);
}

TEST_F(WindowTest, MinimisingRecordsNoSizeEvent) {
    HWND window = OpenWindow(0);
    ASSERT_NE(window, nullptr);
    DrainWindowEvents();
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(window));
    PostMessageA(window, WM_APP, 0, 0);
    std::vector<int32_t> codes;
    for (int32_t code; (code = PollWindowEvent()) != EVENT_NONE && codes.size() < 100;) codes.push_back(code);
    // The move to the icon position is reported; a size is not.
    for (int32_t code : codes) EXPECT_NE(code, EVENT_SIZE_WINDOW) << "a minimised window reported a size";
    EXPECT_FALSE(codes.empty());
}

TEST_F(WindowTest, CommandsMapToControlAndMenuEvents) {
    HWND window = OpenWindow(0, 100, 100, 300, 260);
    ASSERT_NE(window, nullptr);
    HWND button = AddChild(window, "Button", 42, BS_PUSHBUTTON, 10, 10);
    HWND menuButton = AddChild(window, "Button", MENU_CONTROL_ID, BS_PUSHBUTTON, 10, 50);
    HWND list = AddChild(window, "ListBox", 31, LBS_NOTIFY | WS_BORDER, 10, 90, 150, 120);
    ASSERT_TRUE(button && menuButton && list);
    for (const char* item : {"one", "two", "three"}) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageA(list, LB_SETCURSEL, 0, 0);

    struct Case {
        const char* name;
        HWND target;
        UINT message;
        WPARAM wParam;
        int32_t code, item, type;  // type -1: not checked
    } cases[] = {
        {"button click", button, BM_CLICK, 0, EVENT_CONTROL, 42, BN_CLICKED},
        {"control -10000", menuButton, BM_CLICK, 0, EVENT_MENU, static_cast<int32_t>(static_cast<uint16_t>(MENU_CONTROL_ID)), -1},
        {"menu item", window, WM_COMMAND, 77, EVENT_MENU, 77, -1},
        {"other accelerator", window, WM_COMMAND, MAKEWPARAM(500, 1), EVENT_MENU, 500, -1},
        {"list box selection", list, WM_KEYDOWN, VK_DOWN, EVENT_CONTROL, 31, 0},
        {"list box double click", list, WM_LBUTTONDBLCLK, MK_LBUTTON, EVENT_CONTROL, 31, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrainWindowEvents();
        PostMessageA(c.target, c.message, c.wParam, 0);
        EXPECT_EQ(PollWindowEvent(), c.code);
        EXPECT_EQ(WindowSystem.events.eventItem, c.item);
        if (c.type != -1) { EXPECT_EQ(WindowSystem.events.eventType, c.type); }
    }
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1);

    // Taking the focus notifies the parent too, and that is not an event.
    DrainWindowEvents();
    SetFocus(list);
    PostMessageA(window, WM_APP, 0, 0);
    EXPECT_EQ(PollWindowEvent(), static_cast<int32_t>(WM_APP)) << "from the focus notification";
}

TEST_F(WindowTest, TrayCallbackBecomesATrayEventOnTheNextPoll) {
    HWND window = OpenWindow(0);
    ASSERT_NE(window, nullptr);
    struct Case { LPARAM mouse; int32_t code, type; } cases[] = {
        {WM_LBUTTONUP, EVENT_TRAY, 0},        {WM_RBUTTONUP, EVENT_TRAY, 1},
        {WM_LBUTTONDBLCLK, EVENT_TRAY, 2},    {WM_RBUTTONDBLCLK, EVENT_TRAY, 3},
        {WM_MOUSEMOVE, static_cast<int32_t>(MSG_TRAY_EVENT), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mouse);
        DrainWindowEvents();
        PostMessageA(window, MSG_TRAY_CALLBACK, 7, c.mouse);
        EXPECT_EQ(PollWindowEvent(), static_cast<int32_t>(MSG_TRAY_CALLBACK));
        EXPECT_EQ(PollWindowEvent(), c.code);
        EXPECT_EQ(WindowSystem.events.eventType, c.type);
        EXPECT_EQ(WindowSystem.events.eventItem, 7);
        EXPECT_EQ(PollWindowEvent(), EVENT_NONE);
    }
}

TEST_F(WindowTest, ControlMessagesAndNotificationsAreControlEvents) {
    HWND window = OpenWindow(0, 100, 100, 400, 300);
    ASSERT_NE(window, nullptr);
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&classes);
    HWND tree = AddChild(window, WC_TREEVIEWA, 51, 0, 10, 10, 100, 80);
    HWND listView = AddChild(window, WC_LISTVIEWA, 52, 0, 120, 10, 100, 80);
    HWND upDown = AddChild(window, UPDOWN_CLASSA, 53, 0, 230, 10, 20, 40);
    HWND scrollBar = AddChild(window, "ScrollBar", 54, SBS_VERT, 260, 10, 16, 80);
    HWND edit = AddChild(window, "Edit", 55, 0, 10, 100, 100, 20);
    ASSERT_TRUE(tree && listView && upDown && scrollBar && edit);

    struct Case { const char* name; HWND from; UINT code; int32_t expectedCode, expectedType; } cases[] = {
        {"tree click", tree, NM_CLICK, EVENT_CONTROL, 0},
        {"list right click", listView, NM_RCLICK, EVENT_CONTROL, 1},
        {"list double click", listView, NM_DBLCLK, EVENT_CONTROL, 2},
        {"tree right double click", tree, NM_RDBLCLK, EVENT_CONTROL, 3},
        {"list item activated", listView, LVN_ITEMACTIVATE, EVENT_CONTROL, 2},
        {"tree selection", tree, TVN_SELCHANGEDA, EVENT_CONTROL, -1},
        {"list item changed", listView, LVN_ITEMCHANGED, EVENT_CONTROL, -1},
        {"list custom draw", listView, static_cast<UINT>(NM_CUSTOMDRAW), static_cast<int32_t>(WM_APP), -1},
        {"edit click", edit, NM_CLICK, static_cast<int32_t>(WM_APP), -1},
        // An up-down step of any control class carries its delta as the type.
        {"up-down step", upDown, static_cast<UINT>(UDN_DELTAPOS), EVENT_CONTROL, -3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrainWindowEvents();
        // Only an up-down step reads the delta behind the header.
        NMUPDOWN notification{{c.from, static_cast<UINT_PTR>(GetDlgCtrlID(c.from)), c.code}, 5, -3};
        // Sent outside a poll, as controls do; the next poll reports it. The
        // poll resets eventType, so it is read right after the dispatch.
        WindowSystem.events.eventType = -1;
        SendMessageA(window, WM_NOTIFY, notification.hdr.idFrom, reinterpret_cast<LPARAM>(&notification));
        PostMessageA(window, WM_APP, 0, 0);
        EXPECT_EQ(WindowSystem.events.eventType, c.expectedType);
        EXPECT_EQ(PollWindowEvent(), c.expectedCode);
        if (c.expectedCode == EVENT_CONTROL) {
            EXPECT_EQ(WindowSystem.events.eventItem, GetDlgCtrlID(c.from));
            EXPECT_EQ(WindowSystem.events.eventWindow, window);
        }
    }

    // Posted ones are recorded in the poll itself.
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        int32_t item, type;
    } posted[] = {{WM_VSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(scrollBar), 54, -1}, {MSG_CONTROL_EVENT, 61, 4, 61, 4}};
    for (const auto& p : posted) {
        DrainWindowEvents();
        PostMessageA(window, p.message, p.wParam, p.lParam);
        EXPECT_EQ(PollWindowEvent(), EVENT_CONTROL) << "message " << p.message;
        EXPECT_EQ(WindowSystem.events.eventItem, p.item) << "message " << p.message;
        EXPECT_EQ(WindowSystem.events.eventType, p.type) << "message " << p.message;
    }
}

// ---------------------------------------------------------------------------
// Focus walk

class FocusWalkTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        window = OpenWindow(0, 100, 100, 300, 260);
        ASSERT_NE(window, nullptr);
        edits[0] = AddChild(window, "Edit", 1, WS_TABSTOP | WS_BORDER, 10, 10);
        AddChild(window, "Edit", 9, WS_BORDER, 10, 40);  // no tab stop
        edits[1] = AddChild(window, "Edit", 2, WS_TABSTOP | WS_BORDER, 10, 70);
        HWND disabled = AddChild(window, "Edit", 8, WS_TABSTOP | WS_BORDER, 10, 100);
        EnableWindow(disabled, FALSE);
        edits[2] = AddChild(window, "Edit", 3, WS_TABSTOP | WS_BORDER, 10, 130);
        SetForegroundWindow(window);
        SetActiveWindow(window);
        if (GetActiveWindow() != window) GTEST_SKIP() << "this platform does not let the test activate a window";
        DrainWindowEvents();
    }

    // Polls as the program's frames do, accelerators and all, until `done` holds; false on timeout.
    static bool PollUntil(const std::function<bool()>& done) {
        for (DWORD start = GetTickCount(); !done();) {
            if (GetTickCount() - start >= WAIT_LIMIT_MS) return false;
            if (PollWindowEvent() == EVENT_NONE) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }

    // Types the key and polls until the focus lands somewhere new.
    HWND PressAndPoll(WORD key, bool shift) {
        HWND before = GetFocus(), now = before;
        TypeKey(key, shift);
        PollUntil([&] { return (now = GetFocus()) != before; });
        // Let the key release through too, so the next press starts clean.
        PumpMessagesUntil([] { return (GetKeyState(VK_TAB) & 0x80) == 0; }, 1000);
        DrainWindowEvents();
        return now;
    }

    bool KeysReachTheWindow() {
        SetFocus(edits[0]);
        DrainWindowEvents();
        TypeKey('X');
        return PumpMessagesUntil([&] { return WindowText(edits[0]) == "x"; });
    }

    HWND window = nullptr;
    HWND edits[3] = {};
};

TEST_F(FocusWalkTest, TabAndShiftTabWalkTheTabStopsAndWrap) {
    if (!KeysReachTheWindow()) GTEST_SKIP() << "typed keys do not reach the test's window here";
    SetFocus(edits[0]);
    DrainWindowEvents();
    const struct {
        bool shift;
        int expected;
    } steps[] = {{false, 1}, {false, 2}, {false, 0}, {true, 2}, {true, 1}, {true, 0}, {true, 2}};
    for (const auto& step : steps) {
        HWND focus = PressAndPoll(VK_TAB, step.shift);
        EXPECT_EQ(focus, edits[step.expected])
            << (step.shift ? "Shift+Tab" : "Tab") << " gave control " << GetDlgCtrlID(focus);
    }
}

TEST_F(FocusWalkTest, TabInARichEditIsTheControlsOwn) {
    if (!LoadLibraryA("riched20.dll")) GTEST_SKIP() << "no rich-edit control here";
    HWND rich = AddChild(window, "RichEdit20A", 4, WS_TABSTOP | WS_BORDER | ES_MULTILINE | ES_WANTRETURN, 150, 10);
    ASSERT_NE(rich, nullptr);
    ASSERT_EQ(ClassNameOf(rich).substr(0, 4), "Rich");
    if (!KeysReachTheWindow()) GTEST_SKIP() << "typed keys do not reach the test's window here";

    SetFocus(rich);
    DrainWindowEvents();
    TypeKey(VK_TAB);
    // The Tab lands in the control as a character, and the focus stays.
    PollUntil([&] { return GetFocus() != rich || WindowText(rich).find('\t') != std::string::npos; });
    EXPECT_NE(WindowText(rich).find('\t'), std::string::npos) << "got text \"" << WindowText(rich) << "\"";
    EXPECT_EQ(GetFocus(), rich);

    DrainWindowEvents();
    HWND focus = PressAndPoll(VK_TAB, true);
    EXPECT_EQ(focus, edits[2]) << "Shift+Tab gave control " << GetDlgCtrlID(focus);
}

// ---------------------------------------------------------------------------
// LiveSizing

class LiveSizingTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        BOOL full = FALSE;
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
        SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
        if (!full) GTEST_SKIP() << "full-window dragging cannot be switched on here";
        window = OpenWindow(0, 100, 100, 400, 300, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME);
        ASSERT_NE(window, nullptr);
        SetActiveWindow(window);
        SetCursorPos(300, 250);
        DrainWindowEvents();
        start = OuterRect(window);
    }

    void TearDown() override {
        if (WindowSystem.sizing.active) ReleaseCapture();
        WindowTest::TearDown();
    }

    void Key(WPARAM key) { Deliver(window, WM_KEYDOWN, key, 0); }

    // Whether the window's outer rectangle is `expected`, telling what it is when not.
    static testing::AssertionResult HasOuterRect(HWND window, const RECT& expected) {
        RECT r = OuterRect(window);
        if (EqualRect(&r, &expected)) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "got " << r.left << "," << r.top << " to " << r.right << "," << r.bottom;
    }

    // Posts the message, then polls until nothing is waiting, as the program's frames would.
    static void Deliver(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
        PostMessageA(target, message, wParam, lParam);
        for (int i = 0; i < 200 && PollWindowEvent() != EVENT_NONE; ++i) {
        }
    }

    void StartKeyboardSizing() {
        Deliver(window, WM_SYSCOMMAND, SC_SIZE, 0);
        ASSERT_EQ(WindowSystem.sizing.active, 1);
        EXPECT_EQ(GetCapture(), window);
    }

    HWND window = nullptr;
    RECT start{};
};

TEST_F(LiveSizingTest, KeyboardSizingMovesTheRightEdgeByTenPixels) {
    StartKeyboardSizing();
    Key(VK_RIGHT);
    EXPECT_TRUE(HasOuterRect(window, start)) << "choosing the edge moved it";
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, start.right - 2);

    Key(VK_RIGHT);
    EXPECT_TRUE(HasOuterRect(window, {start.left, start.top, start.right + 10, start.bottom}));
    Key(VK_RETURN);
    EXPECT_EQ(WindowSystem.sizing.active, 0);
    EXPECT_NE(GetCapture(), window);
    EXPECT_EQ(OuterRect(window).right, start.right + 10);
}

TEST_F(LiveSizingTest, EscapeRestoresTheStartingRectangle) {
    StartKeyboardSizing();
    for (int press = 0; press < 3; ++press) Key(VK_DOWN);
    EXPECT_EQ(OuterRect(window).bottom, start.bottom + 20);
    Key(VK_ESCAPE);
    EXPECT_EQ(WindowSystem.sizing.active, 0);
    EXPECT_TRUE(HasOuterRect(window, start)) << "not restored";
}

TEST_F(LiveSizingTest, SizingBelowTheMinimumPinsTheEdge) {
    StartKeyboardSizing();
    Key(VK_LEFT);  // the left edge
    // Drag the left edge far past the right one.
    Deliver(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2000, 10));
    RECT sized = OuterRect(window);
    EXPECT_EQ(sized.right, start.right);
    EXPECT_EQ(sized.right - sized.left, GetSystemMetrics(SM_CXMINTRACK)) << "the platform's least width";

    Deliver(window, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(WindowSystem.sizing.active, 0);
}

TEST_F(LiveSizingTest, SizingEndsWithTheWindowOrItsCapture) {
    StartKeyboardSizing();
    Key(VK_RIGHT);
    HWND other = OpenWindow(1, 600, 400, 200, 100);
    ASSERT_NE(other, nullptr);
    RECT otherStart = OuterRect(other);
    Deliver(other, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_TRUE(HasOuterRect(other, otherStart)) << "a key in another window moved it";

    DestroyAppWindow(0);
    EXPECT_EQ(WindowSystem.sizing.active, 0) << "sizing outlived its window";
    HWND again = OpenWindow(0, 100, 100, 400, 300, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME);
    ASSERT_NE(again, nullptr);
    RECT before = OuterRect(again);
    Deliver(again, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(HasOuterRect(again, before)) << "a mouse move sized the new window";

    window = again;
    StartKeyboardSizing();
    SetCapture(other);
    EXPECT_EQ(WindowSystem.sizing.active, 0) << "sizing went on without the capture";
    ReleaseCapture();
}

// ---------------------------------------------------------------------------
// Message requester

TEST(MessageRequester, ShowsBeforeAnyWindowExistsAndReturnsTheButtonPressed) {
    const struct {
        const char* caption;
        const char* text;
        UINT flags;
        int button;
    } cases[] = {{"error", "pop sounds not loaded", 0, IDOK}, {"question", "yes?", MB_YESNO, IDYES}, {"question", "no?", MB_YESNO, IDNO}};
    for (const auto& c : cases) {
        MessageBoxWatcher watcher(c.caption, c.button);
        int result = ShowMessageBox(c.caption, c.text, c.flags);
        const MessageBoxSeen& seen = watcher.Finish();
        ASSERT_TRUE(seen.found) << "no box captioned " << c.caption << " appeared";
        EXPECT_EQ(result, c.button);
        EXPECT_EQ(seen.caption, c.caption);
        EXPECT_EQ(seen.text, c.text);
        EXPECT_EQ(seen.owner, nullptr);
    }
    MessageBoxWatcher watcher("two", IDOK);
    EXPECT_EQ(ShowMessageBox("two", "flags 0 by default"), IDOK);
    EXPECT_TRUE(watcher.Finish().found);
}

class RequesterWindows : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        foreground = OpenWindow(0, 10, 10);
        other = OpenWindow(1, 350, 10);
        hidden = OpenWindow(2, 10, 300, 200, 100, WINDOW_INVISIBLE);
        alreadyDisabled = OpenWindow(3, 350, 300);
        ASSERT_TRUE(foreground && other && hidden && alreadyDisabled);
        EnableWindow(alreadyDisabled, FALSE);
        SetForegroundWindow(foreground);
        if (GetForegroundWindow() != foreground)
            GTEST_SKIP() << "this platform does not let the test bring a window to the foreground";
    }

    HWND foreground = nullptr, other = nullptr, hidden = nullptr, alreadyDisabled = nullptr;
};

TEST_F(RequesterWindows, ForegroundWindowOwnsTheBoxAndTheOthersWait) {
    struct { bool other, hidden, alreadyDisabled; } during{};
    MessageBoxWatcher watcher("error", IDOK, [&](HWND) {
        during = {IsWindowEnabled(other) != 0, IsWindowEnabled(hidden) != 0, IsWindowEnabled(alreadyDisabled) != 0};
    });
    int result = ShowMessageBox("error", "can't open window", 0);
    const MessageBoxSeen& seen = watcher.Finish();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seen.text, "can't open window");
    EXPECT_EQ(seen.owner, foreground);
    EXPECT_FALSE(during.other) << "the other window stayed enabled";
    EXPECT_TRUE(during.hidden) << "a hidden window was disabled";
    EXPECT_FALSE(during.alreadyDisabled);

    EXPECT_TRUE(IsWindowEnabled(foreground));
    EXPECT_TRUE(IsWindowEnabled(other)) << "not enabled again";
    EXPECT_TRUE(IsWindowEnabled(hidden));
    EXPECT_FALSE(IsWindowEnabled(alreadyDisabled)) << "a window disabled before was enabled";
    EXPECT_EQ(WindowSystem.disabledWindows, nullptr) << "records left in the list";
}

TEST_F(RequesterWindows, NoMemoryForRecordsLeavesNoWindowDisabled) {
    HANDLE savedNodes = ObjectNodeHeap;
    ObjectNodeHeap = nullptr;  // every record allocation fails
    bool otherDuring = false;
    MessageBoxWatcher watcher("error", IDOK, [&](HWND) { otherDuring = IsWindowEnabled(other) != 0; });
    int result = ShowMessageBox("error", "no memory", 0);
    ObjectNodeHeap = savedNodes;
    ASSERT_TRUE(watcher.Finish().found);
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(otherDuring) << "a window was disabled without a record to enable it again";
    EXPECT_TRUE(IsWindowEnabled(other));
    EXPECT_TRUE(IsWindowEnabled(foreground));
}

TEST_F(RequesterWindows, WindowDestroyedWhileTheBoxIsOpenIsHarmless) {
    // The watcher's thread cannot destroy the test thread's window; it asks
    // the window's own thread, which the box's modal loop keeps serving.
    MessageBoxWatcher watcher("error", IDOK, [&](HWND) { SendMessageA(other, WM_APP + 5, 0, 0); });
    SetWindowLongPtrA(other, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_APP + 5) {
            DestroyWindow(w);
            return 0;
        }
        return WindowProcedure(w, m, wp, lp);
    }));
    int result = ShowMessageBox("error", "gone", 0);
    ASSERT_TRUE(watcher.Finish().found);
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(IsWindow(other));
    EXPECT_EQ(WindowSystem.disabledWindows, nullptr) << "records left in the list";
}

}  // namespace
