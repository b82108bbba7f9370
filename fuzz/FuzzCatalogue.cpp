// Catalogue texts: papers and resolutions parsed from any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/Catalogue.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    kiv::SetPapersFrom(text);
    kiv::SetResolutionsFrom(text);
    return 0;
}
