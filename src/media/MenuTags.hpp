// Menu tags: which catalogue entry a menu item stands for, and which item a size or a
// resolution selects. A paper tag is the paper's index, or -2 for a size no paper names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Catalogue.hpp"

namespace kiv {

inline constexpr int64_t kCustomPaperTag = -2;
// The paper menu's two commands after the papers.
inline constexpr int64_t kAddPaperTag = -3, kRemovePaperTag = -4;
// The units menu's tags are the measurement units, as the preferences store them.
enum MeasurementUnit : int32_t { kUnitPoints = 1, kUnitMillimetres = 2, kUnitInches = 3 };

// The first paper within 1 mm on both sides, or -2.
int64_t PageTagBySize(const PaperDescription &papers, double widthMM, double heightMM);
// The first paper of exactly that name, or -2.
int64_t PageTagByName(const PaperDescription &papers, std::string_view name);
// "Custom" for -2 and for any tag that is not a paper of the catalogue.
std::string GetPaperName(const PaperDescription &papers, int64_t tag);
// The nearest resolution (first of equals); 0 for an empty catalogue.
int64_t ResolutionTag(const ResDescription &resolutions, double xdpi, double ydpi);
// The resolution of a tag and its dpi; null (dpi untouched) for a tag outside the catalogue.
const ResEntry *GetResolutionFromTag(int64_t tag, const ResDescription &resolutions, double &xdpi, double &ydpi);

}  // namespace kiv
