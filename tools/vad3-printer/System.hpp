// The PAPPL system of the printer application, made from the server's -o options.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

#include "HotFolder.hpp"
#include "Logins.hpp"

namespace vad3printer {

inline constexpr int kDefaultClientTimeout = 60;  // seconds

// What the application hands PAPPL's main loop: the driver every printer prints through and
// where the state is kept.
struct Context {
    Driver driver;
    std::string stateFile;
    int clientTimeout = kDefaultClientTimeout;  // seconds
    Logins logins;                              // no service: no logins asked
    std::vector<std::string> sockets;           // the local sockets the server listens on
};

// PAPPL's server options (server-port, listen-hostname, spool-directory, log-file, log-level,
// server-options=no-tls), auth-service and admin-group for logins, state-directory=DIR, where
// vad3-printer.state is kept, client-timeout=SECONDS (60), after which a client that sends
// nothing in the middle of a request is dropped, and hot-folders. data is the Context.
pappl_system_t *MakeSystem(int count, cups_option_t *options, void *data);

}  // namespace vad3printer
