// Seeing what the runtime's private heaps and numbered-object tables keep,
// from outside the libraries.
#pragma once

#include "runtime/core/core.h"

struct HeapUse {
    int blocks = 0;
    long long bytes = 0;
};

inline HeapUse HeapInUse(HANDLE heap) {
    HeapUse use;
    if (!heap) return use;
    PROCESS_HEAP_ENTRY entry{};
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++use.blocks, use.bytes += entry.cbData;
    HeapUnlock(heap);
    return use;
}

// Blocks in use in ObjectNodeHeap: one per list object still allocated.
inline int CountObjectNodes() { return HeapInUse(ObjectNodeHeap).blocks; }
