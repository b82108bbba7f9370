// Guarded making, reading, parsing and writing of property-list values.
#include "Plist.hpp"

#include <memory>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "CLocale.hpp"
#include "Utf8.hpp"

namespace kiv {
namespace {

plist_type TypeOf(plist_t node) { return node ? plist_get_node_type(node) : PLIST_NONE; }

// Depth and node count of a tree, giving up once either limit is passed.
bool TreeWithinLimits(plist_t node, int depth, std::size_t &nodes) {
    if (depth > kMaxPlistDepth || ++nodes > kMaxPlistNodes) return false;
    const plist_type type = TypeOf(node);
    if (type == PLIST_ARRAY) {
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i) {
            if (!TreeWithinLimits(plist_array_get_item(node, i), depth + 1, nodes)) return false;
        }
    } else if (type == PLIST_DICT) {
        return ForEachDictItem(
            node, [&](std::string_view, plist_t child) { return TreeWithinLimits(child, depth + 1, nodes); });
    }
    return true;
}

// Nesting of <array> and <dict> elements in XML text, counted without parsing: libplist
// recurses per level and would overflow the stack long before its own checks.
bool XmlNestingWithinLimit(std::string_view xml) {
    int depth = 0;
    for (std::size_t i = 0; (i = xml.find('<', i)) != std::string_view::npos; ++i) {
        const std::string_view rest = xml.substr(i + 1);
        const bool closing = !rest.empty() && rest[0] == '/';
        const std::string_view name = closing ? rest.substr(1) : rest;
        const bool container = name.starts_with("array") || name.starts_with("dict");
        if (!container) continue;
        const std::size_t end = rest.find('>');
        const bool selfClosing = end != std::string_view::npos && end > 0 && rest[end - 1] == '/';
        if (closing) {
            if (depth > 0) --depth;
        } else if (!selfClosing && ++depth > kMaxPlistDepth) {
            return false;
        }
    }
    return true;
}

bool ChildrenSanitized(plist_t source, plist_t target);

Plist SanitizeNode(plist_t node) {
    switch (TypeOf(node)) {
    case PLIST_STRING: {
        uint64_t length = 0;
        const char *s = plist_get_string_ptr(node, &length);
        return Plist(plist_new_string(SanitizeForXml(std::string_view(s ? s : "", length)).c_str()));
    }
    case PLIST_ARRAY:
    case PLIST_DICT: {
        Plist copy(TypeOf(node) == PLIST_ARRAY ? plist_new_array() : plist_new_dict());
        if (!ChildrenSanitized(node, copy.get())) return Plist();
        return copy;
    }
    case PLIST_NONE: return Plist();
    default: return Plist::Copy(node);
    }
}

bool ChildrenSanitized(plist_t source, plist_t target) {
    if (TypeOf(source) == PLIST_ARRAY) {
        const uint32_t n = plist_array_get_size(source);
        for (uint32_t i = 0; i < n; ++i) {
            Plist child = SanitizeNode(plist_array_get_item(source, i));
            if (!child) return false;
            plist_array_append_item(target, child.release());
        }
        return true;
    }
    return ForEachDictItem(source, [&](std::string_view key, plist_t child) {
        Plist copy = SanitizeNode(child);
        if (!copy) return false;
        plist_dict_set_item(target, SanitizeForXml(key).c_str(), copy.release());
        return true;
    });
}

bool TreeIsXmlSafe(plist_t node) {
    switch (TypeOf(node)) {
    case PLIST_STRING: {
        uint64_t length = 0;
        const char *s = plist_get_string_ptr(node, &length);
        return IsXmlSafe(std::string_view(s ? s : "", length)) && std::strlen(s ? s : "") == length;
    }
    case PLIST_ARRAY: {
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i)
            if (!TreeIsXmlSafe(plist_array_get_item(node, i))) return false;
        return true;
    }
    case PLIST_DICT:
        return ForEachDictItem(
            node, [](std::string_view key, plist_t child) { return IsXmlSafe(key) && TreeIsXmlSafe(child); });
    default: return true;
    }
}

}  // namespace

bool IsDict(plist_t node) { return TypeOf(node) == PLIST_DICT; }
bool IsArray(plist_t node) { return TypeOf(node) == PLIST_ARRAY; }
bool IsString(plist_t node) { return TypeOf(node) == PLIST_STRING; }
bool IsData(plist_t node) { return TypeOf(node) == PLIST_DATA; }
bool IsBool(plist_t node) { return TypeOf(node) == PLIST_BOOLEAN; }

Plist MakeDict() { return Plist(plist_new_dict()); }
Plist MakeArray() { return Plist(plist_new_array()); }

Plist MakeString(std::string_view utf8) {
    if (!IsValidUtf8(utf8)) return Plist();
    return Plist(plist_new_string(SanitizeForXml(utf8).c_str()));
}

// libplist keeps integers as unsigned 64-bit values; a negative number is its two's complement.
Plist MakeInteger(int64_t value) { return Plist(plist_new_uint(static_cast<uint64_t>(value))); }
Plist MakeReal(double value) { return Plist(plist_new_real(value)); }
Plist MakeBool(bool value) { return Plist(plist_new_bool(value ? 1 : 0)); }

Plist MakeData(const void *bytes, std::size_t length) {
    return Plist(plist_new_data(static_cast<const char *>(bytes ? bytes : ""), length));
}

// Property-list dates count from 2001-01-01.
constexpr std::time_t kPlistEpoch = 978307200;

Plist MakeDate(std::time_t unixTime) { return Plist(plist_new_date(static_cast<int32_t>(unixTime - kPlistEpoch), 0)); }

std::optional<std::time_t> DateValue(plist_t node) {
    if (TypeOf(node) != PLIST_DATE) return std::nullopt;
    int32_t sec = 0, usec = 0;
    plist_get_date_val(node, &sec, &usec);
    return std::time_t{sec} + kPlistEpoch;
}

std::optional<int64_t> IntegerValue(plist_t node) {
    if (TypeOf(node) != PLIST_UINT) return std::nullopt;
    uint64_t v = 0;
    plist_get_uint_val(node, &v);
    return static_cast<int64_t>(v);
}

std::optional<double> RealValue(plist_t node) {
    if (TypeOf(node) != PLIST_REAL) return std::nullopt;
    double v = 0;
    plist_get_real_val(node, &v);
    return v;
}

std::optional<std::string> StringValue(plist_t node) {
    if (TypeOf(node) != PLIST_STRING) return std::nullopt;
    uint64_t length = 0;
    const char *s = plist_get_string_ptr(node, &length);
    return std::string(s ? s : "", s ? length : 0);
}

std::optional<bool> BoolValue(plist_t node) {
    if (TypeOf(node) != PLIST_BOOLEAN) return std::nullopt;
    uint8_t v = 0;
    plist_get_bool_val(node, &v);
    return v != 0;
}

std::optional<std::string_view> DataValue(plist_t node) {
    if (TypeOf(node) != PLIST_DATA) return std::nullopt;
    uint64_t length = 0;
    const char *p = plist_get_data_ptr(node, &length);
    return std::string_view(p ? p : "", p ? length : 0);
}

std::optional<double> NumberAsDouble(plist_t node) {
    if (auto r = RealValue(node)) return r;
    if (auto i = IntegerValue(node)) {
        const double d = static_cast<double>(*i);
        // Lossless only when the double converts back to the same integer.
        if (d >= -0x1p63 && d < 0x1p63 && static_cast<int64_t>(d) == *i) return d;
    }
    return std::nullopt;
}

std::optional<int32_t> NumberAsInt32(plist_t node) {
    constexpr int64_t lo = std::numeric_limits<int32_t>::min();
    constexpr int64_t hi = std::numeric_limits<int32_t>::max();
    if (auto i = IntegerValue(node)) {
        if (*i >= lo && *i <= hi) return static_cast<int32_t>(*i);
        return std::nullopt;
    }
    if (auto r = RealValue(node)) {
        if (std::isfinite(*r) && *r >= lo && *r <= hi && std::trunc(*r) == *r) return static_cast<int32_t>(*r);
    }
    return std::nullopt;
}

plist_t DictGet(plist_t dict, const char *key) {
    if (!IsDict(dict) || !key) return nullptr;
    return plist_dict_get_item(dict, key);
}

void DictSet(plist_t dict, const char *key, Plist value) {
    if (!IsDict(dict) || !key) return;
    if (!value) {
        if (plist_dict_get_item(dict, key)) plist_dict_remove_item(dict, key);
        return;
    }
    plist_dict_set_item(dict, key, value.release());
}

void ArrayAppend(plist_t array, Plist value) {
    if (!IsArray(array) || !value) return;
    plist_array_append_item(array, value.release());
}

int PlistDepth(plist_t node, int limit) {
    if (!node) return 0;
    int deepest = 0;
    const plist_type type = TypeOf(node);
    if (limit < 0) return 1;
    if (type == PLIST_ARRAY) {
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n && deepest <= limit; ++i) {
            const int d = PlistDepth(plist_array_get_item(node, i), limit - 1);
            if (d > deepest) deepest = d;
        }
    } else if (type == PLIST_DICT) {
        ForEachDictItem(node, [&](std::string_view, plist_t child) {
            deepest = std::max(deepest, PlistDepth(child, limit - 1));
            return deepest <= limit;
        });
    }
    return deepest + 1;
}

Plist ParseXml(const void *bytes, std::size_t length) {
    std::string_view text(static_cast<const char *>(bytes ? bytes : ""), bytes ? length : 0);
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (text.empty() || text.size() > std::numeric_limits<uint32_t>::max()) return Plist();
    if (!XmlNestingWithinLimit(text)) return Plist();
    plist_t parsed = nullptr;
    {
        ScopedCLocale c;
        plist_from_xml(text.data(), static_cast<uint32_t>(text.size()), &parsed);
    }
    Plist result(parsed);
    std::size_t nodes = 0;
    if (result && !TreeWithinLimits(result.get(), 1, nodes)) return Plist();
    return result;
}

Plist ParseBinary(const void *bytes, std::size_t length) {
    if (!bytes || length > std::numeric_limits<uint32_t>::max()) return Plist();
    if (!BinaryPlistIsSafe(bytes, length)) return Plist();
    plist_t parsed = nullptr;
    plist_from_bin(static_cast<const char *>(bytes), static_cast<uint32_t>(length), &parsed);
    return Plist(parsed);
}

Plist ParseAny(const void *bytes, std::size_t length) {
    if (bytes && length >= 8 && std::memcmp(bytes, "bplist00", 8) == 0) return ParseBinary(bytes, length);
    return ParseXml(bytes, length);
}

Plist SanitizedCopy(plist_t node) { return SanitizeNode(node); }

std::optional<std::string> ToXml(plist_t node) {
    if (!node || PlistDepth(node) > kMaxPlistDepth) return std::nullopt;
    Plist repaired;
    if (!TreeIsXmlSafe(node)) {
        repaired = SanitizedCopy(node);
        if (!repaired) return std::nullopt;
        node = repaired.get();
    }
    char *xml = nullptr;
    uint32_t length = 0;
    {
        ScopedCLocale c;
        plist_to_xml(node, &xml, &length);
    }
    if (!xml) return std::nullopt;
    // Freed also when the copy cannot be made.
    const std::unique_ptr<char, void (*)(char *)> owned(xml, plist_to_xml_free);
    return std::string(xml, length);
}

std::optional<std::string> ToBinary(plist_t node) {
    if (!node || PlistDepth(node) > kMaxPlistDepth) return std::nullopt;
    char *bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &bin, &length);
    if (!bin) return std::nullopt;
    const std::unique_ptr<char, void (*)(char *)> owned(bin, plist_to_bin_free);
    return std::string(bin, length);
}

}  // namespace kiv
