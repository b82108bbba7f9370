// The print record as a host sees it: 306 big-endian bytes in a handle, read and set field
// by field through one view instead of by offset.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include <kiv/KIVPlatform.h>

namespace kivhost {

class PrintRecordView {
public:
    explicit PrintRecordView(Handle h) : h_(h) {}

    bool valid() const { return h_ && *h_ && GetHandleSize(h_) >= 306; }
    int32_t widthPixels() const { return static_cast<int32_t>(Load(0, 4)); }
    int32_t heightPixels() const { return static_cast<int32_t>(Load(4, 4)); }
    double widthMillimetres() const { return LoadDouble(8); }
    double heightMillimetres() const { return LoadDouble(16); }
    int16_t copies() const { return static_cast<int16_t>(Load(24, 2)); }
    int16_t fromPage() const { return static_cast<int16_t>(Load(26, 2)); }
    int16_t toPage() const { return static_cast<int16_t>(Load(28, 2)); }
    bool blackAndWhite() const { return Byte(kBlackAndWhite); }
    bool mirrored() const { return Byte(kMirrored); }
    bool collated() const { return Byte(kCollated); }
    bool tiled() const { return Byte(33); }
    std::string paperName() const { return std::string(*h_ + 51, static_cast<unsigned char>((*h_)[50])); }

    void setBlackAndWhite(bool on) { SetByte(kBlackAndWhite, on); }
    void setMirrored(bool on) { SetByte(kMirrored, on); }
    void setCollated(bool on) { SetByte(kCollated, on); }
    // Prints only a tile of the page, of the given size from its top left corner.
    void setTile(double widthMM, double heightMM) {
        if (!valid()) return;
        SetByte(33, true);
        StoreDouble(34, widthMM);
        StoreDouble(42, heightMM);
    }

private:
    static constexpr int kBlackAndWhite = 30, kMirrored = 31, kCollated = 32;

    uint64_t Load(int at, int bytes) const {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>((*h_)[at + i]);
        return v;
    }
    double LoadDouble(int at) const {
        const uint64_t bits = Load(at, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    void StoreDouble(int at, double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof d);
        for (int i = 0; i < 8; ++i) (*h_)[at + i] = static_cast<char>(bits >> (56 - 8 * i));
    }
    bool Byte(int at) const { return (*h_)[at] != 0; }
    void SetByte(int at, bool on) {
        if (valid()) (*h_)[at] = on ? 1 : 0;
    }

    Handle h_;
};

}  // namespace kivhost
