// Writes a large job-sized stream through the background write buffer with each page-cache
// hint and reports throughput and how much the page cache grew.
//   bench_write_hint [DIR] [MiB]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "output/Wbuffer.hpp"

namespace {

long CachedKiB() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    long value = 0;
    std::string unit;
    while (meminfo >> key >> value >> unit)
        if (key == "Cached:") return value;
    return 0;
}

void Run(const char *name, kiv::CacheHint hint, const std::string &dir, std::size_t mib) {
    const std::string path = dir + "/bench_write_hint.tmp";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ::sync();
    const long cachedBefore = CachedKiB();
    kiv::gDefaultCacheHint = hint;
    std::vector<uint8_t> piece(13232, 0x5A);  // about one encoded A3 line at 4 bytes a pixel
    const auto start = std::chrono::steady_clock::now();
    auto wb = kiv::NewWbuffer(kiv::kWbufferBlockSize, fd);
    const std::size_t total = mib << 20;
    for (std::size_t written = 0; written < total; written += piece.size()) {
        std::size_t n = piece.size();
        if (kiv::WBWrite(*wb, n, piece.data()) != 0) break;
    }
    const int e = kiv::DisposeWbuffer(std::move(wb));
    ::fsync(fd);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long cachedAfter = CachedKiB();
    ::close(fd);
    ::unlink(path.c_str());
    std::printf("%-12s %6zu MiB in %6.2f s = %7.1f MiB/s, page cache grew %6ld MiB%s\n", name, mib, seconds,
                static_cast<double>(mib) / seconds, (cachedAfter - cachedBefore) / 1024, e ? " (write error)" : "");
}

}  // namespace

int main(int argc, char **argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    const std::size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1024;
    for (int round = 0; round < 2; ++round) {
        Run("none", kiv::CacheHint::None, dir, mib);
        Run("drop-behind", kiv::CacheHint::DropBehind, dir, mib);
    }
    return 0;
}
