// The hooks this driver runs when a session opens and closes: none needed.
#include "DriverRecord.hpp"

namespace kiv {

int16_t DriverOpened(DriverRecord &) { return kNoErr; }

void DriverClosed() {}

}  // namespace kiv
