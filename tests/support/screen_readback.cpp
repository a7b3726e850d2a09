#include "support/screen_readback.h"

#include <map>
#include <string>

BitmapPixels ReadScreenRect(const RECT& area) {
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC copyDC = CreateCompatibleDC(screen);
    HBITMAP copy = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(copyDC, copy);
    BitBlt(copyDC, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(copyDC, old);
    DeleteDC(copyDC);
    ReleaseDC(nullptr, screen);
    BitmapPixels pixels = ReadBitmapPixels(copy);
    DeleteObject(copy);
    return pixels;
}

DominantColor DominantScreenColor(const RECT& area) {
    BitmapPixels pixels = ReadScreenRect(area);
    std::map<uint32_t, int> counts;
    for (uint32_t rgb : pixels.rgb) ++counts[rgb];
    DominantColor dominant;
    dominant.total = static_cast<int>(pixels.rgb.size());
    for (const auto& [rgb, count] : counts)
        if (count > dominant.count) dominant = DominantColor{rgb, count, dominant.total};
    return dominant;
}

DEVMODEA CurrentDisplayMode() {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
    return mode;
}

HWND CreateParentWindow(int x, int y, int clientWidth, int clientHeight, WNDPROC procedure, bool visible) {
    if (!procedure) procedure = DefWindowProcA;
    // One class per procedure: the procedure is what tests tell windows apart by.
    static std::map<WNDPROC, std::string> classes;
    auto found = classes.find(procedure);
    if (found == classes.end()) {
        std::string name = "ScreenTestParent" + std::to_string(classes.size());
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = name.c_str();
        if (!RegisterClassExA(&windowClass)) return nullptr;
        found = classes.emplace(procedure, name).first;
    }
    RECT outer{0, 0, clientWidth, clientHeight};
    DWORD style = WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0);
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    HWND window = CreateWindowExA(0, found->second.c_str(), "screen test", style, x, y, outer.right - outer.left,
                                  outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window && visible) {
        // Without a window manager nothing else would bring it forward.
        SetForegroundWindow(window);
        UpdateWindow(window);
    }
    return window;
}
