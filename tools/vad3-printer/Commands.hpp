// The command line before PAPPL's main loop sees it. PAPPL 1.3 starts a server of its own,
// listening on every address, for a sub-command that finds none; some of its sub-commands
// ignore -u; and its server takes any option, even one misspelt. Here every sub-command
// first finds the server it names (or says which it tried and how to start one), the
// sub-commands that ignore -u are answered here, and the server's options are checked.
#pragma once

#include <optional>
#include <string>

namespace vad3printer {

// The exit status when the command line has been answered here; nullopt to go on with
// papplMainloop, which then can no longer start a server (argv[0] is changed for that).
std::optional<int> RunCommandLine(int argc, char **argv);
// The local socket PAPPL's main loop gives a server of this user.
std::string OwnSocket();

// True when every address the host name stands for is a loopback address.
bool IsLoopback(const std::string &host);

}  // namespace vad3printer
