// One run per job. PAPPL 1.3 can start a job twice: its scheduler starts a thread for the
// first pending job and lets go of the printer before that thread marks the job processing,
// so a second look in that moment (another job arriving or ending) starts it again. A raster
// document, which PAPPL prints on the client's own thread as it arrives, is pending for a
// moment too, and is then started by the scheduler besides. Two runs of one job would share
// its state, print it twice and end it twice; ended twice, a job is listed twice among the
// printer's completed jobs, and freed twice when they are cleaned.
//
// So the job's data says which run prints it: a filter claims the job as it starts, and a
// second run ends its own thread before it does anything, so that only the first ends the job.
// Only when the job had already ended before the second run began (PAPPL has then marked it
// processing again) does the second run go back to PAPPL, with the first run's result, so
// that the job ends again as it had ended rather than stay processing.
#pragma once

#include <pappl/pappl.h>

namespace vad3printer {

// At the start of a filter's run: true when this run prints the job. A second run does not
// return, or returns false with ended set to the result PAPPL must end the job with. A
// streamed job is printed by the client's thread, so any filter's run of it is a second run.
bool FirstRun(pappl_job_t *job, bool streamed, bool &ended);

// What the printing run keeps with the job (null before it starts and after it ends).
void *RunState(pappl_job_t *job);
void SetRunState(pappl_job_t *job, void *state);

// How the printing run ended, for a later second run.
void EndRun(pappl_job_t *job, bool ok);

// Filters for raster documents, which PAPPL only hands to a filter in a second run.
void AddSecondRunFilters(pappl_system_t *system);

}  // namespace vad3printer
