// Complete writes through the replaceable system calls.
#include "FileIO.hpp"

#include <unistd.h>

#include <cerrno>

namespace kiv {

FileIO SystemFileIO() { return FileIO{::write, ::pwrite, ::fsync, true}; }

FileIO gFileIO = SystemFileIO();

namespace {

// Calls op(offset done) until everything is written; a call that writes nothing without an
// error counts as an I/O error rather than looping for ever.
template <class Op>
int RepeatUntilDone(const void *data, std::size_t size, Op op) {
    const auto *p = static_cast<const char *>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = op(p + done, size - done, done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

int WriteFully(int fd, const void *data, std::size_t size) {
    return RepeatUntilDone(data, size,
                           [&](const char *p, std::size_t n, std::size_t) { return gFileIO.write(fd, p, n); });
}

int PWriteFully(int fd, const void *data, std::size_t size, off_t offset) {
    return RepeatUntilDone(data, size, [&](const char *p, std::size_t n, std::size_t done) {
        return gFileIO.pwrite(fd, p, n, offset + static_cast<off_t>(done));
    });
}

}  // namespace kiv
