// The temporary string buffer and heap string variables.
#include "core.h"

#include <cstring>

StringBuffer TempStrings;

bool InitStringBuffer() {
    if (!TempStrings.start) {
        TempStrings.start = static_cast<char*>(HeapAlloc(RuntimeHeap, HEAP_ZERO_MEMORY, STRING_BUFFER_SIZE));
        if (!TempStrings.start) return false;
    }
    TempStrings.cursor = TempStrings.start;
    return true;
}

bool AppendTempString(const char* text) {
    if (!TempStrings.start) return false;
    size_t room = STRING_BUFFER_SIZE - static_cast<size_t>(TempStrings.cursor - TempStrings.start);
    if (!text) {
        // A null piece writes a zero word; keep it inside the buffer.
        if (room < sizeof(uint32_t)) return false;
        std::memset(TempStrings.cursor, 0, sizeof(uint32_t));
        return true;
    }
    size_t length = std::strlen(text);
    if (length + 1 > room) return false;  // never run past the buffer's end
    std::memcpy(TempStrings.cursor, text, length + 1);
    TempStrings.cursor += length;
    return true;
}

bool CommitTempString(char** variable) {
    if (!TempStrings.start) return false;
    size_t length = static_cast<size_t>(TempStrings.cursor - TempStrings.start);
    char* copy = static_cast<char*>(HeapAlloc(RuntimeHeap, 0, length + 1));
    if (!copy) return false;
    std::memcpy(copy, TempStrings.start, length);
    copy[length] = 0;
    FreeString(variable);
    *variable = copy;
    TempStrings.cursor = TempStrings.start;
    *TempStrings.cursor = 0;
    return true;
}

bool AssignString(char** variable, const char* text) {
    char* copy = nullptr;
    if (text) {
        // Copied before the old text goes: the new one may be the old one.
        size_t length = std::strlen(text);
        copy = static_cast<char*>(HeapAlloc(RuntimeHeap, 0, length + 2));
        if (!copy) return false;
        std::memcpy(copy, text, length + 1);
    }
    FreeString(variable);
    *variable = copy;
    return true;
}

void FreeString(char** variable) {
    if (*variable) HeapFree(RuntimeHeap, 0, *variable);
    *variable = nullptr;
}

namespace {

// Unsigned byte-wise order; a null text is the empty string.
int CompareTexts(const char* a, const char* b) {
    const auto* p = reinterpret_cast<const unsigned char*>(a ? a : "");
    const auto* q = reinterpret_cast<const unsigned char*>(b ? b : "");
    while (*p && *p == *q) ++p, ++q;
    return (*p > *q) - (*p < *q);
}

}  // namespace

int StringEquals(const char* a, const char* b) { return CompareTexts(a, b) == 0; }
int StringGreater(const char* a, const char* b) { return CompareTexts(a, b) > 0; }
int StringLess(const char* a, const char* b) { return CompareTexts(a, b) < 0; }
