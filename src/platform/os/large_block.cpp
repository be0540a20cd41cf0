#include "platform/os/large_block.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Keeps the caller's bytes 64-byte aligned behind the record.
constexpr size_t kHeader = 64;
// Beyond this a block's size, rounded up with its record to whole huge pages, would wrap around.
constexpr size_t kLargestBlock = SIZE_MAX - kHeader - 2 * kHugePage;

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
BlockRecord* NewMapping(size_t length) {
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
    return reinterpret_cast<BlockRecord*>(aligned);
}

// Released mappings kept for the next picture. Mapping a fresh block costs a fault and a cleared
// huge page per 2 MiB, and giving it back costs as much again; a viewer going from one picture to
// the next of the same size pays neither. What is kept is bounded, so a host that showed one big
// picture does not hold its memory for long.
class KeptMappings {
  public:
    // The smallest kept mapping of at least `length` bytes, cut down to `length`; null if none.
    BlockRecord* take(size_t length) {
        std::lock_guard lock(mutex_);
        int best = -1;
        for (int i = 0; i < count_; ++i)
            if (kept_[i]->mapped >= length && (best < 0 || kept_[i]->mapped < kept_[best]->mapped))
                best = i;
        if (best < 0) return nullptr;
        BlockRecord* record = kept_[best];
        kept_[best] = kept_[--count_];
        bytes_ -= record->mapped;
        if (record->mapped > length)
            ::munmap(reinterpret_cast<uint8_t*>(record) + length, record->mapped - length);
        return record;
    }

    // Keeps `record`'s mapping, giving back the oldest ones over the bounds.
    void keep(BlockRecord* record) {
        if (record->mapped > kMaxBytes) {
            ::munmap(record, record->mapped);
            return;
        }
        std::lock_guard lock(mutex_);
        while (count_ > 0 && (count_ == kMaxCount || bytes_ + record->mapped > kMaxBytes)) {
            bytes_ -= kept_[0]->mapped;
            ::munmap(kept_[0], kept_[0]->mapped);
            for (int i = 1; i < count_; ++i)
                kept_[i - 1] = kept_[i];
            --count_;
        }
        kept_[count_++] = record;
        bytes_ += record->mapped;
    }

  private:
    static constexpr int kMaxCount = 2;
    static constexpr size_t kMaxBytes = size_t{128} << 20;
    std::mutex mutex_;
    BlockRecord* kept_[kMaxCount] = {};
    int count_ = 0;
    size_t bytes_ = 0;
};

KeptMappings& Kept() {
    static KeptMappings* kept = new KeptMappings;  // outlives every static picture
    return *kept;
}

void* Mapped(size_t bytes, bool zeroed) {
    if (bytes > kLargestBlock) return nullptr;
    const size_t length = (bytes + kHeader + kHugePage - 1) & ~(kHugePage - 1);
    BlockRecord* record = Kept().take(length);
    if (record) {
        if (zeroed) std::memset(reinterpret_cast<uint8_t*>(record) + kHeader, 0, bytes);
    } else if (!(record = NewMapping(length))) {
        return nullptr;
    }
    *record = {bytes, length};
    return reinterpret_cast<uint8_t*>(record) + kHeader;
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
    return bytes >= kLargeBlockThreshold && !kHeapOnly ? Mapped(bytes, zeroed)
                                                       : FromHeap(bytes, zeroed);
}

void* ReallocatePictureMemory(void* block, size_t bytes, bool zeroed) {
    if (!block) return AllocatePictureMemory(bytes, zeroed);
    if (bytes > kLargestBlock) return nullptr;
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
        // Shrinking, or growing within the mapping: what lies past the old end may hold earlier
        // bytes, so clear it when asked.
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
        Kept().keep(record);
    else
        std::free(record);
}

}  // namespace platform
