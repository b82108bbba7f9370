// Rendering one page of a raster job file as a PNG.
#pragma once

#include <string>

namespace vad3tool {

// Renders page (1-based) of path into a PNG at out, every `scale`-th pixel of every
// `scale`-th line (1: full size). Empty on success, else the fault.
std::string RenderPage(const std::string &path, unsigned page, const std::string &out, unsigned scale = 1);

// One decoded line of the given pixel format as 8-bit RGB (width × 3 bytes), or grey
// (width bytes) for format 8. The 8- and 12-byte layouts are a false-colour view of their
// first channels.
void LineToPng(int pixelFormat, const unsigned char *line, unsigned width, unsigned char *row);

}  // namespace vad3tool
