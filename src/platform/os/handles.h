// The process-wide handle table. Every value that crosses a boundary as a handle (device
// contexts, bitmaps, palettes, memory blocks returned by codec modules, ...) is a 32-bit index
// into this table with a generation stamp, so stale and foreign values are recognised and
// rejected instead of being dereferenced.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/os/wintypes.h"

namespace platform {

enum class HandleKind : uint8_t {
    Memory = 1,
    Bitmap,
    Palette,
    Dc,
    Brush,
    Pen,
    Font,
    Module,
    MetaFile,
    EnhMetaFile,
    Icon,
    Window,
    Region,
};

// Registers an object and returns its handle (0 when the table is full).
HANDLE32 InsertHandle(HandleKind kind, std::shared_ptr<void> object);

// The object behind a handle, or null when the handle is 0, stale, or of another kind.
std::shared_ptr<void> LookupHandle(HANDLE32 handle, HandleKind kind);

template <class T>
std::shared_ptr<T> Lookup(HANDLE32 handle, HandleKind kind) {
    return std::static_pointer_cast<T>(LookupHandle(handle, kind));
}

// Kind of a live handle; 0 (no kind) for anything else.
HandleKind HandleKindOf(HANDLE32 handle);

// Removes a handle; false when it was not a live handle of that kind. The object lives on
// while somebody still holds a shared pointer to it.
bool RemoveHandle(HANDLE32 handle, HandleKind kind);

// Number of live handles of a kind: lets tests prove that nothing was left behind.
size_t CountHandles(HandleKind kind);

}  // namespace platform
