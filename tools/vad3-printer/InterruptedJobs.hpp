// Jobs a stopped server left printing, ended when it starts again.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace vad3printer {

inline constexpr const char *kInterruptedMessage =
    "the server stopped while this job was printing; nothing was published";
inline constexpr const char *kUnreceivedMessage =
    "the server stopped before this job's document had arrived; nothing was published";

struct InterruptedJob {
    int printerId = 0, jobId = 0;
    const char *message = kInterruptedMessage;
};

// Before the state is loaded: every job it holds as printing, and every waiting job whose
// document never arrived (PAPPL would abort it without a word and leave what it had of the
// document in the spool), is written down as aborted, and its spooled files are removed.
std::vector<InterruptedJob> EndInterruptedJobs(const std::string &stateFile, const std::string &spoolDirectory);
// Once the state is loaded: each of those jobs says why it ended.
void ExplainInterruptedJobs(pappl_system_t *system, const std::vector<InterruptedJob> &jobs);

// PAPPL 1.3 lets the jobs printing at SIGTERM run on for up to a minute, and tells them
// nothing. Called as each job starts, when PAPPL's handler is in place: a SIGTERM then also
// marks the server as stopping, and printing jobs end at their next line.
void WatchForStop();
bool ServerStopping();

}  // namespace vad3printer
