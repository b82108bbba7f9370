#include "JobRuns.hpp"

#include <pthread.h>

#include <mutex>

#include "ImageFilters.hpp"

namespace vad3printer {
namespace {

// A job's data: null until a run claims it, then the claim or the printing run's state, then
// how that run ended.
char claimed, endedOk, endedFailed;
std::mutex slots;

bool IsMark(void *data) { return data == &claimed || data == &endedOk || data == &endedFailed; }

bool RasterSecondRun(pappl_job_t *job, pappl_device_t *, void *) {
    if (bool ended; !FirstRun(job, papplJobGetFilename(job) == nullptr, ended)) return ended;
    // Raster is printed as it arrives; only a job stored by some other way has a file.
    return Refuse(job, "A stored raster document cannot be printed: send it again");
}

}  // namespace

bool FirstRun(pappl_job_t *job, bool streamed, bool &ended) {
    void *data = nullptr;
    {
        const std::lock_guard<std::mutex> lock(slots);
        data = papplJobGetData(job);
        if (!streamed && !data) {
            papplJobSetData(job, &claimed);
            return true;
        }
    }
    // PAPPL sets the time a job ends together with its ended state, and marks it processing
    // as a run starts: processing with an end time, it had ended before this run began.
    if (papplJobGetState(job) == IPP_JSTATE_PROCESSING && papplJobGetTimeCompleted(job) != 0) {
        ended = data == &endedOk;
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "PAPPL started this job again after it had ended; it ends as before");
        return false;
    }
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "PAPPL started this job a second time; the second run stops");
    pthread_exit(nullptr);
}

void *RunState(pappl_job_t *job) {
    const std::lock_guard<std::mutex> lock(slots);
    void *data = papplJobGetData(job);
    return IsMark(data) ? nullptr : data;
}

void SetRunState(pappl_job_t *job, void *state) {
    const std::lock_guard<std::mutex> lock(slots);
    papplJobSetData(job, state ? state : &claimed);
}

void EndRun(pappl_job_t *job, bool ok) {
    const std::lock_guard<std::mutex> lock(slots);
    papplJobSetData(job, ok ? &endedOk : &endedFailed);
}

void AddSecondRunFilters(pappl_system_t *system) {
    for (const char *format : {"image/pwg-raster", "image/urf"})
        papplSystemAddMIMEFilter(system, format, "application/octet-stream", RasterSecondRun, nullptr);
}

}  // namespace vad3printer
