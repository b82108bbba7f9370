// Unique identifiers for job files.
#pragma once

#include <optional>
#include <string>

namespace kiv {

// A new random UUID in its canonical 36-character upper-case form.
std::optional<std::string> NewUuidString();

}  // namespace kiv
