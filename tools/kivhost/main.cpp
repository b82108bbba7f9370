// kivhost: a stand-in host that loads the Varnel printer driver from its bundle and drives it
// through its C entry points only.
#include <cstdint>
#include <exception>
#include <new>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/Help.hpp"
#include "PrintCommand.hpp"
#include "common/PrintRecordView.hpp"
#include "common/DriverModule.hpp"
#include "format/Codecs.hpp"

namespace {

// Asked for, on standard output; after a mistake, on standard error.
void Usage(std::FILE *to) {
    std::fputs(
        "usage: kivhost info [--bundle DIR]\n"
        "       kivhost page-setup [--bundle DIR]\n"
        "       kivhost print [IMAGE.png ...] [--hot-folder DIR] [--job-name NAME]\n"
        "                     [--format argb|grey|cmyk] [--band-rows N] [--copies N] [--bw] [--flip]\n"
        "                     [--profile FILE.icc] [--dialog]\n"
        "                     [--bundle DIR]\n"
        "  info   open the driver, make a default print record and show it with the catalogues\n"
        "  page-setup  the driver's page setup dialog on the saved print record\n"
        "  print  print each image as one page (the built-in test page without images) into\n"
        "         a job file in the hot folder (default ./hot-folder); --dialog asks first\n"
        "         with the driver's job dialog; --profile names the ICC profile of the\n"
        "         job file's colours (else the image's own, sRGB or sGray)\n",
        to);
}

bool ParseCount(const char *text, int min, int max, int &out) {
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || v < min || v > max) return false;
    out = static_cast<int>(v);
    return true;
}

int Print(int argc, char **argv) {
    kivhost::PrintOptions options;
    options.bundle = KIV_DEFAULT_BUNDLE;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--bw") {
            options.blackAndWhite = true;
        } else if (arg == "--dialog") {
            options.dialog = true;
        } else if (arg == "--flip") {
            options.flip = true;
        } else if (arg == "--hot-folder" && hasValue) {
            options.hotFolder = argv[++i];
        } else if (arg == "--job-name" && hasValue) {
            options.jobName = argv[++i];
        } else if (arg == "--profile" && hasValue) {
            options.profile = argv[++i];
        } else if (arg == "--bundle" && hasValue) {
            options.bundle = argv[++i];
        } else if (arg == "--format" && hasValue) {
            const std::string_view f = argv[++i];
            if (f == "argb") {
                options.format = kivhost::BandFormat::Argb;
            } else if (f == "grey" || f == "gray") {
                options.format = kivhost::BandFormat::Grey;
            } else if (f == "cmyk") {
                options.format = kivhost::BandFormat::Cmyk;
            } else {
                std::fprintf(stderr, "kivhost: --format takes argb, grey or cmyk, not %s\n", argv[i]);
                return 2;
            }
        } else if (arg == "--band-rows" && hasValue) {
            if (!ParseCount(argv[++i], 1, 1 << 20, options.bandRows)) {
                std::fprintf(stderr, "kivhost: --band-rows needs a number of rows from 1\n");
                return 2;
            }
        } else if (arg == "--copies" && hasValue) {
            if (!ParseCount(argv[++i], 1, 32767, options.copies)) {
                std::fprintf(stderr, "kivhost: --copies needs a number from 1 to 32767\n");
                return 2;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "kivhost: unknown option %s\n", argv[i]);
            Usage(stderr);
            return 2;
        } else {
            options.images.emplace_back(arg);
        }
    }
    if (options.dialog && !kivhost::DisplayAvailable()) return kivhost::NoDisplay();
    return kivhost::RunPrint(options);
}

void PrintCatalogue(const char *title, const char *key, const char *listKey, const char *domain, const char *builtIn) {
    plist_t stored = KIVPreferencesCopyAppValue(key, domain);
    plist_t list = stored ? plist_dict_get_item(stored, listKey) : nullptr;
    if (list && plist_get_node_type(list) == PLIST_ARRAY) {
        std::printf("%s (from the preferences):\n", title);
        for (uint32_t i = 0; i < plist_array_get_size(list); ++i) {
            plist_t name = plist_dict_get_item(plist_array_get_item(list, i), "Name");
            const char *s =
                name && plist_get_node_type(name) == PLIST_STRING ? plist_get_string_ptr(name, nullptr) : "?";
            std::printf("  %s\n", s);
        }
    } else {
        std::printf("%s (built in):\n", title);
        std::string_view text(builtIn);
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find('\r', start);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view line = text.substr(start, end - start);
            std::printf("  %.*s%s\n", static_cast<int>(line.size()), line.data(), "");
            start = end + 1;
        }
    }
    if (stored) plist_free(stored);
}

int Info(const char *bundlePath) {
    kivhost::Bundle owned(bundlePath);
    KIVBundleRef bundle = owned.get();
    if (!bundle) {
        std::fprintf(stderr, "kivhost: %s is not a driver bundle (no Info.plist with CFBundleIdentifier)\n",
                     bundlePath);
        return 1;
    }
    int status = 0;
    {
        kivhost::DriverModule driver;
        if (!driver.Load(bundle)) {
            std::fprintf(stderr, "kivhost: cannot load the driver: %s\n", driver.error().c_str());
            return 1;
        }
        DriverRecord *record = nullptr;
        const int32_t err = driver.KIVPrOpen(bundle, &record);
        if (err != 0) {
            unsigned char message[256];
            driver.KIVPrErrorString(record, err, message);
            std::fprintf(stderr, "kivhost: cannot open the driver: %.*s\n", message[0], message + 1);
            return 1;
        }
        const char *domain = KIVBundleGetIdentifier(bundle);
        std::printf("Driver opened: %s, preferences domain %s\n", KIVBundleGetPath(bundle), domain);
        // The module makes the same choice: same processor, same KIV_LINE_ENCODERS.
        std::printf("Line encoders: %s\n", kiv::DescribeLineEncoders().c_str());

        Handle print = NewHandle(0);
        const bool reset = driver.KIVPrValidate(record, print);
        const kivhost::PrintRecordView r(print);
        const int32_t w = r.widthPixels(), h = r.heightPixels();
        const double wmm = r.widthMillimetres(), hmm = r.heightMillimetres();
        std::printf("Print record (%ld bytes, %s):\n", GetHandleSize(print), reset ? "made by the driver" : "kept");
        std::printf("  page       %d x %d pixels, %.4f x %.4f mm (%.1f x %.1f dpi)\n", w, h, wmm, hmm, w / wmm * 25.4,
                    h / hmm * 25.4);
        std::printf("  copies     %d, pages %d to %d, collated %s\n", r.copies(), r.fromPage(), r.toPage(),
                    r.collated() ? "yes" : "no");
        std::printf("  options    black and white %s, mirrored %s, tiled %s\n", r.blackAndWhite() ? "yes" : "no",
                    r.mirrored() ? "yes" : "no", r.tiled() ? "yes" : "no");
        std::printf("  paper      \"%s\"\n", r.paperName().c_str());

        PageInfo info;
        driver.KIVPrGetInfo(record, print, &info);
        std::printf("Printable area: %d x %d pixels, %.4f x %.4f mm\n", info.widthPixels, info.heightPixels,
                    info.widthMillimetres, info.heightMillimetres);

        PrintCatalogue("Papers", "Paper Sizes", "Papers", domain, driver.defaultPapers);
        PrintCatalogue("Resolutions", "Resolutions", "Resolutions", domain, driver.defaultResolutions);

        plist_t settings = driver.KIVPrCopyJobSettings(record, print);
        char *xml = nullptr;
        uint32_t length = 0;
        if (settings) plist_to_xml(settings, &xml, &length);
        std::printf("Job settings:\n%.*s", static_cast<int>(length), xml ? xml : "");
        if (xml) plist_to_xml_free(xml);
        if (settings) plist_free(settings);

        DisposeHandle(print);
        status = driver.KIVPrClose(record);
        std::printf("Driver closed: %d\n", status);
    }
    return status == 0 ? 0 : 1;
}

int Run(int argc, char **argv) {
    if (const auto answered = kivtools::AnswerWithUsage(argc, argv, 2, Usage)) return *answered;
    const std::string_view command = argv[1];
    if (command == "print") return Print(argc, argv);
    if (command == "page-setup") {
        const char *bundlePath = KIV_DEFAULT_BUNDLE;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--bundle") == 0 && i + 1 < argc) {
                bundlePath = argv[++i];
            } else {
                Usage(stderr);
                return 2;
            }
        }
        if (!kivhost::DisplayAvailable()) return kivhost::NoDisplay();
        return kivhost::RunPageSetup(bundlePath);
    }
    const char *bundle = KIV_DEFAULT_BUNDLE;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bundle") == 0 && i + 1 < argc) {
            bundle = argv[++i];
        } else {
            std::fprintf(stderr, "kivhost: unknown option %s\n", argv[i]);
            Usage(stderr);
            return 2;
        }
    }
    if (command == "info") return Info(bundle);
    std::fprintf(stderr, "kivhost: unknown command %s\n", argv[1]);
    Usage(stderr);
    return 2;
}

}  // namespace

// No exception ever ends kivhost with a core dump: it says what happened instead.
int main(int argc, char **argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::fputs("kivhost: out of memory\n", stderr);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kivhost: %s\n", e.what());
    }
    return 1;
}
