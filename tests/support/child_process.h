// Running this test program again as a child process, for behaviour that
// only shows at process exit (a crash on the way out, the exit status).
#pragma once

#include <windows.h>

#include <string>

struct ChildRun {
    bool started = false;
    bool finished = false;     // ended within the timeout (else it was killed)
    DWORD exitCode = 0;
    std::string output;        // stdout and stderr together
};

// Runs this .exe with `arguments` (e.g. "--gtest_filter=Suite.Case") in the
// same working directory and environment.
ChildRun RunThisTestProgram(const std::string& arguments, DWORD timeoutMs = 30000);
