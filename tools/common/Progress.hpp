// A progress bar on standard error, drawn only when it is a terminal.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace kivtools {

class ProgressBar {
public:
    ProgressBar(std::string label, unsigned long long total)
        : label_(std::move(label)), total_(total ? total : 1), enabled_(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressBar() { Finish(); }

    void Update(unsigned long long done, const char *detail = "") {
        if (!enabled_) return;
        const int percent = static_cast<int>(done * 100 / total_);
        if (percent == last_ && detail[0] == '\0') return;
        last_ = percent;
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r%s [%.*s%*s] %3d%% %s\x1b[K", label_.c_str(), filled, "##############################",
                     kWidth - filled, "", percent, detail);
        std::fflush(stderr);
    }
    void Finish() {
        if (enabled_ && last_ >= 0) std::fputs("\r\x1b[K", stderr);
        last_ = -1;
    }

private:
    std::string label_;
    unsigned long long total_;
    bool enabled_;
    int last_ = -1;
};

}  // namespace kivtools
