// What the library tells a host on standard error: one line per event, "Where: what",
// written whole in one call so that lines from the writer thread and the host's own never
// mix. These lines are part of what hosts see (the README lists them).
#pragma once

namespace kiv {

// printf-style text of one line, without its newline.
void Diagnose(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kiv
