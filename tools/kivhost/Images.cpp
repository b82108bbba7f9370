// PNG loading, the built-in test page and pixel conversions for kivhost.
#include "Images.hpp"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kivhost {
namespace {

class PngPicture : public Picture {
public:
    int width() const override { return width_; }
    int height() const override { return height_; }
    double dpiX() const override { return dpiX_; }
    double dpiY() const override { return dpiY_; }
    bool isGrey() const override { return grey_; }
    void Rows(int y, int rows, uint8_t *argb) const override {
        std::memcpy(argb, pixels_.data() + static_cast<std::size_t>(y) * width_ * 4,
                    static_cast<std::size_t>(rows) * width_ * 4);
    }

    int width_ = 0, height_ = 0;
    double dpiX_ = 300, dpiY_ = 300;
    bool grey_ = false;
    std::vector<uint8_t> pixels_;  // ARGB
};

// The pHYs resolution in dots per inch, when the file gives one in metres.
void ReadResolution(const std::string &path, PngPicture &picture) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_read_info(png, info);
        png_uint_32 x = 0, y = 0;
        int unit = 0;
        if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER && x > 0 && y > 0) {
            picture.dpiX_ = x * 0.0254;
            picture.dpiY_ = y * 0.0254;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
}

class TestPagePicture : public Picture {
public:
    int width() const override { return 3508; }   // 297 mm at 300 dpi
    int height() const override { return 4961; }  // 420 mm
    double dpiX() const override { return 300; }
    double dpiY() const override { return 300; }
    bool isGrey() const override { return false; }

    void Rows(int y0, int rows, uint8_t *argb) const override {
        for (int y = y0; y < y0 + rows; ++y) {
            uint8_t *row = argb + static_cast<std::size_t>(y - y0) * width() * 4;
            for (int x = 0; x < width(); ++x) Pixel(x, y, row + 4 * x);
        }
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
            const int* c = bars[u * 8 / w];
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
};

}  // namespace

std::unique_ptr<Picture> LoadPng(const std::string &path, std::string &error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = image.message;
        return nullptr;
    }
    auto picture = std::make_unique<PngPicture>();
    picture->width_ = static_cast<int>(image.width);
    picture->height_ = static_cast<int>(image.height);
    picture->grey_ = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
    image.format = PNG_FORMAT_RGB;  // composited on the white background below
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    const png_color white = {255, 255, 255};
    if (!png_image_finish_read(&image, &white, rgb.data(), 0, nullptr)) {
        error = image.message;
        png_image_free(&image);
        return nullptr;
    }
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    picture->pixels_.resize(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
        picture->pixels_[4 * i] = 255;
        std::memcpy(&picture->pixels_[4 * i + 1], &rgb[3 * i], 3);
    }
    ReadResolution(path, *picture);
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
    case BandFormat::Argb:
        std::memcpy(out, argb, pixels * 4);
        return;
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
