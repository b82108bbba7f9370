// UTF-8 checks and repairs for text that ends up in property lists and Pascal strings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kiv {

// True when text is well-formed UTF-8 (no overlongs, surrogates or code points past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The longest prefix of text of at most maxBytes bytes that does not split a character.
// Text must be valid UTF-8.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// Text an XML reader accepts: invalid bytes and control characters other than tab, line feed
// and carriage return (and the non-characters U+FFFE, U+FFFF) become U+FFFD.
std::string SanitizeForXml(std::string_view text);

// Text shown as it is: SanitizeForXml's repairs, and every control character (tab and line
// feed too, C1 included) and bidirectional embedding, override or isolate becomes "_", so a
// name cannot pose as another ("invoice\u202Efdp.exe") or move a terminal's cursor.
std::string VisibleText(std::string_view text);

// True when SanitizeForXml would change nothing.
bool IsXmlSafe(std::string_view text);

}  // namespace kiv
