// The verifier catches damaged files; the vad3 tool reports and renders.
#include <gtest/gtest.h>

#include <cstdio>

#include "output/VAD3Output.hpp"
#include "reader/VAD3Reader.hpp"
#include "support/JobFiles.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
using namespace kivtest;
namespace fs = std::filesystem;

namespace {

// A finished two-page grey file of 20 × 3 with one encoded line (page 1, line 1) first.
fs::path GoodFile(const TempDir &dir, int16_t format = 8) {
    OutputRef out;
    EXPECT_EQ(Output_Create(dir.path(), std::string("good.vad3"), "Good", Geometry(20, 3), Format(format, 20, 3), out), 0);
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

struct Command {
    int status;
    std::string output;
};

Command RunTool(const std::string &args) {
    Command c{-1, ""};
    FILE *p = popen((std::string(VAD3_TOOL) + " " + args + " 2>&1").c_str(), "r");
    if (!p) return c;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, p)) c.output += buffer;
    const int status = pclose(p);
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return c;
}

}  // namespace

TEST(VAD3Verify, AcceptsAGoodFileAndRejectsDamage) {
    TempDir dir;
    const fs::path good = GoodFile(dir);
    ASSERT_EQ(VerifyVAD3(good), "");
    const std::string bytes = ReadFile(good);

    EXPECT_NE(VerifyVAD3(Damaged(dir, bytes.substr(0, 40))).find("truncated header"), std::string::npos);
    for (std::size_t cut : {std::size_t{66}, std::size_t{80}, bytes.size() - 10}) {
        EXPECT_NE(VerifyVAD3(Damaged(dir, bytes.substr(0, cut))), "") << cut;
    }

    std::string offset = bytes;
    offset[36 + 7] = static_cast<char>(offset[36 + 7] + 1);
    EXPECT_NE(VerifyVAD3(Damaged(dir, offset)).find("trailer offset"), std::string::npos);

    // The first record is encoded: value, count pairs after its length word at 64.
    std::string runs = bytes;
    ASSERT_NE(LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + 64, 4), 20u);
    runs[64 + 4 + 1] = static_cast<char>(runs[64 + 4 + 1] - 1);
    const std::string fault = VerifyVAD3(Damaged(dir, runs));
    EXPECT_NE(fault.find("page 1, line 1: runs add up to 19 pixels, not the width 20"), std::string::npos) << fault;

    std::string pages = bytes;
    pages[21] = 3;  // one page more than the data holds
    EXPECT_NE(VerifyVAD3(Damaged(dir, pages)), "");

    std::string trailer = bytes;
    trailer[trailer.size() - 12] = '<';  // break the XML
    EXPECT_NE(VerifyVAD3(Damaged(dir, trailer)), "");

    std::string format = bytes;
    format[19] = 9;
    EXPECT_NE(VerifyVAD3(Damaged(dir, format)).find("unknown pixel format"), std::string::npos);
}

TEST(VAD3Tool, VerifyInfoAndRender) {
    TempDir dir;
    const fs::path good = GoodFile(dir, 33);
    const std::string bytes = ReadFile(good);
    const fs::path bad = Damaged(dir, bytes.substr(0, bytes.size() - 3));

    Command ok = RunTool("verify '" + good.string() + "'");
    EXPECT_EQ(ok.status, 0) << ok.output;
    Command both = RunTool("verify '" + good.string() + "' '" + bad.string() + "'");
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.output.find("bad.vad3: "), std::string::npos) << both.output;

    Command json = RunTool("info --json '" + good.string() + "' > '" + (dir / "info.json").string() + "'");
    EXPECT_EQ(json.status, 0) << json.output;
    const std::string parsed = RunPython(
        "import json, sys\n"
        "d = json.load(open(sys.argv[1]))[0]\n"
        "print(d['width'], d['pageCount'], d['pixelFormat'], d['metadata']['KIVPrinterDriver_JobName'])\n",
        dir / "info.json");
    EXPECT_EQ(parsed, "20 2 33 Good\n");
    EXPECT_EQ(RunTool("info '" + good.string() + "'").status, 0);

    const fs::path png = dir / "page.png";
    Command render = RunTool("render '" + good.string() + "' --page 2 -o '" + png.string() + "'");
    EXPECT_EQ(render.status, 0) << render.output;
    const std::string pngBytes = ReadFile(png);
    ASSERT_GT(pngBytes.size(), 8u);
    EXPECT_EQ(pngBytes.substr(1, 3), "PNG");
    EXPECT_EQ(RunTool("render '" + good.string() + "' --page 3 -o '" + png.string() + "'").status, 1);
    EXPECT_EQ(RunTool("frobnicate x").status, 2);
}
