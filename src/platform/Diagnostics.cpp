// One line to standard error, written whole.
#include "Diagnostics.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kiv {

void Diagnose(const char *format, ...) {
    char line[1024];
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0) return;
    std::size_t length = std::min(static_cast<std::size_t>(n), sizeof line - 2);
    line[length++] = '\n';
    const int saved = errno;  // a diagnostic never changes what the caller reports
    std::fflush(stderr);
    for (std::size_t done = 0; done < length;) {
        const ssize_t w = ::write(STDERR_FILENO, line + done, length - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += static_cast<std::size_t>(w);
    }
    errno = saved;
}

}  // namespace kiv
