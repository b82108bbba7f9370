// Typed dictionary helpers and folder-location preferences.
#include "PreferenceValues.hpp"

#include <cstring>
#include <string>

#include "platform/Bookmark.hpp"
#include "platform/Preferences.hpp"
#include "platform/Utf8.hpp"

namespace kiv {

double GetDoubleFromDictionaryWithChecking(plist_t dict, const char *key, double fallback, double min, double max) {
    const auto v = NumberAsDouble(DictGet(dict, key));
    return v && *v >= min && *v <= max ? *v : fallback;
}

int32_t GetSInt32FromDictionaryWithChecking(plist_t dict, const char *key, int32_t fallback, int32_t min, int32_t max) {
    const auto v = NumberAsInt32(DictGet(dict, key));
    return v && *v >= min && *v <= max ? *v : fallback;
}

bool GetBooleanFromDictionary(plist_t dict, const char *key, bool fallback) {
    return BoolValue(DictGet(dict, key)).value_or(fallback);
}

void GetStr255FromDictionary(plist_t dict, const char *key, const unsigned char *fallback, Str255 out) {
    if (fallback) {
        std::memmove(out, fallback, 1u + fallback[0]);
    } else {
        out[0] = 0;
    }
    const auto s = StringValue(DictGet(dict, key));
    if (!s || !IsValidUtf8(*s)) return;
    const std::string_view cut = CutUtf8(*s, 255);
    out[0] = static_cast<unsigned char>(cut.size());
    std::memcpy(out + 1, cut.data(), cut.size());
}

namespace {
void PutIfAbsent(plist_t dict, const char *key, Plist value) {
    if (value && IsDict(dict) && key && !DictGet(dict, key)) DictSet(dict, key, std::move(value));
}
}  // namespace

void PutDoubleInDictionary(plist_t dict, const char *key, double value) { PutIfAbsent(dict, key, MakeReal(value)); }

void PutSInt32InDictionary(plist_t dict, const char *key, int32_t value) { PutIfAbsent(dict, key, MakeInteger(value)); }

void PutStr255InDictionary(plist_t dict, const char *key, const unsigned char *str255) {
    if (!str255) return;
    PutIfAbsent(dict, key, MakeString(std::string_view(reinterpret_cast<const char *>(str255 + 1), str255[0])));
}

void PutBooleanInDictionary(plist_t dict, const char *key, bool flag) { PutIfAbsent(dict, key, MakeBool(flag)); }

Plist CopyFileLocationPreference(std::string_view domain, std::string_view bookmarkKey, std::string_view legacyKey) {
    if (Plist bookmark = CopyPreferenceValue(domain, bookmarkKey)) return bookmark;
    Plist legacy = CopyPreferenceValue(domain, legacyKey);
    if (const auto path = StringValue(legacy.get())) return path->empty() ? Plist() : CreateBookmarkData(*path);
    if (const auto alias = DataValue(legacy.get())) return CreateBookmarkDataFromAliasRecord(*alias);
    return Plist();
}

void SetFileLocationPreference(std::string_view domain, std::string_view key, plist_t bookmark) {
    if (bookmark) SetPreferenceValue(domain, key, bookmark);
}

}  // namespace kiv
