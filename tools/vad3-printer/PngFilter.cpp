// PNG documents, decoded here rather than by PAPPL 1.3's own filter, which spins for ever on
// a PNG it refuses (too large, or damaged) instead of ending the job.
#include "PngFilter.hpp"

#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace vad3printer {
namespace {

// Images larger than this are refused before they are decoded.
constexpr uint64_t kMaxPixels = 500'000'000;
// pHYs resolutions outside this range are taken as absent.
constexpr double kMinDpi = 10, kMaxDpi = 20000;

// The pHYs resolution in dots per inch, 0 when absent or absurd.
int Resolution(const char *path) {
    std::FILE *f = std::fopen(path, "rb");
    if (!f) return 0;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    int dpi = 0;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_read_info(png, info);
        png_uint_32 x = 0, y = 0;
        int unit = 0;
        if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER && x == y) {
            const double d = x * 0.0254;
            if (d >= kMinDpi && d <= kMaxDpi) dpi = static_cast<int>(d + 0.5);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return dpi;
}

bool Refuse(pappl_job_t *job, const std::string &why) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
    papplJobSetMessage(job, "%s", why.c_str());
    return false;
}

bool PrintPng(pappl_job_t *job, pappl_device_t *device, void *) {
    const char *path = papplJobGetFilename(job);
    struct stat st {};
    if (!path || ::stat(path, &st) != 0) return Refuse(job, "The PNG document cannot be read");
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path))
        return Refuse(job, std::string("The PNG document is damaged: ") + image.message);
    const uint64_t pixels = uint64_t{image.width} * image.height;
    const bool grey = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
    const uint64_t depth = grey ? 1 : 3;
    // Deflate shrinks at most 1032 times: a header claiming more than the file can hold lies.
    if (pixels > kMaxPixels || pixels * depth / 1032 > static_cast<uint64_t>(st.st_size)) {
        png_image_free(&image);
        return Refuse(job, "The PNG claims " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                               " pixels, more than its " + std::to_string(st.st_size) + " bytes can hold");
    }
    image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;  // composited on white
    std::vector<unsigned char> data;
    try {
        data.resize(PNG_IMAGE_SIZE(image));
    } catch (const std::bad_alloc &) {
        png_image_free(&image);
        return Refuse(job, "Not enough memory for a PNG of " + std::to_string(pixels) + " pixels");
    }
    const png_color white = {255, 255, 255};
    if (!png_image_finish_read(&image, &white, data.data(), 0, nullptr))
        return Refuse(job, std::string("The PNG document is damaged: ") + image.message);
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 1, !grey);
    if (!options) return Refuse(job, "The job's options cannot be used");
    const bool ok =
        papplJobFilterImage(job, device, options, data.data(), static_cast<int>(image.width),
                            static_cast<int>(image.height), static_cast<int>(depth), Resolution(path), true);
    papplJobDeletePrintOptions(options);
    return ok;
}

}  // namespace

void AddPngFilter(pappl_system_t *system) {
    // Registered for the driver's own format, which PAPPL looks for before its raster filters.
    papplSystemAddMIMEFilter(system, "image/png", "application/octet-stream", PrintPng, nullptr);
}

}  // namespace vad3printer
