// The raster job file reader and verifier.
#include "VAD3Reader.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <kiv/VAD3Codecs.h>

#include "format/Codecs.hpp"
#include "format/PixelFormats.hpp"
#include "format/VAD3Format.hpp"

namespace kiv {
namespace {

std::string Decimal(uint64_t v) { return std::to_string(v); }

}  // namespace

VAD3Header DecodeVAD3Header(const uint8_t *b) {
    VAD3Header h;
    h.copies = static_cast<uint16_t>(LoadBigEndian(b + vad3::kCopies, 2));
    h.width = static_cast<int32_t>(LoadBigEndian(b + vad3::kWidth, 4));
    h.height = static_cast<int32_t>(LoadBigEndian(b + vad3::kHeight, 4));
    h.hResolution = static_cast<uint32_t>(LoadBigEndian(b + vad3::kHResolution, 4));
    h.vResolution = static_cast<uint32_t>(LoadBigEndian(b + vad3::kVResolution, 4));
    h.pixelFormat = static_cast<int16_t>(LoadBigEndian(b + vad3::kPixelFormat, 2));
    h.pageCount = static_cast<uint16_t>(LoadBigEndian(b + vad3::kPageCount, 2));
    h.flipHorizontal = b[vad3::kFlipHorizontal];
    h.reserved1 = b[vad3::kReserved1];
    h.reserved2 = b[vad3::kReserved2];
    h.greyscale = b[vad3::kGreyscale];
    h.reserved3 = b[26];
    h.collate = b[vad3::kCollate];
    h.documentWidth = static_cast<int32_t>(LoadBigEndian(b + vad3::kDocumentWidth, 4));
    h.documentHeight = static_cast<int32_t>(LoadBigEndian(b + vad3::kDocumentHeight, 4));
    h.trailerOffset = LoadBigEndian(b + vad3::kTrailerOffset, 8);
    return h;
}

uint64_t EncodedPixelCount(const uint8_t *encoded, std::size_t size, std::size_t pixelSize) {
    const std::size_t record = RecordSizeForPixelSize(pixelSize);
    uint64_t total = 0;
    for (std::size_t at = 0; record && at + record <= size; at += record) {
        total += pixelSize == 1 ? encoded[at + 1] : LoadBigEndian(encoded + at, 2);
    }
    return total;
}

std::string VAD3Reader::Open(const std::filesystem::path &path) {
    file_.reset(std::fopen(path.c_str(), "rb"));
    if (!file_) return std::string("cannot open: ") + std::strerror(errno);
    struct stat st {};
    if (::fstat(fileno(file_.get()), &st) != 0 || !S_ISREG(st.st_mode)) return "not a regular file";
    fileSize_ = static_cast<uint64_t>(st.st_size);
    std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 20);
    uint8_t bytes[kVAD3HeaderSize];
    if (!ReadBytes(bytes, sizeof bytes)) return "truncated header: " + Decimal(fileSize_) + " bytes, a header needs 64";
    header_ = DecodeVAD3Header(bytes);
    pixelSize_ = PixelSizeFromFormat(header_.pixelFormat);
    if (pixelSize_ == 0) return "unknown pixel format " + std::to_string(header_.pixelFormat);
    if (header_.width < 1) return "width " + std::to_string(header_.width) + " is not positive";
    if (header_.height < 0) return "height " + std::to_string(header_.height) + " is negative";
    bytesPerLine_ = pixelSize_ * static_cast<uint64_t>(header_.width);
    if (bytesPerLine_ > kMaxLineBytes) return "lines of " + Decimal(bytesPerLine_) + " bytes are longer than any page";
    // Nothing is allocated for lines the file could not hold: a line is either raw or a run
    // of records, each at most a maximal run of pixels.
    if (header_.pageCount > 0 && header_.height > 0) {
        const uint64_t room = fileSize_ > kVAD3HeaderSize + 4 ? fileSize_ - kVAD3HeaderSize - 4 : 0;
        const uint64_t maxRun = pixelSize_ == 1 ? 255 : 65535;
        if (bytesPerLine_ > room &&
            static_cast<uint64_t>(header_.width) > room / RecordSizeForPixelSize(pixelSize_) * maxRun) {
            return "lines of " + std::to_string(header_.width) + " pixels cannot fit in a file of " +
                   Decimal(fileSize_) + " bytes";
        }
    }
    return {};
}

bool VAD3Reader::ReadBytes(void *to, std::size_t size) {
    if (std::fread(to, 1, size, file_.get()) != size) return false;
    position_ += size;
    return true;
}

std::string VAD3Reader::ReadRecordLength(uint32_t &length) {
    uint8_t word[4];
    if (!ReadBytes(word, 4)) return "truncated: no line record at offset " + Decimal(position_);
    length = static_cast<uint32_t>(LoadBigEndian(word, 4));
    if (length != bytesPerLine_ && length < 4) return "line record of impossible length " + Decimal(length);
    const uint64_t payload = length == bytesPerLine_ ? length : length - 4;
    if (payload > fileSize_ - position_) {
        return "truncated: a line record of " + Decimal(payload) + " bytes at offset " + Decimal(position_) +
               " runs past the end";
    }
    return {};
}

std::string VAD3Reader::ReadLine(std::vector<uint8_t> &pixels, LineKind *kind) {
    uint32_t length = 0;
    if (auto fault = ReadRecordLength(length); !fault.empty()) return fault;
    pixels.resize(bytesPerLine_);
    if (length == bytesPerLine_) {
        if (kind) *kind = LineKind::Raw;
        return ReadBytes(pixels.data(), length) ? std::string() : "truncated line";
    }
    if (kind) *kind = LineKind::Encoded;
    if ((length - 4) % RecordSizeForPixelSize(pixelSize_) != 0) {
        return "an encoded line of " + Decimal(length - 4) + " bytes is not a whole number of " +
               Decimal(RecordSizeForPixelSize(pixelSize_)) + "-byte records";
    }
    encoded_.resize(length - 4);
    if (!ReadBytes(encoded_.data(), encoded_.size())) return "truncated line";
    if (FindPixelFormat(header_.pixelFormat)->decode(encoded_.data(), pixels.data(), encoded_.size(), header_.width) !=
        0) {
        return "runs add up to " + Decimal(EncodedPixelCount(encoded_.data(), encoded_.size(), pixelSize_)) +
               " pixels, not the width " + std::to_string(header_.width);
    }
    return {};
}

std::string VAD3Reader::SkipLine() {
    uint32_t length = 0;
    if (auto fault = ReadRecordLength(length); !fault.empty()) return fault;
    const uint64_t payload = length == bytesPerLine_ ? length : length - 4;
    if (std::fseek(file_.get(), static_cast<long>(payload), SEEK_CUR) != 0) return "seek failed";
    position_ += payload;
    return {};
}

std::string VAD3Reader::ReadTrailer(Plist &out) {
    out.reset();
    if (header_.trailerOffset == 0) return {};
    if (header_.trailerOffset < kVAD3HeaderSize || header_.trailerOffset > fileSize_ - 4 || fileSize_ < 4) {
        return "trailer offset " + Decimal(header_.trailerOffset) + " lies outside the file";
    }
    if (std::fseek(file_.get(), static_cast<long>(header_.trailerOffset), SEEK_SET) != 0) return "seek failed";
    position_ = header_.trailerOffset;
    uint8_t word[4];
    if (!ReadBytes(word, 4)) return "truncated trailer";
    const uint64_t length = LoadBigEndian(word, 4);
    if (length > fileSize_ - position_) return "trailer of " + Decimal(length) + " bytes runs past the end of the file";
    if (length > kMaxTrailerBytes) {
        return "trailer of " + Decimal(length) + " bytes is larger than the " + Decimal(kMaxTrailerBytes) +
               " bytes read";
    }
    std::string xml(length, '\0');
    if (!ReadBytes(xml.data(), length)) return "truncated trailer";
    out = ParseXml(xml.data(), xml.size());
    if (!IsDict(out.get())) {
        out.reset();
        return "the trailer is not a property-list dictionary";
    }
    return {};
}

std::string VerifyVAD3(const std::filesystem::path &path) {
    VAD3Reader reader;
    if (auto fault = reader.Open(path); !fault.empty()) return fault;
    const VAD3Header &h = reader.header();
    std::vector<uint8_t> pixels;
    for (uint32_t page = 1; page <= h.pageCount; ++page) {
        for (int32_t line = 1; line <= h.height; ++line) {
            if (auto fault = reader.ReadLine(pixels); !fault.empty()) {
                return "page " + std::to_string(page) + ", line " + std::to_string(line) + ": " + fault;
            }
        }
    }
    const uint64_t dataEnd = reader.position();
    if (h.trailerOffset == 0) {
        if (dataEnd != reader.fileSize()) {
            return Decimal(reader.fileSize() - dataEnd) + " bytes follow the " + std::to_string(h.pageCount) +
                   " pages of the header and there is no trailer (an unfinished file?)";
        }
        return {};
    }
    if (h.trailerOffset != dataEnd) {
        return "trailer offset " + Decimal(h.trailerOffset) + " but the line data of " + std::to_string(h.pageCount) +
               " pages ends at " + Decimal(dataEnd);
    }
    Plist trailer;
    if (auto fault = reader.ReadTrailer(trailer); !fault.empty()) return fault;
    if (reader.position() != reader.fileSize()) {
        return Decimal(reader.fileSize() - reader.position()) + " bytes follow the trailer";
    }
    return {};
}

}  // namespace kiv
