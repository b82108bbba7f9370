// What the printers' DNS-SD records say, where PAPPL 1.3 left alone would say it wrong.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

#include "Catalogue.hpp"

namespace vad3printer {

// The size class of the largest paper, as the record's "PaperMax" key names it: "<legal-A4",
// "legal-A4", "tabloid-A3", "isoC-A2" or ">isoC-A2", the smallest class holding every paper
// either way round.
std::string PaperMax(const std::vector<Paper> &papers);

// Whether the server and its printers are announced at all (not when the server listens on
// loopback only, where no other machine could reach what Avahi would announce to them all),
// and whether it serves TLS: set as the server is made.
void AdvertiseServer(bool onNetwork, bool tls);

// The papers printers offer, which PaperMax is corrected to.
void AdvertisePapers(const std::vector<Paper> &papers);

// Advertises a printer made while the server runs (PAPPL 1.3 advertises only those it loads
// at start and those added on its web page).
void AdvertisePrinter(pappl_printer_t *printer);

}  // namespace vad3printer
