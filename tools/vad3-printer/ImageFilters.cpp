// PNG and JPEG documents, decoded here rather than by PAPPL 1.3's own filters, which spin
// for ever on a PNG they refuse and print a truncated JPEG as if it were whole.
#include "ImageFilters.hpp"

#include <png.h>
#include <sys/stat.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace vad3printer {
namespace {

// Resolutions outside this range are taken as absent.
constexpr double kMinDpi = 10, kMaxDpi = 20000;

// The document this thread is printing, and its profile.
struct FilteredDocument {
    pappl_job_t *job = nullptr;
    kivtools::Bytes profile;
};
thread_local FilteredDocument current;

int SaneDpi(double dpi) { return dpi >= kMinDpi && dpi <= kMaxDpi ? static_cast<int>(dpi + 0.5) : 0; }

// An image's size against the limits, before anything is decoded; empty when it may be.
std::string TooLarge(const char *kind, uint64_t width, uint64_t height, uint64_t colours) {
    if (width <= static_cast<uint64_t>(kMaxImageSide) && height <= static_cast<uint64_t>(kMaxImageSide) &&
        width * height * colours <= kMaxImageBytes)
        return {};
    return std::string("The ") + kind + " is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, larger than this printer takes (" + std::to_string(kMaxImageSide) + " pixels a side, " +
           std::to_string(kMaxImageBytes >> 20) + " MiB decoded)";
}

// print-scaling as IPP Everywhere defines it: auto and auto-fit print an image at its own size
// where it has one and the page holds it, else whole on the page, centred (fit). PAPPL 1.3
// fills a borderless page instead, cutting off what does not fit: fill is the only way to crop.
void SettleScaling(pappl_pr_options_t &options, uint32_t width, uint32_t height, int dpi) {
    if (options.print_scaling != PAPPL_SCALING_AUTO && options.print_scaling != PAPPL_SCALING_AUTO_FIT) return;
    const bool turned = options.orientation_requested == IPP_ORIENT_LANDSCAPE ||
                        options.orientation_requested == IPP_ORIENT_REVERSE_LANDSCAPE;
    const uint64_t across = turned ? height : width, down = turned ? width : height;
    const bool fits = dpi > 0 &&
                      across * static_cast<uint64_t>(options.printer_resolution[0]) / dpi <= options.header.cupsWidth &&
                      down * static_cast<uint64_t>(options.printer_resolution[1]) / dpi <= options.header.cupsHeight;
    options.print_scaling = fits ? PAPPL_SCALING_NONE : PAPPL_SCALING_FIT;
}

bool Print(pappl_job_t *job, pappl_device_t *device, std::vector<unsigned char> &pixels, uint32_t width,
           uint32_t height, int colours, int dpi, kivtools::Bytes profile) {
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 1, colours == 3);
    if (!options) return Refuse(job, "The job's options cannot be used");
    SettleScaling(*options, width, height, dpi);
    const FilteredProfile document(job, std::move(profile));
    const bool ok = papplJobFilterImage(job, device, options, pixels.data(), static_cast<int>(width),
                                        static_cast<int>(height), colours, dpi, true);
    papplJobDeletePrintOptions(options);
    return ok;
}

struct PngFacts {
    int dpi = 0;  // from pHYs, 0 when absent or absurd
    kivtools::Bytes profile;
};

// What libpng's simplified reading leaves out: the resolution and the colour profile (iCCP as
// it is, else one made from gAMA and cHRM unless the file is marked sRGB).
PngFacts ReadPngFacts(const char *path) {
    PngFacts facts;
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen(path, "rb"), std::fclose);
    if (!f) return facts;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f.get());
        png_read_info(png, info);
        png_uint_32 x = 0, y = 0, length = 0;
        int unit = 0, compression = 0, intent = 0;
        if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER && x == y)
            facts.dpi = SaneDpi(x * 0.0254);
        png_charp name = nullptr;
        png_bytep data = nullptr;
        double gamma = 0, c[8];
        if (png_get_iCCP(png, info, &name, &compression, &data, &length) && data && length > 0) {
            facts.profile.assign(data, data + length);
        } else if (!png_get_sRGB(png, info, &intent) && png_get_gAMA(png, info, &gamma)) {
            const bool chromaticities = png_get_cHRM(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]);
            facts.profile = kivtools::ProfileFromGamma(gamma, chromaticities ? c : nullptr,
                                                       (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) == 0);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return facts;
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
    const bool grey = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
    const int colours = grey ? 1 : 3;
    const uint64_t pixels = uint64_t{image.width} * image.height;
    // Deflate shrinks at most 1032 times: a header claiming more than the file can hold lies.
    if (pixels * colours / 1032 > static_cast<uint64_t>(st.st_size)) {
        png_image_free(&image);
        return Refuse(job, "The PNG claims " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                               " pixels, more than its " + std::to_string(st.st_size) + " bytes can hold");
    }
    if (const std::string why = TooLarge("PNG", image.width, image.height, colours); !why.empty()) {
        png_image_free(&image);
        return Refuse(job, why);
    }
    image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;  // composited on white
    std::vector<unsigned char> data(PNG_IMAGE_SIZE(image));
    const png_color white = {255, 255, 255};
    if (!png_image_finish_read(&image, &white, data.data(), 0, nullptr))
        return Refuse(job, std::string("The PNG document is damaged: ") + image.message);
    PngFacts facts = ReadPngFacts(path);
    return Print(job, device, data, image.width, image.height, colours, facts.dpi, std::move(facts.profile));
}

// libjpeg's errors end the decoding through longjmp; its warnings (a file that ends early,
// corrupt data it papers over) are counted, and any of them makes the image damaged.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = "";
};

void JpegError(j_common_ptr info) {
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void JpegMessage(j_common_ptr info, int level) {
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    if (level < 0 && !errors->message[0]) {
        ++info->err->num_warnings;
        info->err->format_message(info, errors->message);
    }
}

// Decodes the JPEG at path into pixels (grey or RGB); empty when it succeeded, else why not.
std::string DecodeJpeg(std::FILE *file, std::vector<unsigned char> &pixels, uint32_t &width, uint32_t &height,
                       int &colours, int &dpi, kivtools::Bytes &profile) {
    jpeg_decompress_struct info{};
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegError;
    errors.manager.emit_message = JpegMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return std::string("The JPEG document is damaged: ") + errors.message;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);  // ICC_PROFILE, possibly in several
    jpeg_read_header(&info, TRUE);
    JOCTET *icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&info, &icc, &iccLength) && icc) {
        profile.assign(icc, icc + iccLength);
        std::free(icc);
    }
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        return "CMYK JPEG documents cannot be printed here: send RGB or grey JPEG, or PWG raster";
    }
    info.out_color_space = info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    colours = info.out_color_space == JCS_GRAYSCALE ? 1 : 3;
    if (std::string why = TooLarge("JPEG", info.image_width, info.image_height, colours); !why.empty()) {
        jpeg_destroy_decompress(&info);
        return why;
    }
    dpi = info.density_unit == 1 && info.X_density == info.Y_density   ? SaneDpi(info.X_density)
          : info.density_unit == 2 && info.X_density == info.Y_density ? SaneDpi(info.X_density * 2.54)
                                                                       : 0;
    jpeg_start_decompress(&info);
    width = info.output_width;
    height = info.output_height;
    pixels.resize(static_cast<std::size_t>(width) * height * colours);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + static_cast<std::size_t>(info.output_scanline) * width * colours;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return errors.message[0] ? std::string("The JPEG document is damaged: ") + errors.message : std::string();
}

bool PrintJpeg(pappl_job_t *job, pappl_device_t *device, void *) {
    const char *path = papplJobGetFilename(job);
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(path ? std::fopen(path, "rb") : nullptr, std::fclose);
    if (!file) return Refuse(job, "The JPEG document cannot be read");
    std::vector<unsigned char> pixels;
    uint32_t width = 0, height = 0;
    int colours = 3, dpi = 0;
    kivtools::Bytes profile;
    if (const std::string why = DecodeJpeg(file.get(), pixels, width, height, colours, dpi, profile); !why.empty())
        return Refuse(job, why);
    return Print(job, device, pixels, width, height, colours, dpi, std::move(profile));
}

}  // namespace

bool Refuse(pappl_job_t *job, const std::string &why) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
    papplJobSetMessage(job, "%s", why.c_str());
    return false;
}

FilteredProfile::FilteredProfile(pappl_job_t *job, kivtools::Bytes profile) { current = {job, std::move(profile)}; }
FilteredProfile::~FilteredProfile() { current = {}; }

const kivtools::Bytes &ProfileOfFiltered(pappl_job_t *job) {
    static const kivtools::Bytes none;
    return current.job == job ? current.profile : none;
}

void AddImageFilters(pappl_system_t *system) {
    // Registered for the driver's own format, which PAPPL looks for before its raster filters.
    papplSystemAddMIMEFilter(system, "image/png", "application/octet-stream", Guarded<PrintPng>, nullptr);
    papplSystemAddMIMEFilter(system, "image/jpeg", "application/octet-stream", Guarded<PrintJpeg>, nullptr);
}

}  // namespace vad3printer
