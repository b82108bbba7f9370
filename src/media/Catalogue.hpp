// The paper and resolution catalogues: fixed blocks of 40 named entries, loaded from the
// user's preferences or from a catalogue text, written back, looked up and edited.
//
// Catalogue text: entries separated by "\r"; a leading "*" marks the default; each line is
// a name followed by up to two numbers ("A3 280 390", "720x360 720 360"). In paper names
// "~" stands for a space.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kiv {

inline constexpr int64_t kCatalogueCapacity = 40;
inline constexpr std::size_t kMaxEntryNameBytes = 255;

struct PaperEntry {
    std::string name;
    double width = 0;   // millimetres
    double height = 0;  // millimetres
};

struct PaperDescription {
    int64_t defaultIndex = 0;
    int64_t count = 0;
    std::array<PaperEntry, kCatalogueCapacity> entries;
};

struct ResEntry {
    std::string name;
    double xdpi = 0;
    double ydpi = 0;
};

struct ResDescription {
    int64_t count = 0;
    int64_t defaultIndex = 0;
    std::array<ResEntry, kCatalogueCapacity> entries;
};

using PaperDescriptionPtr = std::unique_ptr<PaperDescription>;
using ResDescriptionPtr = std::unique_ptr<ResDescription>;

// Test hook: the number of upcoming catalogue allocations that fail as if memory were short.
extern int gCatalogueAllocationFailures;

// ---- Papers ----
// From the "Paper Sizes" preference, or from defaultText when none is stored or the stored
// value is unusable. Null only when memory is short.
PaperDescriptionPtr ReadPageSizeStrings(std::string_view domain, std::string_view defaultText);
PaperDescriptionPtr SetPapersFrom(std::string_view text);
bool WriteNewPaperSettings(std::string_view domain, const PaperDescription &papers);
int64_t CountPaper(const PaperDescription &papers);
int64_t DefaultPaperIndex(const PaperDescription &papers);
const PaperEntry &GetPaper(const PaperDescription &papers, int64_t index);  // 0 <= index < count
bool IsSamePaperSize(const PaperEntry &paper, double width, double height);
const PaperEntry *GetPaperBySize(const PaperDescription &papers, double width, double height);
const PaperEntry *GetPaperByName(const PaperDescription &papers, std::string_view name);
// False (nothing added) when the catalogue is full or the name is not UTF-8. The default is left as it is.
bool AddNewPaper(PaperDescription &papers, const PaperEntry &entry);
void RemovePaper(PaperDescription &papers, int64_t index);

// ---- Resolutions ----
// As for papers; a stored list that loads empty also gives defaultText.
ResDescriptionPtr ReadResolutionStrings(std::string_view domain, std::string_view defaultText);
ResDescriptionPtr SetResolutionsFrom(std::string_view text);
bool WriteNewResolutions(std::string_view domain, const ResDescription &resolutions);
int64_t CountResolution(const ResDescription &resolutions);
int64_t DefaultResolution(const ResDescription &resolutions);
const ResEntry &GetResolution(const ResDescription &resolutions, int64_t index);
bool AddNewResolution(ResDescription &resolutions, const ResEntry &entry);
void RemoveResolution(ResDescription &resolutions, int64_t index);

// ---- Measurement unit ----

// Zero-filled catalogue blocks; null when memory is short.
PaperDescriptionPtr AllocatePaperDescription();
ResDescriptionPtr AllocateResDescription();

// A name fit for an entry: cut to 255 bytes at a character boundary (valid UTF-8 expected).
std::string EntryName(std::string_view name);

}  // namespace kiv
