#include "support/windows.h"

#include <vector>

#include "runtime/window/window.h"

void DrainWindowEvents() {
    // The bound only guards against a window that keeps posting to itself.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 1000 && PollWindowEvent() != EVENT_NONE; ++i) {
        }
        // An empty queue leaves a recorded code waiting; a message of no
        // window carries it off.
        PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    }
    for (int i = 0; i < 1000 && PollWindowEvent() != EVENT_NONE; ++i) {
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

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

struct BoxSearch {
    const std::string* caption;
    HWND box;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    if (ClassNameOf(window) != "#32770" || WindowText(window) != *search->caption) return TRUE;
    search->box = window;
    return FALSE;
}

// The message is the one static control with text; the icon's has none.
BOOL CALLBACK FindMessageText(HWND child, LPARAM parameter) {
    auto* text = reinterpret_cast<std::string*>(parameter);
    if (ClassNameOf(child) != "Static") return TRUE;
    std::string childText = WindowText(child);
    if (childText.empty()) return TRUE;
    *text = childText;
    return FALSE;
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

}  // namespace

HWND FindThreadWindow(const char* className) { return SearchThreadWindows(className).first; }

int CountThreadWindows(const char* className) { return SearchThreadWindows(className).count; }

void TypeKey(WORD virtualKey, bool shift) {
    std::vector<INPUT> inputs;
    if (shift) inputs.push_back(KeyInput(VK_SHIFT, false));
    inputs.push_back(KeyInput(virtualKey, false));
    inputs.push_back(KeyInput(virtualKey, true));
    if (shift) inputs.push_back(KeyInput(VK_SHIFT, true));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

MessageBoxWatcher::MessageBoxWatcher(std::string caption, int button, std::function<void(HWND)> whileOpen,
                                     DWORD timeoutMs)
    : caption_(std::move(caption)), button_(button), whileOpen_(std::move(whileOpen)), timeoutMs_(timeoutMs) {
    thread_ = std::thread([this] { Watch(); });
}

MessageBoxWatcher::~MessageBoxWatcher() {
    if (thread_.joinable()) thread_.join();
}

const MessageBoxSeen& MessageBoxWatcher::Finish() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

void MessageBoxWatcher::Watch() {
    DWORD start = GetTickCount();
    BoxSearch search{&caption_, nullptr};
    // The box is made on the test's thread, which this thread cannot wait
    // on, so it looks for it every few milliseconds.
    while (!search.box && GetTickCount() - start < timeoutMs_) {
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (!search.box) Sleep(10);
    }
    if (!search.box) return;
    seen_.found = true;
    seen_.caption = WindowText(search.box);
    EnumChildWindows(search.box, FindMessageText, reinterpret_cast<LPARAM>(&seen_.text));
    seen_.owner = GetWindow(search.box, GW_OWNER);
    if (whileOpen_) whileOpen_(search.box);
    PostMessageA(search.box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(search.box, button_)));
}
