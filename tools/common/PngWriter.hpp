// Writes a PNG row by row with libpng.
#pragma once

#include <png.h>

#include <cstdio>
#include <string>

namespace kivtools {

class PngWriter {
public:
    PngWriter() = default;
    PngWriter(const PngWriter &) = delete;
    PngWriter &operator=(const PngWriter &) = delete;
    ~PngWriter() {
        if (png_) png_destroy_write_struct(&png_, &info_);
        if (file_) std::fclose(file_);
    }

    // colourType: PNG_COLOR_TYPE_GRAY or PNG_COLOR_TYPE_RGB, 8 bits per channel.
    bool Open(const std::string &path, unsigned width, unsigned height, int colourType, double dpiX, double dpiY) {
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) return Fail("cannot create " + path);
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (!png_) return Fail("out of memory");
        info_ = png_create_info_struct(png_);
        if (!info_) return Fail("out of memory");
        if (setjmp(png_jmpbuf(png_))) return Fail("libpng failed writing " + path);
        png_init_io(png_, file_);
        png_set_compression_level(png_, 3);
        png_set_IHDR(png_, info_, width, height, 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (dpiX > 0 && dpiY > 0) {
            png_set_pHYs(png_, info_, static_cast<png_uint_32>(dpiX / 0.0254 + 0.5),
                         static_cast<png_uint_32>(dpiY / 0.0254 + 0.5), PNG_RESOLUTION_METER);
        }
        png_write_info(png_, info_);
        return true;
    }

    bool WriteRow(const unsigned char *row) {
        if (setjmp(png_jmpbuf(png_))) return Fail("libpng failed writing a row");
        png_write_row(png_, row);
        return true;
    }

    bool Finish() {
        if (setjmp(png_jmpbuf(png_))) return Fail("libpng failed finishing the file");
        png_write_end(png_, info_);
        const bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
        std::fclose(file_);
        file_ = nullptr;
        return ok ? true : Fail("write error");
    }

    const std::string &error() const { return error_; }

private:
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }

    std::FILE *file_ = nullptr;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::string error_;
};

}  // namespace kivtools
