// A three-page job through the entry points with one fault at every possible point: the k-th
// write failing, cut short or interrupted, the k-th allocation failing. A failed job reaches
// the host with its cause and leaves nothing in the folder and no thread behind; a job that
// survives its fault is complete.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <random>
#include <type_traits>

#include "format/VAD3Reader.hpp"
#include "support/DriverFixture.hpp"
#include "support/FileIOFake.hpp"
#include "support/PrintPages.hpp"

namespace {
// Allocation number gFailAllocationAt (counted from arming) throws; 0 disarms. Only what the
// driver allocates while it runs an entry point on this thread counts.
std::atomic<long> gAllocations{0}, gFailAllocationAt{0};
thread_local bool tInDriver = false;

// Runs entry points with their allocations counted; nothing may escape them.
template <class Call>
auto Driver(const char *what, Call call) -> decltype(call()) {
    tInDriver = true;
    struct Reset {
        ~Reset() { tInDriver = false; }
    } reset;
    try {
        return call();
    } catch (...) {
        ADD_FAILURE() << "an exception escaped " << what;
        if constexpr (!std::is_void_v<decltype(call())>) return {};
    }
}
}  // namespace

// Every unaligned form, so that each allocation and its release agree on malloc and free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t size) {
    if (const long at = gFailAllocationAt.load(); at != 0 && tInDriver && ++gAllocations == at) throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &t) noexcept { return operator new(size, t); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }

namespace {

using namespace kiv;
namespace fs = std::filesystem;

int Threads() {
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator("/proc/self/task")) ++n;
    return n;
}

class FaultMatrix : public kivtest::DriverFixture {
protected:
    struct Outcome {
        int32_t status = 0;
        std::string message;
        std::string file;
        bool settingsTaken = false;
    };

    void SetUp() override {
        DriverFixture::SetUp();
        // The linked driver's entry points, each call counted.
#define KIV_ENTRY(name) driver_.name = [](auto... a) { return Driver(#name, [&] { return ::name(a...); }); };
        KIV_ENTRY_POINTS(KIV_ENTRY)
#undef KIV_ENTRY
    }

    // Prints three 300 × 150 pages of noise (raw lines: several write blocks) in bands of 32.
    Outcome PrintJob() {
        Outcome o;
        DriverRecord *record = nullptr;
        if ((o.status = driver_.KIVPrOpen(bundle_, &record)) != 0) return o;
        const PageGeometry page{300, 150, 300 / 300.0 * 25.4, 150 / 300.0 * 25.4};
        SetHandleSize(handle_, 0);  // a new document: no print record from an earlier one
        Plist settings = MakeDict();
        DictSet(settings.get(), "outputFolder", Plist(KIVCreateBookmarkDataForPath(hot_.path().c_str())));
        std::vector<uint8_t> noise(300 * 32 * 4);
        std::mt19937 rng(7);
        for (auto &b : noise) b = static_cast<uint8_t>(rng());
        kivtest::Page bands;
        for (int y = 0; y < 150; y += 32) {
            const int rows = std::min(32, 150 - y);
            bands.push_back(
                {{noise.data(), LongRect{0, 0, rows, 300}, 300 * 4, 32}, {0, 0, rows, 300}, {y, 0, y + rows, 300}});
        }
        driver_.KIVPrSuggestPage(record, handle_, &page, 32);
        driver_.KIVPrValidate(record, handle_);
        driver_.KIVPrSetJobName(record, handle_, "Matrix");
        o.settingsTaken = driver_.KIVPrSetJobSettings(record, handle_, settings.get());
        o.status = kivtest::PrintPages(driver_, record, handle_, {bands, bands, bands});
        unsigned char message[256];
        driver_.KIVPrErrorString(record, o.status, message);
        o.message.assign(reinterpret_cast<char *>(message + 1), message[0]);
        if (char *name = driver_.KIVPrCopyOutputFileName(record)) {
            o.file = name;
            std::free(name);
        }
        driver_.KIVPrClose(record);
        return o;
    }

    // The job failed cleanly: its status and cause reach the host, nothing remains.
    void ExpectCleanFailure(const Outcome &o, int32_t status, const std::string &cause, int threads) {
        EXPECT_EQ(o.status, status);
        EXPECT_THAT(o.message, testing::HasSubstr(cause));
        EXPECT_TRUE(o.file.empty());
        EXPECT_TRUE(kivtest::FolderEntries(hot_.path()).empty());
        EXPECT_EQ(Threads(), threads);
    }

    // The threads a finished job leaves (a sanitizer starts its own helper with the first).
    int ThreadsAfterOneJob() {
        EXPECT_EQ(PrintJob().status, 0);
        for (const fs::path &f : kivtest::FolderEntries(hot_.path())) fs::remove(f);
        return Threads();
    }

    kivtest::TempDir hot_;
    kivhost::DriverModule driver_;
};

}  // namespace

TEST_F(FaultMatrix, EveryWriteFault) {
    const int threads = ThreadsAfterOneJob();
    for (const int error : {ENOSPC, EIO}) {
        bool completed = false;
        for (int k = 1; !completed && k < 100; ++k) {
            SCOPED_TRACE(testing::Message() << "errno " << error << ", write " << k);
            kivtest::FileIOFake fake;
            kivtest::FileIOFake::failFrom = k;
            kivtest::FileIOFake::failErrno = error;
            const Outcome o = PrintJob();
            if (o.status != 0) {
                ExpectCleanFailure(o, error, std::strerror(error), threads);
                EXPECT_THAT(o.message, testing::HasSubstr(hot_.path().string()));
                continue;
            }
            // Only a job whose every write came before the fault may succeed, and then whole.
            completed = kivtest::FileIOFake::calls < k;
            ASSERT_TRUE(completed) << "write " << k << " failed and the job still succeeded";
            EXPECT_EQ(VerifyVAD3(o.file), "");
            fs::remove(o.file);
        }
        EXPECT_TRUE(completed);
    }
    // The header's final rewrite and the sync before publishing.
    for (int *errorOf : {&kivtest::FileIOFake::pwriteErrno, &kivtest::FileIOFake::fsyncErrno}) {
        kivtest::FileIOFake fake;
        *errorOf = EIO;
        ExpectCleanFailure(PrintJob(), EIO, std::strerror(EIO), threads);
    }
    // Short and interrupted writes only slow the job down.
    kivtest::FileIOFake fake;
    kivtest::FileIOFake::maxChunk = 7;  // the header too is written in pieces
    kivtest::FileIOFake::interruptEveryOther = true;
    const Outcome o = PrintJob();
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(o.file, (hot_.path() / "Matrix.vad3").string());
    EXPECT_EQ(VerifyVAD3(o.file), "");
}

TEST_F(FaultMatrix, EveryAllocationFault) {
    const int threads = ThreadsAfterOneJob();
    bool completed = false;
    for (long k = 1; !completed && k < 5000; ++k) {
        SCOPED_TRACE(testing::Message() << "allocation " << k);
        gAllocations = 0;
        gFailAllocationAt = k;
        const Outcome o = PrintJob();
        gFailAllocationAt = 0;
        completed = o.status == 0 && gAllocations < k;
        if (o.status == 0) {
            // The failure hit something the job could do without: it must still be whole, and
            // the page it was asked for.
            VAD3Reader reader;
            ASSERT_EQ(reader.Open(o.file), "");
            EXPECT_EQ(reader.header().width, 300);
            EXPECT_EQ(reader.header().pageCount, 3);
            if (reader.header().width == 300) {
                EXPECT_EQ(VerifyVAD3(o.file), "");
            }
            fs::remove(o.file);
        } else {
            // Out of memory; or no folder, when the allocation that failed was the job settings'
            // (which that call reported). Without a session there is no message to ask for.
            const bool noFolder = !o.settingsTaken && o.status == -1;
            ExpectCleanFailure(o, noFolder ? -1 : kMemFullErr,
                               noFolder            ? "no hot folder was chosen"
                               : o.message.empty() ? ""
                                                   : "out of memory",
                               threads);
        }
        ASSERT_TRUE(kivtest::FolderEntries(hot_.path()).empty())
            << o.status << " " << o.message << " " << o.file << " " << kivtest::FolderEntries(hot_.path()).front();
    }
    EXPECT_TRUE(completed);
}
