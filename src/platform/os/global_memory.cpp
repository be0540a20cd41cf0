#include "platform/os/global_memory.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/os/handles.h"

namespace platform {
namespace {

struct MemoryBlock {
    uint8_t* data = nullptr;
    size_t size = 0;
    uint32_t locks = 0;
    ~MemoryBlock() { ReleasePictureMemory(data); }
};

std::shared_ptr<MemoryBlock> block(HGLOBAL h) {
    return Lookup<MemoryBlock>(h, HandleKind::Memory);
}

}  // namespace

extern "C" {

HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) {
    if (bytes > LUMORA_GLOBAL_LIMIT) return 0;
    auto b = std::make_shared<MemoryBlock>();
    // A zero-byte block is valid in Win32; keep one byte so the lock has an address.
    const size_t n = bytes ? bytes : 1;
    b->data = static_cast<uint8_t*>(AllocatePictureMemory(n, (flags & GMEM_ZEROINIT) != 0 || bytes == 0));
    if (!b->data) return 0;
    b->size = bytes;
    return InsertHandle(HandleKind::Memory, std::move(b));
}

void* GlobalLock(HGLOBAL h) {
    auto b = block(h);
    if (!b) return nullptr;
    ++b->locks;
    return b->data;
}

int GlobalUnlock(HGLOBAL h) {
    auto b = block(h);
    if (!b || b->locks == 0) return 0;
    return --b->locks != 0;
}

HGLOBAL GlobalReAlloc(HGLOBAL h, size_t bytes, uint32_t flags) {
    auto b = block(h);
    if (!b || bytes > LUMORA_GLOBAL_LIMIT) return 0;
    // A locked block may only move when the caller allows it.
    if (b->locks && !(flags & GMEM_MOVEABLE)) return 0;
    const size_t n = bytes ? bytes : 1;
    auto* p = static_cast<uint8_t*>(
        ReallocatePictureMemory(b->data, n, (flags & GMEM_ZEROINIT) != 0));
    if (!p) return 0;
    b->data = p;
    b->size = bytes;
    return h;
}

size_t GlobalSize(HGLOBAL h) {
    auto b = block(h);
    return b ? b->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL h) {
    return RemoveHandle(h, HandleKind::Memory) ? 0 : h;
}

}  // extern "C"

BlockStorage TakeGlobalStorage(HGLOBAL h, size_t* size) {
    auto b = block(h);
    if (!b || !RemoveHandle(h, HandleKind::Memory)) return nullptr;
    if (size) *size = b->size;
    BlockStorage storage(b->data);
    b->data = nullptr;
    return storage;
}
}  // namespace platform
