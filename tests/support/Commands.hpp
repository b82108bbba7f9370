// Running the project's programs as a person would, from a shell.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace kivtest {

struct CommandOutput {
    int status = -1;   // the exit status; -1 when it did not exit
    std::string text;  // standard output and standard error together
};

inline CommandOutput RunCommand(const std::string &command) {
    CommandOutput o;
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    char buffer[1024];
    while (p && fgets(buffer, sizeof buffer, p)) o.text += buffer;
    const int status = p ? pclose(p) : -1;
    o.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

}  // namespace kivtest
