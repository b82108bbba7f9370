// The tools' common start: --help (or -h) prints the usage on standard output with status 0,
// --version the project's version; too few arguments print the usage on standard error with
// status 2.
#pragma once

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

namespace kivtools {

// The exit status when the command line is answered with the usage; nullopt to go on.
inline std::optional<int> AnswerWithUsage(int argc, char **argv, int fewestArguments, void (*usage)(std::FILE *)) {
    if (std::any_of(argv + 1, argv + argc, [](std::string_view a) { return a == "--help" || a == "-h"; }))
        return usage(stdout), 0;
    if (std::any_of(argv + 1, argv + argc, [](std::string_view a) { return a == "--version"; }))
        return std::puts(KIV_VERSION), 0;
    if (argc < fewestArguments) return usage(stderr), 2;
    return std::nullopt;
}

}  // namespace kivtools
