// Property lists from untrusted bytes (preferences files, Info.plist, tagged handles, trailers):
// parse, then write back both ways.
#include <cstddef>
#include <cstdint>

#include "platform/Plist.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    kiv::Plist parsed = kiv::ParseAny(data, size);
    if (parsed) {
        kiv::ToXml(parsed.get());
        kiv::ToBinary(parsed.get());
    }
    return 0;
}
