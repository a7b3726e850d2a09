// Numbered application windows, each with a class of its own and the Tab
// accelerator pair.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "runtime/window/window.h"
#include "runtime/window/window_internal.h"

WindowSystemState WindowSystem;

namespace {

constexpr char TEMPLATE_CLASS_NAME[] = "TemplateClass";

enum class Placement { None, CenterScreen, CenterActive };

// The number as a signed 32-bit decimal: list handles of 64-bit builds lose
// their upper half here, as class names only need to tell live windows apart.
void FormatClassNameInto(char* buffer, ObjectId number) {
    std::snprintf(buffer, CLASS_NAME_SIZE, "WindowClass_%ld", static_cast<long>(static_cast<int32_t>(number)));
}

POINT CenterOnScreen(int32_t width, int32_t height) {
    int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    // Halves are shifted separately, each dropping its own remainder; a window
    // larger than the screen keeps its size but is placed as if it fitted.
    int32_t w = std::min(width, screenWidth);
    int32_t h = std::min(height, screenHeight);
    return POINT{(screenWidth >> 1) - (w >> 1), (screenHeight >> 1) - (h >> 1)};
}

POINT CenterOnActiveWindow(int32_t width, int32_t height) {
    HWND active = GetActiveWindow();
    RECT r;
    if (!active || !GetWindowRect(active, &r)) return CenterOnScreen(width, height);
    LONG x = r.left - (width >> 1) + ((r.right - r.left) >> 1);
    LONG y = r.top - (height >> 1) + ((r.bottom - r.top) >> 1);
    return POINT{std::max<LONG>(x, 0), std::max<LONG>(y, 0)};
}

// False only when the accelerator array could not be allocated.
bool CreateTabAccelerators(ObjectId number) {
    WindowRecord* record = WindowSystem.windows.Lookup(number);
    if (!record) return true;
    auto* accelerators = static_cast<ACCEL*>(HeapAlloc(RuntimeHeap, 0, 2 * sizeof(ACCEL)));
    if (!accelerators) {
        // The fields may still describe the previous window of this slot,
        // whose array is already freed; DestroyAppWindow must not free it again.
        record->acceleratorCount = 0;
        record->accelerators = nullptr;
        record->acceleratorTable = nullptr;
        return false;
    }
    accelerators[0] = ACCEL{FVIRTKEY | FNOINVERT, VK_TAB, CMD_FOCUS_NEXT};
    accelerators[1] = ACCEL{FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CMD_FOCUS_PREVIOUS};
    record->acceleratorCount = 2;
    record->accelerators = accelerators;
    record->acceleratorTable = CreateAcceleratorTableA(accelerators, 2);
    return true;
}

// The class name is formatted into a buffer of its own: destroying a window
// may run a creation that rewrites the shared one.
void UnregisterWindowClass(ObjectId number) {
    char className[CLASS_NAME_SIZE];
    FormatClassNameInto(className, number);
    UnregisterClassA(className, ModuleHandle);
}

// Destroys the window of a live record with its class and accelerators; the
// record is the table's.
void ReleaseWindow(ObjectId number, void* record) {
    // Read first: destroying the window may run code that grows the table and
    // so moves the record.
    WindowRecord held = *static_cast<WindowRecord*>(record);
    HWND owner = GetWindow(held.window, GW_OWNER);
    if (owner) SetActiveWindow(owner);
    DestroyWindow(held.window);
    UnregisterWindowClass(number);

    if (held.acceleratorCount != 0) {
        HeapFree(RuntimeHeap, 0, held.accelerators);
        DestroyAcceleratorTable(held.acceleratorTable);
    }
}

}  // namespace

void FormatWindowClassName(ObjectId number) { FormatClassNameInto(WindowSystem.classNameBuffer, number); }

ATOM InitWindowSystem() {
    std::memset(static_cast<void*>(&WindowSystem), 0, sizeof WindowSystem);
    if (!WindowSystem.windows.Create(WINDOW_TABLE)) return 0;

    WNDCLASSA& wc = WindowSystem.classTemplate;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WindowProcedure;
    wc.hInstance = ModuleHandle;
    wc.hIcon = LoadIconA(ModuleHandle, MAKEINTRESOURCEA(1));  // no icon resource: the default icon
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = TEMPLATE_CLASS_NAME;
    ATOM atom = RegisterClassA(&wc);
    wc.lpszClassName = WindowSystem.classNameBuffer;
    return atom;
}

uintptr_t CreateAppWindow(ObjectId number, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags,
                          const char* title) {
    // A rectangle whose far corner does not fit in 32 bits is refused before
    // a window holding the number is touched.
    if (!title || static_cast<int64_t>(x) + width > INT32_MAX || static_cast<int64_t>(y) + height > INT32_MAX ||
        static_cast<int64_t>(x) + width < INT32_MIN || static_cast<int64_t>(y) + height < INT32_MIN)
        return 0;
    ObjectId id;
    if (!WindowSystem.windows.Replace(number, &id, ReleaseWindow)) return 0;

    FormatWindowClassName(id);
    RegisterClassA(&WindowSystem.classTemplate);  // a class left from before serves as well

    Placement placement = Placement::None;
    if (flags & WINDOW_CENTER_SCREEN) {
        placement = Placement::CenterScreen;
        flags &= ~WINDOW_CENTER_SCREEN;
    }
    if (flags & WINDOW_CENTER_ACTIVE) {
        placement = Placement::CenterActive;
        flags &= ~WINDOW_CENTER_ACTIVE;
    }
    if (flags == 0 || flags == WINDOW_INVISIBLE) flags |= WS_CAPTION;

    bool maximize = false;
    if (flags & WINDOW_INVISIBLE) {
        flags &= ~WINDOW_INVISIBLE;
    } else {
        flags |= WS_VISIBLE;
        maximize = (flags & WS_MAXIMIZE) != 0;
    }
    DWORD style = flags;

    RECT outer{x, y, x + width, y + height};
    AdjustWindowRect(&outer, style, FALSE);
    int32_t outerWidth = outer.right - outer.left;
    int32_t outerHeight = outer.bottom - outer.top;

    POINT corner{x, y};
    if (placement == Placement::CenterScreen) corner = CenterOnScreen(outerWidth, outerHeight);
    if (placement == Placement::CenterActive) corner = CenterOnActiveWindow(outerWidth, outerHeight);

    HWND window = CreateWindowExA(0, WindowSystem.classNameBuffer, title, style, corner.x, corner.y, outerWidth,
                                  outerHeight, nullptr, nullptr, ModuleHandle, nullptr);
    // Messages sent during creation may have reached code that grows the
    // table, so the record is looked up again rather than kept.
    WindowSystem.windows.Slot(id)->window = window;
    if (!window) {
        // A list record with no window could never be freed, nor its class
        // unregistered; a numbered slot is simply left empty.
        if (IsListHandle(WindowSystem.windows.table, id)) {
            UnregisterWindowClass(id);
            WindowSystem.windows.Clear(id);
        }
        return 0;
    }

    if (maximize) ShowWindow(window, SW_SHOWMAXIMIZED);
    if (!CreateTabAccelerators(id)) {
        DestroyAppWindow(id);
        return 0;
    }
    return WindowSystem.windows.Created(number, id);
}

HWND GetAppWindowHandle(ObjectId number) {
    WindowRecord* record = WindowSystem.windows.Lookup(number);
    return record ? record->window : nullptr;
}

void DestroyAppWindow(ObjectId number) { WindowSystem.windows.Destroy(number, ReleaseWindow); }

void DestroyAllAppWindows() { WindowSystem.windows.FreeAll(DestroyAppWindow); }

HACCEL FindAcceleratorTable(HWND window) {
    const ObjectTable& table = WindowSystem.windows.table;
    if (!table.slots || !window) return nullptr;
    for (ObjectNode* node = table.list; node; node = node->next) {
        auto* record = reinterpret_cast<WindowRecord*>(node + 1);
        if (record->window == window) return record->acceleratorTable;
    }
    for (int32_t number = 0; number < table.count; ++number) {
        WindowRecord* record = WindowSystem.windows.Lookup(number);
        if (record && record->window == window) return record->acceleratorTable;
    }
    return nullptr;
}
