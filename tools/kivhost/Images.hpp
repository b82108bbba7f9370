// The pictures kivhost prints: PNG files and the built-in test page, delivered in bands of
// any pixel format the driver takes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kivhost {

enum class BandFormat { Argb, Grey, Cmyk };

// A picture that produces its rows on demand, as A, R, G, B.
class Picture {
public:
    virtual ~Picture() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual double dpiX() const = 0;
    virtual double dpiY() const = 0;
    virtual bool isGrey() const = 0;
    // rows × width ARGB pixels starting at row y.
    virtual void Rows(int y, int rows, uint8_t *argb) const = 0;
};

// Loads a PNG (composited on white); null with error set when it cannot be read. The
// resolution comes from its pHYs chunk, 300 dpi when it has none.
std::unique_ptr<Picture> LoadPng(const std::string &path, std::string &error);

// An A3 page at 300 dpi drawn in code: colour bars, grey steps, gradients, fine lines and
// text-like blocks.
std::unique_ptr<Picture> TestPage();

// The driver's pixel format code for a band format, and its bytes per pixel.
int16_t PixelFormatCode(BandFormat format);
int BytesPerPixel(BandFormat format);

// Converts ARGB pixels into the band format (in place is not allowed).
void ConvertPixels(const uint8_t *argb, std::size_t pixels, BandFormat format, uint8_t *out);

}  // namespace kivhost
