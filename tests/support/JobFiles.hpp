// Writing small raster job files for tests, and the blank pixel of each format.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "format/PixelFormats.hpp"
#include "format/VAD3Format.hpp"
#include "format/VAD3Reader.hpp"
#include "output/VAD3Output.hpp"

namespace kivtest {

using Bytes = std::vector<uint8_t>;

inline constexpr int16_t kAllPixelFormats[] = {8, 32, 33, 34, 35, 36, 64};

inline Bytes BlankPixel(int16_t format) {
    const kiv::PixelFormatInfo &info = *kiv::FindPixelFormat(format);
    const auto pixel = kiv::BlankPixel(info);
    return Bytes(pixel.begin(), pixel.begin() + info.pixelSize);
}

inline Bytes BlankLine(int16_t format, int width) {
    Bytes line;
    const Bytes pixel = BlankPixel(format);
    for (int i = 0; i < width; ++i) line.insert(line.end(), pixel.begin(), pixel.end());
    return line;
}

// Lines of different character: uniform, noise, short runs.
inline Bytes ContentLine(int16_t format, int width, int kind, std::mt19937 &rng) {
    const std::size_t size = kiv::PixelSizeFromFormat(format);
    Bytes line(size * width);
    for (int x = 0; x < width; ++x) {
        for (std::size_t b = 0; b < size; ++b) {
            uint8_t v;
            switch (kind % 3) {
            case 0: v = static_cast<uint8_t>(40 + b); break;             // one colour
            case 1: v = static_cast<uint8_t>(rng()); break;              // noise
            default: v = static_cast<uint8_t>((x / 3) * 50 + b); break;  // runs of three
            }
            line[x * size + b] = v;
        }
    }
    return line;
}

// An ARGB line's A bytes as 0: an encoded line stores 0 there, a raw one what came.
inline Bytes WithoutAlpha(Bytes line, int16_t format) {
    for (std::size_t x = 0; format == 32 && x < line.size(); x += 4) line[x] = 0;
    return line;
}

// Every line of every page of a job file that verifies (ARGB without its A bytes), and its
// header; a failure of the test when it does not verify or read.
inline std::vector<Bytes> JobLines(const std::filesystem::path &file, kiv::VAD3Header *header = nullptr) {
    EXPECT_EQ(kiv::VerifyVAD3(file), "") << file;
    kiv::VAD3Reader reader;
    std::vector<Bytes> lines;
    if (std::string e = reader.Open(file); !e.empty()) ADD_FAILURE() << file << ": " << e;
    const std::size_t count = static_cast<std::size_t>(reader.header().height) * reader.header().pageCount;
    for (Bytes line; lines.size() < count && reader.ReadLine(line).empty();)
        lines.push_back(WithoutAlpha(line, reader.header().pixelFormat));
    if (lines.size() < count) ADD_FAILURE() << file << ": " << lines.size() << " of " << count << " lines read";
    if (header) *header = reader.header();
    return lines;
}

// A trailer value as "type:value" (data as its bytes, an array's strings joined by "|"), empty
// when absent: one comparison checks the value and its property-list type.
inline std::string TrailerValue(const std::filesystem::path &file, const std::string &key) {
    kiv::VAD3Reader reader;
    kiv::Plist trailer;
    if (!reader.Open(file).empty() || !reader.ReadTrailer(trailer).empty() || !trailer) return "no trailer";
    plist_t v = plist_dict_get_item(trailer.get(), key.c_str());
    if (!v) return "";
    if (auto t = kiv::StringValue(v)) return "string:" + *t;
    if (auto i = kiv::IntegerValue(v)) return "integer:" + std::to_string(*i);
    if (auto r = kiv::RealValue(v)) return "real:" + std::to_string(*r);
    if (auto b = kiv::BoolValue(v)) return *b ? "bool:true" : "bool:false";
    if (auto d = kiv::DateValue(v)) return "date:" + std::to_string(*d);
    if (auto d = kiv::DataValue(v)) return "data:" + std::string(*d);
    std::string array = "array:";
    for (uint32_t i = 0; kiv::IsArray(v) && i < plist_array_get_size(v); ++i)
        array += (i ? "|" : "") + kiv::StringValue(plist_array_get_item(v, i)).value_or("?");
    return array;
}

inline kiv::OutputFormat Format(int16_t pixelFormat, int width, int height) {
    kiv::OutputFormat f;
    f.pixelFormat = pixelFormat;
    f.copies = 2;
    f.collate = 1;
    f.documentWidth = width;
    f.documentHeight = height;
    f.pageName = "A3";
    return f;
}

inline PageGeometry Geometry(int width, int height) {
    return PageGeometry{width, height, width / 300.0 * 25.4, height / 300.0 * 25.4};
}

}  // namespace kivtest
