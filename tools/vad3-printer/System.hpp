// The PAPPL system of the printer application, made from the server's -o options.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "HotFolder.hpp"

namespace vad3printer {

inline constexpr int kDefaultClientTimeout = 60;  // seconds

// What the application hands PAPPL's main loop: the driver every printer prints through and
// where the state is kept.
struct Context {
    Driver driver;
    std::string stateFile;
    int clientTimeout = kDefaultClientTimeout;  // seconds
};

// PAPPL's server options (server-port, listen-hostname, spool-directory, log-file, log-level,
// auth-service, server-options=no-tls) and two of ours: state-directory=DIR, where
// vad3-printer.state is kept, and client-timeout=SECONDS (60), after which a client that
// sends nothing in the middle of a request is dropped. data is the Context.
pappl_system_t *MakeSystem(int count, cups_option_t *options, void *data);

}  // namespace vad3printer
