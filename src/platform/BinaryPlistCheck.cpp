// Structural check of a binary property list before libplist parses it: libplist follows
// object references recursively, so a deep or self-referencing list overflows its stack,
// and a small list that references the same container twice per level expands exponentially.
#include <cstdint>
#include <cstring>
#include <vector>

#include "BigEndian.hpp"
#include "Plist.hpp"

namespace kiv {
namespace {

class BinaryChecker {
public:
    BinaryChecker(const unsigned char *data, std::size_t length) : data_(data), length_(length) {}

    bool Check() {
        if (length_ < 8 + 32 || std::memcmp(data_, "bplist00", 8) != 0) return false;
        const unsigned char *trailer = data_ + length_ - 32;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        count_ = LoadBigEndian(trailer + 8, 8);
        const uint64_t top = LoadBigEndian(trailer + 16, 8);
        tableOffset_ = LoadBigEndian(trailer + 24, 8);
        const uint64_t objectsEnd = length_ - 32;
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return false;
        if (count_ < 1 || top >= count_ || tableOffset_ < 8 || tableOffset_ > objectsEnd) return false;
        if (count_ > (objectsEnd - tableOffset_) / offsetSize_) return false;
        state_.assign(count_, 0);
        size_.assign(count_, 0);
        height_.assign(count_, 0);
        return Visit(top, 1) && size_[top] <= kMaxPlistNodes && height_[top] <= kMaxPlistDepth;
    }

private:
    // Reads a container's or string's element count after its marker; false when malformed.
    bool ReadCount(uint64_t &pos, uint64_t &count) {
        const unsigned low = data_[pos] & 0x0F;
        ++pos;
        if (low != 0x0F) {
            count = low;
            return true;
        }
        if (pos >= tableOffset_ || (data_[pos] & 0xF0) != 0x10) return false;
        const unsigned bytes = 1u << (data_[pos] & 0x0F);
        ++pos;
        if (bytes > 8 || pos + bytes > tableOffset_) return false;
        count = LoadBigEndian(data_ + pos, static_cast<int>(bytes));
        pos += bytes;
        return true;
    }

    // A key libplist can hold: a string (ASCII or UTF-16) within the data and without a NUL,
    // which libplist's key accessor asserts against.
    bool IsCleanKey(uint64_t object) {
        uint64_t pos = LoadBigEndian(data_ + tableOffset_ + object * offsetSize_, static_cast<int>(offsetSize_));
        const unsigned type = data_[pos] >> 4;  // in bounds: Visit checked the offset
        if (type != 0x5 && type != 0x6) return false;
        uint64_t count = 0;
        if (!ReadCount(pos, count)) return false;
        const uint64_t unit = type == 0x5 ? 1 : 2;
        if (count > (tableOffset_ - pos) / unit) return false;
        for (uint64_t i = 0; i < count; ++i) {
            const bool zero = unit == 1 ? data_[pos + i] == 0 : (data_[pos + 2 * i] | data_[pos + 2 * i + 1]) == 0;
            if (zero) return false;
        }
        return true;
    }

    bool Visit(uint64_t object, int depth) {
        if (depth > kMaxPlistDepth) return false;
        if (state_[object] == 2) return true;
        if (state_[object] == 1) return false;  // a cycle
        state_[object] = 1;

        uint64_t pos = LoadBigEndian(data_ + tableOffset_ + object * offsetSize_, static_cast<int>(offsetSize_));
        if (pos < 8 || pos >= tableOffset_) return false;
        const unsigned type = data_[pos] >> 4;
        uint64_t childSize = 0;
        uint32_t childHeight = 0;
        if (type == 0xA || type == 0xC || type == 0xD) {
            uint64_t n = 0;
            if (!ReadCount(pos, n)) return false;
            const uint64_t refs = type == 0xD ? n * 2 : n;
            if (n > tableOffset_ || refs > (tableOffset_ - pos) / refSize_) return false;
            // Dictionary keys are leaves; only values (and array elements) add depth.
            for (uint64_t i = 0; i < refs; ++i) {
                const uint64_t child = LoadBigEndian(data_ + pos + i * refSize_, static_cast<int>(refSize_));
                if (child >= count_ || !Visit(child, depth + 1)) return false;
                // A key must be a string: libplist asserts on any other kind of key.
                if (type == 0xD && i < n && !IsCleanKey(child)) return false;
                childSize += size_[child];
                if (childSize > kMaxPlistNodes) return false;
                if (height_[child] > childHeight) childHeight = height_[child];
            }
        }
        size_[object] = childSize + 1;
        height_[object] = childHeight + 1;
        state_[object] = 2;
        return true;
    }

    const unsigned char *data_;
    std::size_t length_;
    unsigned offsetSize_ = 0, refSize_ = 0;
    uint64_t count_ = 0, tableOffset_ = 0;
    std::vector<uint8_t> state_;
    std::vector<uint64_t> size_;
    std::vector<uint32_t> height_;
};

}  // namespace

bool BinaryPlistIsSafe(const void *bytes, std::size_t length) {
    if (!bytes) return false;
    return BinaryChecker(static_cast<const unsigned char *>(bytes), length).Check();
}

}  // namespace kiv
