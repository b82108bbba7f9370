// The ICC profile a job file carries: the one its source embeds, or the standard one of the
// source's colour space, checked with Little CMS. Pixels are never converted: the profile
// only says what the file's numbers mean.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivtools {

using Bytes = std::vector<uint8_t>;

// What a job file's samples are.
enum class Samples {
    Rgb,          // R, G, B as the source had them
    GreyDensity,  // grey as ink density (0 is white): the source's grey turned over
    Cmyk,         // C, M, Y, K as the source had them
    Device,       // made by a conversion of our own or the client's device values: no profile fits
};

// sRGB, and sGray's tone curve turned over for density samples, both made by Little CMS.
const Bytes &SrgbProfile();
const Bytes &GreyDensityProfile();

struct ProfileChoice {
    Bytes profile;     // empty: the file claims no profile
    std::string note;  // why the source's own profile was not passed on, for the log
};

// The profile for a file of these samples, from the source's embedded profile (empty when it
// has none): passed as it is when Little CMS can use it for these samples (a grey one turned
// over for density), dropped with a note when not; a source without one gets the standard
// profile of its samples when standard is true (the web's convention for RGB and grey).
ProfileChoice ChooseProfile(Samples samples, const Bytes &embedded, bool standard = true);

// The profile of a rendering of a job file's samples: RGB as they are, grey density turned
// back into grey (0 black); empty where the rendering is of other colours than the file's.
Bytes RenderingProfile(const Bytes &fileProfile, Samples rendered);

// Why a profile a user names cannot describe these samples; empty when it can.
std::string ProfileProblem(const Bytes &profile, Samples samples);

// A profile from a PNG's gamma (gAMA, the file's exponent) and, for colour, chromaticities
// (cHRM: white x, y then red, green, blue x, y; null for sRGB's).
Bytes ProfileFromGamma(double fileGamma, const double *chromaticities, bool grey);

struct ProfileFacts {
    std::string description, colourSpace, deviceClass;
};
std::optional<ProfileFacts> DescribeProfile(std::string_view profile);

}  // namespace kivtools
