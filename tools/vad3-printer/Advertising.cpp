// PAPPL 1.3 registers each printer with Avahi under a TXT record of its own making that
// claims "TLS=1.2" even when no TLS is served (a client believing it tries ipps:// and fails)
// and ranks "PaperMax" by the widest paper alone; and it announces a server that listens on
// loopback only to the whole network. It has no hook for either, so two Avahi calls are
// wrapped here: the one it registers IPP services with, which corrects the record on its way
// to the daemon, and the one that publishes what was registered, which a loopback server
// skips. Naming, renaming on collisions and withdrawal stay PAPPL's.
#include "Advertising.hpp"

#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace vad3printer {
namespace {

struct Advertised {
    std::mutex mutex;
    bool onNetwork = true;
    bool tls = true;
    std::string paperMax;  // empty: PAPPL's
};

Advertised &Corrections() {
    static Advertised advertised;
    return advertised;
}

// The record with TLS dropped when none is served and PaperMax replaced, in PAPPL's order.
AvahiStringList *Corrected(AvahiStringList *txt) {
    Advertised &a = Corrections();
    std::lock_guard lock(a.mutex);
    std::vector<std::string> entries;
    for (AvahiStringList *l = txt; l; l = avahi_string_list_get_next(l)) {
        std::string entry(reinterpret_cast<const char *>(avahi_string_list_get_text(l)), avahi_string_list_get_size(l));
        if (entry.starts_with("TLS=") && !a.tls) continue;
        if (entry.starts_with("PaperMax=") && !a.paperMax.empty()) entry = "PaperMax=" + a.paperMax;
        entries.push_back(std::move(entry));
    }
    AvahiStringList *out = nullptr;  // each addition goes in front: turned round at the end
    for (const std::string &e : entries)
        out = avahi_string_list_add_arbitrary(out, reinterpret_cast<const uint8_t *>(e.data()), e.size());
    return avahi_string_list_reverse(out);
}

bool OnNetwork() {
    std::lock_guard lock(Corrections().mutex);
    return Corrections().onNetwork;
}

}  // namespace

std::string PaperMax(const std::vector<Paper> &papers) {
    // Each class's bounds, short side by long side in millimetres: the larger of its two papers each way.
    struct Class {
        const char *name;
        double shortSide, longSide;
    };
    static const Class classes[] = {{"<legal-A4", 209.5, 296.5},  // smaller than A4 both ways
                                    {"legal-A4", 215.9, 355.6},
                                    {"tabloid-A3", 297.0, 431.8},
                                    {"isoC-A2", 458.0, 648.0}};
    std::size_t largest = 0;
    for (const Paper &p : papers) {
        const double s = std::min(p.width, p.height), l = std::max(p.width, p.height);
        std::size_t c = 0;
        while (c < std::size(classes) && (s > classes[c].shortSide + 0.05 || l > classes[c].longSide + 0.05)) ++c;
        largest = std::max(largest, c);
    }
    return largest < std::size(classes) ? classes[largest].name : ">isoC-A2";
}

void AdvertiseServer(bool onNetwork, bool tls) {
    std::lock_guard lock(Corrections().mutex);
    Corrections().onNetwork = onNetwork;
    Corrections().tls = tls;
}

void AdvertisePapers(const std::vector<Paper> &papers) {
    std::string paperMax = PaperMax(papers);
    std::lock_guard lock(Corrections().mutex);
    Corrections().paperMax = std::move(paperMax);
}

void AdvertisePrinter(pappl_printer_t *printer) {
    char name[256];
    if (papplSystemIsRunning(papplPrinterGetSystem(printer)) && papplPrinterGetDNSSDName(printer, name, sizeof name))
        papplPrinterSetDNSSDName(printer, name);  // registers it again, as setting it does
}

}  // namespace vad3printer

// The wrapper: the executable's definition comes before Avahi's for every library it loads.
extern "C" int avahi_entry_group_add_service_strlst(AvahiEntryGroup *group, AvahiIfIndex interface,
                                                    AvahiProtocol protocol, AvahiPublishFlags flags, const char *name,
                                                    const char *type, const char *domain, const char *host,
                                                    uint16_t port, AvahiStringList *txt) {
    using AddService = int (*)(AvahiEntryGroup *, AvahiIfIndex, AvahiProtocol, AvahiPublishFlags, const char *,
                               const char *, const char *, const char *, uint16_t, AvahiStringList *);
    static const auto real = reinterpret_cast<AddService>(dlsym(RTLD_NEXT, "avahi_entry_group_add_service_strlst"));
    if (!real) return AVAHI_ERR_NOT_SUPPORTED;
    if (!type || (std::strcmp(type, "_ipp._tcp") != 0 && std::strcmp(type, "_ipps._tcp") != 0))
        return real(group, interface, protocol, flags, name, type, domain, host, port, txt);
    AvahiStringList *corrected = vad3printer::Corrected(txt);
    const int result = real(group, interface, protocol, flags, name, type, domain, host, port, corrected);
    avahi_string_list_free(corrected);
    return result;
}

// Publishing: a server no other machine can reach announces nothing (the registered services
// stay unpublished until PAPPL frees them).
extern "C" int avahi_entry_group_commit(AvahiEntryGroup *group) {
    using Commit = int (*)(AvahiEntryGroup *);
    static const auto real = reinterpret_cast<Commit>(dlsym(RTLD_NEXT, "avahi_entry_group_commit"));
    if (!real) return AVAHI_ERR_NOT_SUPPORTED;
    return vad3printer::OnNetwork() ? real(group) : AVAHI_OK;
}
