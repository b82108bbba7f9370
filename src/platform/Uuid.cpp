// UUIDs from libuuid.
#include "Uuid.hpp"

#include <uuid/uuid.h>

namespace kiv {

std::optional<std::string> NewUuidString() {
    uuid_t id;
    uuid_generate(id);
    char text[37];
    uuid_unparse_upper(id, text);
    return std::string(text, 36);
}

}  // namespace kiv
