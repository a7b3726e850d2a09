#include "support/testbed.h"

#include <gtest/gtest.h>

#include "runtime/core/core.h"

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        FlushMessages();
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void FlushMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string BuildFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    folder.resize(slash == std::string::npos ? 0 : slash);
    // Test programs live in build/tests; the sounds beside plimbadoosh.exe one level up.
    size_t tests = folder.rfind("\\tests");
    if (tests != std::string::npos && tests + 6 == folder.size()) folder.resize(tests);
    return folder;
}

std::string CaptureFilePath() { return WindowsPathFromEnvironment("PLIMBA_CAPTURE"); }

std::string WindowsPathFromEnvironment(const char* variable) {
    char unixPath[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(variable, unixPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}
