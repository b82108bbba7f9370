// UTF-8 validation, cutting at character boundaries and repair for XML.
#include "Utf8.hpp"

#include <cstdint>

namespace kiv {
namespace {

// Length of the well-formed sequence at text[i], or 0 when it is not one; the code point in cp.
std::size_t DecodeOne(std::string_view text, std::size_t i, char32_t &cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const std::size_t left = text.size() - i;
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (left < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool IsXmlCharacter(char32_t cp) {
    if (cp < 0x20) return cp == '\t' || cp == '\n' || cp == '\r';
    return cp != 0xFFFE && cp != 0xFFFF;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    char32_t cp;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = DecodeOne(text, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the start of the character that would be split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

bool IsXmlSafe(std::string_view text) {
    char32_t cp;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = DecodeOne(text, i, cp);
        if (n == 0 || !IsXmlCharacter(cp)) return false;
        i += n;
    }
    return true;
}

std::string SanitizeForXml(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    char32_t cp;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = DecodeOne(text, i, cp);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            if (IsXmlCharacter(cp)) {
                out.append(text.substr(i, n));
            } else {
                out += kReplacement;
            }
            i += n;
        }
    }
    return out;
}

std::string VisibleText(std::string_view text) {
    std::string visible(text);
    for (char &c : visible) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = '_';
    }
    std::string name = SanitizeForXml(visible);  // invalid UTF-8 becomes U+FFFD
    for (std::size_t i = 0; i + 1 < name.size(); ++i) {
        const auto at = [&](std::size_t k) { return static_cast<unsigned char>(name[i + k]); };
        if (at(0) == 0xC2 && at(1) >= 0x80 && at(1) <= 0x9F) {
            name.replace(i, 2, "_");
        } else if (i + 2 < name.size() && at(0) == 0xE2 &&
                   ((at(1) == 0x80 && at(2) >= 0xAA && at(2) <= 0xAE) ||
                    (at(1) == 0x81 && at(2) >= 0xA6 && at(2) <= 0xA9))) {
            name.replace(i, 3, "_");
        }
    }
    return name;
}

}  // namespace kiv
