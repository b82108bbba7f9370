// Replaces the job writer's write calls for the scope: short writes, EINTR and failures on
// chosen calls.
#pragma once

#include <cerrno>
#include <unistd.h>

#include <atomic>

#include "output/FileIO.hpp"

namespace kivtest {

struct FileIOFake {
    // Calls numbered from 1; a call at or after failFrom (0: never) fails with failErrno, or
    // only that one call when failOnce is set.
    static inline std::atomic<int> calls{0};
    static inline int failFrom = 0;
    static inline bool failOnce = false;
    static inline int failErrno = EIO;
    static inline std::size_t maxChunk = 0;  // 0: whole writes
    static inline bool interruptEveryOther = false;
    static inline int pwriteErrno = 0;
    static inline int fsyncErrno = 0;

    FileIOFake() {
        calls = 0;
        failFrom = 0;
        failOnce = false;
        failErrno = EIO;
        maxChunk = 0;
        interruptEveryOther = false;
        pwriteErrno = 0;
        fsyncErrno = 0;
        kiv::gFileIO = kiv::FileIO{Write, PWrite, FSync, true};
    }
    ~FileIOFake() { kiv::gFileIO = kiv::SystemFileIO(); }

    static ssize_t Write(int fd, const void *data, std::size_t size) {
        const int n = ++calls;
        if (interruptEveryOther && n % 2 == 1) {
            errno = EINTR;
            return -1;
        }
        if (failFrom && (failOnce ? n == failFrom : n >= failFrom)) {
            errno = failErrno;
            return -1;
        }
        if (maxChunk && size > maxChunk) size = maxChunk;
        return ::write(fd, data, size);
    }
    static int FSync(int fd) {
        if (fsyncErrno) {
            errno = fsyncErrno;
            return -1;
        }
        return ::fsync(fd);
    }
    static ssize_t PWrite(int fd, const void *data, std::size_t size, off_t offset) {
        if (pwriteErrno) {
            errno = pwriteErrno;
            return -1;
        }
        if (maxChunk && size > maxChunk) size = maxChunk;
        return ::pwrite(fd, data, size, offset);
    }
};

}  // namespace kivtest
