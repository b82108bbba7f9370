// The raster job file format shared by the writer and the reader.
//
// Big-endian throughout: a 64-byte header, then per page `height` line records (a 4-byte
// length P and a payload: raw when P equals the line's byte count, else P − 4 bytes of an
// encoded line), then the trailer at the header's trailer offset: a 4-byte length and an
// XML property list of metadata.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/BigEndian.hpp"

namespace kiv {

inline constexpr std::size_t kVAD3HeaderSize = 64;
// The trailer's key for the colour profile (ICC data) of the file's samples.
inline constexpr const char *kVAD3ProfileKey = "KIVPrinterDriver_ICCProfile";
// The longest line written or read: 256 MiB (22 million 12-byte pixels), far beyond any page
// the catalogues allow, and a bound on what a damaged header can make anyone allocate.
inline constexpr uint64_t kMaxLineBytes = uint64_t{256} << 20;

namespace vad3 {
inline constexpr std::size_t kCopies = 0;        // uint16
inline constexpr std::size_t kWidth = 2;         // int32
inline constexpr std::size_t kHeight = 6;        // int32
inline constexpr std::size_t kHResolution = 10;  // 16.16 dots per inch
inline constexpr std::size_t kVResolution = 14;
inline constexpr std::size_t kPixelFormat = 18;  // int16
inline constexpr std::size_t kPageCount = 20;    // uint16
inline constexpr std::size_t kFlipHorizontal = 22;
inline constexpr std::size_t kReserved1 = 23;
inline constexpr std::size_t kReserved2 = 24;
inline constexpr std::size_t kGreyscale = 25;
inline constexpr std::size_t kCollate = 27;
inline constexpr std::size_t kDocumentWidth = 28;  // int32
inline constexpr std::size_t kDocumentHeight = 32;
inline constexpr std::size_t kTrailerOffset = 36;  // uint64
}  // namespace vad3

// Bytes per pixel of a pixel format: 1 (8), 4 (32, 33), 8 (34, 64), 12 (35, 36); 0 otherwise.
std::size_t PixelSizeFromFormat(int16_t pixelFormat);

}  // namespace kiv
