// Writes a PNG row by row with libpng.
#pragma once

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace kivtools {

class PngWriter {
public:
    PngWriter() = default;
    PngWriter(const PngWriter &) = delete;
    PngWriter &operator=(const PngWriter &) = delete;
    ~PngWriter() {
        if (png_) png_destroy_write_struct(&png_, &info_);
        if (file_) std::fclose(file_);
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
    }

    // colourType: PNG_COLOR_TYPE_GRAY or PNG_COLOR_TYPE_RGB, 8 bits per channel; profile: ICC
    // data for an iCCP chunk, or empty.
    bool Open(const std::string &path, unsigned width, unsigned height, int colourType, double dpiX, double dpiY,
              std::string_view profile = {}) {
        // Written beside the target and renamed over it by Finish: a failure never damages it.
        path_ = path;
        const std::size_t slash = path.rfind('/');
        temporary_ = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".png-XXXXXX";
        const int fd = ::mkostemp(temporary_.data(), O_CLOEXEC);
        if (fd < 0) {
            temporary_.clear();
            return Fail("cannot create " + path + ": " + std::strerror(errno));
        }
        ::fchmod(fd, 0644);
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            ::close(fd);
            return Fail("cannot create " + path + ": " + std::strerror(errno));
        }
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
        if (!profile.empty())
            png_set_iCCP(png_, info_, "ICC profile", PNG_COMPRESSION_TYPE_BASE,
                         reinterpret_cast<png_const_bytep>(profile.data()), static_cast<png_uint_32>(profile.size()));
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
        bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
        int error = errno;
        if (std::fclose(std::exchange(file_, nullptr)) != 0 && ok) ok = false, error = errno;
        if (ok && ::rename(temporary_.c_str(), path_.c_str()) != 0) ok = false, error = errno;
        if (!ok) return Fail("cannot write " + path_ + ": " + std::strerror(error));
        temporary_.clear();
        return true;
    }

    const std::string &error() const { return error_; }

private:
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }

    std::string path_, temporary_;
    std::FILE *file_ = nullptr;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::string error_;
};

}  // namespace kivtools
