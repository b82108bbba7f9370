// Typed reading and writing of settings dictionaries, and folder locations kept as
// bookmark data in the preferences.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Plist.hpp"

namespace kiv {

// A Pascal string of UTF-8: one length byte and up to 255 bytes.
using Str255 = unsigned char[256];

// Reading: the fallback whenever the stored value is missing, of another type, not exactly
// representable or outside min … max (inclusive). dict may be null.
double GetDoubleFromDictionaryWithChecking(plist_t dict, const char *key, double fallback, double min, double max);
int32_t GetSInt32FromDictionaryWithChecking(plist_t dict, const char *key, int32_t fallback, int32_t min, int32_t max);
bool GetBooleanFromDictionary(plist_t dict, const char *key, bool fallback);
// Copies the fallback into out, then the stored string (cut to 255 bytes at a character
// boundary) when the key holds a valid UTF-8 string.
void GetStr255FromDictionary(plist_t dict, const char *key, const unsigned char *fallback, Str255 out);

// Writing: each adds the key only when dict does not hold it yet.
void PutDoubleInDictionary(plist_t dict, const char *key, double value);
void PutSInt32InDictionary(plist_t dict, const char *key, int32_t value);
void PutStr255InDictionary(plist_t dict, const char *key, const unsigned char *str255);
void PutBooleanInDictionary(plist_t dict, const char *key, bool flag);

// The bookmark stored under bookmarkKey, else one made from the older legacyKey value (a
// path string; alias records cannot be read here). Not written back. Null when none.
Plist CopyFileLocationPreference(std::string_view domain, std::string_view bookmarkKey, std::string_view legacyKey);
// Stores bookmark under key (not synchronised); a null bookmark changes nothing.
void SetFileLocationPreference(std::string_view domain, std::string_view key, plist_t bookmark);

}  // namespace kiv
