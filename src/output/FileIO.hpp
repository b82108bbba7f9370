// The system calls through which job files are written, replaceable by tests to inject short
// writes, EINTR and errors, and to take the hidden-temporary-file path.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace kiv {

struct FileIO {
    ssize_t (*write)(int fd, const void *data, std::size_t size);
    ssize_t (*pwrite)(int fd, const void *data, std::size_t size, off_t offset);
    int (*fsync)(int fd);
    bool unnamedFiles;  // O_TMPFILE where the file system has it; false forces hidden temporary files
};

// The calls in use; tests swap them before creating a file and restore them afterwards.
extern FileIO gFileIO;
FileIO SystemFileIO();

// Writes all size bytes, going on after short writes and EINTR. 0, or the error number.
int WriteFully(int fd, const void *data, std::size_t size);
// The same at an offset.
int PWriteFully(int fd, const void *data, std::size_t size, off_t offset);

}  // namespace kiv
