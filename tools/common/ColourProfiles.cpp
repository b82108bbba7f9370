// Colour profiles through Little CMS.
#include "ColourProfiles.hpp"

#include <lcms2.h>

#include "platform/Utf8.hpp"

#include <algorithm>
#include <cmath>
#include <memory>

namespace kivtools {
namespace {

struct ProfileCloser {
    void operator()(void *h) const { cmsCloseProfile(h); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
struct CurveFreer {
    void operator()(cmsToneCurve *c) const { cmsFreeToneCurve(c); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFreer>;

Profile Open(std::string_view bytes) {
    return Profile(bytes.empty() ? nullptr
                                 : cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

// The profile's bytes, the same on every run: Little CMS stamps the time it was made into the
// header (bytes 24 to 35), which here is the date the profiles' recipe last changed.
Bytes Save(cmsHPROFILE h) {
    cmsUInt32Number size = 0;
    if (!h || !cmsSaveProfileToMem(h, nullptr, &size) || size < 128) return {};
    Bytes out(size);
    if (!cmsSaveProfileToMem(h, out.data(), &size)) return {};
    out.resize(size);
    const uint8_t made[12] = {0x07, 0xEA, 0, 12, 0, 8, 0, 0, 0, 0, 0, 0};  // 2026-12-08 00:00:00
    std::copy(std::begin(made), std::end(made), out.begin() + 24);
    return out;
}

void Describe(cmsHPROFILE h, const char *text) {
    cmsMLU *mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text);
    cmsWriteTag(h, cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
}

// sRGB's tone curve, from its IEC 61966-2-1 parameters.
Curve SrgbCurve() {
    const cmsFloat64Number params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return Curve(cmsBuildParametricToneCurve(nullptr, 4, params));
}

constexpr std::string_view kDensitySuffix = " as ink density (0 is white)";

// A grey profile whose curve is curve with its input turned over: 0 is the lightest. Turning
// over twice gives the first curve and description back.
Bytes TurnedOver(const cmsToneCurve *curve, const cmsCIExyY &white, std::string description) {
    constexpr int kEntries = 256;
    cmsUInt16Number values[kEntries];
    for (int i = 0; i < kEntries; ++i)
        values[i] = static_cast<cmsUInt16Number>(std::clamp(
            std::lround(cmsEvalToneCurveFloat(curve, 1.0f - i / float{kEntries - 1}) * 65535.0), 0L, 65535L));
    const Curve turned(cmsBuildTabulatedToneCurve16(nullptr, kEntries, values));
    if (!turned) return {};
    const Profile grey(cmsCreateGrayProfile(&white, turned.get()));
    if (!grey) return {};
    if (description.ends_with(kDensitySuffix))
        description.resize(description.size() - kDensitySuffix.size());
    else
        description += kDensitySuffix;
    Describe(grey.get(), description.c_str());
    return Save(grey.get());
}

cmsColorSpaceSignature SpaceOf(Samples samples) {
    switch (samples) {
    case Samples::Rgb: return cmsSigRgbData;
    case Samples::GreyDensity: return cmsSigGrayData;
    case Samples::Cmyk: return cmsSigCmykData;
    default: return cmsSigXYZData;  // nothing matches
    }
}

const char *SpaceName(cmsColorSpaceSignature space) {
    switch (space) {
    case cmsSigRgbData: return "RGB";
    case cmsSigGrayData: return "grey";
    case cmsSigCmykData: return "CMYK";
    case cmsSigLabData: return "Lab";
    case cmsSigXYZData: return "XYZ";
    default: return nullptr;
    }
}

std::string Signature(cmsUInt32Number sig) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((sig >> shift) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

// Empty when Little CMS can turn the profile's colours into Lab, else why not.
std::string Unusable(cmsHPROFILE h) {
    if (!h) return "Little CMS cannot open it";
    const cmsColorSpaceSignature space = cmsGetColorSpace(h);
    const cmsUInt32Number format = space == cmsSigRgbData    ? TYPE_RGB_8
                                   : space == cmsSigGrayData ? TYPE_GRAY_8
                                   : space == cmsSigCmykData ? TYPE_CMYK_8
                                                             : 0;
    if (format == 0) return std::string("it is for ") + Signature(space) + " colours";
    const Profile lab(cmsCreateLab4Profile(nullptr));
    cmsHTRANSFORM transform =
        cmsCreateTransform(h, format, lab.get(), TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    if (!transform) return "Little CMS cannot use it (damaged or incomplete)";
    cmsDeleteTransform(transform);
    return {};
}

std::string DescriptionOf(cmsHPROFILE h) {
    char text[256] = "";
    cmsGetProfileInfoASCII(h, cmsInfoDescription, "en", "US", text, sizeof text);
    std::string description = text;
    while (!description.empty() && static_cast<unsigned char>(description.back()) <= ' ') description.pop_back();
    return kiv::VisibleText(description);  // a profile's text reaches terminals
}

}  // namespace

const Bytes &SrgbProfile() {
    static const Bytes profile = [] {
        const Profile h(cmsCreate_sRGBProfile());
        if (h) Describe(h.get(), "sRGB IEC61966-2.1");
        return Save(h.get());
    }();
    return profile;
}

const Bytes &GreyDensityProfile() {
    static const Bytes profile = [] {
        const Curve curve = SrgbCurve();
        return curve ? TurnedOver(curve.get(), *cmsD50_xyY(), "sGray") : Bytes();
    }();
    return profile;
}

ProfileChoice ChooseProfile(Samples samples, const Bytes &embedded, bool standard) {
    if (samples == Samples::Device) return {};
    if (embedded.empty()) {
        if (!standard || samples == Samples::Cmyk) return {};
        return {samples == Samples::Rgb ? SrgbProfile() : GreyDensityProfile(), {}};
    }
    const Profile h = Open({reinterpret_cast<const char *>(embedded.data()), embedded.size()});
    if (const std::string why = Unusable(h.get()); !why.empty())
        return {{}, "the document's colour profile was dropped: " + why};
    if (cmsGetColorSpace(h.get()) != SpaceOf(samples))
        return {{},
                std::string("the document's colour profile was dropped: it is for ") +
                    SpaceName(cmsGetColorSpace(h.get())) + " colours and the job is printed in " +
                    SpaceName(SpaceOf(samples))};
    if (samples != Samples::GreyDensity) return {embedded, {}};
    const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(h.get(), cmsSigGrayTRCTag));
    const auto *white = static_cast<const cmsCIEXYZ *>(cmsReadTag(h.get(), cmsSigMediaWhitePointTag));
    cmsCIExyY whitexyY = *cmsD50_xyY();
    if (white) cmsXYZ2xyY(&whitexyY, white);
    Bytes turned = curve ? TurnedOver(curve, whitexyY, DescriptionOf(h.get())) : Bytes();
    if (turned.empty()) return {{}, "the document's grey profile was dropped: it has no tone curve to turn over"};
    return {std::move(turned), {}};
}

Bytes RenderingProfile(const Bytes &fileProfile, Samples rendered) {
    if (fileProfile.empty() || rendered == Samples::Cmyk || rendered == Samples::Device) return {};
    // Turning over is its own inverse: a density profile turned over describes grey.
    return ChooseProfile(rendered, fileProfile, false).profile;
}

std::string ProfileProblem(const Bytes &profile, Samples samples) {
    const Profile h = Open({reinterpret_cast<const char *>(profile.data()), profile.size()});
    if (std::string why = Unusable(h.get()); !why.empty()) return why;
    if (samples == Samples::Device) return "the job file's samples are device values no profile describes";
    if (cmsGetColorSpace(h.get()) != SpaceOf(samples))
        return std::string("it is for ") + SpaceName(cmsGetColorSpace(h.get())) +
               " colours and the job is printed in " + SpaceName(SpaceOf(samples));
    return {};
}

Bytes ProfileFromGamma(double fileGamma, const double *chromaticities, bool grey) {
    if (!(fileGamma > 0.01 && fileGamma < 100)) return {};
    const Curve curve(cmsBuildGamma(nullptr, 1 / fileGamma));
    if (!curve) return {};
    static const double srgb[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    const double *c = chromaticities ? chromaticities : srgb;
    const cmsCIExyY white{c[0], c[1], 1};
    const cmsCIExyYTRIPLE primaries{{c[2], c[3], 1}, {c[4], c[5], 1}, {c[6], c[7], 1}};
    cmsToneCurve *curves[3] = {curve.get(), curve.get(), curve.get()};
    const Profile h(grey ? cmsCreateGrayProfile(&white, curve.get()) : cmsCreateRGBProfile(&white, &primaries, curves));
    if (!h) return {};
    Describe(h.get(), grey ? "grey from the PNG's gamma" : "RGB from the PNG's gamma and chromaticities");
    return Save(h.get());
}

std::optional<ProfileFacts> DescribeProfile(std::string_view bytes) {
    const Profile h = Open(bytes);
    if (!h) return std::nullopt;
    static const std::pair<cmsProfileClassSignature, const char *> kClasses[] = {
        {cmsSigInputClass, "input"},
        {cmsSigDisplayClass, "display"},
        {cmsSigOutputClass, "output"},
        {cmsSigLinkClass, "device link"},
        {cmsSigAbstractClass, "abstract"},
        {cmsSigColorSpaceClass, "colour space"},
        {cmsSigNamedColorClass, "named colour"}};
    const cmsProfileClassSignature cls = cmsGetDeviceClass(h.get());
    std::string className = Signature(cls);
    for (const auto &[sig, name] : kClasses)
        if (sig == cls) className = name;
    const char *space = SpaceName(cmsGetColorSpace(h.get()));
    return ProfileFacts{DescriptionOf(h.get()), space ? space : Signature(cmsGetColorSpace(h.get())), className};
}

}  // namespace kivtools
