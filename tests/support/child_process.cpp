#include "support/child_process.h"

ChildRun RunThisTestProgram(const std::string& arguments, DWORD timeoutMs) {
    ChildRun run;
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return run;

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::string commandLine = '"' + std::string(self, length) + "\" " + arguments;  // CreateProcessA may write to it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    // The child goes with this process even when a test runner kills it on a
    // timeout: a child left running keeps its windows and display mode, and
    // the tests after it would see them.
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    run.started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                                 &startup, &process) != 0;
    if (run.started) {
        if (job) AssignProcessToJobObject(job, process.hProcess);
        ResumeThread(process.hThread);
    }
    // Our copy of the write end must go, or the read below never sees the end.
    CloseHandle(writeEnd);
    if (!run.started) {
        CloseHandle(readEnd);
        if (job) CloseHandle(job);
        return run;
    }

    DWORD start = GetTickCount();
    char chunk[4096];
    bool exited = false;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // child gone, pipe drained
        if (available > 0) {
            DWORD got = 0;
            if (!ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) || got == 0) break;
            run.output.append(chunk, got);
            continue;
        }
        if (exited || GetTickCount() - start >= timeoutMs) break;
        // One more pass after the exit picks up what was written last.
        exited = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
    }
    run.finished = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    if (!run.finished) {
        TerminateProcess(process.hProcess, 255);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    if (job) CloseHandle(job);
    return run;
}
