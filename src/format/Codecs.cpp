// Run-length line codecs: scalar encoders, blank encoders, decoders and worst-case sizes.
#include "Codecs.hpp"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include <kiv/VAD3Codecs.h>

#include "PixelRecords.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv {
#if KIV_X86_ENCODERS
namespace simd {
const LineEncoderSet &SseLineEncoders();
const LineEncoderSet &Avx2LineEncoders();
const LineEncoderSet &Avx512LineEncoders();
const LineEncoderSet &Avx512VbmiLineEncoders();
}  // namespace simd
#endif

namespace {

using namespace records;

template <class P>
std::size_t EncodeBlank(std::size_t width, const uint8_t *pixel, void *outPtr) {
    auto *out = static_cast<uint8_t *>(outPtr);
    std::size_t written = 0;
    for (std::size_t left = width; left > 0;) {
        const std::size_t count = std::min(left, P::kMaxCount);
        P::Emit(out + written, count, pixel);
        written += P::kRecord;
        left -= count;
    }
    std::memset(out + written, 0, P::kRecord);
    return written + P::kRecord;
}

// Expands records; OutSize is the size of one output pixel and Write stores count copies.
template <class P, std::size_t OutSize, class Write>
int Decode(const void *inPtr, void *outPtr, std::size_t inBytes, std::size_t pixelCount, Write write) {
    const auto *in = static_cast<const uint8_t *>(inPtr);
    auto *out = static_cast<uint8_t *>(outPtr);
    if (inBytes < P::kRecord) return pixelCount == 0 ? 0 : kDecompressError;
    std::size_t total = 0;
    const std::size_t records = inBytes / P::kRecord;
    for (std::size_t r = 0; r < records; ++r) {
        const uint8_t *record = in + r * P::kRecord;
        const std::size_t count = P::Count(record);
        if (count > pixelCount - total) return kDecompressError;
        if (count == 0) continue;  // the terminator
        write(out + total * OutSize, P::Pixel(record), count);
        total += count;
    }
    return total == pixelCount ? 0 : kDecompressError;
}

template <class P>
int DecodeSame(const void *in, void *out, std::size_t inBytes, std::size_t pixelCount) {
    return Decode<P, P::kSize>(in, out, inBytes, pixelCount, [](uint8_t *o, const uint8_t *pixel, std::size_t count) {
        if constexpr (P::kSize == 1) {
            std::memset(o, *pixel, count);
        } else {
            for (std::size_t i = 0; i < count; ++i) std::memcpy(o + i * P::kSize, pixel, P::kSize);
        }
    });
}

void StoreBE32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

}  // namespace

namespace {

// Every encoder set in order of preference, the fastest last, with the check that this
// processor runs it.
struct EncoderChoice {
    const LineEncoderSet &(*set)();
    bool (*runsHere)();
};

bool Always() { return true; }
#if KIV_X86_ENCODERS
bool Popcnt() { return __builtin_cpu_supports("popcnt"); }
bool Sse() { return Popcnt() && __builtin_cpu_supports("sse4.1"); }
bool Avx2() { return Popcnt() && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("avx2"); }
bool Avx512() {
    return Popcnt() && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw");
}
// The AVX-512 set rebuilt for VBMI and VBMI2, which make grey records faster.
bool Avx512Vbmi() { return Avx512() && __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2"); }
#endif

const EncoderChoice kEncoderChoices[] = {
    {ScalarLineEncoders, Always},
#if KIV_X86_ENCODERS
    {simd::SseLineEncoders, Sse},       {simd::Avx2LineEncoders, Avx2},
    {simd::Avx512LineEncoders, Avx512}, {simd::Avx512VbmiLineEncoders, Avx512Vbmi},
#endif
};

// "scalar, sse, …": the names of the sets this build has.
std::string AllNames() {
    std::string names;
    for (const EncoderChoice &c : kEncoderChoices) names += (names.empty() ? "" : ", ") + std::string(c.set().name);
    return names;
}

}  // namespace

std::span<const LineEncoderSet *const> AvailableLineEncoders() {
    static const auto sets = [] {
#if KIV_X86_ENCODERS
        __builtin_cpu_init();
#endif
        std::vector<const LineEncoderSet *> here;
        for (const EncoderChoice &c : kEncoderChoices)
            if (c.runsHere()) here.push_back(&c.set());
        return here;
    }();
    return sets;
}

const LineEncoderSet &ChooseLineEncoders(const char *forced, std::string &message) {
    const auto sets = AvailableLineEncoders();
    message.clear();
    if (!forced || !*forced) return *sets.back();
    for (const LineEncoderSet *set : sets)
        if (std::strcmp(set->name, forced) == 0) return *set;
    const bool known = std::any_of(std::begin(kEncoderChoices), std::end(kEncoderChoices),
                                   [&](const EncoderChoice &c) { return std::strcmp(c.set().name, forced) == 0; });
    message = std::string("KIV_LINE_ENCODERS=") + forced +
              (known ? ": this processor cannot run that set" : ": no such set (" + AllNames() + ")") + "; using " +
              sets.back()->name;
    return *sets.back();
}

std::string DescribeLineEncoders() {
    std::string text = std::string(LineEncoders().name) + " (this processor runs";
    for (const LineEncoderSet *set : AvailableLineEncoders())
        text += std::string(set == AvailableLineEncoders().front() ? " " : ", ") + set->name;
    return text + ")";
}

const LineEncoderSet &LineEncoders() {
    static const LineEncoderSet &chosen = [&]() -> const LineEncoderSet & {
        std::string message;
        const LineEncoderSet &set = ChooseLineEncoders(std::getenv("KIV_LINE_ENCODERS"), message);
        if (!message.empty()) Diagnose("%s", message.c_str());
        return set;
    }();
    return chosen;
}

std::size_t BlankProc8(std::size_t width, uint32_t, void *out) {
    const uint8_t zero = 0;
    return EncodeBlank<Grey>(width, &zero, out);
}

std::size_t BlankProc32(std::size_t width, uint32_t fill, void *out) {
    uint8_t pixel[4];
    StoreBE32(pixel, fill);
    return EncodeBlank<Pixel32>(width, pixel, out);
}

std::size_t BlankProc64(std::size_t width, uint32_t, void *out) {
    const uint8_t pixel[8] = {};
    return EncodeBlank<Pixel64>(width, pixel, out);
}

std::size_t BlankProc96(std::size_t width, uint32_t fill, void *out) {
    uint8_t pixel[12] = {};
    StoreBE32(pixel, fill);
    return EncodeBlank<Pixel96>(width, pixel, out);
}

std::size_t RecordSizeForPixelSize(std::size_t pixelSize) {
    switch (pixelSize) {
    case 1: return 2;
    case 4: return 6;
    case 8: return 10;
    case 12: return 14;
    default: return 0;
    }
}

}  // namespace kiv

using namespace kiv;

extern "C" {

size_t Stuff8(const void *line, size_t width, void *out, size_t budget) {
    return LineEncoders().stuff8(line, width, out, budget);
}
size_t Stuff32(const void *line, size_t width, void *out, size_t budget) {
    return LineEncoders().stuff32(line, width, out, budget);
}
size_t StuffRGB32(const void *line, size_t width, void *out, size_t budget) {
    return LineEncoders().stuffRGB32(line, width, out, budget);
}
size_t Stuff64(const void *line, size_t width, void *out, size_t budget) {
    return LineEncoders().stuff64(line, width, out, budget);
}
size_t Stuff96(const void *line, size_t width, void *out, size_t budget) {
    return LineEncoders().stuff96(line, width, out, budget);
}

size_t Blank8(size_t width, void *out) { return BlankProc8(width, 0, out); }
size_t Blank32(size_t width, uint32_t fill, void *out) { return BlankProc32(width, fill, out); }
size_t Blank64(size_t width, void *out) { return BlankProc64(width, 0, out); }
size_t Blank96(size_t width, uint32_t fill, void *out) { return BlankProc96(width, fill, out); }

int Decompress8(const void *in, void *out, size_t inBytes, size_t pixelCount) {
    return DecodeSame<Grey>(in, out, inBytes, pixelCount);
}

int Decompress8ToRGB(const void *in, void *out, size_t inBytes, size_t pixelCount) {
    return Decode<Grey, 4>(in, out, inBytes, pixelCount, [](uint8_t *o, const uint8_t *pixel, size_t count) {
        const uint8_t v = static_cast<uint8_t>(255 - *pixel);
        for (size_t i = 0; i < count; ++i, o += 4) {
            o[0] = 0;
            o[1] = o[2] = o[3] = v;
        }
    });
}

int Decompress32(const void *in, void *out, size_t inBytes, size_t pixelCount) {
    return DecodeSame<Pixel32>(in, out, inBytes, pixelCount);
}
int Decompress64(const void *in, void *out, size_t inBytes, size_t pixelCount) {
    return DecodeSame<Pixel64>(in, out, inBytes, pixelCount);
}
int Decompress96(const void *in, void *out, size_t inBytes, size_t pixelCount) {
    return DecodeSame<Pixel96>(in, out, inBytes, pixelCount);
}

size_t WorstCaseBufferSize8(size_t width) { return 2 * width; }
size_t WorstCaseBufferSize32(size_t width) { return 6 * width; }
size_t WorstCaseBufferSize64(size_t width) { return 10 * width; }
size_t WorstCaseBufferSize96(size_t width) { return 14 * width; }

}  // extern "C"
