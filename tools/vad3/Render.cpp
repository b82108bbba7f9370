// Page rendering for `vad3 render`.
#include "Render.hpp"

#include <cstring>
#include <vector>

#include "common/ColourProfiles.hpp"
#include "common/PngWriter.hpp"
#include "common/Progress.hpp"
#include "raster/PixelFormulas.hpp"
#include "format/VAD3Format.hpp"
#include "format/VAD3Reader.hpp"

namespace vad3tool {

void LineToPng(int pixelFormat, const unsigned char *line, unsigned width, unsigned char *row) {
    for (unsigned x = 0; x < width; ++x) {
        unsigned char *rgb = row + 3 * x;
        switch (pixelFormat) {
        case 8:  // density: 0 is white
            row[x] = static_cast<unsigned char>(255 - line[x]);
            break;
        case 32:  // A, R, G, B
            rgb[0] = line[4 * x + 1], rgb[1] = line[4 * x + 2], rgb[2] = line[4 * x + 3];
            break;
        case 33: {  // C, M, Y, K
            unsigned char argb[4];
            kiv::CmykToArgb(line + 4 * x, argb);
            rgb[0] = argb[1], rgb[1] = argb[2], rgb[2] = argb[3];
            break;
        }
        case 35:  // a white-blank group of four: read as A, R, G, B
            rgb[0] = line[12 * x + 1], rgb[1] = line[12 * x + 2], rgb[2] = line[12 * x + 3];
            break;
        case 36: {  // a zero-blank group of four: read as C, M, Y, K
            unsigned char argb[4];
            kiv::CmykToArgb(line + 12 * x, argb);
            rgb[0] = argb[1], rgb[1] = argb[2], rgb[2] = argb[3];
            break;
        }
        default:  // 34 and 64: the first three channels as ink, zero white
            rgb[0] = static_cast<unsigned char>(255 - line[8 * x]);
            rgb[1] = static_cast<unsigned char>(255 - line[8 * x + 1]);
            rgb[2] = static_cast<unsigned char>(255 - line[8 * x + 2]);
            break;
        }
    }
}

// The file's profile, for a picture that holds the file's colours; read by a reader of its
// own, since the trailer lies past the lines.
kivtools::Bytes RenderedProfile(const std::string &path, int16_t pixelFormat) {
    kiv::VAD3Reader reader;
    kiv::Plist trailer;
    if (!reader.Open(path).empty() || !reader.ReadTrailer(trailer).empty() || !trailer) return {};
    const auto data = kiv::DataValue(plist_dict_get_item(trailer.get(), kiv::kVAD3ProfileKey));
    if (!data) return {};
    using kivtools::Samples;
    const Samples rendered = pixelFormat == 8                         ? Samples::GreyDensity
                             : pixelFormat == 32 || pixelFormat == 35 ? Samples::Rgb
                                                                      : Samples::Device;
    return kivtools::RenderingProfile(kivtools::Bytes(data->begin(), data->end()), rendered);
}

std::string RenderPage(const std::string &path, unsigned page, const std::string &out, unsigned scale) {
    kiv::VAD3Reader reader;
    if (auto fault = reader.Open(path); !fault.empty()) return fault;
    const kiv::VAD3Header &h = reader.header();
    if (page < 1 || page > h.pageCount) {
        return "the file has " + std::to_string(h.pageCount) + " page" + (h.pageCount == 1 ? "" : "s") +
               ", there is no page " + std::to_string(page);
    }
    if (h.height < 1) return "pages of height 0 cannot be rendered";
    const auto height = static_cast<unsigned>(h.height);
    const auto width = static_cast<unsigned>(h.width);
    for (uint64_t i = 0; i < uint64_t{page - 1} * height; ++i) {
        if (auto fault = reader.SkipLine(); !fault.empty()) return fault;
    }

    const bool grey = h.pixelFormat == 8;
    const unsigned channels = grey ? 1 : 3;
    const unsigned outWidth = (width + scale - 1) / scale, outHeight = (height + scale - 1) / scale;
    const kivtools::Bytes profile = RenderedProfile(path, h.pixelFormat);
    kivtools::PngWriter png;
    if (!png.Open(out, outWidth, outHeight, grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                  h.hResolution / 65536.0 / scale, h.vResolution / 65536.0 / scale,
                  std::string_view(reinterpret_cast<const char *>(profile.data()), profile.size()))) {
        return png.error();
    }
    std::vector<unsigned char> line, row(static_cast<std::size_t>(width) * channels);
    kivtools::ProgressBar progress("Rendering page " + std::to_string(page), height);
    for (unsigned y = 0; y < height; ++y) {
        if (y % scale != 0) {
            if (auto fault = reader.SkipLine(); !fault.empty()) return "line " + std::to_string(y + 1) + ": " + fault;
            continue;
        }
        if (auto fault = reader.ReadLine(line); !fault.empty()) return "line " + std::to_string(y + 1) + ": " + fault;
        LineToPng(h.pixelFormat, line.data(), width, row.data());
        for (unsigned x = 1; x < outWidth; ++x)  // keep every scale-th pixel
            std::memmove(&row[x * channels], &row[x * scale * channels], channels);
        if (!png.WriteRow(row.data())) return png.error();
        progress.Update(y + 1);
    }
    progress.Finish();
    return png.Finish() ? std::string() : png.error();
}

}  // namespace vad3tool
