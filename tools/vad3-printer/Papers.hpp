// The papers a server's printers offer: the driver's "Paper Sizes" catalogue of the server's
// user (kept in the state directory), edited by an administrator on each printer's "Papers"
// web page or with `vad3-printer papers`, through the driver's own catalogue code, and
// offered to clients at once.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "HotFolder.hpp"

namespace vad3printer {

// The IPP operation `vad3-printer papers` sends to a printer (a vendor operation): the
// operation attributes name the change, the answer lists the papers.
inline constexpr ipp_op_t kPapersOperation = static_cast<ipp_op_t>(0x4A01);
inline constexpr const char *kPapersAction = "varnel-papers-action";  // list, add, remove, default
inline constexpr const char *kPaperName = "varnel-paper-name";
inline constexpr const char *kPaperSize = "varnel-paper-size";          // "210x297mm"
inline constexpr const char *kPapersListed = "varnel-papers";           // "210x297mm NAME", one each
inline constexpr const char *kPapersDefault = "varnel-papers-default";  // the default's name

// Answers the papers operation (PAPPL's callback for operations it does not know).
bool AnswerPapersOperation(pappl_client_t *client, void *driver);

// Puts the "Papers" page on the printer, also in place of PAPPL's "Media" page, whose "Save
// Changes" would leave the printer without its default paper. Called when the printer is
// made, before PAPPL adds its own pages.
void AddPapersPage(pappl_printer_t *printer, Driver &driver);

// Drops PAPPL's "Media" link (which PAPPL adds after the creation callback): from the status
// timer, once.
void DropMediaLink(pappl_printer_t *printer);

}  // namespace vad3printer
