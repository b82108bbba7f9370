// The background write buffer and its queues.
#include "Wbuffer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "FileIO.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv {

CacheHint gDefaultCacheHint = CacheHint::DropBehind;

void Queue::QueuePush(WbufferBlock *item) {
    bool wasEmpty;
    {
        std::lock_guard lock(mutex_);
        wasEmpty = items_.empty();
        items_.push_back(item);
    }
    // One consumer per queue: waking it on the empty-to-non-empty step is enough.
    if (wasEmpty) nonEmpty_.notify_one();
}

WbufferBlock *Queue::QueuePop() {
    std::unique_lock lock(mutex_);
    nonEmpty_.wait(lock, [&] { return !items_.empty(); });
    WbufferBlock *item = items_.front();
    items_.pop_front();
    return item;
}

namespace {

// Keeps written blocks out of the page cache without waiting on the disk block by block:
// writeback of each block starts as soon as it is written, and only what lies more than a
// window behind is waited for and dropped, so at most about one window of the file is cached.
class DropBehind {
public:
    static constexpr off_t kWindow = 16 << 20;

    explicit DropBehind(int fd) : fd_(fd), offset_(::lseek(fd, 0, SEEK_CUR)), dropped_(offset_) {}
    void Written(std::size_t size) {
        if (offset_ < 0) return;
        ::sync_file_range(fd_, offset_, static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
        offset_ += static_cast<off_t>(size);
        if (offset_ - dropped_ > kWindow) {
            const off_t end = offset_ - kWindow / 2;  // half a window at a time: few calls
            ::sync_file_range(fd_, dropped_, end - dropped_,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
            ::posix_fadvise(fd_, dropped_, end - dropped_, POSIX_FADV_DONTNEED);
            dropped_ = end;
        }
    }

private:
    int fd_;
    off_t offset_;
    off_t dropped_;
};

void WbufferWriterThread(Wbuffer *wb) {
    DropBehind dropBehind(wb->fd);
    for (;;) {
        WbufferBlock *block = wb->fullQueue.QueuePop();
        if (!block) break;
        if (block->fill != 0 && wb->error.load() == 0) {
            const int e = WriteFully(wb->fd, block->data.get(), block->fill);
            if (e != 0) {
                wb->error.store(e);
            } else if (wb->hint == CacheHint::DropBehind) {
                dropBehind.Written(block->fill);
            }
        }
        // Written or not, the block goes back so that the producer never waits for good.
        wb->freeQueue.QueuePush(block);
    }
}

// Drains the queued blocks and ends the thread.
void StopWriter(Wbuffer &wb) {
    if (!wb.thread.joinable()) return;
    if (wb.current) WBQueueCurrent(wb);
    wb.fullQueue.QueuePush(nullptr);
    for (int i = 0; i < wb.blockCount; ++i) wb.freeQueue.QueuePop();
    wb.thread.join();
}

template <class T>
std::unique_ptr<T> MakeOrNull() {
    try {
        return std::make_unique<T>();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

std::unique_ptr<WbufferBlock> NewBlock(std::size_t blockSize) {
    std::unique_ptr<WbufferBlock> block = MakeOrNull<WbufferBlock>();
    if (!block) return nullptr;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t rounded = (blockSize + page - 1) / page * page;
    void *data = std::aligned_alloc(page, rounded);
    if (!data) return nullptr;
    std::memset(data, 0, rounded);
    block->data = std::unique_ptr<uint8_t, void (*)(void *)>(static_cast<uint8_t *>(data), std::free);
    return block;
}

std::unique_ptr<Wbuffer> Fail(int err) {
    Diagnose("NewWbuffer: failed, cleaning up, err = %d", err);
    return nullptr;
}

}  // namespace

Wbuffer::~Wbuffer() { StopWriter(*this); }

std::unique_ptr<Wbuffer> NewWbuffer(std::size_t blockSize, int fd) {
    std::unique_ptr<Wbuffer> wb = MakeOrNull<Wbuffer>();
    if (!wb || blockSize == 0) return Fail(0);
    for (int i = 0; i < kWbufferMaxBlocks; ++i) {
        std::unique_ptr<WbufferBlock> block = NewBlock(blockSize);
        if (!block) break;
        wb->freeQueue.QueuePush(block.get());
        wb->blocks[wb->blockCount++] = std::move(block);
    }
    if (wb->blockCount == 0) return Fail(0);
    wb->blockSize = blockSize;
    wb->fd = fd;
    wb->hint = gDefaultCacheHint;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        Diagnose("NewWBuffer, fstat returned %d", err);
        return Fail(err);
    }
    wb->current = wb->freeQueue.QueuePop();
    wb->current->fill = 0;
    try {
        wb->thread = std::thread(WbufferWriterThread, wb.get());
    } catch (const std::system_error &e) {
        return Fail(e.code().value());
    }
    return wb;
}

int WBQueueCurrent(Wbuffer &wb) {
    if (wb.current) {
        if (wb.current->fill > 0) {
            wb.fullQueue.QueuePush(wb.current);
        } else {
            wb.freeQueue.QueuePush(wb.current);
        }
        wb.current = nullptr;
    }
    return wb.error.load();
}

int WBWrite(Wbuffer &wb, std::size_t &size, const void *data) {
    std::size_t n = size;
    size = 0;
    const auto *p = static_cast<const uint8_t *>(data);
    while (n > 0) {
        const std::size_t space = wb.blockSize - wb.current->fill;
        if (space > 0) {
            const std::size_t take = std::min(space, n);
            std::memcpy(wb.current->data.get() + wb.current->fill, p, take);
            wb.current->fill += take;
            size += take;
            p += take;
            n -= take;
        } else {
            const int e = WBQueueCurrent(wb);
            wb.current = wb.freeQueue.QueuePop();
            wb.current->fill = 0;
            if (e != 0) break;
        }
    }
    return wb.error.load();
}

int DisposeWbuffer(std::unique_ptr<Wbuffer> wb) {
    if (!wb) return 0;
    StopWriter(*wb);
    return wb->error.load();
}

}  // namespace kiv
