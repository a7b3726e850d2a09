// Every test process starts the way the program does: the two private heaps
// exist before any library runs.
#include <gtest/gtest.h>

#include <cstdio>

#include "runtime/core/core.h"

namespace {

class RuntimeHeaps : public ::testing::Environment {
public:
    void SetUp() override {
        ModuleHandle = GetModuleHandleA(nullptr);
        RuntimeHeap = HeapCreate(0, 4000, 0);
        ASSERT_NE(RuntimeHeap, nullptr);
        ASSERT_TRUE(CreateObjectNodeHeap());
    }
};

}  // namespace

// Every case has ended its libraries in its own tear-down; what is left is
// Wine's own end of the process, which under its default renderer (the test
// programs run under Wine's defaults) also unloads OpenGL and LLVM. The Wine
// server kills a process whose Linux side is still there about half a second
// after its last thread ended: on a busy machine a test process that had
// printed its closing count ended with status 137. The program never loads
// that renderer; a test process skips that end and leaves with its result.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new RuntimeHeaps);
    int result = RUN_ALL_TESTS();
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
