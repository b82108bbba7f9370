// Running the project's programs as a person would, from a shell.
#pragma once

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace kivtest {

struct CommandOutput {
    int status = -1;   // the exit status; -1 when it did not exit
    std::string text;  // standard output and standard error together
};

inline CommandOutput RunCommand(const std::string &command) {
    CommandOutput o;
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    // A machine running many tests at once may be out of processes for a moment.
    for (int tries = 0; !p && errno == EAGAIN && tries < 50; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        p = popen((command + " 2>&1").c_str(), "r");
    }
    if (!p) o.text = "cannot run " + command + ": " + std::strerror(errno) + "\n";
    char buffer[1024];
    while (p && fgets(buffer, sizeof buffer, p)) o.text += buffer;
    const int status = p ? pclose(p) : -1;
    o.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

// Waits up to seconds for check; true when it held.
inline bool Within(double seconds, const std::function<bool()> &check) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (check()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return check();
}

}  // namespace kivtest
