// Menu tags of the paper and resolution menus.
#include "MenuTags.hpp"

#include <limits>

namespace kiv {

int64_t PageTagBySize(const PaperDescription &papers, double widthMM, double heightMM) {
    for (int64_t i = 0; i < CountPaper(papers); ++i)
        if (IsSamePaperSize(GetPaper(papers, i), widthMM, heightMM)) return i;
    return kCustomPaperTag;
}

int64_t PageTagByName(const PaperDescription &papers, std::string_view name) {
    for (int64_t i = 0; i < CountPaper(papers); ++i)
        if (GetPaper(papers, i).name == name) return i;
    return kCustomPaperTag;
}

std::string GetPaperName(const PaperDescription &papers, int64_t tag) {
    if (tag < 0 || tag >= CountPaper(papers)) return "Custom";
    return GetPaper(papers, tag).name;
}

int64_t ResolutionTag(const ResDescription &resolutions, double xdpi, double ydpi) {
    int64_t best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int64_t i = 0; i < CountResolution(resolutions); ++i) {
        const ResEntry &r = GetResolution(resolutions, i);
        const double d = (xdpi - r.xdpi) * (xdpi - r.xdpi) + (ydpi - r.ydpi) * (ydpi - r.ydpi);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

const ResEntry *GetResolutionFromTag(int64_t tag, const ResDescription &resolutions, double &xdpi, double &ydpi) {
    if (tag < 0 || tag >= CountResolution(resolutions)) return nullptr;
    const ResEntry &r = GetResolution(resolutions, tag);
    xdpi = r.xdpi;
    ydpi = r.ydpi;
    return &r;
}

}  // namespace kiv
