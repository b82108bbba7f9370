// PAPPL 1.3 restores a spooled job that was printing when the server stopped as printing,
// with its document, but nothing ever runs it again. It keeps the printer's one active place
// for good: every later Print-Job is answered busy, a Cancel-Job waits for a job thread that
// does not exist, and so does the server's own shutdown. The state file is therefore
// corrected before PAPPL reads it.
#include "InterruptedJobs.hpp"

#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Folders.hpp"

namespace vad3printer {
namespace {

std::atomic<bool> gStopping{false};
void (*gPapplHandler)(int) = nullptr;

void OnStop(int signal) {
    gStopping = true;
    if (gPapplHandler) gPapplHandler(signal);
}

// A state line's options as PAPPL writes them: name="value", with \ and " escaped.
std::string Written(const char *name, int count, cups_option_t *options) {
    std::string line = name;
    for (int i = 0; i < count; ++i) {
        line += std::string(" ") + options[i].name + "=\"";
        for (const char *c = options[i].value; *c; ++c)
            line += (*c == '\\' || *c == '"' ? "\\" : "") + std::string(1, *c);
        line += '"';
    }
    return line;
}

int Number(const char *name, int count, cups_option_t *options) {
    const char *value = cupsGetOption(name, count, options);
    return value ? std::atoi(value) : 0;
}

// The job's document and its attributes file: both begin "p<printer>j<job>-" in the spool.
void RemoveSpooledFiles(const std::filesystem::path &spool, int printerId, int jobId) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "p%05dj%09d-", printerId, jobId);
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(spool, error))
        if (entry.path().filename().string().starts_with(prefix)) std::filesystem::remove(entry.path(), error);
}

}  // namespace

std::vector<InterruptedJob> EndInterruptedJobs(const std::string &stateFile, const std::string &spoolDirectory) {
    std::ifstream in(stateFile);
    std::ostringstream text;
    std::vector<InterruptedJob> ended;
    int printerId = 0;
    for (std::string line; std::getline(in, line); text << line << '\n') {
        const bool printer = line.starts_with("<Printer "), job = line.starts_with("Job ");
        if (!printer && !job) continue;
        cups_option_t *options = nullptr;
        const std::string values =
            line.substr(line.find(' ') + 1, printer ? line.rfind('>') - line.find(' ') - 1 : line.npos);
        int count = cupsParseOptions(values.c_str(), 0, &options);
        const int state = Number("state", count, options);
        if (printer) printerId = Number("id", count, options);
        const char *document = cupsGetOption("filename", count, options);
        const bool printing = state == IPP_JSTATE_PROCESSING || state == IPP_JSTATE_STOPPED;
        const bool unreceived = (state == IPP_JSTATE_PENDING || state == IPP_JSTATE_HELD) && !document;
        if (job && (printing || unreceived)) {
            const InterruptedJob interrupted{printerId, Number("id", count, options),
                                             printing ? kInterruptedMessage : kUnreceivedMessage};
            ended.push_back(interrupted);
            const std::string spool =
                document ? std::filesystem::path(document).parent_path().string() : spoolDirectory;
            if (!spool.empty()) RemoveSpooledFiles(spool, interrupted.printerId, interrupted.jobId);
            count = cupsRemoveOption("filename", count, &options);
            count = cupsAddIntegerOption("state", IPP_JSTATE_ABORTED, count, &options);
            count = cupsAddOption("completed", std::to_string(std::time(nullptr)).c_str(), count, &options);
            line = Written("Job", count, options);
        }
        cupsFreeOptions(count, options);
    }
    if (!ended.empty()) {
        const std::string corrected = text.str();
        ReplaceFile(stateFile, [&](const std::string &temporary) {
            std::ofstream out(temporary, std::ios::trunc);
            return static_cast<bool>(out << corrected) && static_cast<bool>(out.flush());
        });
    }
    return ended;
}

void ExplainInterruptedJobs(pappl_system_t *system, const std::vector<InterruptedJob> &jobs) {
    for (const InterruptedJob &j : jobs) {
        pappl_printer_t *printer = papplSystemFindPrinter(system, nullptr, j.printerId, nullptr);
        if (pappl_job_t *job = printer ? papplPrinterFindJob(printer, j.jobId) : nullptr)
            papplJobSetMessage(job, "%s", j.message);
        papplLog(system, PAPPL_LOGLEVEL_WARN, "Job %d of printer %d ended: %s", j.jobId, j.printerId, j.message);
    }
}

void WatchForStop() {
    struct sigaction current {};
    if (::sigaction(SIGTERM, nullptr, &current) != 0 || current.sa_handler == OnStop) return;
    if (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN) gPapplHandler = current.sa_handler;
    struct sigaction ours {};
    ours.sa_handler = OnStop;
    sigemptyset(&ours.sa_mask);
    ::sigaction(SIGTERM, &ours, nullptr);
}

bool ServerStopping() { return gStopping; }

}  // namespace vad3printer
