// A document printed through a table of the module's entry points: the module loaded as hosts
// load it, or the linked driver with every call counted (the fault matrix).
#pragma once

#include <vector>

#include "common/DriverModule.hpp"

namespace kivtest {

struct Band {
    HostBitmap bitmap;
    LongRect src, dst;
};
using Page = std::vector<Band>;

// Opens the document, prints each page's bands and closes the document whatever happens: the
// first error, or the close's status.
inline int32_t PrintPages(const kivhost::DriverModule &d, DriverRecord *record, Handle print,
                          const std::vector<Page> &pages) {
    int32_t e = d.KIVPrOpenDoc(record, print);
    for (std::size_t p = 0; p < pages.size() && e == 0; ++p) {
        e = d.KIVPrOpenPage(record);
        for (std::size_t b = 0; b < pages[p].size() && e == 0; ++b)
            e = d.KIVPrPrintBitmap(record, &pages[p][b].bitmap, &pages[p][b].src, &pages[p][b].dst);
        if (e == 0) e = d.KIVPrClosePage(record);
    }
    const int32_t closed = d.KIVPrCloseDoc(record);
    return e != 0 ? e : closed;
}

}  // namespace kivtest
