// Times the toy's own frame step with the real libraries: the same start-up,
// scene set-up and RunFrame as plimbadoosh.exe, with clocks read between
// frames instead of inside them. Prints one table and ends like the toy.
//   frame_bench [frames per mode]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/program.h"
#include "runtime/drawing/drawing.h"
#include "runtime/screen/screen.h"

namespace {

double Now() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// 100-nanosecond ticks of a FILETIME.
ULONGLONG Ticks(FILETIME time) { return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return static_cast<double>(Ticks(kernel) + Ticks(user)) / 1e7;
}

double MainThreadCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return static_cast<double>(Ticks(kernel) + Ticks(user)) / 1e7;
}

double SecondsSinceProcessStart() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    return static_cast<double>(Ticks(now) - Ticks(created)) / 1e7;
}

double ResidentMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

// A DIB section of the given size and depth (16 bits: 5-6-5) in a memory DC.
HDC SectionDC(int width, int height, int bits) {
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info{{sizeof(BITMAPINFOHEADER), width, -height, 1, static_cast<WORD>(bits),
            static_cast<DWORD>(bits == 16 ? BI_BITFIELDS : BI_RGB), 0, 0, 0, 0, 0},
           {0xF800, 0x07E0, 0x001F}};
    void* pixels = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0));
    return dc;
}

struct ModeResult {
    const char* name;
    double floorMs;
    double medianMs;
    double p95Ms;
    double cpuMsPerFrame;
    double mainThreadCpuMsPerFrame;
    double residentMb;
};

// Milliseconds one call of `step` takes on average over `count` calls, each
// after the frame loop's own 50 ms wait, so that pacing sees the gap it
// sees in the loop.
template <typename Step>
double AverageMs(int count, Step step) {
    double total = 0.0;
    for (int i = 0; i < count; ++i) {
        Sleep(50);
        double start = Now();
        step();
        total += Now() - start;
    }
    return total / count * 1000.0;
}

// Marks where a measured stretch of frames starts and ends, so that a script
// watching the process from outside can read its threads' CPU at those points.
void Mark(const char* what, const char* mode) {
    std::printf("@ %s %s\n", what, mode);
    std::fflush(stdout);
}

ModeResult MeasureMode(const char* name, double floorMs, int frames) {
    Mark("start", name);
    std::vector<double> periods;
    double cpuStart = CpuSeconds();
    double mainStart = MainThreadCpuSeconds();
    double previous = Now();
    for (int i = 0; i < frames; ++i) {
        RunFrame();
        double now = Now();
        periods.push_back((now - previous) * 1000.0);
        previous = now;
    }
    double cpu = (CpuSeconds() - cpuStart) * 1000.0 / frames;
    double mainCpu = (MainThreadCpuSeconds() - mainStart) * 1000.0 / frames;
    Mark("end", name);
    std::sort(periods.begin(), periods.end());
    return {name, floorMs, periods[periods.size() / 2], periods[periods.size() * 95 / 100], cpu, mainCpu,
            ResidentMegabytes()};
}

}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::max(20, std::atoi(argv[1])) : 1000;
    StartProgram(GetModuleHandleA(nullptr));
    SetUpScene();  // ends in full screen, as the toy does
    RunFrame();    // the first frame reaches the display at the next present
    PresentFrame();
    double firstFrame = SecondsSinceProcessStart();

    ModeResult full = MeasureMode("full screen", 50.0, frames);
    // Where a full-screen frame's time goes beyond its 50 ms wait: the copy of
    // the scene stretched onto the back buffer, and the flip.
    double stretchMs = AverageMs(50, [] {
        BeginDrawing(DisplayDrawTarget());
        BlitImage(SceneState.sceneImageHandle, 0, 0, FULL_SCREEN_WIDTH, FULL_SCREEN_HEIGHT);
        EndDrawing();
    });
    // The two plain copies around the library's own filter: the scene read
    // into 32-bit pixels, and a screen-sized 16-bit picture onto the back buffer.
    HDC scene = CreateCompatibleDC(nullptr);
    HGDIOBJ sceneBefore = SelectObject(scene, reinterpret_cast<HGDIOBJ>(SceneState.sceneImageHandle));
    HDC pixels = SectionDC(SCENE_WIDTH, SCENE_HEIGHT, 32), picture = SectionDC(FULL_SCREEN_WIDTH, FULL_SCREEN_HEIGHT, 16);
    double readMs = AverageMs(50, [&] {
        BitBlt(pixels, 0, 0, SCENE_WIDTH, SCENE_HEIGHT, scene, 0, 0, SRCCOPY);
        GdiFlush();
    });
    SelectObject(scene, sceneBefore);
    double handOverMs = AverageMs(50, [&] {
        BitBlt(BeginDrawing(DisplayDrawTarget()), 0, 0, FULL_SCREEN_WIDTH, FULL_SCREEN_HEIGHT, picture, 0, 0, SRCCOPY);
        EndDrawing();
    });
    double flipMs = AverageMs(50, [] { PresentFrame(); });
    ToggleDisplayMode();
    ModeResult window = MeasureMode("window mode", 60.0, frames);
    double copyMs = AverageMs(50, [] {
        BeginDrawing(DisplayDrawTarget());
        BlitImageUnscaled(SceneState.sceneImageHandle, 0, 0);
        EndDrawing();
    });
    double presentMs = AverageMs(50, [] { PresentFrame(); });

    std::printf("| mode | frames | floor ms | median ms | p95 ms | median vs floor | CPU ms/frame (process) | CPU ms/frame "
                "(frame loop thread) | resident MB |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (const ModeResult& r : {full, window})
        std::printf("| %s | %d | %.0f | %.2f | %.2f | %+.1f%% | %.2f | %.2f | %.1f |\n", r.name, frames, r.floorMs,
                    r.medianMs, r.p95Ms, (r.medianMs / r.floorMs - 1.0) * 100.0, r.cpuMsPerFrame,
                    r.mainThreadCpuMsPerFrame, r.residentMb);
    std::printf("\nfirst frame on screen: %.3f s after process start\n", firstFrame);
    std::printf("full screen: stretched copy 600x450 -> 1024x768 %.2f ms, present (flip) %.2f ms\n", stretchMs, flipMs);
    std::printf("  of the copy: scene read into 32-bit pixels %.2f ms, 1024x768 16-bit picture onto the back buffer "
                "%.2f ms, the filter itself about %.2f ms\n",
                readMs, handOverMs, stretchMs - readMs - handOverMs);
    std::printf("window mode: unscaled copy %.2f ms, present (pacing, scan-line wait, blit) %.2f ms\n", copyMs,
                presentMs);
    std::fflush(stdout);
    ExitProgram();
}
