// Every line encoder of every set this processor runs on three synthetic A3 pages, with the
// ratio to memcpy of the same page measured in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>

#include "format/Codecs.hpp"

#include "SyntheticPages.hpp"

namespace {

using kivbench::PageKind;
using kivbench::SyntheticPage;
using Stuff = kiv::StuffProc;

const SyntheticPage &Page(PageKind kind, std::size_t pixelSize) {
    static std::map<std::pair<int, std::size_t>, std::unique_ptr<SyntheticPage>> pages;
    auto &page = pages[{static_cast<int>(kind), pixelSize}];
    if (!page) page = std::make_unique<SyntheticPage>(kind, pixelSize);
    return *page;
}

// Seconds for one memcpy pass over the page, line by line (the best of three).
double MemcpySeconds(const SyntheticPage &page) {
    static std::map<const SyntheticPage *, double> cache;
    if (auto it = cache.find(&page); it != cache.end()) return it->second;
    std::vector<uint8_t> out(page.LineBytes());
    double best = 1e9;
    for (int pass = 0; pass < 3; ++pass) {
        const auto start = std::chrono::steady_clock::now();
        for (int y = 0; y < kivbench::kPageHeight; ++y) {
            std::memcpy(out.data(), page.Line(y), page.LineBytes());
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return cache[&page] = best;
}

void Encode(benchmark::State &state, Stuff stuff, std::size_t pixelSize, PageKind kind) {
    const SyntheticPage &page = Page(kind, pixelSize);
    const std::size_t budget = page.LineBytes() - 8;
    std::vector<uint8_t> out(budget + 64);
    std::size_t encoded = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int y = 0; y < kivbench::kPageHeight; ++y) {
            const std::size_t n = stuff(page.Line(y), kivbench::kPageWidth, out.data(), budget);
            encoded += n ? n + 4 : page.LineBytes();
            benchmark::DoNotOptimize(out.data());
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.Bytes()));
    const double perPage = seconds / static_cast<double>(state.iterations());
    state.counters["vs_memcpy"] = MemcpySeconds(page) / perPage;
    state.counters["ratio"] = static_cast<double>(encoded) / static_cast<double>(state.iterations() * page.Bytes());
}

void Register() {
    const struct {
        const char *name;
        kiv::StuffProc kiv::LineEncoderSet::*stuff;
        std::size_t pixel;
    } encoders[] = {{"Stuff8", &kiv::LineEncoderSet::stuff8, 1},
                    {"Stuff32", &kiv::LineEncoderSet::stuff32, 4},
                    {"StuffRGB32", &kiv::LineEncoderSet::stuffRGB32, 4},
                    {"Stuff64", &kiv::LineEncoderSet::stuff64, 8},
                    {"Stuff96", &kiv::LineEncoderSet::stuff96, 12}};
    const struct {
        const char *name;
        PageKind kind;
    } pages[] = {{"white", PageKind::White}, {"document", PageKind::Document}, {"noise", PageKind::Noise}};
    for (const auto &e : encoders) {
        for (const auto &p : pages) {
            for (const kiv::LineEncoderSet *set : kiv::AvailableLineEncoders()) {
                const std::string name = std::string(e.name) + "/" + p.name + "/" + set->name;
                benchmark::RegisterBenchmark(name.c_str(), Encode, set->*e.stuff, e.pixel, p.kind)
                    ->Unit(benchmark::kMillisecond)
                    ->MinTime(0.5);
            }
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
