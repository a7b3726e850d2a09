// Every test process starts the way the program does: the two private heaps
// exist before any library runs.
#include <gtest/gtest.h>

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

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new RuntimeHeaps);
    return RUN_ALL_TESTS();
}
