// Picture memory. Blocks of 2 MiB and more are mapped on 2 MiB boundaries and advised for
// transparent huge pages, so the first touch of a 36 MB picture costs 18 faults instead of 9,000;
// smaller ones come from the heap. A released mapping is kept for the next picture (two at most,
// 128 MiB together), which skips the faults and the clearing. Every block carries its own record
// of how it was obtained, so one release serves both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// Blocks at least this large are mapped and advised for huge pages.
constexpr size_t kLargeBlockThreshold = size_t{2} << 20;

// `bytes` of memory, zero-filled when asked; nullptr when it cannot be had.
void* AllocatePictureMemory(size_t bytes, bool zeroed);
// A block of `bytes` holding the first min(old size, bytes) bytes of `block` (which is released),
// the rest zero-filled when asked; nullptr (and `block` untouched) when it cannot be had.
void* ReallocatePictureMemory(void* block, size_t bytes, bool zeroed);
// Releases a block from AllocatePictureMemory; null is ignored.
void ReleasePictureMemory(void* block);

struct PictureMemoryDeleter {
    void operator()(void* p) const { ReleasePictureMemory(p); }
};
using BlockStorage = std::unique_ptr<uint8_t[], PictureMemoryDeleter>;

}  // namespace platform
