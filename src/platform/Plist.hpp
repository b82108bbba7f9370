// Property-list values: an owning wrapper around libplist nodes and the guarded ways to
// make, read, parse and write them.
//
// libplist 2.2 needs guarding: XML numbers follow the process locale, it has no signed
// integers, it rejects a byte-order mark, it recurses without limit, it writes strings
// raw, and plist_dict_set_item takes ownership of its argument. Everything in the driver
// goes through here instead of calling libplist directly.
#pragma once

#include <plist/plist.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kiv {

// Owns one libplist node (and its children); move-only.
class Plist {
public:
    Plist() = default;
    explicit Plist(plist_t adopted) noexcept : node_(adopted) {}
    Plist(Plist &&other) noexcept : node_(other.release()) {}
    Plist &operator=(Plist &&other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Plist(const Plist &) = delete;
    Plist &operator=(const Plist &) = delete;
    ~Plist() { reset(); }

    // A deep copy of a borrowed node; null stays null.
    static Plist Copy(plist_t borrowed) { return Plist(borrowed ? plist_copy(borrowed) : nullptr); }

    plist_t get() const noexcept { return node_; }
    plist_t release() noexcept {
        plist_t n = node_;
        node_ = nullptr;
        return n;
    }
    void reset(plist_t adopted = nullptr) noexcept {
        if (node_) plist_free(node_);
        node_ = adopted;
    }
    explicit operator bool() const noexcept { return node_ != nullptr; }

private:
    plist_t node_ = nullptr;
};

// Limits applied to anything parsed.
inline constexpr int kMaxPlistDepth = 64;
inline constexpr std::size_t kMaxPlistNodes = 1'000'000;

// Type tests on borrowed nodes; null is of no type.
bool IsDict(plist_t node);
bool IsArray(plist_t node);
bool IsString(plist_t node);
bool IsData(plist_t node);
bool IsBool(plist_t node);

// Making values. MakeString refuses invalid UTF-8 (null) and replaces control characters
// other than tab, line feed and carriage return.
Plist MakeDict();
Plist MakeArray();
Plist MakeString(std::string_view utf8);
Plist MakeInteger(int64_t value);
Plist MakeReal(double value);
Plist MakeBool(bool value);
Plist MakeData(const void *bytes, std::size_t length);
Plist MakeDate(std::time_t unixTime);  // whole seconds

// Reading borrowed nodes; nullopt when the node is absent or of another type.
std::optional<int64_t> IntegerValue(plist_t node);  // integers as two's complement
std::optional<double> RealValue(plist_t node);      // reals only
std::optional<std::string> StringValue(plist_t node);
std::optional<bool> BoolValue(plist_t node);
std::optional<std::time_t> DateValue(plist_t node);  // as Unix time, whole seconds
std::optional<std::string_view> DataValue(plist_t node);  // borrowed bytes

// A number as a double when the conversion loses nothing (integers beyond 2^53 do).
std::optional<double> NumberAsDouble(plist_t node);
// A number as a signed 32-bit integer when it is exactly one (12.0 is; 12.5 is not).
std::optional<int32_t> NumberAsInt32(plist_t node);

// Dictionary and array access. DictGet returns a borrowed child or null (also when dict is
// not a dictionary). DictSet transfers value into dict, replacing any old value; a null
// value removes the key.
plist_t DictGet(plist_t dict, const char *key);
void DictSet(plist_t dict, const char *key, Plist value);
void ArrayAppend(plist_t array, Plist value);

// Calls visit(key, child) for each item of a dictionary, in order, until it returns false.
// False when visit stopped the walk; true otherwise (also for a node that is not a dictionary).
template <class Visit>
bool ForEachDictItem(plist_t dict, Visit &&visit) {
    if (!IsDict(dict)) return true;
    plist_dict_iter raw = nullptr;
    plist_dict_new_iter(dict, &raw);
    const std::unique_ptr<void, decltype(&std::free)> it(raw, std::free);
    for (;;) {
        char *rawKey = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(dict, raw, &rawKey, &child);
        const std::unique_ptr<char, decltype(&std::free)> key(rawKey, std::free);
        if (!child) return true;
        if (!visit(std::string_view(rawKey ? rawKey : ""), child)) return false;
    }
}

// Parsing: XML (a leading byte-order mark is skipped) or binary, under the "C" numeric
// locale, refused (null) beyond kMaxPlistDepth levels or kMaxPlistNodes nodes.
Plist ParseXml(const void *bytes, std::size_t length);
Plist ParseBinary(const void *bytes, std::size_t length);
Plist ParseAny(const void *bytes, std::size_t length);

// Checks a binary list's object table before libplist sees it: offsets in bounds, no cycles,
// depth and expanded node count within the limits.
bool BinaryPlistIsSafe(const void *bytes, std::size_t length);

// Depth of a tree (a scalar is 1), counted no further than limit + 1.
int PlistDepth(plist_t node, int limit = kMaxPlistDepth);

// Serialising. Strings and keys that an XML reader would reject are repaired in a copy
// first; trees deeper than kMaxPlistDepth are refused (nullopt).
std::optional<std::string> ToXml(plist_t node);
std::optional<std::string> ToBinary(plist_t node);

// A deep copy whose strings and keys are all XML-safe.
Plist SanitizedCopy(plist_t node);

}  // namespace kiv
