// Parsing catalogue texts, and the built-in catalogues.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include <kiv/KIVPrinterDriver.h>

#include "Catalogue.hpp"
#include "platform/Utf8.hpp"
#include "platform/Diagnostics.hpp"

extern "C" {
const char kDefaultPapers[] = "A2 412 553\r*A3 280 390";
const char kDefaultResolutions[] = "600 600\r*300 300\r150 150";
const char delimiters[] = "\r";
}

namespace kiv {
namespace {

struct ParsedLine {
    bool isDefault = false;
    std::string name;
    std::vector<double> numbers;  // at most two
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f'; }

// Splits text into its non-empty lines and reads each; lines without a name are dropped.
std::vector<ParsedLine> ParseLines(std::string_view text) {
    std::vector<ParsedLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of(delimiters, start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;

        ParsedLine parsed;
        if (line.front() == '*') {
            parsed.isDefault = true;
            line.remove_prefix(1);
        }
        std::vector<std::string_view> tokens;
        for (std::size_t i = 0; i < line.size();) {
            while (i < line.size() && IsSpace(line[i])) ++i;
            const std::size_t b = i;
            while (i < line.size() && !IsSpace(line[i])) ++i;
            if (i > b) tokens.push_back(line.substr(b, i - b));
        }
        if (tokens.empty()) continue;
        parsed.name = std::string(tokens[0]);
        // Numbers are read in order; the first that does not read ends them.
        for (std::size_t t = 1; t < tokens.size() && parsed.numbers.size() < 2; ++t) {
            double v = 0;
            const auto [ptr, ec] = std::from_chars(tokens[t].data(), tokens[t].data() + tokens[t].size(), v);
            if (ec != std::errc() || ptr != tokens[t].data() + tokens[t].size()) break;
            parsed.numbers.push_back(v);
        }
        lines.push_back(std::move(parsed));
    }
    return lines;
}

template <class Description>
std::unique_ptr<Description> Allocate() {
    if (gCatalogueAllocationFailures > 0) {
        --gCatalogueAllocationFailures;
        return nullptr;
    }
    try {
        return std::make_unique<Description>();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

}  // namespace

int gCatalogueAllocationFailures = 0;

std::string EntryName(std::string_view name) { return std::string(CutUtf8(name, kMaxEntryNameBytes)); }

PaperDescriptionPtr AllocatePaperDescription() { return Allocate<PaperDescription>(); }
ResDescriptionPtr AllocateResDescription() { return Allocate<ResDescription>(); }

PaperDescriptionPtr SetPapersFrom(std::string_view text) {
    auto papers = AllocatePaperDescription();
    if (!papers) return nullptr;
    for (ParsedLine &line : ParseLines(text)) {
        if (papers->count == kCatalogueCapacity) break;
        PaperEntry &entry = papers->entries[papers->count];
        if (IsValidUtf8(line.name)) {
            for (char &c : line.name)
                if (c == '~') c = ' ';
            entry.name = EntryName(line.name);
        } else {
            Diagnose("SetPapersFrom: failed to convert page name to CFString");
            entry.name = "BAD NAME";
        }
        entry.width = line.numbers.size() > 0 ? line.numbers[0] : 0.0;
        entry.height = line.numbers.size() > 1 ? line.numbers[1] : 0.0;
        if (line.isDefault) papers->defaultIndex = papers->count;
        ++papers->count;
    }
    return papers;
}

ResDescriptionPtr SetResolutionsFrom(std::string_view text) {
    auto resolutions = AllocateResDescription();
    if (!resolutions) return nullptr;
    for (const ParsedLine &line : ParseLines(text)) {
        if (resolutions->count == kCatalogueCapacity) break;
        ResEntry &entry = resolutions->entries[resolutions->count];
        if (IsValidUtf8(line.name)) {
            entry.name = EntryName(line.name);
        } else {
            Diagnose("SetResolutionsFrom: failed to convert name to CFString");
            entry.name = "BAD NAME";
        }
        entry.xdpi = line.numbers.size() > 0 ? line.numbers[0] : 0.0;
        entry.ydpi = line.numbers.size() > 1 ? line.numbers[1] : entry.xdpi;
        if (line.isDefault) resolutions->defaultIndex = resolutions->count;
        ++resolutions->count;
    }
    return resolutions;
}

}  // namespace kiv
