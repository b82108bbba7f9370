// The driver's paper and resolution catalogues as a printer offers them over IPP: papers as
// PWG media names, resolutions as whole dots per inch.
#pragma once

#include <string>
#include <vector>

namespace vad3printer {

struct Paper {
    std::string name;      // as the catalogue names it
    double width, height;  // millimetres
    std::string media;     // PWG self-describing name, e.g. "iso_a4_210x297mm" or "custom_a3_280x390mm"
};

struct Resolution {
    int x, y;  // dots per inch
};

struct Catalogue {
    std::vector<Paper> papers;
    std::size_t defaultPaper = 0;
    std::vector<Resolution> resolutions;  // as the catalogue lists them
    std::size_t defaultResolution = 0;
};

// The user's catalogues from the driver's preferences domain, else the built-in texts.
Catalogue ReadCatalogue(const char *domain, const char *builtInPapers, const char *builtInResolutions);

// The pages the driver holds, in hundredths of millimetres: 12.7 mm to 5 m wide, at most 500 m
// long.
inline constexpr int kMinPageSide = 1270, kMaxPageWidth = 500000, kMaxPageLength = 50000000;

// The PWG name for a paper: the standard name of that exact size, else a custom one that
// carries the catalogue's name ("custom_a3_280x390mm").
std::string MediaName(const std::string &name, double width, double height);

// What a printer offers as media-supported (at most limit names): the catalogue's papers, the
// common standard sizes, and the range of custom sizes from the smallest page to the largest.
std::vector<std::string> OfferedMedia(const Catalogue &catalogue, std::size_t limit);

// At most `limit` resolutions: the default first, then the nearest others (by ratio), in
// ascending order of x resolution overall.
std::vector<Resolution> OfferedResolutions(const Catalogue &catalogue, std::size_t limit);

}  // namespace vad3printer
