// One IPP job printed through the driver module, exactly as a host prints a document: the
// raster lines PAPPL produces are gathered into bands and handed to KIVPrPrintBitmap. Each
// job keeps its own state with the job (papplJobSetData), so any number of jobs, on one
// printer or many, never share any.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace vad3printer {

// PAPPL 1.3 takes documents in any format and hands those it cannot turn into raster to the
// driver as they are: they are refused here (the job is aborted with a message).
bool RefuseDocument(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);

// PAPPL 1.3 takes a document in any format (it never checks document-format-supported) and
// aborts one it has no filter for without a word: such a job is told which formats are taken.
void ExplainUnprintableFormats(pappl_system_t *system);

bool StartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);
bool StartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned page);
bool WriteLine(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned y,
               const unsigned char *line);
bool EndPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned page);
bool EndJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);

// Fails a started job for a reason of a filter's own (a document it could not render), so that
// EndJob publishes nothing and says why.
void FailJob(pappl_job_t *job, const std::string &why);

}  // namespace vad3printer
