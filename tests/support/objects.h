// Seeing what the numbered-object tables keep, from outside the libraries.
#pragma once

#include "runtime/core/core.h"

// Blocks in use in ObjectNodeHeap: one per list object still allocated.
inline int CountObjectNodes() {
    int count = 0;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(ObjectNodeHeap, &entry)) count += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    return count;
}
