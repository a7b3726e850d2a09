// Runtime core: the two private heaps, numbered-object tables, the string
// buffer, dynamic arrays, the random generator, rounding, colours and delays.
// Every other runtime library stands on these.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Process-wide values that the program frame fills in before any library
// starts (the frame zeroes them together with its own globals first).
extern HANDLE RuntimeHeap;      // private heap of every library and array
extern HINSTANCE ModuleHandle;  // the executable's module
extern HANDLE ObjectNodeHeap;   // list nodes of objects created with number -1

// ---------------------------------------------------------------------------
// Object tables.
//
// An ObjectId is either a small number chosen by the program (0 upward), -1
// to ask for a list object, or the handle of a list object, which is the
// address of its record. It is pointer-sized so that a handle fits in 64-bit
// builds too; numbers and handles are told apart by the table's count and by
// the list itself.
using ObjectId = intptr_t;
constexpr ObjectId NEW_LIST_OBJECT = -1;

struct ObjectTableConstants {
    int32_t initialCount;  // count at creation: slots 0..count exist
    int32_t spareSlots;    // slots allocated = count + spareSlots
    int32_t growth;        // number >= count grows count to number + growth
    bool freeDescending;   // free-all walks numbers from count-1 down to 0
    bool zeroWholeRecord;  // ClearObjectSlot zeroes the record, not just word 1
};

constexpr ObjectTableConstants WINDOW_TABLE{10, 2, 30, true, false};
constexpr ObjectTableConstants SCREEN_OBJECT_TABLE{50, 1, 10, false, false};
constexpr ObjectTableConstants SOUND_TABLE{50, 1, 10, false, false};
constexpr ObjectTableConstants MEDIA_CLIP_TABLE{10, 1, 10, false, true};
constexpr ObjectTableConstants IMAGE_TABLE{10, 1, 10, false, false};

// Two link words ahead of every list object's record.
struct ObjectNode {
    ObjectNode* next;
    ObjectNode* previous;
};

// A table of records whose first pointer-sized word is the object's handle;
// a record with first word 0 is free. Written once here and bound to each
// library through ObjectTableOf<Record> below.
struct ObjectTable {
    int32_t count = 0;            // slots 0..count exist (plus spares)
    uint8_t* slots = nullptr;     // RuntimeHeap block, zero-filled
    ObjectNode* list = nullptr;   // newest list object first
    size_t recordSize = 0;
    ObjectTableConstants constants{};
};

bool CreateObjectTable(ObjectTable& table, size_t recordSize, const ObjectTableConstants& constants);
void* ObjectTableSlot(ObjectTable& table, ObjectId number);      // grows; -1 gives a new list record
void* LookupObject(const ObjectTable& table, ObjectId value);    // record in use, or null
void ClearObjectSlot(ObjectTable& table, ObjectId value);        // frees a number or a list object

// Each library gives back what one of its objects holds (a bitmap, a window,
// a buffer, a graph) in a release routine; the record itself is the table's.
using ReleaseObjectProcedure = void (*)(ObjectId value, void* record);
// Frees the object that value names, if any: release, then ClearObjectSlot.
void DestroyObject(ObjectTable& table, ObjectId value, ReleaseObjectProcedure release);
// The record to fill when an object is created under number, or null when the
// number is refused. *id becomes the value that names the object from now on:
// the number, or the list handle for -1 and for a live list handle. An object
// already there is released first and its record emptied; a list record stays
// linked, so its handle names the new object. A creation that fails after
// this gives the record back with ClearObjectSlot(*id).
void* ReplaceObject(ObjectTable& table, ObjectId number, ObjectId* id, ReleaseObjectProcedure release);
// What a create operation gives back once the record is filled: the handle of
// a new list object (number -1), otherwise the object's own handle, the
// record's first word.
uintptr_t CreatedObjectResult(const ObjectTable& table, ObjectId number, ObjectId id);
bool IsListHandle(const ObjectTable& table, ObjectId value);     // a live list object of this table
ObjectId ListHandleOf(const void* record);                       // the handle of a list record
void* AllocObjectNode(ObjectNode** list, size_t recordSize);     // zeroed record linked at the head
void FreeObjectNode(ObjectNode** list, void* record);            // unlink and free
// Calls visit for the list objects (newest first, each successor read before
// the call, so visit may free the object), then for numbers 0..count-1 (or
// down from count-1 for descending tables): the order of every library's end.
void VisitAllObjects(ObjectTable& table, void (*visit)(ObjectId));
bool CreateObjectNodeHeap();
void DestroyObjectNodeHeap();

// The table bound to one library's record type.
template <typename Record>
struct ObjectTableOf {
    static_assert(sizeof(Record) >= sizeof(void*), "a record starts with its handle");
    ObjectTable table;

    bool Create(const ObjectTableConstants& constants) { return CreateObjectTable(table, sizeof(Record), constants); }
    Record* Slot(ObjectId number) { return static_cast<Record*>(ObjectTableSlot(table, number)); }
    Record* Replace(ObjectId number, ObjectId* id, ReleaseObjectProcedure release) {
        return static_cast<Record*>(ReplaceObject(table, number, id, release));
    }
    uintptr_t Created(ObjectId number, ObjectId id) const { return CreatedObjectResult(table, number, id); }
    Record* Lookup(ObjectId value) const { return static_cast<Record*>(LookupObject(table, value)); }
    void Clear(ObjectId value) { ClearObjectSlot(table, value); }
    void Destroy(ObjectId value, ReleaseObjectProcedure release) { DestroyObject(table, value, release); }
    void FreeAll(void (*freeObject)(ObjectId)) { VisitAllObjects(table, freeObject); }
    void ForEach(void (*visit)(ObjectId)) { VisitAllObjects(table, visit); }
    bool Exists() const { return table.slots != nullptr; }
    int32_t Count() const { return table.count; }
};

// ---------------------------------------------------------------------------
// String buffer and string variables (a variable holds a RuntimeHeap text or
// null for the empty string).
constexpr size_t STRING_BUFFER_SIZE = 64000;

struct StringBuffer {
    char* start = nullptr;   // 64000 zero-filled bytes in RuntimeHeap
    char* cursor = nullptr;  // where the next piece of the temporary text goes
};
extern StringBuffer TempStrings;

bool InitStringBuffer();
bool AppendTempString(const char* text);  // 0 when the piece would not fit
bool CommitTempString(char** variable);
bool AssignString(char** variable, const char* text);
void FreeString(char** variable);
int StringEquals(const char* a, const char* b);
int StringGreater(const char* a, const char* b);
int StringLess(const char* a, const char* b);

// ---------------------------------------------------------------------------
// Random numbers (RANROT-W), rounding, colours, delays.
struct RandomPair {
    uint32_t y;  // low word
    uint32_t z;  // high word
};

void SeedRandom(uint32_t seed);
void AutoSeedRandom();
RandomPair NextRandomPair();
int32_t RandomInt(int32_t max);  // 0..max inclusive; max < 0 gives INT32_MIN

float RoundReal(float value, int32_t mode);  // mode 1 rounds up, others down
int32_t TruncReal(double value);             // toward zero; NaN/out of range give INT32_MIN
uint32_t MakeRGB(int32_t red, int32_t green, int32_t blue);
void WaitMs(uint32_t milliseconds);

// ---------------------------------------------------------------------------
// Dynamic arrays: five 32-bit words directly ahead of the first element.
struct ArrayHeader {
    uint32_t elementSize;
    uint32_t textFieldDescriptor;  // 0 when elements hold no texts
    uint32_t variableAddress;      // low 32 bits of the variable's address in 64-bit builds
    uint32_t upperBound;           // elements 0..upperBound
    uint32_t elementTypeCode;
};
static_assert(sizeof(ArrayHeader) == 20, "the header is five words");

void AllocArray(int32_t upperBound, int32_t elementSize, uint32_t textFieldDescriptor, void** variable,
                uint32_t elementTypeCode);
void FreeArray(void* elements);
const ArrayHeader* ArrayHeaderOf(const void* elements);
