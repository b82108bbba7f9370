// Reading the driver's catalogues through the driver's own catalogue code (the documented
// preference keys, else the built-in catalogue texts the module exports), as IPP media.
#include "Catalogue.hpp"

#include <cups/cups.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "media/Catalogue.hpp"

namespace vad3printer {

std::string MediaName(const std::string &name, double width, double height) {
    const int w = static_cast<int>(std::lround(width * 100)), h = static_cast<int>(std::lround(height * 100));
    if (pwg_media_t *pwg = pwgMediaForSize(w, h); pwg && pwg->width == w && pwg->length == h && pwg->pwg)
        return pwg->pwg;
    std::string slug;
    for (unsigned char c : name) {
        if (std::isalnum(c) && c < 0x80)
            slug += static_cast<char>(std::tolower(c));
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    }
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    char keyword[128];
    if (!pwgFormatSizeName(keyword, sizeof keyword, "custom", slug.empty() ? "paper" : slug.c_str(), w, h, "mm"))
        return "custom_paper_" + std::to_string(w / 100) + "x" + std::to_string(h / 100) + "mm";
    return keyword;
}

Catalogue ReadCatalogue(const char *domain, const char *builtInPapers, const char *builtInResolutions) {
    Catalogue c;
    const kiv::PaperDescriptionPtr papers = kiv::ReadPageSizeStrings(domain ? domain : "", builtInPapers);
    const kiv::ResDescriptionPtr resolutions = kiv::ReadResolutionStrings(domain ? domain : "", builtInResolutions);
    if (!papers || !resolutions) return c;
    for (int64_t i = 0; i < kiv::CountPaper(*papers); ++i) {
        const kiv::PaperEntry &p = kiv::GetPaper(*papers, i);
        if (i == kiv::DefaultPaperIndex(*papers)) c.defaultPaper = c.papers.size();
        if (p.width > 0 && p.height > 0)
            c.papers.push_back(Paper{p.name, p.width, p.height, MediaName(p.name, p.width, p.height)});
    }
    for (int64_t i = 0; i < kiv::CountResolution(*resolutions); ++i) {
        const kiv::ResEntry &r = kiv::GetResolution(*resolutions, i);
        const int x = static_cast<int>(std::lround(r.xdpi)), y = static_cast<int>(std::lround(r.ydpi));
        if (i == kiv::DefaultResolution(*resolutions)) c.defaultResolution = c.resolutions.size();
        if (x > 0 && y > 0) c.resolutions.push_back(Resolution{x, y});
    }
    if (c.defaultPaper >= c.papers.size()) c.defaultPaper = 0;
    if (c.defaultResolution >= c.resolutions.size()) c.defaultResolution = 0;
    return c;
}

std::vector<Resolution> OfferedResolutions(const Catalogue &catalogue, std::size_t limit) {
    if (catalogue.resolutions.empty() || limit == 0) return {};
    const Resolution def = catalogue.resolutions[catalogue.defaultResolution];
    std::vector<Resolution> others;
    for (std::size_t i = 0; i < catalogue.resolutions.size(); ++i) {
        const Resolution &r = catalogue.resolutions[i];
        const bool duplicate =
            std::any_of(others.begin(), others.end(), [&](const Resolution &o) { return o.x == r.x && o.y == r.y; });
        if (i != catalogue.defaultResolution && !duplicate && !(r.x == def.x && r.y == def.y)) others.push_back(r);
    }
    const auto distance = [&](const Resolution &r) {
        return std::fabs(std::log(static_cast<double>(r.x) / def.x)) +
               std::fabs(std::log(static_cast<double>(r.y) / def.y));
    };
    std::stable_sort(others.begin(), others.end(),
                     [&](const Resolution &a, const Resolution &b) { return distance(a) < distance(b); });
    others.resize(std::min(others.size(), limit - 1));
    others.push_back(def);
    std::sort(others.begin(), others.end(),
              [](const Resolution &a, const Resolution &b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    return others;
}

}  // namespace vad3printer
