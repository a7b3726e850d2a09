#include "support/key_injection.h"

#include <windows.h>

#include <cstdio>

#include "support/testbed.h"

namespace {

std::string KeyServerFolder() { return WindowsPathFromEnvironment("PLIMBA_KEY_SERVER"); }

}  // namespace

bool CanInjectKeys() {
    std::string folder = KeyServerFolder();
    return !folder.empty() && GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool InjectKeys(const std::string& xdotoolArguments) {
    static int requestNumber = 0;
    std::string folder = KeyServerFolder();
    if (folder.empty()) return false;
    std::string number = std::to_string(GetCurrentProcessId()) + "." + std::to_string(++requestNumber);
    std::string request = folder + "\\request-" + number;
    std::string done = folder + "\\done-" + number;

    // Written under another name and renamed, so the server never reads half a request.
    std::string partial = request + ".tmp";
    FILE* file = fopen(partial.c_str(), "wb");
    if (!file) return false;
    fputs(xdotoolArguments.c_str(), file);
    fclose(file);
    if (!MoveFileA(partial.c_str(), request.c_str())) return false;

    if (!PumpMessagesUntil([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }))
        return false;
    int status = -1;
    file = fopen(done.c_str(), "rb");
    if (file) {
        if (fscanf(file, "%d", &status) != 1) status = -1;
        fclose(file);
    }
    DeleteFileA(done.c_str());
    return status == 0;
}
