#include "support/windows.h"

#include "runtime/window/window.h"

void DrainWindowEvents() {
    // The bound only guards against a window that keeps posting to itself.
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 1000 && PollWindowEvent() != EVENT_NONE; ++i) {
        }
        // An empty queue leaves a recorded code waiting; a message of no
        // window carries it off.
        if (round < 2) PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    }
}

RECT ClientRectOnScreen(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT OuterRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

std::string ClassNameOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

namespace {

// A visible dialog box of this process with the caption, or null.
HWND FindOwnBox(const std::string& caption) {
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", caption.c_str())) != nullptr;) {
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

// The message is the one static control with text; the icon's has none.
std::string MessageTextOf(HWND box) {
    for (HWND child = nullptr; (child = FindWindowExA(box, child, "Static", nullptr)) != nullptr;)
        if (!WindowText(child).empty()) return WindowText(child);
    return {};
}

struct ClassSearch {
    const char* className;  // null: any
    HWND first;
    int count;
};

BOOL CALLBACK FindByClass(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<ClassSearch*>(parameter);
    if (search->className && ClassNameOf(window) != search->className) return TRUE;
    if (!search->count++) search->first = window;
    return TRUE;
}

ClassSearch SearchThreadWindows(const char* className) {
    ClassSearch search{className, nullptr, 0};
    EnumThreadWindows(GetCurrentThreadId(), FindByClass, reinterpret_cast<LPARAM>(&search));
    return search;
}

LRESULT CALLBACK SwallowKey(int, WPARAM, LPARAM) { return 1; }

}  // namespace

HWND FindThreadWindow(const char* className) { return SearchThreadWindows(className).first; }

int CountThreadWindows(const char* className) { return SearchThreadWindows(className).count; }

void TypeKey(WORD virtualKey, bool shift) {
    if (shift) SendKeyEvent(VK_SHIFT, false);
    SendKeyEvent(virtualKey, false);
    SendKeyEvent(virtualKey, true);
    if (shift) SendKeyEvent(VK_SHIFT, true);
}

void SendKeyEvent(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof(INPUT));
}

KeySwallower::KeySwallower() : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] {
        threadId_ = GetCurrentThreadId();
        // The hook runs on this thread, so it must pump while it lives.
        HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, SwallowKey, GetModuleHandleA(nullptr), 0);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue that WM_QUIT is posted to
        SetEvent(ready_);
        while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
        if (hook) UnhookWindowsHookEx(hook);
    });
    WaitForSingleObject(ready_, INFINITE);
}

KeySwallower::~KeySwallower() {
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    CloseHandle(ready_);
}

MessageBoxWatcher::MessageBoxWatcher(std::string caption, int button, std::function<void(HWND)> whileOpen)
    : caption_(std::move(caption)), button_(button), whileOpen_(std::move(whileOpen)) {
    thread_ = std::thread([this] { Watch(); });
}

MessageBoxWatcher::~MessageBoxWatcher() { Finish(); }

const MessageBoxSeen& MessageBoxWatcher::Finish() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

void MessageBoxWatcher::Watch() {
    DWORD start = GetTickCount();
    HWND box;
    // The box is made on the test's thread, which this thread cannot wait
    // on, so it looks for it every few milliseconds.
    while (!(box = FindOwnBox(caption_)) && GetTickCount() - start < WAIT_LIMIT_MS) Sleep(10);
    if (!box) return;
    seen_.found = true;
    seen_.caption = WindowText(box);
    seen_.text = MessageTextOf(box);
    seen_.owner = GetWindow(box, GW_OWNER);
    if (whileOpen_) whileOpen_(box);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button_)));
}
