// Putting a procedure of the test in place of one method of a platform
// interface: to count or record the calls a library makes (they still reach
// the platform), or to act at a chosen moment between two of them.
#pragma once

#include <windows.h>

class MethodHook {
public:
    // `slot` is the method's place in the interface's declaration, IUnknown's
    // three first. The method table is the platform's, shared by every object
    // of the class, so the hook holds for all of them until it goes.
    template <typename Procedure>
    MethodHook(void* object, int slot, Procedure replacement)
        : entry_(*static_cast<void***>(object) + slot), original_(*entry_) {
        Put(reinterpret_cast<void*>(replacement));
    }
    ~MethodHook() { Put(original_); }
    MethodHook(const MethodHook&) = delete;
    MethodHook& operator=(const MethodHook&) = delete;

    // The platform's own method, for the replacement to call through to.
    template <typename Procedure>
    Procedure Original() const {
        return reinterpret_cast<Procedure>(original_);
    }

private:
    void Put(void* procedure) {
        DWORD protection = 0;
        VirtualProtect(entry_, sizeof *entry_, PAGE_READWRITE, &protection);
        *entry_ = procedure;
        VirtualProtect(entry_, sizeof *entry_, protection, &protection);
    }
    void** entry_;
    void* original_;
};
