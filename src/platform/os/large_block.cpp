#include "platform/os/large_block.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Keeps the caller's bytes 64-byte aligned behind the record.
constexpr size_t kHeader = 64;

struct BlockRecord {
    size_t bytes;   // what the caller asked for
    size_t mapped;  // length of the mapping; 0 for a heap block
};

BlockRecord* RecordOf(void* block) {
    return reinterpret_cast<BlockRecord*>(static_cast<uint8_t*>(block) - kHeader);
}

void* FromHeap(size_t bytes, bool zeroed) {
    if (bytes > SIZE_MAX - kHeader) return nullptr;
    void* base = zeroed ? std::calloc(bytes + kHeader, 1) : std::malloc(bytes + kHeader);
    if (!base) return nullptr;
    *static_cast<BlockRecord*>(base) = {bytes, 0};
    return static_cast<uint8_t*>(base) + kHeader;
}

// A mapping whose start lies on a huge-page boundary: map one huge page more than needed and
// give back the unaligned head and the tail. Anonymous mappings are zero-filled already.
void* Mapped(size_t bytes) {
    if (bytes > SIZE_MAX - kHeader - 2 * kHugePage) return nullptr;
    const size_t length = (bytes + kHeader + kHugePage - 1) & ~(kHugePage - 1);
    const size_t reserve = length + kHugePage;
    void* raw =
        ::mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    const size_t tail = start + reserve - (aligned + length);
    if (tail) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    // Refused where the kernel has no transparent huge pages; the mapping works all the same.
    ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    *reinterpret_cast<BlockRecord*>(aligned) = {bytes, length};
    return reinterpret_cast<uint8_t*>(aligned) + kHeader;
}

}  // namespace

// Under AddressSanitizer every block comes from the heap, where overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
#define LUMORA_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMORA_HEAP_ONLY 1
#endif
#endif

#ifdef LUMORA_HEAP_ONLY
constexpr bool kHeapOnly = true;
#else
constexpr bool kHeapOnly = false;
#endif

void* AllocatePictureMemory(size_t bytes, bool zeroed) {
    return bytes >= kLargeBlockThreshold && !kHeapOnly ? Mapped(bytes) : FromHeap(bytes, zeroed);
}

void* ReallocatePictureMemory(void* block, size_t bytes, bool zeroed) {
    if (!block) return AllocatePictureMemory(bytes, zeroed);
    // Sizes whose header would wrap around are refused before any arithmetic with them.
    if (bytes > SIZE_MAX - kHeader - 2 * kHugePage) return nullptr;
    BlockRecord* record = RecordOf(block);
    const size_t old = record->bytes;
    if (record->mapped == 0 && (bytes < kLargeBlockThreshold || kHeapOnly)) {
        auto* base = static_cast<uint8_t*>(std::realloc(record, bytes + kHeader));
        if (!base) return nullptr;
        reinterpret_cast<BlockRecord*>(base)->bytes = bytes;
        if (zeroed && bytes > old) std::memset(base + kHeader + old, 0, bytes - old);
        return base + kHeader;
    }
    if (record->mapped && bytes + kHeader <= record->mapped) {
        // Shrinking, or growing within the mapping: what lies past the old end is still zero
        // unless it was written, so clear it when asked.
        if (zeroed && bytes > old) std::memset(static_cast<uint8_t*>(block) + old, 0, bytes - old);
        record->bytes = bytes;
        return block;
    }
    void* moved = AllocatePictureMemory(bytes, zeroed);
    if (!moved) return nullptr;
    std::memcpy(moved, block, old < bytes ? old : bytes);
    ReleasePictureMemory(block);
    return moved;
}

void ReleasePictureMemory(void* block) {
    if (!block) return;
    BlockRecord* record = RecordOf(block);
    if (record->mapped)
        ::munmap(record, record->mapped);
    else
        std::free(record);
}

}  // namespace platform
