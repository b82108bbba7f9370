// What a hot-folder consumer must never see: half-written, shorter or misnamed jobs, whatever
// happens to the host (a bad image, a kill, a vanished folder, an odd job name).
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
#include "support/LoadedDriver.hpp"
#include "support/TempDir.hpp"

using namespace kivtest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Entries(const fs::path &folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

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
            EXPECT_TRUE(Entries(dir / "hot").empty()) << bad << " as page " << k + 1;
        }
    }
}

TEST(KivhostFaults, AKilledJobLeavesNothingAndTheNextGetsThePlainName) {
    TempDir dir;
    WriteNoisePng(dir / "noise.png", 2000, 2000);
    std::string images;
    for (int i = 0; i < 40; ++i) images += " '" + (dir / "noise.png").string() + "'";
    for (int delayMs : {30, 150, 400}) {
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c",
                  ("exec " + KivhostCommand(dir, images + " --job-name Long") + " 2>/dev/null").c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the job ended before it was killed at " << delayMs << " ms";
        EXPECT_TRUE(Entries(dir / "hot").empty()) << delayMs << " ms";
    }
    const CommandOutput run = RunCommand(KivhostCommand(dir, "'" + (dir / "noise.png").string() + "' --job-name Long"));
    ASSERT_EQ(run.status, 0) << run.text;
    EXPECT_EQ(Entries(dir / "hot"), std::vector<std::string>{"Long.vad3"});
    EXPECT_NE(run.text.find((dir / "hot" / "Long.vad3").string() + ": 1 page"), std::string::npos) << run.text;
}

class HostJobs : public LoadedDriver {
protected:
    void TearDown() override {
        if (record_) driver_.KIVPrClose(record_);
        LoadedDriver::TearDown();
    }
    // Opens a document of one tiny grey page into folder.
    int32_t Start(const fs::path &folder, const char *jobName) {
        EXPECT_EQ(driver_.KIVPrOpen(bundle_, &record_), 0);
        const PageGeometry page{60, 60, 60 / 300.0 * 25.4, 60 / 300.0 * 25.4};
        driver_.KIVPrSuggestPage(record_, print_, &page, 8);
        driver_.KIVPrValidate(record_, print_);
        driver_.KIVPrSetJobName(record_, print_, jobName);
        plist_t settings = plist_new_dict();
        plist_dict_set_item(settings, "outputFolder", KIVCreateBookmarkDataForPath(folder.c_str()));
        EXPECT_TRUE(driver_.KIVPrSetJobSettings(record_, print_, settings));
        plist_free(settings);
        int32_t e = driver_.KIVPrOpenDoc(record_, print_);
        if (e == 0) e = driver_.KIVPrOpenPage(record_);
        if (e == 0) e = driver_.KIVPrClosePage(record_);
        return e;
    }
    // Closes the document: its status, message and the file it became.
    int32_t Finish(std::string &message, std::string &file) {
        const int32_t e = driver_.KIVPrCloseDoc(record_);
        unsigned char text[256];
        driver_.KIVPrErrorString(record_, e, text);
        message.assign(reinterpret_cast<char *>(text + 1), text[0]);
        char *name = driver_.KIVPrCopyOutputFileName(record_);
        file = name ? name : "";
        std::free(name);
        driver_.KIVPrClose(std::exchange(record_, nullptr));
        return e;
    }
    DriverRecord *record_ = nullptr;
};

TEST_F(HostJobs, AHotFolderRemovedMidJobIsAnErrorNamingIt) {
    TempDir dir;
    const fs::path hot = dir / "hot";
    fs::create_directory(hot);
    ASSERT_EQ(Start(hot, "Gone"), 0);
    fs::remove_all(hot);
    std::string message, file;
    EXPECT_EQ(Finish(message, file), ENOENT);
    EXPECT_NE(message.find(hot.string()), std::string::npos) << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
    EXPECT_EQ(file, "");
    EXPECT_FALSE(fs::exists(hot));
}
