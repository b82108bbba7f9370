// The printer application's own PNG filter (image/png to the driver's raster callbacks).
#pragma once

#include <pappl/pappl.h>

namespace vad3printer {

// Replaces PAPPL's PNG filter, which in 1.3 spins for ever on a PNG it refuses: damaged PNGs,
// headers that claim more pixels than the file can hold and images over 500 million pixels
// abort the job with a message instead.
void AddPngFilter(pappl_system_t *system);

}  // namespace vad3printer
