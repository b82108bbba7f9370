// The raster job file writer.
#include "VAD3Output.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "format/Codecs.hpp"
#include "FileIO.hpp"
#include "HotFolderFiles.hpp"
#include "format/PixelFormats.hpp"
#include "format/VAD3Format.hpp"
#include "Wbuffer.hpp"
#include "platform/Assert.hpp"
#include "platform/FailureDetail.hpp"
#include "platform/Status.hpp"
#include "platform/Utf8.hpp"
#include "platform/Uuid.hpp"
#include "platform/Diagnostics.hpp"

extern "C" {
const char kKIVPrinterDriverUUIDKey[] = "KIVPrinterDriver_UUID";
const char kKIVPrinterDriverPageNameKey[] = "KIVPrinterDriver_PageName";
const char kKIVPrinterDriverJobNameKey[] = "KIVPrinterDriver_JobName";
const char kKIVPrinterDriverICCProfileKey[] = "KIVPrinterDriver_ICCProfile";
}

namespace kiv {

struct OutputRecord {
    OutputRecord() = default;
    OutputRecord(const OutputRecord &) = delete;
    OutputRecord &operator=(const OutputRecord &) = delete;
    ~OutputRecord();

    PendingFile file;                     // unnamed until Output_Close publishes it
    std::optional<std::string> fileName;  // the name to replace; else the unique-name rule
    std::string baseName;                 // the job name made fit for a file name
    std::array<uint8_t, kVAD3HeaderSize> header{};
    uint64_t bytesPerLine = 0;
    std::unique_ptr<Wbuffer> writer;
    std::vector<uint8_t> compressionBuffer;
    StuffProc encodeLine = nullptr;
    bool storeRaw = false;             // lines too short to encode within their budget
    std::vector<uint8_t> blankRecord;  // the whole record of a blank line, length word included
    std::vector<uint8_t> blankAsLine;  // what Output_WriteLine writes for a blank line
    Plist metadata;
};

namespace {

constexpr mode_t kFileMode = 0666;

// rint(pixels × 25.4 × 65536 ÷ mm), the low 32 bits.
uint32_t FixedResolution(int32_t pixels, double mm) {
    const double r = std::rint(pixels * 1664614.4 / mm);
    if (!std::isfinite(r) || std::fabs(r) >= 0x1p63) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(r));
}

void FillHeader(OutputRecord &ref, const PageGeometry &g, const OutputFormat &f) {
    uint8_t *h = ref.header.data();
    StoreBigEndian(h + vad3::kCopies, f.copies, 2);
    StoreBigEndian(h + vad3::kWidth, static_cast<uint32_t>(g.widthPixels), 4);
    StoreBigEndian(h + vad3::kHeight, static_cast<uint32_t>(g.heightPixels), 4);
    StoreBigEndian(h + vad3::kHResolution, FixedResolution(g.widthPixels, g.widthMillimetres), 4);
    StoreBigEndian(h + vad3::kVResolution, FixedResolution(g.heightPixels, g.heightMillimetres), 4);
    StoreBigEndian(h + vad3::kPixelFormat, static_cast<uint16_t>(f.pixelFormat), 2);
    h[vad3::kFlipHorizontal] = f.flipHorizontal;
    h[vad3::kReserved1] = f.reserved1;
    h[vad3::kReserved2] = f.reserved2;
    h[vad3::kGreyscale] = f.pixelFormat == 8 ? 1 : 0;
    h[vad3::kCollate] = f.collate;
    StoreBigEndian(h + vad3::kDocumentWidth, static_cast<uint32_t>(f.documentWidth), 4);
    StoreBigEndian(h + vad3::kDocumentHeight, static_cast<uint32_t>(f.documentHeight), 4);
}

// A line of the format's blank pixel.
std::vector<uint8_t> BlankLine(const PixelFormatInfo &f, uint64_t width) {
    std::vector<uint8_t> line(f.pixelSize * width);
    const std::array<uint8_t, 12> pixel = BlankPixel(f);
    for (uint64_t i = 0; i < width; ++i) std::memcpy(line.data() + i * f.pixelSize, pixel.data(), f.pixelSize);
    return line;
}

// The record of a blank line. Where its length word would equal the raw line size (grey 8
// pixels, 4-byte 4 pixels, 8-byte 3 pixels) a reader would take it for a raw line, so the
// blank pixels are stored raw instead.
std::vector<uint8_t> BlankRecord(const PixelFormatInfo &f, uint64_t width, uint64_t bytesPerLine) {
    const std::size_t recordSize = RecordSizeForPixelSize(f.pixelSize);
    const uint64_t maxCount = f.pixelSize == 1 ? 255 : 65535;
    std::vector<uint8_t> record(4 + (width / maxCount + 2) * recordSize);
    const std::size_t n = f.blank(width, f.blankFill, record.data() + 4);
    if (n + 4 != bytesPerLine) {
        record.resize(4 + n);
        StoreBigEndian(record.data(), n + 4, 4);
        return record;
    }
    std::vector<uint8_t> raw(4);
    StoreBigEndian(raw.data(), bytesPerLine, 4);
    const std::vector<uint8_t> line = BlankLine(f, width);
    raw.insert(raw.end(), line.begin(), line.end());
    return raw;
}

// The record Output_WriteLine writes for a line, length word included.
std::vector<uint8_t> LineRecord(const OutputRecord &ref, const uint8_t *line) {
    const std::size_t width = LoadBigEndian(ref.header.data() + vad3::kWidth, 4);
    std::vector<uint8_t> encoded(ref.compressionBuffer.size());
    const std::size_t n = ref.storeRaw ? 0 : ref.encodeLine(line, width, encoded.data(), ref.bytesPerLine - 8);
    std::vector<uint8_t> record(4 + (n > 0 ? n : ref.bytesPerLine));
    StoreBigEndian(record.data(), n > 0 ? n + 4 : ref.bytesPerLine, 4);
    std::memcpy(record.data() + 4, n > 0 ? encoded.data() : line, record.size() - 4);
    return record;
}

// Queues the whole of data; the write buffer's sticky error otherwise.
int QueueBytes(OutputRecord &ref, const void *data, std::size_t size) {
    std::size_t accepted = size;
    const int e = WBWrite(*ref.writer, accepted, data);
    return e != 0 ? e : (accepted == size ? 0 : EIO);
}

int WriteLineRecord(OutputRecord &ref, const void *payload, std::size_t n, uint32_t lengthWord) {
    uint8_t word[4];
    StoreBigEndian(word, lengthWord, 4);
    const int e = QueueBytes(ref, word, 4);
    return e != 0 ? e : QueueBytes(ref, payload, n);
}

// Stops the writer and removes the unnamed file, for a file that will not be finished.
void Abandon(OutputRecord &ref) {
    if (ref.writer) DisposeWbuffer(std::move(ref.writer));
    DiscardPendingFile(ref.file);
}

// The words for a failed write of the job file.
int16_t WriteFailed(const OutputRecord &ref, int e) {
    NoteFailure("cannot write the job file in " + ref.file.folder.string() + ": " + std::strerror(e));
    return static_cast<int16_t>(e);
}

// Names the finished file; the error number, with its words noted.
int Publish(OutputRecord &ref, std::filesystem::path &published) {
    const int e = ref.fileName ? PublishReplacing(ref.file, *ref.fileName, published)
                               : PublishUnique(ref.file, ref.baseName, "vad3", published);
    if (e == EEXIST && !ref.fileName) {
        NoteFailure("all 100 names for \"" + ref.baseName + "\" are taken in " + ref.file.folder.string());
    } else if (e != 0) {
        NoteFailure("cannot save the job file in " + ref.file.folder.string() + ": " + std::strerror(e));
    }
    return e;
}

}  // namespace

OutputRecord::~OutputRecord() { Abandon(*this); }

void OutputRecordDeleter::operator()(OutputRecord *ref) const { std::unique_ptr<OutputRecord> owned(ref); }

int16_t Output_Create(const std::filesystem::path &folder, const std::optional<std::string> &fileName,
                      std::string_view jobName, const PageGeometry &geometry, const OutputFormat &format,
                      OutputRef &outRef) {
    outRef.reset();
    OutputRef ref;
    try {
        ref = OutputRef(std::make_unique<OutputRecord>().release());
    } catch (const std::bad_alloc &) {
        return kMemFullErr;
    }
    FillHeader(*ref, geometry, format);

    const PixelFormatInfo *info = FindPixelFormat(format.pixelFormat);
    if (!info || geometry.widthPixels < 1 || geometry.heightPixels < 0) return kParamErr;
    const uint64_t width = static_cast<uint64_t>(geometry.widthPixels);
    ref->bytesPerLine = info->pixelSize * width;
    if (ref->bytesPerLine > kMaxLineBytes) return kMemFullErr;
    ref->encodeLine = LineEncoders().*(info->encoder);
    // A line of 8 bytes or less has no budget (bytesPerLine − 8) to encode into.
    ref->storeRaw = ref->bytesPerLine <= 8;

    try {
        // One record more than the widest encoding, so that every blank line fits too.
        ref->compressionBuffer.assign((width + 1) * RecordSizeForPixelSize(info->pixelSize), 0);
        ref->blankRecord = BlankRecord(*info, width, ref->bytesPerLine);
        ref->blankAsLine = LineRecord(*ref, BlankLine(*info, width).data());
    } catch (const std::bad_alloc &) {
        Diagnose("Output_Create: malloc failed on compression buffer");
        return kMemFullErr;
    }
    ref->metadata = MakeDict();
    if (!ref->metadata) {
        Diagnose("Output_Create: metaData dictionary creation failed");
        return kMemFullErr;
    }

    ref->fileName = fileName;
    ref->baseName = JobFileBaseName(jobName, "vad3");
    if (const int e = OpenPendingFile(folder, kFileMode, ref->file)) {
        NoteFailure("cannot create a job file in " + folder.string() + ": " + std::strerror(e));
        return kOutputNotCreatedErr;
    }
    // Fail now rather than after the whole job when no name could be given at the end.
    if (!fileName && !HasFreeUniqueName(ref->file, ref->baseName, "vad3")) {
        NoteFailure("all 100 names for \"" + ref->baseName + "\" are taken in " + folder.string());
        return kOutputNotCreatedErr;
    }

    ref->writer = NewWbuffer(kWbufferBlockSize, ref->file.fd);
    if (!ref->writer) {
        Diagnose("Output_Create: NewWbuffer failed");
        return kMemFullErr;  // the record's destructor deletes the new file
    }
    if (const int e = QueueBytes(*ref, ref->header.data(), ref->header.size())) return WriteFailed(*ref, e);

    if (const auto uuid = NewUuidString()) DictSet(ref->metadata.get(), kKIVPrinterDriverUUIDKey, MakeString(*uuid));
    DictSet(ref->metadata.get(), kKIVPrinterDriverPageNameKey, MakeString(SanitizeForXml(format.pageName)));
    DictSet(ref->metadata.get(), kKIVPrinterDriverJobNameKey, MakeString(SanitizeForXml(jobName)));
    outRef = std::move(ref);
    return 0;
}

int16_t Output_AddPage(OutputRecord &ref) {
    const uint64_t pages = LoadBigEndian(ref.header.data() + vad3::kPageCount, 2);
    if (pages == 0xFFFF) return EFBIG;
    StoreBigEndian(ref.header.data() + vad3::kPageCount, pages + 1, 2);
    return 0;
}

int16_t Output_WriteLine(OutputRecord &ref, const void *line) {
    const std::size_t bytesPerLine = ref.bytesPerLine;
    std::size_t n = 0;
    if (!ref.storeRaw) {
        const std::size_t width = LoadBigEndian(ref.header.data() + vad3::kWidth, 4);
        n = ref.encodeLine(line, width, ref.compressionBuffer.data(), bytesPerLine - 8);
    }
    const int e = n > 0 ? WriteLineRecord(ref, ref.compressionBuffer.data(), n, static_cast<uint32_t>(n + 4))
                        : WriteLineRecord(ref, line, bytesPerLine, static_cast<uint32_t>(bytesPerLine));
    if (e == 0) return 0;
    Diagnose("VAD3 Output_WriteLine returned: %d", e);
    return WriteFailed(ref, e);
}

int16_t Output_WriteLineOfBlanks(OutputRecord &ref) {
    const int e = QueueBytes(ref, ref.blankAsLine.data(), ref.blankAsLine.size());
    return e == 0 ? 0 : WriteFailed(ref, e);
}

int16_t Output_WriteBlankLine(OutputRecord &ref) {
    const int e = QueueBytes(ref, ref.blankRecord.data(), ref.blankRecord.size());
    return e == 0 ? 0 : WriteFailed(ref, e);
}

int16_t Output_SetProfile(OutputRecord &ref, plist_t profile) {
    return Output_SetMetadata(ref, kKIVPrinterDriverICCProfileKey, profile);
}

int16_t Output_SetMetadata(OutputRecord &ref, const char *key, plist_t value) {
    if (!key || !value) return kParamErr;
    DictSet(ref.metadata.get(), key, Plist::Copy(value));
    return 0;
}

int16_t Output_Close(OutputRef ref, std::filesystem::path *published) {
    KIV_ASSERT(ref != nullptr);
    const int fd = ref->file.fd;
    int e = DisposeWbuffer(std::move(ref->writer));

    // The trailer: its offset is where the line data ends.
    if (e == 0) {
        if (const auto xml = ToXml(ref->metadata.get())) {
            const off_t offset = ::lseek(fd, 0, SEEK_CUR);
            uint8_t length[4];
            StoreBigEndian(length, xml->size(), 4);
            if (offset < 0) {
                e = errno;
            } else if ((e = WriteFully(fd, length, 4)) == 0 && (e = WriteFully(fd, xml->data(), xml->size())) == 0) {
                StoreBigEndian(ref->header.data() + vad3::kTrailerOffset, static_cast<uint64_t>(offset), 8);
            }
        }
    }
    if (e == 0) e = PWriteFully(fd, ref->header.data(), ref->header.size(), 0);
    if (e != 0) {
        WriteFailed(*ref, e);
        Abandon(*ref);  // a damaged file must not be taken for a finished one
        return static_cast<int16_t>(e);
    }
    // Stamped before it has a name, so that the file appears complete with its attributes.
    SetFinderInfo(fd, "RIR2", "VAD3");
    std::filesystem::path name;
    if ((e = Publish(*ref, name)) != 0) {
        Abandon(*ref);
        return static_cast<int16_t>(e);
    }
    if (published) *published = std::move(name);
    return 0;
}

void Output_Kill(OutputRef ref) {
    KIV_ASSERT(ref != nullptr);
    Abandon(*ref);
}

// Hosts read 0 here, as they always have; the files themselves are stamped with type 'VAD3'.
uint32_t Output_FileType() { return 0; }

uint32_t Output_Creator() { return ('R' << 24) | ('I' << 16) | ('R' << 8) | '2'; }

}  // namespace kiv
