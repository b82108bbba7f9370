// The raster job file writer: creates a file in the hot folder, takes every scanline of every
// page, and on close appends the metadata trailer and rewrites the header.
//
// Calling order: Output_Create; any Output_SetProfile / Output_SetMetadata; per page
// Output_AddPage and exactly `height` lines (Output_WriteLine or Output_WriteBlankLine);
// then Output_Close or Output_Kill, which consume the reference. A reference dropped without
// either is abandoned like Output_Kill: its file is deleted.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <kiv/KIVPrinterDriver.h>

#include "platform/Plist.hpp"

namespace kiv {

struct OutputFormat {
    uint8_t flipHorizontal = 0;
    uint8_t reserved1 = 0;
    uint8_t reserved2 = 0;
    int16_t pixelFormat = 0;
    uint8_t collate = 0;
    uint16_t copies = 1;
    int32_t documentWidth = 0;  // the whole page in pixels (the tile's page when tiled)
    int32_t documentHeight = 0;
    std::string pageName;
};

struct OutputRecord;
// Destroying an unfinished record abandons its file (as Output_Kill).
struct OutputRecordDeleter {
    void operator()(OutputRecord *ref) const;
};
using OutputRef = std::unique_ptr<OutputRecord, OutputRecordDeleter>;

// 0; -50 for an unknown pixel format or a width below 1; -108 when memory is short or a line
// would exceed 256 MiB; -1 when the file cannot be created in the folder (or all hundred
// names for the job are taken); or the write error of the header. Nothing appears in the
// folder until Output_Close.
int16_t Output_Create(const std::filesystem::path &folder, const std::optional<std::string> &fileName,
                      std::string_view jobName, const PageGeometry &geometry, const OutputFormat &format,
                      OutputRef &outRef);
// 0, or EFBIG when the file already holds 65535 pages (the page count has 16 bits).
int16_t Output_AddPage(OutputRecord &ref);
// line holds bytesPerLine bytes in the file's pixel format. 0 or the sticky write error.
int16_t Output_WriteLine(OutputRecord &ref, const void *line);
int16_t Output_WriteBlankLine(OutputRecord &ref);
// Exactly what Output_WriteLine writes for a line of blank pixels, without looking at one: for
// callers that know a line is blank. (Output_WriteBlankLine's record differs for lines too
// short to encode.)
int16_t Output_WriteLineOfBlanks(OutputRecord &ref);
// Trailer values (copied). -50 for a null key or value.
int16_t Output_SetProfile(OutputRecord &ref, plist_t profile);
int16_t Output_SetMetadata(OutputRecord &ref, const char *key, plist_t value);
// Finishes the file and only then gives it its name in the folder (published, if given): the
// given file name, replacing a file of that name, or the first free of "job.vad3",
// "job_01.vad3" … "job_99.vad3". On any failure the file is removed and the error number
// returned (EEXIST when all hundred names were taken meanwhile).
int16_t Output_Close(OutputRef ref, std::filesystem::path *published = nullptr);
// Abandons the file and deletes it.
void Output_Kill(OutputRef ref);

uint32_t Output_FileType();
uint32_t Output_Creator();  // 'RIR2'

}  // namespace kiv
