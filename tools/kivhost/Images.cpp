// PNG loading, the built-in test page and pixel conversions for kivhost.
#include "Images.hpp"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kivhost {
namespace {

// Reads a PNG row by row with libpng. libpng reports errors by longjmp, so every call into it
// sits in a function whose locals need no destructors.
class PngPicture : public Picture {
public:
    ~PngPicture() override {
        png_destroy_read_struct(&png_, &info_, nullptr);
        if (file_) std::fclose(file_);
    }
    int width() const override { return width_; }
    int height() const override { return height_; }
    double dpiX() const override { return dpiX_; }
    double dpiY() const override { return dpiY_; }
    bool isGrey() const override { return grey_; }
    kivtools::Bytes sourceProfile() const override { return profile_; }
    bool hasResolution() const override { return resolution_; }

    bool Open(const std::string &path, std::string &error) {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) return Fail(error, std::strerror(errno));
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
        info_ = png_ ? png_create_info_struct(png_) : nullptr;
        if (!info_) return Fail(error, "out of memory");
        if (!ReadHeader()) return Fail(error, message_);
        const uint64_t pixels = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
        if (pixels > kMaxPicturePixels) {
            char text[160];
            std::snprintf(text, sizeof text, "the image is %d x %d pixels; kivhost prints at most %llu million", width_,
                          height_, static_cast<unsigned long long>(kMaxPicturePixels / 1000000));
            return Fail(error, text);
        }
        row_.resize(static_cast<std::size_t>(width_) * 4);
        if (passes_ > 1) {  // interlaced: the passes fill the whole image before any row is final
            whole_.resize(static_cast<std::size_t>(pixels) * 4);
            if (!ReadInterlaced()) return Fail(error, message_);
        }
        return true;
    }

    bool ReadRows(int rows, uint8_t *argb, std::string &error) override {
        for (int r = 0; r < rows; ++r, ++next_) {
            const uint8_t *rgba = nullptr;
            if (passes_ > 1) {
                rgba = whole_.data() + static_cast<std::size_t>(next_) * width_ * 4;
            } else {
                if (!ReadRow()) return Fail(error, message_);
                rgba = row_.data();
            }
            Composite(rgba, argb + static_cast<std::size_t>(r) * width_ * 4);
        }
        return true;
    }

private:
    static void OnError(png_structp png, png_const_charp message) {
        auto *self = static_cast<PngPicture *>(png_get_error_ptr(png));
        std::snprintf(self->message_, sizeof self->message_, "%s", message);
        png_longjmp(png, 1);
    }
    static void OnWarning(png_structp, png_const_charp) {}

    bool ReadHeader() {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_init_io(png_, file_);
        // Dimensions are checked against our own limit; libpng's would refuse only later.
        png_set_user_limits(png_, 0x7FFFFFFF, 0x7FFFFFFF);
        png_read_info(png_, info_);
        width_ = static_cast<int>(png_get_image_width(png_, info_));
        height_ = static_cast<int>(png_get_image_height(png_, info_));
        const int colour = png_get_color_type(png_, info_);
        grey_ = (colour & PNG_COLOR_MASK_COLOR) == 0;
        png_uint_32 x = 0, y = 0;
        int unit = 0;
        if (png_get_pHYs(png_, info_, &x, &y, &unit) && unit == PNG_RESOLUTION_METER) {
            const double dx = x * 0.0254, dy = y * 0.0254;
            const auto plausible = [](double d) { return d >= kMinPlausibleDpi && d <= kMaxPlausibleDpi; };
            if (plausible(dx) && plausible(dy)) dpiX_ = dx, dpiY_ = dy, resolution_ = true;
        }
        ReadColourInformation(colour);
        png_set_expand(png_);  // palette and low bit depths to 8 bits, tRNS to alpha
        png_set_scale_16(png_);
        png_set_gray_to_rgb(png_);
        if ((colour & PNG_COLOR_MASK_ALPHA) == 0) png_set_filler(png_, 0xFF, PNG_FILLER_AFTER);
        passes_ = png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);
        return true;
    }

    // iCCP as it is; sRGB means the standard profile; gAMA (with cHRM) a profile made from them.
    void ReadColourInformation(int colour) {
        png_charp name = nullptr;
        png_bytep data = nullptr;
        png_uint_32 length = 0;
        int compression = 0, intent = 0;
        double gamma = 0, c[8];
        if (png_get_iCCP(png_, info_, &name, &compression, &data, &length) && data && length > 0) {
            profile_.assign(data, data + length);
        } else if (!png_get_sRGB(png_, info_, &intent) && png_get_gAMA(png_, info_, &gamma)) {
            const bool chromaticities =
                png_get_cHRM(png_, info_, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0;
            profile_ =
                kivtools::ProfileFromGamma(gamma, chromaticities ? c : nullptr, (colour & PNG_COLOR_MASK_COLOR) == 0);
        }
    }

    bool ReadRow() {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_read_row(png_, row_.data(), nullptr);
        return true;
    }

    bool ReadInterlaced() {
        if (setjmp(png_jmpbuf(png_))) return false;
        for (int pass = 0; pass < passes_; ++pass)
            for (int y = 0; y < height_; ++y)
                png_read_row(png_, whole_.data() + static_cast<std::size_t>(y) * width_ * 4, nullptr);
        return true;
    }

    // R, G, B, A composited on white into A, R, G, B.
    void Composite(const uint8_t *rgba, uint8_t *argb) const {
        for (int x = 0; x < width_; ++x, rgba += 4, argb += 4) {
            const unsigned a = rgba[3];
            argb[0] = 255;
            for (int c = 0; c < 3; ++c) argb[1 + c] = static_cast<uint8_t>((rgba[c] * a + 255 * (255 - a) + 127) / 255);
        }
    }

    static bool Fail(std::string &error, const std::string &why) {
        error = why;
        return false;
    }

    std::FILE *file_ = nullptr;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    char message_[256] = "damaged PNG data";
    int width_ = 0, height_ = 0, passes_ = 1, next_ = 0;
    double dpiX_ = 300, dpiY_ = 300;
    bool grey_ = false, resolution_ = false;
    std::vector<uint8_t> row_, whole_;  // one RGBA row; the whole image when interlaced
    kivtools::Bytes profile_;
};

class TestPagePicture : public Picture {
public:
    int width() const override { return 3508; }   // 297 mm at 300 dpi
    int height() const override { return 4961; }  // 420 mm
    double dpiX() const override { return 300; }
    double dpiY() const override { return 300; }
    bool isGrey() const override { return false; }

    bool ReadRows(int rows, uint8_t *argb, std::string &) override {
        for (int r = 0; r < rows; ++r, ++next_) {
            uint8_t *row = argb + static_cast<std::size_t>(r) * width() * 4;
            for (int x = 0; x < width(); ++x) Pixel(x, next_, row + 4 * x);
        }
        return true;
    }

private:
    static void Set(uint8_t *p, int r, int g, int b) {
        p[0] = 255;
        p[1] = static_cast<uint8_t>(r);
        p[2] = static_cast<uint8_t>(g);
        p[3] = static_cast<uint8_t>(b);
    }

    void Pixel(int x, int y, uint8_t *p) const {
        const int margin = 150, w = width() - 2 * margin;
        Set(p, 255, 255, 255);
        if (x < margin || x >= width() - margin || y < margin || y >= height() - margin) return;
        const int u = x - margin;
        if (y < 750) {  // colour bars
            static const int bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                           {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
            const int *c = bars[u * 8 / w];
            Set(p, c[0], c[1], c[2]);
        } else if (y < 1150) {  // grey steps of 16
            const int v = 255 - (u * 16 / w) * 17;
            Set(p, v, v, v);
        } else if (y < 2150) {  // hue gradient above a lightness gradient
            const double h = 6.0 * u / w, t = (y - 1150) / 1000.0;
            const int seg = std::min(5, static_cast<int>(h));
            const double f = h - seg;
            double rgb[3];
            const double up = f, down = 1 - f;
            const double table[6][3] = {{1, up, 0}, {down, 1, 0}, {0, 1, up}, {0, down, 1}, {up, 0, 1}, {1, 0, down}};
            // From white at the top through the pure hue in the middle to black at the bottom.
            for (int k = 0; k < 3; ++k) {
                const double c = table[seg][k];
                rgb[k] = t < 0.5 ? c + (1 - c) * (1 - 2 * t) : c * (2 - 2 * t);
            }
            Set(p, static_cast<int>(rgb[0] * 255), static_cast<int>(rgb[1] * 255), static_cast<int>(rgb[2] * 255));
        } else if (y < 2950) {  // fine lines: 1-pixel lines at growing gaps, vertical then horizontal
            const int v = y - 2150;
            const int gap = 2 + (u * 6 / w);
            if ((u < w / 2 ? u % gap : v % gap) == 0) Set(p, 0, 0, 0);
            if (u > w / 2 - 4 && u < w / 2 + 4) Set(p, 200, 0, 0);
        } else if (y < height() - margin - 200) {  // text-like blocks: words of dark strokes
            const int line = (y - 2950) / 60, inLine = (y - 2950) % 60;
            if (inLine >= 40) return;
            const unsigned hash = static_cast<unsigned>(line * 7919 + (u / 24) * 104729);
            const bool wordGap = (hash % 7) == 0;
            const bool stroke = ((u % 24) % (3 + hash % 4)) < 2;
            if (!wordGap && stroke) Set(p, 30, 30, (line % 5 == 0) ? 140 : 30);
        } else {  // a solid band to finish
            Set(p, 20, 60, 140);
        }
    }

    int next_ = 0;
};

}  // namespace

std::unique_ptr<Picture> LoadPng(const std::string &path, std::string &error) {
    auto picture = std::make_unique<PngPicture>();
    if (!picture->Open(path, error)) return nullptr;
    return picture;
}

std::unique_ptr<Picture> TestPage() { return std::make_unique<TestPagePicture>(); }

int16_t PixelFormatCode(BandFormat format) {
    switch (format) {
    case BandFormat::Grey: return 8;
    case BandFormat::Cmyk: return 33;
    default: return 32;
    }
}

int BytesPerPixel(BandFormat format) { return format == BandFormat::Grey ? 1 : 4; }

void ConvertPixels(const uint8_t *argb, std::size_t pixels, BandFormat format, uint8_t *out) {
    switch (format) {
    case BandFormat::Argb: std::memcpy(out, argb, pixels * 4); return;
    case BandFormat::Grey:  // density: ink where the picture is dark
        for (std::size_t i = 0; i < pixels; ++i) {
            const uint8_t *p = argb + 4 * i;
            out[i] = static_cast<uint8_t>(255 - (p[1] * 77 + p[2] * 150 + p[3] * 29) / 256);
        }
        return;
    case BandFormat::Cmyk:  // black generation from the common part of the three inks
        for (std::size_t i = 0; i < pixels; ++i) {
            const uint8_t *p = argb + 4 * i;
            const int c = 255 - p[1], m = 255 - p[2], y = 255 - p[3];
            const int k = std::min({c, m, y});
            uint8_t *o = out + 4 * i;
            const auto under = [k](int v) { return static_cast<uint8_t>(k == 255 ? 0 : (v - k) * 255 / (255 - k)); };
            o[0] = under(c), o[1] = under(m), o[2] = under(y), o[3] = static_cast<uint8_t>(k);
        }
        return;
    }
}

}  // namespace kivhost
