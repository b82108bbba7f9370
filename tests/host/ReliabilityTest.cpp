// What a hot-folder consumer must never see: half-written, shorter or misnamed jobs, whatever
// happens to the host (a bad image, a kill).
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "common/PngWriter.hpp"
#include "support/Commands.hpp"
#include "support/TempDir.hpp"

using namespace kivtest;
namespace fs = std::filesystem;

namespace {

// A grey PNG of noise, so that its job file is large and slow to write.
void WriteNoisePng(const fs::path &path, int w, int h) {
    kivtools::PngWriter png;
    ASSERT_TRUE(png.Open(path.string(), w, h, PNG_COLOR_TYPE_GRAY, 300, 300)) << png.error();
    std::mt19937 rng(1);
    std::vector<uint8_t> row(w);
    for (int y = 0; y < h; ++y) {
        for (auto &b : row) b = static_cast<uint8_t>(rng());
        ASSERT_TRUE(png.WriteRow(row.data()));
    }
    ASSERT_TRUE(png.Finish());
}

std::string KivhostCommand(const TempDir &dir, const std::string &args) {
    return "env XDG_CONFIG_HOME='" + dir.path().string() + "' " + KIVHOST_TOOL + " print " + args + " --hot-folder '" +
           (dir / "hot").string() + "' --bundle '" KIV_BUNDLE_DIR "'";
}

}  // namespace

TEST(KivhostFaults, AnyBadPageAbandonsTheWholeJob) {
    TempDir dir;
    WriteNoisePng(dir / "good.png", 120, 90);
    std::string bytes;
    {
        std::ifstream in(dir / "good.png", std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    WriteFile(dir / "cut.png", bytes.substr(0, bytes.size() / 2));
    WriteFile(dir / "junk.png", "not a png at all");
    for (const char *bad : {"cut.png", "junk.png", "missing.png"}) {
        for (int k = 0; k < 3; ++k) {
            std::string images;
            for (int i = 0; i < 3; ++i) images += " '" + (dir / (i == k ? bad : "good.png")).string() + "'";
            const CommandOutput run = RunCommand(KivhostCommand(dir, images));
            EXPECT_EQ(run.status, 1) << bad << " as page " << k + 1;
            EXPECT_NE(run.text.find("cannot read " + (dir / bad).string() + ": "), std::string::npos) << run.text;
            EXPECT_TRUE(FolderEntries(dir / "hot").empty()) << bad << " as page " << k + 1;
        }
    }
}

TEST(KivhostFaults, AKilledJobLeavesNothingAndTheNextGetsThePlainName) {
    TempDir dir;
    WriteNoisePng(dir / "noise.png", 2000, 2000);
    std::string images;
    for (int i = 0; i < 40; ++i) images += " '" + (dir / "noise.png").string() + "'";
    // Killed once it has written that much, before its first page ends and well into the job,
    // however fast the machine is.
    for (long bytes : {1L << 10, 20L << 20, 100L << 20}) {
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c",
                  ("exec " + KivhostCommand(dir, images + " --job-name Long") + " 2>/dev/null").c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        const auto written = [pid] {
            const std::string io = ReadFile("/proc/" + std::to_string(pid) + "/io");
            const std::size_t at = io.find("wchar: ");
            return at == std::string::npos ? 0L : std::atol(io.c_str() + at + 7);
        };
        EXPECT_TRUE(Within(60, [&] { return written() >= bytes; })) << bytes;
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the job ended before it was killed at " << bytes << " bytes";
        EXPECT_TRUE(FolderEntries(dir / "hot").empty()) << bytes << " bytes";
    }
    const CommandOutput run = RunCommand(KivhostCommand(dir, "'" + (dir / "noise.png").string() + "' --job-name Long"));
    ASSERT_EQ(run.status, 0) << run.text;
    EXPECT_EQ(FolderEntries(dir / "hot"), std::vector<fs::path>{dir / "hot" / "Long.vad3"});
    EXPECT_NE(run.text.find((dir / "hot" / "Long.vad3").string() + ": 1 page"), std::string::npos) << run.text;
}
