// Process entry: the program takes no arguments and never returns here.
#include "app/program.h"

int main() {
    HINSTANCE module = GetModuleHandleA(nullptr);
    ProgramMain(module, nullptr, GetCommandLineA(), 10);
}
