// The background write buffer: pieces written by the producer are gathered into 64 KiB
// page-aligned blocks, and full blocks are written to the file by one writer thread.
//
// At most 32 blocks exist; when all are queued or being written, WBWrite waits for one to
// come back, which bounds memory. The first write error is kept and reported by every later
// WBWrite and by DisposeWbuffer; after it nothing more reaches the file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace kiv {

inline constexpr std::size_t kWbufferBlockSize = 65536;
inline constexpr int kWbufferMaxBlocks = 32;

struct WbufferBlock {
    uint64_t fill = 0;
    std::unique_ptr<uint8_t, void (*)(void *)> data{nullptr, nullptr};  // page-aligned
};

// A thread-safe FIFO of block pointers; null is a legal item (the stop marker). Owns none.
class Queue {
public:
    void QueuePush(WbufferBlock *item);
    // Waits while the queue is empty.
    WbufferBlock *QueuePop();

private:
    std::mutex mutex_;
    std::condition_variable nonEmpty_;
    std::deque<WbufferBlock *> items_;
};

// How the writer thread keeps finished blocks out of the page cache.
enum class CacheHint {
    None,        // leave caching to the kernel
    DropBehind,  // start writeback of each block; wait for and drop what lies a window behind
};

struct Wbuffer {
    Wbuffer() = default;
    Wbuffer(const Wbuffer &) = delete;
    Wbuffer &operator=(const Wbuffer &) = delete;
    // Drains and stops the writer thread if DisposeWbuffer did not.
    ~Wbuffer();

    uint64_t blockSize = kWbufferBlockSize;
    int fd = -1;  // not owned
    int blockCount = 0;
    WbufferBlock *current = nullptr;
    Queue freeQueue;
    Queue fullQueue;
    std::thread thread;
    std::atomic<int> error{0};
    CacheHint hint = CacheHint::None;
    std::unique_ptr<WbufferBlock> blocks[kWbufferMaxBlocks];
};

// The cache hint new buffers use.
extern CacheHint gDefaultCacheHint;

// Null on failure (with a message on standard error). fd must be open for writing; the
// buffer never closes it.
std::unique_ptr<Wbuffer> NewWbuffer(std::size_t blockSize, int fd);
// Queues size bytes; on return size holds the number accepted. Result: the sticky error.
// May block until the writer thread returns a block.
int WBWrite(Wbuffer &wb, std::size_t &size, const void *data);
// Hands the current block to the writer (or back to the free list when empty).
int WBQueueCurrent(Wbuffer &wb);
// Writes everything queued, stops the thread and frees the buffer. Result: the sticky error.
int DisposeWbuffer(std::unique_ptr<Wbuffer> wb);

}  // namespace kiv
