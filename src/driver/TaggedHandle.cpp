// Handles holding a caller's tag followed by a binary property list.
#include <cstring>
#include <limits>

#include <kiv/KIVPrinterDriver.h>

#include "platform/Plist.hpp"

extern "C" {

void EncodeHPrint(Handle handle, const void *tag, size_t tagLength, plist_t list) {
    if (!handle || (!tag && tagLength > 0) || !list) return;
    try {
        const auto bytes = kiv::ToBinary(list);
        if (!bytes) return;
        const size_t total = tagLength + bytes->size();
        if (total > static_cast<size_t>(std::numeric_limits<long>::max())) return;
        SetHandleSize(handle, static_cast<long>(total));
        if (GetHandleSize(handle) != static_cast<long>(total)) return;
        if (tagLength) std::memcpy(*handle, tag, tagLength);
        std::memcpy(*handle + tagLength, bytes->data(), bytes->size());
    } catch (...) {
        // Out of memory: the handle keeps what it held.
    }
}

plist_t DecodeHPrint(const void *tag, size_t tagLength, Handle handle) {
    if (!handle || !*handle || (!tag && tagLength > 0)) return nullptr;
    const long size = GetHandleSize(handle);
    if (size < 0 || static_cast<size_t>(size) <= tagLength) return nullptr;
    if (tagLength && std::memcmp(*handle, tag, tagLength) != 0) return nullptr;
    try {
        return kiv::ParseAny(*handle + tagLength, static_cast<size_t>(size) - tagLength).release();
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
