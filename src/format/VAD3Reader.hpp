// Reading raster job files: the header, the line records one by one, and the trailer.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Plist.hpp"

namespace kiv {

struct VAD3Header {
    uint16_t copies = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t hResolution = 0;  // 16.16 dots per inch
    uint32_t vResolution = 0;
    int16_t pixelFormat = 0;
    uint16_t pageCount = 0;
    uint8_t flipHorizontal = 0;
    uint8_t reserved1 = 0;
    uint8_t reserved2 = 0;
    uint8_t greyscale = 0;
    uint8_t reserved3 = 0;
    uint8_t collate = 0;
    int32_t documentWidth = 0;
    int32_t documentHeight = 0;
    uint64_t trailerOffset = 0;
};

VAD3Header DecodeVAD3Header(const uint8_t *bytes);

// Trailers larger than this are refused before they are read (metadata and an ICC profile
// take far less).
inline constexpr uint64_t kMaxTrailerBytes = 4u << 20;

enum class LineKind { Raw, Encoded };

class VAD3Reader {
public:
    // Opens the file and reads its header. Empty on success, else what is wrong.
    std::string Open(const std::filesystem::path &path);

    const VAD3Header &header() const { return header_; }
    uint64_t bytesPerLine() const { return bytesPerLine_; }
    std::size_t pixelSize() const { return pixelSize_; }
    uint64_t fileSize() const { return fileSize_; }
    uint64_t position() const { return position_; }

    // Reads the next line record into pixels (bytesPerLine bytes). Empty on success, else the fault.
    std::string ReadLine(std::vector<uint8_t> &pixels, LineKind *kind = nullptr);
    // Steps over the next line record without decoding it.
    std::string SkipLine();
    // Reads the trailer at the header's offset. Empty on success; out is null when there is none.
    std::string ReadTrailer(Plist &out);

private:
    std::string ReadRecordLength(uint32_t &length);
    bool ReadBytes(void *to, std::size_t size);

    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file_{nullptr, std::fclose};
    VAD3Header header_;
    uint64_t bytesPerLine_ = 0;
    std::size_t pixelSize_ = 0;
    uint64_t fileSize_ = 0;
    uint64_t position_ = 0;
    std::vector<uint8_t> encoded_;
};

// Reads every record and the trailer. Empty when the file is sound, else its first fault.
std::string VerifyVAD3(const std::filesystem::path &path);

// The sum of the run counts of an encoded line, for diagnostics.
uint64_t EncodedPixelCount(const uint8_t *encoded, std::size_t size, std::size_t pixelSize);

}  // namespace kiv
