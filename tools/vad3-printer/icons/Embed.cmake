# Writes OUT, a C++ file holding each PNG of ICONS as a byte array named after the file
# (printer-48.png becomes kIcon_printer_48), for the server's web pages and printer-icons.
set(text "// Generated from tools/vad3-printer/icons by Embed.cmake.\n#include <cstddef>\n\nnamespace vad3printer {\n")
foreach(icon ${ICONS})
  get_filename_component(name "${icon}" NAME_WE)
  string(REPLACE "-" "_" name "${name}")
  file(READ "${icon}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND text "extern const unsigned char kIcon_${name}[] = {${bytes}};\n")
  string(APPEND text "extern const std::size_t kIcon_${name}_size = sizeof kIcon_${name};\n")
endforeach()
string(APPEND text "}  // namespace vad3printer\n")
file(WRITE "${OUT}" "${text}")
