// The printer application's own image filters (PNG and JPEG to the driver's raster callbacks).
#pragma once

#include <pappl/pappl.h>

#include <exception>
#include <string>

#include "JobRuns.hpp"
#include "common/ColourProfiles.hpp"

namespace vad3printer {

// The most decoded image bytes a job may hold (width x height x colours): with the bands and
// the driver's lines, a job stays under 64 MiB whatever its header claims. Set as PAPPL's
// image limit too.
inline constexpr std::size_t kMaxImageBytes = 40u << 20;
inline constexpr int kMaxImageSide = 16384;

// Replaces PAPPL's PNG and JPEG filters: PAPPL 1.3's PNG filter spins for ever on a PNG it
// refuses, and its JPEG filter prints a truncated JPEG with a grey remainder. Damaged images,
// images over the limit and headers that claim more pixels than the file can hold abort the
// job with a message instead.
void AddImageFilters(pappl_system_t *system);

// Ends a filter's job with why (logged, and the job's message).
bool Refuse(pappl_job_t *job, const std::string &why);

// A filter through which no exception crosses into PAPPL, run once for each job.
template <bool (*Filter)(pappl_job_t *, pappl_device_t *, void *)>
bool Guarded(pappl_job_t *job, pappl_device_t *device, void *data) {
    if (bool ended; !FirstRun(job, false, ended)) return ended;
    bool ok = false;
    try {
        ok = Filter(job, device, data);
    } catch (const std::exception &e) {
        ok = Refuse(job, std::string("Out of resources: ") + e.what());
    }
    EndRun(job, ok);
    return ok;
}

// The colour profile of the document a filter is printing for job (empty: none), set for as
// long as the filter runs: PAPPL calls the raster callbacks from inside the filter, on its
// thread, which is where they ask.
class FilteredProfile {
public:
    FilteredProfile(pappl_job_t *job, kivtools::Bytes profile);
    ~FilteredProfile();
    FilteredProfile(const FilteredProfile &) = delete;
    FilteredProfile &operator=(const FilteredProfile &) = delete;
};
const kivtools::Bytes &ProfileOfFiltered(pappl_job_t *job);

}  // namespace vad3printer
