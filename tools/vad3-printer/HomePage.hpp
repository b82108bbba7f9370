// The server's home page: each printer with its jobs and, in words, what stops its folder.
#pragma once

#include <pappl/pappl.h>

namespace vad3printer {

// Registers the page at "/" (before PAPPL registers its own there as the server starts), with
// a link to the log's page where the log is a file.
void AddHomePage(pappl_system_t *system, bool logsPage);

}  // namespace vad3printer
