// Catalogue lookups, additions and removals.
#include <cmath>
#include <cstdio>
#include <utility>

#include "Catalogue.hpp"
#include "platform/Utf8.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv {

int64_t CountPaper(const PaperDescription &papers) { return papers.count; }
int64_t DefaultPaperIndex(const PaperDescription &papers) { return papers.defaultIndex; }
const PaperEntry &GetPaper(const PaperDescription &papers, int64_t index) { return papers.entries[index]; }

bool IsSamePaperSize(const PaperEntry &paper, double width, double height) {
    return std::fabs(paper.width - width) < 1.0 && std::fabs(paper.height - height) < 1.0;
}

const PaperEntry *GetPaperBySize(const PaperDescription &papers, double width, double height) {
    for (int64_t i = 0; i < papers.count; ++i)
        if (IsSamePaperSize(papers.entries[i], width, height)) return &papers.entries[i];
    return nullptr;
}

const PaperEntry *GetPaperByName(const PaperDescription &papers, std::string_view name) {
    for (int64_t i = 0; i < papers.count; ++i)
        if (papers.entries[i].name == name) return &papers.entries[i];
    return nullptr;
}

bool AddNewPaper(PaperDescription &papers, const PaperEntry &entry) {
    if (papers.count >= kCatalogueCapacity || !IsValidUtf8(entry.name)) return false;
    PaperEntry &slot = papers.entries[papers.count];
    slot = entry;
    slot.name = EntryName(entry.name);
    ++papers.count;
    return true;
}

void RemovePaper(PaperDescription &papers, int64_t index) {
    if (index < 0 || index >= papers.count) {
        Diagnose("RemovePaper: attempt to remove out of range item");
        return;
    }
    for (int64_t i = index; i + 1 < papers.count; ++i) papers.entries[i] = std::move(papers.entries[i + 1]);
    papers.entries[--papers.count] = PaperEntry{};
}

int64_t CountResolution(const ResDescription &resolutions) { return resolutions.count; }
int64_t DefaultResolution(const ResDescription &resolutions) { return resolutions.defaultIndex; }
const ResEntry &GetResolution(const ResDescription &resolutions, int64_t index) { return resolutions.entries[index]; }

bool AddNewResolution(ResDescription &resolutions, const ResEntry &entry) {
    if (resolutions.count >= kCatalogueCapacity || !IsValidUtf8(entry.name)) return false;
    ResEntry &slot = resolutions.entries[resolutions.count];
    slot = entry;
    slot.name = EntryName(entry.name);
    ++resolutions.count;
    return true;
}

void RemoveResolution(ResDescription &resolutions, int64_t index) {
    if (index < 0 || index >= resolutions.count) return;
    for (int64_t i = index; i + 1 < resolutions.count; ++i)
        resolutions.entries[i] = std::move(resolutions.entries[i + 1]);
    resolutions.entries[--resolutions.count] = ResEntry{};
    // The default keeps designating the same entry.
    if (resolutions.defaultIndex == index) {
        resolutions.defaultIndex = 0;
    } else if (resolutions.defaultIndex > index) {
        --resolutions.defaultIndex;
    }
}

}  // namespace kiv
