// Reading the driver's catalogues as a host sees them: the documented preference keys, or
// the built-in catalogue texts the module exports.
#include "Catalogue.hpp"

#include <cups/cups.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string_view>

#include <kiv/KIVPlatform.h>

namespace vad3printer {
namespace {

double Number(plist_t node) {
    if (!node) return NAN;
    if (plist_get_node_type(node) == PLIST_REAL) {
        double v = 0;
        plist_get_real_val(node, &v);
        return v;
    }
    if (plist_get_node_type(node) == PLIST_UINT) {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return static_cast<double>(static_cast<int64_t>(v));
    }
    return NAN;
}

std::string Text(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_STRING) return {};
    const char *s = plist_get_string_ptr(node, nullptr);
    return s ? s : "";
}

// Entries of a stored catalogue: (name, first, second) for each usable element; the
// index of the default, if stored.
template <class Add>
bool ReadStored(const char *domain, const char *key, const char *list, const char *first, const char *second,
                std::size_t &defaultIndex, Add add) {
    plist_t stored = KIVPreferencesCopyAppValue(key, domain);
    plist_t items = stored ? plist_dict_get_item(stored, list) : nullptr;
    bool any = false;
    if (items && plist_get_node_type(items) == PLIST_ARRAY) {
        for (uint32_t i = 0; i < plist_array_get_size(items) && i < 40; ++i) {
            plist_t e = plist_array_get_item(items, i);
            if (plist_get_node_type(e) != PLIST_DICT) continue;
            const double a = Number(plist_dict_get_item(e, first)), b = Number(plist_dict_get_item(e, second));
            const std::string name = Text(plist_dict_get_item(e, "Name"));
            if (name.empty() || !(a > 0) || !(b > 0) || !std::isfinite(a) || !std::isfinite(b)) continue;
            add(name, a, b);
            any = true;
        }
        const double d = Number(plist_dict_get_item(stored, "Default"));
        defaultIndex = d >= 0 ? static_cast<std::size_t>(d) : 0;
    }
    if (stored) plist_free(stored);
    return any;
}

// The built-in text: lines separated by "\r", "*" marks the default, "~" stands for a space.
template <class Add>
void ReadText(const char *text, std::size_t &defaultIndex, Add add) {
    std::string_view all(text ? text : "");
    std::size_t index = 0;
    while (!all.empty()) {
        const std::size_t end = std::min(all.find('\r'), all.size());
        std::string line(all.substr(0, end));
        all.remove_prefix(std::min(end + 1, all.size()));
        const bool isDefault = !line.empty() && line[0] == '*';
        if (isDefault) line.erase(0, 1);
        std::istringstream in(line);
        std::string name;
        double a = NAN, b = NAN;
        if (!(in >> name >> a)) continue;
        if (!(in >> b)) b = a;
        std::replace(name.begin(), name.end(), '~', ' ');
        if (isDefault) defaultIndex = index;
        add(name, a, b);
        ++index;
    }
}

}  // namespace

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
    if (slug.empty()) slug = "paper";
    char size[64];
    std::snprintf(size, sizeof size, "_%gx%gmm", std::round(width * 100) / 100, std::round(height * 100) / 100);
    return "custom_" + slug + size;
}

Catalogue ReadCatalogue(const char *domain, const char *builtInPapers, const char *builtInResolutions) {
    Catalogue c;
    const auto addPaper = [&](const std::string &name, double w, double h) {
        c.papers.push_back(Paper{name, w, h, MediaName(name, w, h)});
    };
    const auto addResolution = [&](const std::string &, double x, double y) {
        const int xi = static_cast<int>(std::lround(x)), yi = static_cast<int>(std::lround(y));
        if (xi > 0 && yi > 0) c.resolutions.push_back(Resolution{xi, yi});
    };
    if (!ReadStored(domain, "Paper Sizes", "Papers", "Width", "Height", c.defaultPaper, addPaper))
        ReadText(builtInPapers, c.defaultPaper, addPaper);
    if (!ReadStored(domain, "Resolutions", "Resolutions", "Xdpi", "Ydpi", c.defaultResolution, addResolution))
        ReadText(builtInResolutions, c.defaultResolution, addResolution);
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
