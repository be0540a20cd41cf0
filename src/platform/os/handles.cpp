#include "platform/os/handles.h"

#include <mutex>
#include <vector>

namespace platform {
namespace {

constexpr uint32_t kIndexBits = 20;
constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr uint32_t kGenerationMask = 0x7FF;  // bits 20..30: handles stay positive as i32

struct Slot {
    std::shared_ptr<void> object;
    HandleKind kind{};
    uint32_t generation = 1;
};

struct Table {
    std::mutex mutex;
    std::vector<Slot> slots = std::vector<Slot>(1);  // slot 0 is never used: handle 0 is none
    std::vector<uint32_t> freeList;
};

Table& table() {
    static Table t;
    return t;
}

Slot* find(Table& t, HANDLE32 handle) {
    const uint32_t index = handle & kIndexMask;
    const uint32_t generation = (handle >> kIndexBits) & kGenerationMask;
    if (handle == 0 || (handle & 0x80000000u) || index == 0 || index >= t.slots.size())
        return nullptr;
    Slot& slot = t.slots[index];
    if (!slot.object || slot.generation != generation) return nullptr;
    return &slot;
}

}  // namespace

HANDLE32 InsertHandle(HandleKind kind, std::shared_ptr<void> object) {
    if (!object) return 0;
    Table& t = table();
    std::lock_guard lock(t.mutex);
    uint32_t index;
    if (!t.freeList.empty()) {
        index = t.freeList.back();
        t.freeList.pop_back();
    } else {
        if (t.slots.size() > kIndexMask) return 0;
        index = static_cast<uint32_t>(t.slots.size());
        t.slots.emplace_back();
    }
    Slot& slot = t.slots[index];
    slot.object = std::move(object);
    slot.kind = kind;
    return index | (slot.generation << kIndexBits);
}

std::shared_ptr<void> LookupHandle(HANDLE32 handle, HandleKind kind) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    Slot* slot = find(t, handle);
    if (!slot || slot->kind != kind) return nullptr;
    return slot->object;
}

HandleKind HandleKindOf(HANDLE32 handle) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    Slot* slot = find(t, handle);
    return slot ? slot->kind : HandleKind{};
}

bool RemoveHandle(HANDLE32 handle, HandleKind kind) {
    std::shared_ptr<void> doomed;  // released outside the lock: destructors may use the table
    Table& t = table();
    {
        std::lock_guard lock(t.mutex);
        Slot* slot = find(t, handle);
        if (!slot || slot->kind != kind) return false;
        doomed = std::move(slot->object);
        slot->generation = (slot->generation + 1) & kGenerationMask;
        if (slot->generation == 0) slot->generation = 1;
        t.freeList.push_back(handle & kIndexMask);
    }
    return true;
}

size_t CountHandles(HandleKind kind) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    size_t n = 0;
    for (const Slot& s : t.slots)
        if (s.object && s.kind == kind) ++n;
    return n;
}

}  // namespace platform
