// Looks at the toy's windows from a second process inside the same Wine
// session, for the end-to-end scripts:
//   probe window "<title>" [seconds]   waits for a top-level window with that exact
//                                      title; prints visibility, client size, its
//                                      client origin and outer corner on the screen
//   probe gone "<title>" [seconds]     waits until no such window is visible
//   probe box [seconds]                waits for the "error" box, prints how many other
//                                      windows of its program show beside it and its
//                                      text, and presses OK
//   probe closebox "<title>"           prints "x y" on the screen of the window's close
//                                      box, where the window itself says it is
//   probe lock FILE SECONDS            holds FILE open with no sharing, so that no other
//                                      process can read it, until a toy has come and
//                                      gone
//   probe stats                        prints the toy's GDI and USER object counts (as
//                                      the system reports them), its window count and
//                                      its working set in kB
//   probe away FILE [seconds]          takes the foreground with a window of its own,
//                                      waits until the toy's window has given way
//                                      (minimised), holds it until FILE exists, then
//                                      gives the foreground back; fails when the time ran
//                                      out or the foreground was taken meanwhile
//   probe seen "<title>" SECONDS       watches closely until no plimbadoosh.exe runs;
//                                      says whether the window showed
//   probe levels "<title>" N [seconds] prints the background levels of the window's client
//                                      area in the order they show, until it changed N times
//   probe frames N [seconds]           waits until the toy's window (the one in front, or
//                                      else its largest) has shown N new frames
//   probe list                         lists every top-level window, for debugging
//   probe kill                         ends a toy left running by a failed test
// Exit status 0 when the condition was met, 1 when it was not (the time ran out).
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

DWORD Deadline(int argc, char** argv, int index, DWORD fallbackSeconds) {
    DWORD seconds = argc > index ? static_cast<DWORD>(std::atoi(argv[index])) : fallbackSeconds;
    return GetTickCount() + seconds * 1000;
}

bool Expired(DWORD deadline) { return static_cast<LONG>(GetTickCount() - deadline) >= 0; }

// Looks every 20 ms until `met` holds (true) or the deadline has passed (false).
template <typename Met>
bool PollUntil(DWORD deadline, Met met) {
    for (;; Sleep(20)) {
        if (met()) return true;
        if (Expired(deadline)) return false;
    }
}

HWND FindVisibleTitled(const char* title) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, nullptr, title)) != nullptr)
        if (IsWindowVisible(window)) return window;
    return nullptr;
}

int NoWindowTitled(const char* title) {
    std::printf("no visible window titled \"%s\"\n", title);
    return 1;
}

int WaitForWindow(const char* title, DWORD deadline) {
    HWND window = nullptr;
    if (!PollUntil(deadline, [&] { return (window = FindVisibleTitled(title)) != nullptr; })) return NoWindowTitled(title);
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    RECT outer;
    GetWindowRect(window, &outer);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    std::printf("visible=1 client=%ldx%ld origin=%ld,%ld outer=%ld,%ld class=%s\n", client.right, client.bottom,
                origin.x, origin.y, outer.left, outer.top, className);
    return 0;
}

int WaitUntilGone(const char* title, DWORD deadline) {
    if (PollUntil(deadline, [&] { return !FindVisibleTitled(title); })) return 0;
    std::printf("still there: \"%s\"\n", title);
    return 1;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM collected) {
    char className[32] = {};
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") == 0) {
        char text[512] = {};
        GetWindowTextA(child, text, sizeof text);
        if (text[0]) *reinterpret_cast<std::string*>(collected) += text;
    }
    return TRUE;
}

struct VisibleWindows {
    DWORD process;
    HWND except;
    int count;
};

BOOL CALLBACK CountVisibleBeside(HWND window, LPARAM context) {
    auto* visible = reinterpret_cast<VisibleWindows*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == visible->process && window != visible->except && IsWindowVisible(window)) ++visible->count;
    return TRUE;
}

int DismissErrorBox(DWORD deadline) {
    HWND box = nullptr;
    if (!PollUntil(deadline, [&] { return (box = FindWindowA("#32770", "error")) && IsWindowVisible(box); })) {
        std::printf("no error box\n");
        return 1;
    }
    std::string text;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    VisibleWindows beside{0, box, 0};
    GetWindowThreadProcessId(box, &beside.process);
    EnumWindows(CountVisibleBeside, reinterpret_cast<LPARAM>(&beside));
    std::printf("windows=%d text=%s\n", beside.count, text.c_str());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return 0;
}

BOOL CALLBACK PrintWindowLine(HWND window, LPARAM) {
    char title[128] = {}, className[64] = {};
    GetWindowTextA(window, title, sizeof title);
    GetClassNameA(window, className, sizeof className);
    RECT r;
    GetWindowRect(window, &r);
    std::printf("%p visible=%d iconic=%d foreground=%d class=%s title=%s rect=%ld,%ld,%ld,%ld\n",
                static_cast<void*>(window), IsWindowVisible(window), IsIconic(window), GetForegroundWindow() == window,
                className, title, r.left, r.top, r.right, r.bottom);
    return TRUE;
}

// Calls visit(process id) for each running toy (plimbadoosh*.exe) until it returns false.
template <typename Visit>
void ForEachToyProcess(Visit visit) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (_strnicmp(entry.szExeFile, "plimbadoosh", 11) == 0 && !visit(entry.th32ProcessID)) break;
    CloseHandle(snapshot);
}

DWORD FindToyProcess() {
    DWORD found = 0;
    ForEachToyProcess([&](DWORD id) { return found = id, false; });
    return found;
}

struct WindowCount {
    DWORD process;
    int windows;
};

BOOL CALLBACK CountChildren(HWND, LPARAM context) {
    ++reinterpret_cast<WindowCount*>(context)->windows;
    return TRUE;
}

BOOL CALLBACK CountProcessWindows(HWND window, LPARAM context) {
    auto* count = reinterpret_cast<WindowCount*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == count->process) {
        ++count->windows;
        EnumChildWindows(window, CountChildren, context);
    }
    return TRUE;
}

int PrintToyStats() {
    DWORD id = FindToyProcess();
    if (!id) return 1;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process) return 1;
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    BOOL haveMemory = GetProcessMemoryInfo(process, &memory, sizeof memory);
    CloseHandle(process);
    if (!haveMemory) return 1;
    WindowCount count{id, 0};
    EnumWindows(CountProcessWindows, reinterpret_cast<LPARAM>(&count));
    std::printf("gdi=%lu user=%lu windows=%d memory=%lu\n", gdi, user, count.windows,
                static_cast<unsigned long>(memory.WorkingSetSize / 1024));
    return 0;
}

int TakeForegroundAway(const char* backFile, DWORD deadline) {
    HWND toy = GetForegroundWindow();
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "Static", "away", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) return 1;
    SetForegroundWindow(window);
    SetActiveWindow(window);
    bool held = true;  // the foreground stayed ours all the while the toy was away
    auto pumpUntil = [&](DWORD until, auto done) {
        MSG msg;
        while (!Expired(until) && !done()) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            Sleep(10);
        }
    };
    // The full screen gives way by minimising once the toy has seen the switch.
    pumpUntil(GetTickCount() + 30000, [toy] { return toy && IsIconic(toy); });
    bool gaveWay = toy && IsIconic(toy);
    std::printf("%s\n", gaveWay ? "away" : "the toy's window did not give way");
    bool back = false;
    if (gaveWay) {
        pumpUntil(deadline, [&] {
            held = held && GetForegroundWindow() == window;
            return back = GetFileAttributesA(backFile) != INVALID_FILE_ATTRIBUTES;
        });
        if (!back) std::printf("no word to give the foreground back within the time\n");
        if (!held) std::printf("the foreground was taken from us while away\n");
    }
    DestroyWindow(window);
    if (toy) SetForegroundWindow(toy);
    return gaveWay && back && held ? 0 : 1;
}

// The caption sits right above the client area, the close box at its right end,
// inside the frame; the window's own hit test then says whether a box is there.
int PrintCloseBox(const char* title) {
    HWND window = FindVisibleTitled(title);
    if (!window) return NoWindowTitled(title);
    RECT outer;
    GetWindowRect(window, &outer);
    POINT client{0, 0};
    ClientToScreen(window, &client);
    int frame = client.x - outer.left;
    POINT box{outer.right - frame - GetSystemMetrics(SM_CXSIZE) / 2, client.y - GetSystemMetrics(SM_CYCAPTION) / 2};
    DWORD_PTR hit = HTNOWHERE;
    SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(box.x, box.y), SMTO_ABORTIFHUNG, 5000, &hit);
    if (hit != HTCLOSE) {
        std::printf("no close box at %ld,%ld: hit test %lu\n", box.x, box.y, static_cast<unsigned long>(hit));
        return 1;
    }
    std::printf("%ld %ld\n", box.x, box.y);
    return 0;
}

int LockUntilToyGone(const char* path, DWORD deadline) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::printf("locked\n");
    bool toySeen = false, toyGone = false;
    for (; !Expired(deadline) && !toyGone; Sleep(20)) {
        bool toyRuns = FindToyProcess() != 0;
        toyGone = toySeen && !toyRuns;
        toySeen = toySeen || toyRuns;
    }
    CloseHandle(file);
    if (toyGone) return 0;
    std::printf(toySeen ? "the toy still ran when the lock's time was up\n" : "no toy came while locked\n");
    return 1;
}

// A window that lives for a single frame is missed by the 20 ms polls above.
int WatchForWindow(const char* title, DWORD deadline) {
    bool seen = false, toyRuns = true;
    std::printf("watching\n");  // the script may press keys from now on
    for (DWORD lookedForToy = 0; !Expired(deadline); Sleep(1)) {
        if (FindWindowA(nullptr, title)) seen = true;
        if (GetTickCount() - lookedForToy < 100) continue;
        if (!(toyRuns = FindToyProcess() != 0)) break;
        lookedForToy = GetTickCount();
    }
    if (toyRuns) std::printf("the toy still runs; ");
    std::printf("%s \"%s\"\n", seen ? "seen" : "never saw", title);
    return seen && !toyRuns ? 0 : 1;
}

// The colour that most of the window's client area shows, read on the screen
// at nine points a grid apart: a bubble (80 pixels wide at most) covers one
// of them, so five alike are the background. CLR_INVALID when none is.
COLORREF ReadBackground(HDC screen, HWND window) {
    RECT client;
    GetClientRect(window, &client);
    COLORREF colours[9];
    for (int i = 0; i < 9; ++i) {
        POINT point{client.right * (i % 3 + 1) / 4, client.bottom * (i / 3 + 1) / 4};
        ClientToScreen(window, &point);
        colours[i] = GetPixel(screen, point.x, point.y);
        if (colours[i] != CLR_INVALID && std::count(colours, colours + i + 1, colours[i]) >= 5) return colours[i];
    }
    return CLR_INVALID;
}

// Samples far more often than the toy draws, so that each change of the
// background seen is a frame shown (in 16 bits, two frames may look alike).
// Calls shown(colour) for the first colour and each change until it returns
// false; false when the window went or the time ran out first.
template <typename Shown>
bool WatchBackground(HWND window, DWORD deadline, Shown shown) {
    HDC screen = GetDC(nullptr);
    bool watching = true;
    for (COLORREF last = CLR_INVALID; watching && IsWindowVisible(window); Sleep(2)) {
        if (Expired(deadline)) break;
        COLORREF colour = ReadBackground(screen, window);
        if (colour == CLR_INVALID || colour == last) continue;
        watching = shown(colour);
        last = colour;
    }
    ReleaseDC(nullptr, screen);
    return !watching;
}

// The window's background levels of blue, in the order they show.
int PrintBackgroundLevels(const char* title, int changes, DWORD deadline) {
    HWND window = FindVisibleTitled(title);
    if (!window) return NoWindowTitled(title);
    int seen = 0;
    bool done = WatchBackground(window, deadline, [&](COLORREF colour) {
        if (GetBValue(colour) == 255 && GetRValue(colour) == GetGValue(colour))
            std::printf("%s%d", seen++ ? " " : "", GetRValue(colour));
        else
            std::printf("%s(%d,%d,%d)", seen++ ? " " : "", GetRValue(colour), GetGValue(colour), GetBValue(colour));
        return seen <= changes;
    });
    std::printf("%s\n", done ? "" : " (the time ran out)");
    return done ? 0 : 1;
}

// The toy's window in front, or else its largest visible one.
HWND FindToyWindow() {
    auto isToys = [](HWND window) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        bool toys = false;
        ForEachToyProcess([&](DWORD id) { return !(toys = id == process); });
        return toys;
    };
    HWND front = GetForegroundWindow();
    if (front && IsWindowVisible(front) && isToys(front)) return front;
    HWND largest = nullptr;
    LONG largestArea = 0;
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        RECT client;
        if (!IsWindowVisible(window) || !GetClientRect(window, &client) || !isToys(window)) continue;
        if (client.right * client.bottom > largestArea) largest = window, largestArea = client.right * client.bottom;
    }
    return largest;
}

// Waits until the toy's window has shown N new frames.
int WaitForFrames(int frames, DWORD deadline) {
    HWND window = FindToyWindow();
    if (!window) {
        std::printf("no window of the toy shows\n");
        return 1;
    }
    int seen = -1;  // the first colour read is the frame on show already
    if (WatchBackground(window, deadline, [&](COLORREF) { return ++seen < frames; })) return 0;
    std::printf("the toy's window showed %d of %d new frames\n", seen < 0 ? 0 : seen, frames);
    return 1;
}

int KillToy() {
    int killed = 0;
    ForEachToyProcess([&](DWORD id) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
            TerminateProcess(process, 1);
            CloseHandle(process);
            ++killed;
        }
        return true;
    });
    return killed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // Whether the command is `name`, with the `least` words it needs counting the program's own.
    auto command = [&](const char* name, int least) { return argc >= least && std::strcmp(argv[1], name) == 0; };
    if (command("window", 3)) return WaitForWindow(argv[2], Deadline(argc, argv, 3, 10));
    if (command("gone", 3)) return WaitUntilGone(argv[2], Deadline(argc, argv, 3, 10));
    if (command("box", 2)) return DismissErrorBox(Deadline(argc, argv, 2, 10));
    if (command("closebox", 3)) return PrintCloseBox(argv[2]);
    if (command("kill", 2)) return KillToy();
    if (command("frames", 3)) return WaitForFrames(std::atoi(argv[2]), Deadline(argc, argv, 3, 10));
    if (command("levels", 4)) return PrintBackgroundLevels(argv[2], std::atoi(argv[3]), Deadline(argc, argv, 4, 30));
    if (command("stats", 2)) return PrintToyStats();
    if (command("seen", 3)) return WatchForWindow(argv[2], Deadline(argc, argv, 3, 10));
    if (command("list", 2)) return EnumWindows(PrintWindowLine, 0), 0;
    if (command("away", 3)) return TakeForegroundAway(argv[2], Deadline(argc, argv, 3, 30));
    if (command("lock", 4)) return LockUntilToyGone(argv[2], Deadline(argc, argv, 3, 10));
    std::fprintf(stderr, "usage: probe window|gone|seen TITLE [s] | box [s] | closebox TITLE | lock FILE s | away FILE [s]"
                         " | levels TITLE N [s] | frames N [s] | stats | list | kill\n");
    return 2;
}
