// Who may do what: printing, reading the printers and jobs, and cancelling, holding and
// releasing one's own jobs for whoever reaches a printer; administration (web pages, adding
// and deleting printers, the security page, others' jobs) for those who log in through PAM
// as root or a member of the administrators' group. PAPPL 1.3's own PAM support would ask a
// login of every client that prints or asks after its job as well.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace vad3printer {

struct Logins {
    std::string service;     // the PAM service, e.g. "login"
    std::string adminGroup;  // besides root, its members administer the server
};

// Makes the system ask logins of its administrators, as logins says (which must outlive it).
void UseLogins(pappl_system_t *system, const Logins &logins);

}  // namespace vad3printer
