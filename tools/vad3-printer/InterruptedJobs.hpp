// Jobs a stopped server left printing, ended when it starts again.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace vad3printer {

inline constexpr const char *kInterruptedMessage =
    "the server stopped while this job was printing; nothing was published";

struct InterruptedJob {
    int printerId = 0, jobId = 0;
};

// Before the state is loaded: every job it holds as printing is written down as aborted, and
// its spooled document and attributes are removed.
std::vector<InterruptedJob> EndInterruptedJobs(const std::string &stateFile);
// Once the state is loaded: each of those jobs says why it ended.
void ExplainInterruptedJobs(pappl_system_t *system, const std::vector<InterruptedJob> &jobs);

}  // namespace vad3printer
