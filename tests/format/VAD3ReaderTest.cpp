// The verifier catches damaged files; the vad3 tool reports and renders.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>

#include "output/VAD3Output.hpp"
#include "format/VAD3Reader.hpp"
#include "support/Commands.hpp"
#include "support/JobFiles.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
using namespace kivtest;
namespace fs = std::filesystem;

namespace {

// A finished two-page grey file of 20 × 3 with one encoded line (page 1, line 1) first.
fs::path GoodFile(const TempDir &dir, int16_t format = 8) {
    OutputRef out;
    EXPECT_EQ(Output_Create(dir.path(), std::string("good.vad3"), "Good", Geometry(20, 3), Format(format, 20, 3), out),
              0);
    std::mt19937 rng(5);
    for (int p = 0; p < 2; ++p) {
        Output_AddPage(*out);
        const Bytes flat = ContentLine(format, 20, 0, rng), noise = ContentLine(format, 20, 1, rng);
        Output_WriteLine(*out, flat.data());
        Output_WriteLine(*out, noise.data());
        Output_WriteBlankLine(*out);
    }
    EXPECT_EQ(Output_Close(std::move(out)), 0);
    return dir / "good.vad3";
}

fs::path Damaged(const TempDir &dir, const std::string &bytes) {
    WriteFile(dir / "bad.vad3", bytes);
    return dir / "bad.vad3";
}

CommandOutput RunTool(const std::string &args) { return RunCommand(std::string(VAD3_TOOL) + " " + args); }

}  // namespace

TEST(VAD3Verify, AcceptsAGoodFileAndRejectsDamage) {
    TempDir dir;
    const fs::path good = GoodFile(dir);
    ASSERT_EQ(VerifyVAD3(good), "");
    const std::string bytes = ReadFile(good);

    ASSERT_NE(LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + 64, 4), 20u);  // line 1 is encoded
    // The file cut to `keep` bytes (from its end when negative), then the byte at `at` (from
    // the end when negative) changed by `delta`.
    const struct {
        long keep, at;
        int delta;
        const char *message;
    } cases[] = {
        {40, 0, 0, "truncated header"},
        {66, 0, 0, "cannot fit in a file of 66 bytes"},
        {80, 0, 0, "page 1, line 2: truncated"},
        {-10, 0, 0, "trailer"},
        {0, 43, 1, "trailer offset"},
        {0, 69, -1, "page 1, line 1: runs add up to 19 pixels, not the width 20"},  // a run's count
        {0, 21, 1, "page 3, line 1"},                                               // a page more than there is
        {0, -12, '<' - 'y', "trailer"},                                             // the XML broken
        {0, 19, 1, "unknown pixel format"},
    };
    for (const auto &c : cases) {
        std::string damaged = bytes.substr(0, c.keep > 0 ? c.keep : bytes.size() + c.keep);
        damaged[c.at >= 0 ? c.at : damaged.size() + c.at] += static_cast<char>(c.delta);
        const std::string fault = VerifyVAD3(Damaged(dir, damaged));
        EXPECT_NE(fault.find(c.message), std::string::npos) << c.keep << " " << c.at << ": " << fault;
    }
    // The trailer at the very end of the file: of no bytes, then starting one byte late.
    const uint64_t at = LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + 36, 8);
    std::string end = bytes.substr(0, at) + std::string(4, '\0');
    EXPECT_NE(VerifyVAD3(Damaged(dir, end)).find("not a property-list dictionary"), std::string::npos);
    StoreBigEndian(reinterpret_cast<uint8_t *>(end.data()) + 36, at + 1, 8);
    VAD3Reader late;
    ASSERT_EQ(late.Open(Damaged(dir, end)), "");
    Plist trailer;
    EXPECT_NE(late.ReadTrailer(trailer).find("lies outside the file"), std::string::npos);

    // Three stray bytes inside the first encoded record.
    std::string stray = bytes;
    const uint32_t length =
        static_cast<uint32_t>(LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + 64, 4));
    StoreBigEndian(reinterpret_cast<uint8_t *>(stray.data()) + 64, length + 3, 4);
    stray.insert(64 + length, "xyz");
    EXPECT_NE(VerifyVAD3(Damaged(dir, stray)).find("not a whole number of 2-byte records"), std::string::npos);
}

TEST(VAD3Verify, SizesTheFileCannotHoldAreRefusedBeforeAllocating) {
    TempDir dir;
    std::string header = ReadFile(GoodFile(dir)).substr(0, 64);
    // 64-megapixel lines in a 74-byte file.
    std::string wide = header + std::string(10, '\0');
    StoreBigEndian(reinterpret_cast<uint8_t *>(wide.data()) + 2, 64u << 20, 4);
    EXPECT_NE(VerifyVAD3(Damaged(dir, wide)).find("cannot fit in a file of 74 bytes"), std::string::npos);
    // Its 6 bytes after the header hold three records of at most 255 grey pixels each.
    for (const uint32_t width : {765u, 766u}) {
        StoreBigEndian(reinterpret_cast<uint8_t *>(wide.data()) + 2, width, 4);
        EXPECT_EQ(VerifyVAD3(Damaged(dir, wide)).find("cannot fit") != std::string::npos, width == 766) << width;
    }
    // A line record that claims ten bytes more than the file has after it.
    std::string record = ReadFile(dir / "good.vad3");
    StoreBigEndian(reinterpret_cast<uint8_t *>(record.data()) + 64, record.size() - 68 + 10 + 4, 4);
    EXPECT_NE(VerifyVAD3(Damaged(dir, record)).find("bytes at offset 68 runs past the end"), std::string::npos);

    // A trailer that claims almost 2 GiB of a sparse file.
    std::string head = header;
    head[21] = 0;  // no pages
    StoreBigEndian(reinterpret_cast<uint8_t *>(head.data()) + 36, 64, 8);
    head += std::string("\x7f\xff\xff\xf0", 4);
    const fs::path sparse = Damaged(dir, head);
    fs::resize_file(sparse, (uint64_t{1} << 31) + 64);
    EXPECT_NE(VerifyVAD3(sparse).find("larger than the 4194304 bytes read"), std::string::npos);
}

TEST(VAD3Tool, VerifyInfoAndRender) {
    TempDir dir;
    const fs::path good = GoodFile(dir, 33);
    const std::string bytes = ReadFile(good);
    const fs::path bad = Damaged(dir, bytes.substr(0, bytes.size() - 3));

    CommandOutput ok = RunTool("verify '" + good.string() + "'");
    EXPECT_EQ(ok.status, 0) << ok.text;
    CommandOutput both = RunTool("verify '" + good.string() + "' '" + bad.string() + "'");
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.text.find("bad.vad3: "), std::string::npos) << both.text;

    CommandOutput json = RunTool("info --json '" + good.string() + "' > '" + (dir / "info.json").string() + "'");
    EXPECT_EQ(json.status, 0) << json.text;
    const std::string parsed = RunPython(
        "import json, sys\n"
        "d = json.load(open(sys.argv[1]))[0]\n"
        "print(d['width'], d['pageCount'], d['pixelFormat'], d['metadata']['KIVPrinterDriver_JobName'])\n",
        dir / "info.json");
    EXPECT_EQ(parsed, "20 2 33 Good\n");
    EXPECT_EQ(RunTool("info '" + good.string() + "'").status, 0);

    const fs::path png = dir / "page.png";
    CommandOutput render = RunTool("render '" + good.string() + "' --page 2 -o '" + png.string() + "'");
    EXPECT_EQ(render.status, 0) << render.text;
    const std::string pngBytes = ReadFile(png);
    ASSERT_GT(pngBytes.size(), 8u);
    EXPECT_EQ(pngBytes.substr(1, 3), "PNG");
    // A failed render leaves the earlier output alone and says why it failed.
    EXPECT_EQ(RunTool("render '" + good.string() + "' --page 3 -o '" + png.string() + "'").status, 1);
    const uint64_t dataEnd = LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + 36, 8);
    const fs::path cut = dir / "cut.vad3";
    WriteFile(cut, bytes.substr(0, dataEnd - 2));
    EXPECT_EQ(RunTool("render '" + cut.string() + "' --page 2 -o '" + png.string() + "'").status, 1);
    EXPECT_EQ(ReadFile(png), pngBytes);
    const CommandOutput nowhere = RunTool("render '" + good.string() + "' -o /nonexistent/x.png");
    EXPECT_NE(nowhere.text.find("/nonexistent/x.png: No such file or directory"), std::string::npos) << nowhere.text;
    EXPECT_EQ(RunTool("frobnicate x").status, 2);
}

TEST(VAD3Tool, JsonIsValidWhateverTheMetadata) {
    TempDir dir;
    OutputRef out;
    const std::string name = "odd \xFF name.vad3";
    ASSERT_EQ(Output_Create(dir.path(), name, "J", Geometry(4, 1), Format(8, 4, 1), out), 0);
    Output_SetMetadata(*out, "inf", MakeReal(std::numeric_limits<double>::infinity()).get());
    Output_SetMetadata(*out, "nan", MakeReal(std::numeric_limits<double>::quiet_NaN()).get());
    Output_SetMetadata(*out, "big", MakeInteger(12345).get());
    Output_SetMetadata(*out, "negative", MakeInteger(-5).get());
    ASSERT_EQ(Output_Close(std::move(out)), 0);
    // An integer beyond 63 bits, as another writer may store it.
    std::string bytes = ReadFile(dir / name);
    const uint64_t at = LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + 36, 8);
    std::string xml = bytes.substr(at + 4);
    xml.replace(xml.find("12345"), 5, "18446744073709551615");
    bytes = bytes.substr(0, at) + std::string(4, '\0') + xml;
    StoreBigEndian(reinterpret_cast<uint8_t *>(bytes.data()) + at, xml.size(), 4);
    WriteFile(dir / name, bytes);
    const CommandOutput json =
        RunTool("info --json '" + (dir / name).string() + "' > '" + (dir / "info.json").string() + "'");
    EXPECT_EQ(json.status, 0) << json.text;
    const std::string parsed = RunPython(
        "import json, sys\n"
        "d = json.load(open(sys.argv[1], encoding='utf-8'))[0]\n"
        "m = d['metadata']\n"
        "print(ascii(d['file'][-15:]), m['inf'], m['nan'], m['big'], m['negative'])\n",
        dir / "info.json");
    EXPECT_EQ(parsed, "'odd \\ufffd name.vad3' None None 18446744073709551615 -5\n");
}
