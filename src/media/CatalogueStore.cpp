// Catalogues and the measurement unit in the user's preferences.
#include <algorithm>
#include <cmath>
#include <string>

#include "Catalogue.hpp"
#include "platform/Plist.hpp"
#include "platform/Preferences.hpp"
#include "platform/Utf8.hpp"

namespace kiv {
namespace {

// The stored "Default" when it designates an entry, otherwise 0.
int64_t StoredDefault(plist_t dict, int64_t count) {
    const auto index = NumberAsInt32(DictGet(dict, "Default"));
    return index && *index >= 0 && *index < count ? *index : 0;
}

// Sizes and resolutions that can be printed: finite and positive. A resolution must also fit
// the job file's 16.16 fixed-point field.
bool PrintableSize(double mm) { return std::isfinite(mm) && mm > 0; }
bool PrintableResolution(double dpi) { return std::isfinite(dpi) && dpi > 0 && dpi < 32768; }

// Calls add(name, first, second) for each usable element of the stored list, up to the first
// forty elements; an element whose two values fail usable() is skipped like a malformed one.
template <class Usable, class Add>
void ForEachStoredEntry(plist_t dict, const char *listKey, const char *firstKey, const char *secondKey, Usable usable,
                        Add add) {
    plist_t list = DictGet(dict, listKey);
    if (!IsArray(list)) return;
    const uint32_t n = std::min<uint32_t>(plist_array_get_size(list), kCatalogueCapacity);
    for (uint32_t i = 0; i < n; ++i) {
        plist_t element = plist_array_get_item(list, i);
        const auto name = StringValue(DictGet(element, "Name"));
        const auto first = NumberAsDouble(DictGet(element, firstKey));
        const auto second = NumberAsDouble(DictGet(element, secondKey));
        if (name && IsValidUtf8(*name) && first && second && usable(*first) && usable(*second))
            add(EntryName(*name), *first, *second);
    }
}

Plist EntryDict(const std::string &name, const char *firstKey, double first, const char *secondKey, double second) {
    Plist entry = MakeDict();
    DictSet(entry.get(), "Name", MakeString(name));
    DictSet(entry.get(), firstKey, MakeReal(first));
    DictSet(entry.get(), secondKey, MakeReal(second));
    return entry;
}

bool StoreCatalogue(std::string_view domain, const char *prefKey, const char *listKey, int64_t defaultIndex,
                    Plist list) {
    Plist outer = MakeDict();
    if (!outer || !list) return false;
    DictSet(outer.get(), "Default", MakeInteger(defaultIndex));
    DictSet(outer.get(), listKey, std::move(list));
    SetPreferenceValue(domain, prefKey, outer.get());
    return SynchronizePreferences(domain);
}

}  // namespace

PaperDescriptionPtr ReadPageSizeStrings(std::string_view domain, std::string_view defaultText) {
    Plist stored = CopyPreferenceValue(domain, "Paper Sizes");
    if (!IsDict(stored.get())) return SetPapersFrom(defaultText);
    PaperDescriptionPtr papers = AllocatePaperDescription();
    if (!papers) return SetPapersFrom(defaultText);
    ForEachStoredEntry(stored.get(), "Papers", "Width", "Height", PrintableSize,
                       [&](std::string name, double w, double h) {
                           papers->entries[papers->count++] = PaperEntry{std::move(name), w, h};
                       });
    papers->defaultIndex = StoredDefault(stored.get(), papers->count);
    return papers;
}

ResDescriptionPtr ReadResolutionStrings(std::string_view domain, std::string_view defaultText) {
    Plist stored = CopyPreferenceValue(domain, "Resolutions");
    if (!IsDict(stored.get())) return SetResolutionsFrom(defaultText);
    ResDescriptionPtr resolutions = AllocateResDescription();
    if (!resolutions) return SetResolutionsFrom(defaultText);
    ForEachStoredEntry(stored.get(), "Resolutions", "Xdpi", "Ydpi", PrintableResolution,
                       [&](std::string name, double x, double y) {
                           resolutions->entries[resolutions->count++] = ResEntry{std::move(name), x, y};
                       });
    // Everything downstream needs at least one resolution.
    if (resolutions->count == 0) return SetResolutionsFrom(defaultText);
    resolutions->defaultIndex = StoredDefault(stored.get(), resolutions->count);
    return resolutions;
}

bool WriteNewPaperSettings(std::string_view domain, const PaperDescription &papers) {
    Plist list = MakeArray();
    for (int64_t i = 0; i < papers.count; ++i) {
        const PaperEntry &p = papers.entries[i];
        ArrayAppend(list.get(), EntryDict(p.name, "Width", p.width, "Height", p.height));
    }
    return StoreCatalogue(domain, "Paper Sizes", "Papers", papers.defaultIndex, std::move(list));
}

bool WriteNewResolutions(std::string_view domain, const ResDescription &resolutions) {
    Plist list = MakeArray();
    for (int64_t i = 0; i < resolutions.count; ++i) {
        const ResEntry &r = resolutions.entries[i];
        ArrayAppend(list.get(), EntryDict(r.name, "Xdpi", r.xdpi, "Ydpi", r.ydpi));
    }
    return StoreCatalogue(domain, "Resolutions", "Resolutions", resolutions.defaultIndex, std::move(list));
}

}  // namespace kiv
