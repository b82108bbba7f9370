// PDF documents, rendered by Ghostscript in a separate, confined process into PWG raster of
// the job's size and resolution, then printed like a PWG raster of the same pages.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace vad3printer {

// Ghostscript's path, empty when it is not installed: PDF is then neither offered nor taken.
const std::string &GhostscriptPath();

// Registers the PDF filter where Ghostscript is installed (PAPPL then lists application/pdf
// in document-format-supported).
void AddPdfFilter(pappl_system_t *system);

// The formats a printer takes, in the words a refusal uses.
std::string FormatsTaken();

}  // namespace vad3printer
