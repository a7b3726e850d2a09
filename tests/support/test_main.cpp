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

// Each case ended its libraries in its tear-down. What is left is Wine's own end, which in a case on Wine's
// OpenGL renderer, with the OpenGL and LLVM the toy never loads, outlasted on a busy machine the half second
// after which the Wine server kills a process (137). So a test process leaves with its result.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new RuntimeHeaps);
    int result = RUN_ALL_TESTS();
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
