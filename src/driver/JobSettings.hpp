// The job-settings dictionary exchanged with a host that sets up jobs without the dialog.
#pragma once

#include "DriverRecord.hpp"
#include "platform/Plist.hpp"

namespace kiv {

Plist DoCopyJobSettings(DriverRecord &record, Handle h);
bool DoSetJobSettings(DriverRecord &record, Handle h, plist_t settings);
void DoJobMerge(Handle source, Handle destination);

}  // namespace kiv
