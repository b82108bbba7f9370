// `kivhost print`: prints images (or the built-in test page) through the driver's entry points.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Images.hpp"

namespace kivhost {

struct PrintOptions {
    std::string bundle;
    std::vector<std::string> images;  // none: the built-in test page
    std::string hotFolder = "hot-folder";
    std::string jobName;
    std::optional<BandFormat> format;  // default: grey for grey images, else ARGB
    int bandRows = 0;                  // 0: up to 256 rows and 4 MiB a band
    int copies = 1;
    bool blackAndWhite = false;
    bool flip = false;
    bool dialog = false;  // the job dialog chooses pages, copies and the hot folder
    std::string profile;  // an ICC profile file that describes the job file's samples
};

// The dialogs need a display: an X11 or Wayland session, or QT_QPA_PLATFORM.
bool DisplayAvailable();
// Says so and returns the exit status for it.
int NoDisplay();

// `kivhost page-setup`: the page setup dialog on the saved print record, saved when accepted.
int RunPageSetup(const std::string &bundle);

// Exit status: 0, or 1 after reporting the error.
int RunPrint(const PrintOptions &options);

}  // namespace kivhost
