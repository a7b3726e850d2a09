// Rounding, colour composition, delays and dynamic arrays.
#include "core.h"

#include <climits>
#include <cmath>
#include <cstring>

float RoundReal(float value, int32_t mode) {
    double wide = value;
    return static_cast<float>(mode == 1 ? std::ceil(wide) : std::floor(wide));
}

int32_t TruncReal(double value) {
    // The processor's own truncating conversion yields 0x80000000 for values it
    // cannot represent; C++ leaves them undefined, so give the same answer here.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

uint32_t MakeRGB(int32_t red, int32_t green, int32_t blue) {
    return static_cast<uint32_t>(red) + (static_cast<uint32_t>(green) << 8) + (static_cast<uint32_t>(blue) << 16);
}

void WaitMs(uint32_t milliseconds) { Sleep(milliseconds); }

void AllocArray(int32_t upperBound, int32_t elementSize, uint32_t textFieldDescriptor, void** variable,
                uint32_t elementTypeCode) {
    *variable = nullptr;
    // Upper bound -1 is an empty array: the header and no elements.
    if (upperBound < -1 || elementSize < 0) return;
    uint64_t bytes = static_cast<uint64_t>(elementSize) * (static_cast<uint64_t>(upperBound) + 1) + sizeof(ArrayHeader);
    if (bytes > static_cast<uint64_t>(INT32_MAX)) return;
    auto* header = static_cast<ArrayHeader*>(HeapAlloc(RuntimeHeap, HEAP_ZERO_MEMORY, static_cast<size_t>(bytes)));
    if (!header) return;
    header->elementSize = static_cast<uint32_t>(elementSize);
    header->textFieldDescriptor = textFieldDescriptor;
    header->variableAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(variable));
    header->upperBound = static_cast<uint32_t>(upperBound);
    header->elementTypeCode = elementTypeCode;
    *variable = header + 1;
}

const ArrayHeader* ArrayHeaderOf(const void* elements) { return static_cast<const ArrayHeader*>(elements) - 1; }

void FreeArray(void* elements) {
    if (elements) HeapFree(RuntimeHeap, 0, const_cast<ArrayHeader*>(ArrayHeaderOf(elements)));
}
