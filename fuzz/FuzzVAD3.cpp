// Whole job files as the reader and verifier meet them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "format/VAD3Reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = memfd_create("vad3", 0);
    if (fd < 0) return 0;
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    kiv::VerifyVAD3(path);
    kiv::VAD3Reader reader;
    if (reader.Open(path).empty()) {
        kiv::Plist trailer;
        reader.ReadTrailer(trailer);
    }
    close(fd);
    return 0;
}
