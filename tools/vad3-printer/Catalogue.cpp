// Reading the driver's catalogues through the driver's own catalogue code (the documented
// preference keys, else the built-in catalogue texts the module exports), as IPP media.
#include "Catalogue.hpp"

#include <cups/cups.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "media/Catalogue.hpp"

namespace vad3printer {

namespace {

// Millimetres as PWG names write them: up to two decimals, no trailing zeros.
std::string Millimetres(int hundredths) {
    std::string text = std::to_string(hundredths / 100);
    if (const int rest = hundredths % 100; rest != 0) {
        text += '.' + std::to_string(rest / 10);
        if (rest % 10) text += std::to_string(rest % 10);
    }
    return text;
}

// The standard sizes every printer offers besides its catalogue's papers (those the driver's
// limits allow): ISO A and B from A6, SRA, North American and architectural sizes.
constexpr const char *kStandardMedia[] = {
    "iso_a6_105x148mm",   "iso_a5_148x210mm",   "iso_a4_210x297mm",    "iso_a3_297x420mm",  "iso_a2_420x594mm",
    "iso_a1_594x841mm",   "iso_a0_841x1189mm",  "iso_2a0_1189x1682mm", "iso_b6_125x176mm",  "iso_b5_176x250mm",
    "iso_b4_250x353mm",   "iso_b3_353x500mm",   "iso_b2_500x707mm",    "iso_b1_707x1000mm", "iso_b0_1000x1414mm",
    "iso_sra3_320x450mm", "iso_sra2_450x640mm", "na_letter_8.5x11in",  "na_legal_8.5x14in", "na_ledger_11x17in",
    "na_c_17x22in",       "na_d_22x34in",       "na_e_34x44in",        "na_arch-a_9x12in",  "na_arch-b_12x18in",
    "na_arch-c_18x24in",  "na_arch-d_24x36in",  "na_arch-e_36x48in"};

}  // namespace

std::string MediaName(const std::string &name, double width, double height) {
    const int w = static_cast<int>(std::lround(width * 100)), h = static_cast<int>(std::lround(height * 100));
    // pwgMediaForSize makes up a custom name for any other size: only a standard one is taken.
    if (pwg_media_t *pwg = pwgMediaForSize(w, h);
        pwg && pwg->width == w && pwg->length == h && pwg->pwg && std::strncmp(pwg->pwg, "custom_", 7) != 0)
        return pwg->pwg;
    std::string slug;
    for (unsigned char c : name) {
        if (std::isalnum(c) && c < 0x80)
            slug += static_cast<char>(std::tolower(c));  // PWG names are lower case
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    }
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    return "custom_" + (slug.empty() ? std::string("paper") : slug) + "_" + Millimetres(w) + "x" + Millimetres(h) +
           "mm";
}

std::vector<std::string> OfferedMedia(const Catalogue &catalogue, std::size_t limit) {
    std::vector<std::string> media;
    const auto add = [&](const std::string &name) {
        if (media.size() < limit && std::find(media.begin(), media.end(), name) == media.end()) media.push_back(name);
    };
    for (const Paper &p : catalogue.papers) add(p.media);
    for (const char *name : kStandardMedia) {
        const pwg_media_t *pwg = pwgMediaForPWG(name);
        if (pwg && pwg->width <= kMaxPageWidth && pwg->length <= kMaxPageLength) add(name);
    }
    // The range last, where there is room for both ends.
    if (media.size() + 2 > limit) media.resize(limit >= 2 ? limit - 2 : 0);
    add("custom_min_" + Millimetres(kMinPageSide) + "x" + Millimetres(kMinPageSide) + "mm");
    add("custom_max_" + Millimetres(kMaxPageWidth) + "x" + Millimetres(kMaxPageLength) + "mm");
    return media;
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
