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
#include "runtime/screen/screen.h"

namespace {

double Seconds(LARGE_INTEGER counter) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return Seconds(counter);
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

double SecondsSinceProcessStart() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    auto value = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(value(now) - value(created)) / 1e7;
}

double ResidentMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

struct ModeResult {
    const char* name;
    double floorMs;
    double medianMs;
    double p95Ms;
    double cpuMsPerFrame;
    double residentMb;
};

ModeResult MeasureMode(const char* name, double floorMs, int frames) {
    std::vector<double> periods;
    double cpuStart = CpuSeconds();
    double previous = Now();
    for (int i = 0; i < frames; ++i) {
        RunFrame();
        double now = Now();
        periods.push_back((now - previous) * 1000.0);
        previous = now;
    }
    double cpu = (CpuSeconds() - cpuStart) * 1000.0 / frames;
    std::sort(periods.begin(), periods.end());
    return {name, floorMs, periods[periods.size() / 2], periods[periods.size() * 95 / 100], cpu, ResidentMegabytes()};
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
    ToggleDisplayMode();
    ModeResult window = MeasureMode("window mode", 60.0, frames);

    std::printf("| mode | frames | floor ms | median ms | p95 ms | median vs floor | CPU ms/frame | resident MB |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const ModeResult& r : {full, window})
        std::printf("| %s | %d | %.0f | %.2f | %.2f | %+.1f%% | %.3f | %.1f |\n", r.name, frames, r.floorMs, r.medianMs,
                    r.p95Ms, (r.medianMs / r.floorMs - 1.0) * 100.0, r.cpuMsPerFrame, r.residentMb);
    std::printf("\nfirst frame on screen: %.3f s after process start\n", firstFrame);
    std::fflush(stdout);
    ExitProgram();
}
