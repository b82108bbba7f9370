// Tells systemd the server is ready and, where the unit sets WatchdogSec=, that it still
// answers: a server that stops answering is restarted rather than left "running".
#pragma once

#include <string>

namespace vad3printer {

// Starts a thread that asks the server at host:port for its home page (which lists every
// printer, so a lock that is never released stops the answers) every half watchdog period
// and notifies systemd of each answer. Does nothing when not run by systemd.
void StartWatchdog(const std::string &host, int port);

}  // namespace vad3printer
