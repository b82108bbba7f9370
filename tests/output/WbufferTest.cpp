// The background write buffer: ordering, hand-over, and errors from a real full disk and
// from the write seam.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <numeric>
#include <vector>

#include "output/Wbuffer.hpp"
#include "support/FileIOFake.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
using kivtest::FileIOFake;

namespace {

std::vector<uint8_t> Pattern(std::size_t size) {
    std::vector<uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return v;
}

class WbufferTest : public ::testing::Test {
protected:
    int Open() {
        fd_ = ::open((dir_ / "out").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        return fd_;
    }
    ~WbufferTest() override {
        if (fd_ >= 0) ::close(fd_);
    }
    std::string Contents() { return kivtest::ReadFile(dir_ / "out"); }

    kivtest::TempDir dir_;
    int fd_ = -1;
};

// Writes data in pieces of the given size; returns the first error.
int WriteInPieces(Wbuffer &wb, const std::vector<uint8_t> &data, std::size_t piece) {
    for (std::size_t at = 0; at < data.size(); at += piece) {
        std::size_t n = std::min(piece, data.size() - at);
        const std::size_t offered = n;
        const int e = WBWrite(wb, n, data.data() + at);
        if (e != 0) return e;
        EXPECT_EQ(n, offered);
    }
    return 0;
}

}  // namespace

TEST_F(WbufferTest, PiecesOfAnySizeArriveInOrderWithAndWithoutCacheHints) {
    const CacheHint saved = gDefaultCacheHint;
    for (const CacheHint hint : {CacheHint::DropBehind, CacheHint::None}) {
        gDefaultCacheHint = hint;
        // No bytes at all, then sizes that cross blocks every way; a zero-length write changes
        // nothing.
        for (std::size_t piece : {std::size_t{0}, std::size_t{1} << 20, std::size_t{100000}, std::size_t{4093}}) {
            auto wb = NewWbuffer(kWbufferBlockSize, Open());
            ASSERT_TRUE(wb);
            EXPECT_EQ(wb->blockCount, kWbufferMaxBlocks);
            const auto data = Pattern(piece ? 3 * kWbufferBlockSize + 12345 : 0);
            ASSERT_EQ(WriteInPieces(*wb, data, piece), 0);
            std::size_t zero = 0;
            EXPECT_EQ(WBWrite(*wb, zero, nullptr), 0);
            ASSERT_EQ(DisposeWbuffer(std::move(wb)), 0);
            EXPECT_EQ(Contents(), std::string(data.begin(), data.end())) << piece;
            ::close(fd_);
        }
    }
    gDefaultCacheHint = saved;
    fd_ = -1;
}

TEST_F(WbufferTest, ADroppedBufferStillDrainsAndStops) {
    {
        auto wb = NewWbuffer(kWbufferBlockSize, Open());
        ASSERT_EQ(WriteInPieces(*wb, Pattern(70000), 70000), 0);
    }
    EXPECT_EQ(Contents().size(), 70000u);
}

TEST_F(WbufferTest, AFullDiskIsReportedAndSticks) {
    const int full = ::open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "/dev/full is not available";
    auto wb = NewWbuffer(kWbufferBlockSize, full);
    ASSERT_TRUE(wb);
    const auto data = Pattern(kWbufferBlockSize);
    int e = 0;
    for (int i = 0; i < 40 && e == 0; ++i) {
        std::size_t n = data.size();
        e = WBWrite(*wb, n, data.data());
    }
    EXPECT_EQ(e, ENOSPC);
    std::size_t zero = 0;
    EXPECT_EQ(WBWrite(*wb, zero, data.data()), ENOSPC);
    EXPECT_EQ(DisposeWbuffer(std::move(wb)), ENOSPC);
    ::close(full);
}

TEST_F(WbufferTest, NothingIsWrittenAfterTheFirstError) {
    FileIOFake fake;
    FileIOFake::failFrom = 2;
    FileIOFake::failOnce = true;  // the "disk" recovers at once, but the buffer must not
    auto wb = NewWbuffer(kWbufferBlockSize, Open());
    const auto data = Pattern(5 * kWbufferBlockSize);
    std::size_t n = data.size();
    WBWrite(*wb, n, data.data());
    EXPECT_EQ(DisposeWbuffer(std::move(wb)), EIO);
    EXPECT_EQ(FileIOFake::calls, 2);
    EXPECT_EQ(Contents(), std::string(data.begin(), data.begin() + kWbufferBlockSize));
}

TEST_F(WbufferTest, ABadDescriptorIsRefused) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(NewWbuffer(kWbufferBlockSize, -1));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "NewWBuffer, fstat returned 9\nNewWbuffer: failed, cleaning up, err = 9\n");
}
