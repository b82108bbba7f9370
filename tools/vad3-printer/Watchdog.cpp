// The systemd notifications: READY=1 once the server answers, WATCHDOG=1 each time it does.
#include "Watchdog.hpp"

#include <cups/cups.h>
#include <systemd/sd-daemon.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace vad3printer {
namespace {

// True when the server answered a GET of its home page within the time.
bool Answers(const std::string &host, int port, int milliseconds) {
    http_t *http =
        httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, milliseconds, nullptr);
    if (!http) return false;
    httpSetTimeout(http, milliseconds / 1000.0, nullptr, nullptr);
    bool ok = false;
    if (httpGet(http, "/") == 0) {
        http_status_t status;
        while ((status = httpUpdate(http)) == HTTP_STATUS_CONTINUE) {
        }
        ok = status != HTTP_STATUS_ERROR && status < HTTP_STATUS_SERVER_ERROR;
        httpFlush(http);
    }
    httpClose(http);
    return ok;
}

}  // namespace

void StartWatchdog(const std::string &host, int port) {
    if (!std::getenv("NOTIFY_SOCKET")) return;
    uint64_t usec = 0;
    const bool watchdog = sd_watchdog_enabled(0, &usec) > 0 && usec > 0;
    const auto period = std::chrono::microseconds(watchdog ? usec / 2 : 1000000);
    std::thread([host, port, watchdog, period] {
        bool ready = false;
        for (;;) {
            const auto next = std::chrono::steady_clock::now() + period;
            const int wait = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(period).count());
            if (Answers(host, port, wait)) {
                if (!ready) sd_notify(0, "READY=1");
                ready = true;
                if (watchdog)
                    sd_notify(0, "WATCHDOG=1");
                else
                    return;
            }
            std::this_thread::sleep_until(next);
        }
    }).detach();
}

}  // namespace vad3printer
