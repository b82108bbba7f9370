// Memory handles: a master pointer to a resizable, zero-filled block, with a lock flag.
// A Handle is the address of the block record's first field, so it converts back.
#include <cstdlib>
#include <cstring>

#include <kiv/KIVPlatform.h>

#include "Status.hpp"

namespace {

constexpr signed char kLocked = static_cast<signed char>(0x80);

struct HandleBlock {
    char *data;  // must stay first: a Handle points here
    long size;
    signed char state;
};

thread_local int16_t tHandleError = 0;

HandleBlock *BlockOf(Handle h) { return reinterpret_cast<HandleBlock *>(h); }

}  // namespace

extern "C" {

Handle NewHandle(long size) {
    tHandleError = kiv::kParamErr;
    if (size < 0) return nullptr;
    auto *block = static_cast<HandleBlock *>(std::calloc(1, sizeof(HandleBlock)));
    // A zero-sized block still gets storage so that *h is never null.
    char *data = static_cast<char *>(std::calloc(1, size > 0 ? static_cast<std::size_t>(size) : 1));
    if (!block || !data) {
        std::free(block);
        std::free(data);
        tHandleError = kiv::kMemFullErr;
        return nullptr;
    }
    block->data = data;
    block->size = size;
    tHandleError = 0;
    return &block->data;
}

void DisposeHandle(Handle h) {
    if (!h) return;
    HandleBlock *block = BlockOf(h);
    std::free(block->data);
    std::free(block);
}

long GetHandleSize(Handle h) { return h ? BlockOf(h)->size : 0; }

void SetHandleSize(Handle h, long size) {
    if (!h || size < 0) {
        tHandleError = kiv::kParamErr;
        return;
    }
    HandleBlock *block = BlockOf(h);
    if (size <= block->size && (block->state & kLocked)) {
        // Shrinking a locked block keeps it in place.
        block->size = size;
        tHandleError = 0;
        return;
    }
    if (block->state & kLocked) {
        tHandleError = kiv::kMemLockedErr;
        return;
    }
    char *data = static_cast<char *>(std::realloc(block->data, size > 0 ? static_cast<std::size_t>(size) : 1));
    if (!data) {
        tHandleError = kiv::kMemFullErr;
        return;
    }
    if (size > block->size) std::memset(data + block->size, 0, static_cast<std::size_t>(size - block->size));
    block->data = data;
    block->size = size;
    tHandleError = 0;
}

int16_t KIVHandleError(void) { return tHandleError; }

void HLock(Handle h) {
    if (h) BlockOf(h)->state |= kLocked;
}

void HUnlock(Handle h) {
    if (h) BlockOf(h)->state &= static_cast<signed char>(~kLocked);
}

signed char HGetState(Handle h) { return h ? BlockOf(h)->state : 0; }

void HSetState(Handle h, signed char state) {
    if (h) BlockOf(h)->state = state;
}

}  // extern "C"
