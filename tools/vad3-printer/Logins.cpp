// Logins through PAM for administration only.
#include "Logins.hpp"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vad3printer {
namespace {

struct Credentials {
    const char *user, *password;
};

// PAM's questions answered with the user's name and password.
int Converse(int count, const pam_message **messages, pam_response **responses, void *data) {
    const auto &credentials = *static_cast<const Credentials *>(data);
    auto *answers = static_cast<pam_response *>(std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
    if (!answers) return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const int style = messages[i]->msg_style;
        if (style == PAM_PROMPT_ECHO_OFF) answers[i].resp = ::strdup(credentials.password);
        if (style == PAM_PROMPT_ECHO_ON) answers[i].resp = ::strdup(credentials.user);
    }
    *responses = answers;
    return PAM_SUCCESS;
}

bool PasswordIsRight(const Logins &logins, const Credentials &credentials, const char *host) {
    pam_conv conversation{Converse, const_cast<Credentials *>(&credentials)};
    pam_handle_t *pam = nullptr;
    int status = ::pam_start(logins.service.c_str(), credentials.user, &conversation, &pam);
    if (status == PAM_SUCCESS && host) status = ::pam_set_item(pam, PAM_RHOST, host);
    if (status == PAM_SUCCESS) status = ::pam_authenticate(pam, PAM_SILENT);
    if (status == PAM_SUCCESS) status = ::pam_acct_mgmt(pam, PAM_SILENT);
    if (pam) ::pam_end(pam, status);
    return status == PAM_SUCCESS;
}

bool Administers(const Logins &logins, const char *user) {
    const passwd *account = ::getpwnam(user);
    if (!account) return false;
    if (account->pw_uid == 0) return true;
    const group *admins = ::getgrnam(logins.adminGroup.c_str());
    if (!admins) return false;
    std::vector<gid_t> groups(64);
    int count = static_cast<int>(groups.size());
    if (::getgrouplist(user, account->pw_gid, groups.data(), &count) < 0) return false;
    groups.resize(static_cast<std::size_t>(count));
    for (gid_t g : groups)
        if (g == admins->gr_gid) return true;
    return false;
}

// What anyone may ask without a login: PAPPL asks the administrators' group for these when
// the asker is not logged in as the job's owner, but they read or touch no one else's job.
bool OpenToAll(pappl_client_t *client) {
    ipp_t *request = papplClientGetRequest(client);
    if (!request) return false;  // a web page
    switch (ippGetOperation(request)) {
    case IPP_OP_GET_PRINTER_ATTRIBUTES:
    case IPP_OP_GET_JOBS:
    case IPP_OP_GET_JOB_ATTRIBUTES:
    case IPP_OP_GET_SYSTEM_ATTRIBUTES:
    case IPP_OP_GET_PRINTERS:
    case IPP_OP_GET_SUBSCRIPTIONS:
    case IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES:
    case IPP_OP_GET_NOTIFICATIONS:
    case IPP_OP_VALIDATE_JOB:
    case IPP_OP_VALIDATE_DOCUMENT:
    case IPP_OP_IDENTIFY_PRINTER: return true;
    default: break;
    }
    // A job's own owner (as the request names them) may go on with it, or cancel, hold or
    // release it.
    pappl_job_t *job = papplClientGetJob(client);
    const char *owner = job ? papplJobGetUsername(job) : nullptr;
    const char *asker = ippGetString(ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME), 0, nullptr);
    return owner && asker && std::strcmp(owner, asker) == 0;
}

http_status_t Authorize(pappl_client_t *client, const char *group, gid_t, void *data) {
    // PAPPL asks for a printer's print group (none here) before printing, and for the
    // administrators' group before anything else.
    if (!group || !*group || OpenToAll(client)) return HTTP_STATUS_CONTINUE;
    const auto &logins = *static_cast<const Logins *>(data);
    const char *authorization = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
    if (!authorization || std::strncmp(authorization, "Basic ", 6) != 0) return HTTP_STATUS_UNAUTHORIZED;
    char decoded[1024];
    int length = sizeof decoded - 1;
    httpDecode64_2(decoded, &length, authorization + 6);
    decoded[std::max(0, std::min(length, static_cast<int>(sizeof decoded) - 1))] = '\0';
    char *colon = std::strchr(decoded, ':');
    if (!colon) return HTTP_STATUS_BAD_REQUEST;
    *colon = '\0';
    const Credentials credentials{decoded, colon + 1};
    if (!PasswordIsRight(logins, credentials, papplClientGetHostName(client))) {
        papplLogClient(client, PAPPL_LOGLEVEL_INFO, "Login of '%s' refused.", credentials.user);
        return HTTP_STATUS_UNAUTHORIZED;
    }
    if (!Administers(logins, credentials.user)) {
        papplLogClient(client, PAPPL_LOGLEVEL_INFO, "'%s' is not root or in group '%s'.", credentials.user,
                       logins.adminGroup.c_str());
        return HTTP_STATUS_FORBIDDEN;
    }
    papplClientSetUsername(client, credentials.user);
    return HTTP_STATUS_CONTINUE;
}

}  // namespace

void UseLogins(pappl_system_t *system, const Logins &logins) {
    papplSystemSetAdminGroup(system, logins.adminGroup.c_str());
    papplSystemSetAuthCallback(system, "Basic", Authorize, const_cast<Logins *>(&logins));
}

}  // namespace vad3printer
