// The numbered-object table pattern, written once for every library.
#include "core.h"

#include <climits>
#include <cstring>

HANDLE RuntimeHeap = nullptr;
HINSTANCE ModuleHandle = nullptr;
HANDLE ObjectNodeHeap = nullptr;

namespace {

uintptr_t FirstWord(const void* record) {
    uintptr_t word;
    std::memcpy(&word, record, sizeof word);
    return word;
}

bool IsNumber(const ObjectTable& table, ObjectId value) { return value >= 0 && value <= table.count; }

uint8_t* SlotAt(const ObjectTable& table, ObjectId number) {
    return table.slots + static_cast<size_t>(number) * table.recordSize;
}

ObjectNode* NodeOf(const void* record) {
    return reinterpret_cast<ObjectNode*>(const_cast<uint8_t*>(static_cast<const uint8_t*>(record))) - 1;
}

}  // namespace

bool CreateObjectTable(ObjectTable& table, size_t recordSize, const ObjectTableConstants& constants) {
    size_t slotCount = static_cast<size_t>(constants.initialCount) + constants.spareSlots;
    void* slots = HeapAlloc(RuntimeHeap, HEAP_ZERO_MEMORY, slotCount * recordSize);
    if (!slots) return false;
    table.count = constants.initialCount;
    table.slots = static_cast<uint8_t*>(slots);
    table.list = nullptr;
    table.recordSize = recordSize;
    table.constants = constants;
    return true;
}

void* ObjectTableSlot(ObjectTable& table, ObjectId number) {
    if (!table.slots) return nullptr;
    if (number == NEW_LIST_OBJECT) return AllocObjectNode(&table.list, table.recordSize);
    if (number < 0) return nullptr;
    // A live list handle names its own record; taken as a number it would
    // grow the table to the size of an address.
    if (number > table.count && IsListHandle(table, number)) return reinterpret_cast<void*>(number);
    if (number >= table.count) {
        // Growth beyond the 32-bit count would wrap; such a number is refused.
        if (number > INT32_MAX - table.constants.growth) return nullptr;
        int32_t newCount = static_cast<int32_t>(number) + table.constants.growth;
        size_t bytes = (static_cast<size_t>(newCount) + table.constants.spareSlots) * table.recordSize;
        void* grown = HeapReAlloc(RuntimeHeap, HEAP_ZERO_MEMORY, table.slots, bytes);
        if (!grown) return nullptr;
        table.slots = static_cast<uint8_t*>(grown);
        table.count = newCount;
    }
    return SlotAt(table, number);
}

bool IsListHandle(const ObjectTable& table, ObjectId value) {
    for (ObjectNode* node = table.list; node; node = node->next)
        if (ListHandleOf(node + 1) == value) return true;
    return false;
}

ObjectId ListHandleOf(const void* record) { return reinterpret_cast<ObjectId>(record); }

void* LookupObject(const ObjectTable& table, ObjectId value) {
    if (!table.slots) return nullptr;
    void* candidate;
    if (IsNumber(table, value))
        candidate = SlotAt(table, value);
    else if (IsListHandle(table, value))
        candidate = reinterpret_cast<void*>(value);
    else
        return nullptr;
    return FirstWord(candidate) ? candidate : nullptr;
}

void ClearObjectSlot(ObjectTable& table, ObjectId value) {
    if (!table.slots) return;
    if (IsNumber(table, value)) {
        uint8_t* slot = SlotAt(table, value);
        std::memset(slot, 0, table.constants.zeroWholeRecord ? table.recordSize : sizeof(uintptr_t));
    } else if (IsListHandle(table, value)) {
        FreeObjectNode(&table.list, reinterpret_cast<void*>(value));
    }
}

void DestroyObject(ObjectTable& table, ObjectId value, ReleaseObjectProcedure release) {
    void* record = LookupObject(table, value);
    if (!record) return;
    release(value, record);
    ClearObjectSlot(table, value);
}

void* ReplaceObject(ObjectTable& table, ObjectId number, ObjectId* id, ReleaseObjectProcedure release) {
    void* record = ObjectTableSlot(table, number);
    if (!record) return nullptr;
    bool listRecord = number == NEW_LIST_OBJECT || IsListHandle(table, number);
    *id = listRecord ? ListHandleOf(record) : number;
    if (!LookupObject(table, *id)) return record;
    release(*id, record);
    if (listRecord) {
        // Freeing the node would leave the handle naming nothing.
        std::memset(record, 0, table.recordSize);
        return record;
    }
    ClearObjectSlot(table, *id);
    // Releasing may run code that grows the table and so moves its slots.
    return SlotAt(table, *id);
}

uintptr_t CreatedObjectResult(const ObjectTable& table, ObjectId number, ObjectId id) {
    if (number == NEW_LIST_OBJECT) return static_cast<uintptr_t>(id);
    void* record = LookupObject(table, id);
    return record ? FirstWord(record) : 0;
}

void* AllocObjectNode(ObjectNode** list, size_t recordSize) {
    if (!ObjectNodeHeap) return nullptr;
    auto* node = static_cast<ObjectNode*>(HeapAlloc(ObjectNodeHeap, HEAP_ZERO_MEMORY, sizeof(ObjectNode) + recordSize));
    if (!node) return nullptr;
    if (*list) {
        (*list)->previous = node;
        node->next = *list;
    }
    *list = node;
    return node + 1;
}

void FreeObjectNode(ObjectNode** list, void* record) {
    ObjectNode* node = NodeOf(record);
    if (node == *list) {
        // The new head's previous link goes stale; it is never read while it heads the list.
        *list = node->next;
    } else {
        node->previous->next = node->next;
        if (node->next) node->next->previous = node->previous;
    }
    HeapFree(ObjectNodeHeap, 0, node);
}

void VisitAllObjects(ObjectTable& table, void (*visit)(ObjectId)) {
    if (!table.slots) return;
    for (ObjectNode* node = table.list; node;) {
        ObjectNode* next = node->next;  // freeing unlinks the node
        visit(ListHandleOf(node + 1));
        node = next;
    }
    if (table.constants.freeDescending) {
        for (int32_t number = table.count - 1; number >= 0; --number) visit(number);
    } else {
        for (int32_t number = 0; number < table.count; ++number) visit(number);
    }
}

bool CreateObjectNodeHeap() {
    if (!ObjectNodeHeap) ObjectNodeHeap = HeapCreate(0, 1024, 0);
    return ObjectNodeHeap != nullptr;
}

void DestroyObjectNodeHeap() {
    if (ObjectNodeHeap) HeapDestroy(ObjectNodeHeap);
    ObjectNodeHeap = nullptr;
}
