// The PAPPL system of the printer application, made from the server's -o options.
#pragma once

#include <pappl/pappl.h>

namespace vad3printer {

// PAPPL's server options (server-port, listen-hostname, spool-directory, log-file, log-level,
// auth-service, server-options=no-tls) and one of ours: state-directory=DIR, where
// vad3-printer.state is kept.
pappl_system_t *MakeSystem(int count, cups_option_t *options, void *data);

}  // namespace vad3printer
