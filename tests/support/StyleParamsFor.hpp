// Page setup parameters for a page, with the catalogues given.
#pragma once

#include "dialogs/StyleDialog.hpp"

namespace kivtest {

inline kiv::StyleParams StyleParamsFor(kiv::PaperDescription *papers, kiv::ResDescription *resolutions, double widthMM,
                                       double heightMM, int32_t widthPx = 0, int32_t heightPx = 0) {
    kiv::StyleParams p;
    p.pageWidth_mm = p.tileWidth_mm = widthMM;
    p.pageHeight_mm = p.tileHeight_mm = heightMM;
    p.pageWidth_pixels = widthPx;
    p.pageHeight_pixels = heightPx;
    p.papers = papers;
    p.resolutions = resolutions;
    return p;
}

}  // namespace kivtest
