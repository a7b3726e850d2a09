// Putting a procedure of the test in place of one entry of a table of
// procedures - a method of a platform interface, or an import of this
// program - to count or record the calls (they still reach the platform), or
// to act at a chosen moment between two of them.
#pragma once

#include <windows.h>

#include <cstring>

class MethodHook {
public:
    // `slot` is the method's place in the interface's declaration, IUnknown's
    // three first. The method table is the platform's, shared by every object
    // of the class, so the hook holds for all of them until it goes.
    template <typename Procedure>
    MethodHook(void* object, int slot, Procedure replacement)
        : MethodHook(*static_cast<void***>(object) + slot, replacement) {}
    // Any entry, such as an ImportSlot; a null entry hooks nothing.
    template <typename Procedure>
    MethodHook(void** entry, Procedure replacement) : entry_(entry), original_(entry ? *entry : nullptr) {
        Put(reinterpret_cast<void*>(replacement));
    }
    ~MethodHook() { Put(original_); }
    MethodHook(const MethodHook&) = delete;
    MethodHook& operator=(const MethodHook&) = delete;

    bool Works() const { return entry_ != nullptr; }
    // The platform's own method, for the replacement to call through to.
    template <typename Procedure>
    Procedure Original() const {
        return reinterpret_cast<Procedure>(original_);
    }

private:
    void Put(void* procedure) {
        if (!entry_) return;
        DWORD protection = 0;
        VirtualProtect(entry_, sizeof *entry_, PAGE_READWRITE, &protection);
        *entry_ = procedure;
        VirtualProtect(entry_, sizeof *entry_, protection, &protection);
    }
    void** entry_;
    void* original_;
};

// The entry of this program's import table through which it calls `name` of
// `dll` (e.g. "KERNEL32.dll"), or null.
inline void** ImportSlot(const char* dll, const char* name) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); module->Name; ++module) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + module->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots)
            if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
                std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name, name) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
    }
    return nullptr;
}
