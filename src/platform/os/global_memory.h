// Movable global memory blocks. They have C linkage so that codec modules, loaded at run
// time, can hand pixel blocks back to the control.
#pragma once

#include <stddef.h>
#include <stdlib.h>

#ifdef __cplusplus
#include <memory>

#include "platform/os/large_block.h"
#endif

#include "platform/os/wintypes.h"

#ifdef __cplusplus
namespace platform {
extern "C" {
#endif

// Largest block handed out; larger requests fail like an exhausted heap.
#define LUMORA_GLOBAL_LIMIT ((size_t)0x7FFFFFFF)

HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes);
void* GlobalLock(HGLOBAL block);
int GlobalUnlock(HGLOBAL block);  // nonzero while the block is still locked
HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, uint32_t flags);
size_t GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);  // 0 on success, the block itself on failure

#ifdef __cplusplus
}  // extern "C"

// Takes the storage out of a block, whose handle then ceases to exist: an object that adopts a
// block's memory (a DIB section made over a pixel block) avoids copying it. Null for a handle
// that is not a live block; `size` receives the block's size.
BlockStorage TakeGlobalStorage(HGLOBAL block, size_t* size);

// Owns a block and frees it unless released.
class GlobalBlock {
  public:
    GlobalBlock() = default;
    explicit GlobalBlock(HGLOBAL h) : handle_(h) {}
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    GlobalBlock(GlobalBlock&& o) noexcept : handle_(o.release()) {}
    GlobalBlock& operator=(GlobalBlock&& o) noexcept {
        reset(o.release());
        return *this;
    }
    ~GlobalBlock() { reset(); }
    HGLOBAL get() const { return handle_; }
    HGLOBAL release() {
        HGLOBAL h = handle_;
        handle_ = 0;
        return h;
    }
    void reset(HGLOBAL h = 0) {
        if (handle_) GlobalFree(handle_);
        handle_ = h;
    }
    explicit operator bool() const { return handle_ != 0; }

  private:
    HGLOBAL handle_ = 0;
};

}  // namespace platform
#endif
