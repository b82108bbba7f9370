// vad3: inspects, verifies and renders raster job files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <cmath>
#include <ctime>

#include "common/ColourProfiles.hpp"
#include "common/Help.hpp"
#include "common/JobTicket.hpp"
#include "Render.hpp"
#include "format/Codecs.hpp"
#include "format/PixelFormats.hpp"
#include "platform/Utf8.hpp"
#include "format/VAD3Format.hpp"
#include "format/VAD3Reader.hpp"

namespace {

// Asked for, on standard output; after a mistake, on standard error.
void Usage(std::FILE *to) {
    std::fputs(
        "usage: vad3 info [--json] FILE...\n"
        "       vad3 verify FILE...\n"
        "       vad3 render FILE [--page N] [--scale N] -o OUT.png\n",
        to);
}

// A reader's fault in the user's words: a file whose header makes no sense is not a job file.
std::string Fault(const std::string &fault) {
    if (fault.starts_with("truncated header") || fault.starts_with("unknown pixel format"))
        return "not a vad3 job file (" + fault + ")";
    return fault;
}

// A whole number from min to max, and nothing else.
bool ParseNumber(const char *text, unsigned long min, unsigned long max, unsigned long &out) {
    char *end = nullptr;
    out = std::strtoul(text, &end, 10);
    return end && end != text && !*end && out >= min && out <= max;
}

const char *FormatName(int16_t format) {
    const kiv::PixelFormatInfo *info = kiv::FindPixelFormat(format);
    return info ? info->name : "unknown";
}

void JsonString(std::string &out, const std::string &text) {
    // JSON is UTF-8: bytes that are not become U+FFFD.
    const std::string s = kiv::IsValidUtf8(text) ? text : kiv::SanitizeForXml(text);
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

std::string Base64(std::string_view bytes) {
    static const char *table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? table[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? table[v & 63] : '=';
    }
    return out;
}

// An integer as the property list writes it: the value alone does not tell an unsigned
// 2^64 − 1 from −1.
std::string IntegerText(plist_t node) {
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    std::string text(xml ? xml : "", xml ? length : 0);
    if (xml) plist_to_xml_free(xml);
    const std::size_t start = text.find("<integer>"), end = text.find("</integer>");
    if (start == std::string::npos || end == std::string::npos) return std::to_string(*kiv::IntegerValue(node));
    return text.substr(start + 9, end - start - 9);
}

std::string IsoDate(std::time_t t) {
    std::tm utc{};
    char text[32] = "";
    if (gmtime_r(&t, &utc)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void PlistToJson(std::string &out, plist_t node) {
    using namespace kiv;
    if (auto s = StringValue(node)) return JsonString(out, *s);
    if (IntegerValue(node)) return void(out += IntegerText(node));
    if (auto r = RealValue(node)) {
        if (!std::isfinite(*r)) return void(out += "null");  // JSON has no infinities or NaN
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", *r);
        return void(out += buf);
    }
    if (auto b = BoolValue(node)) return void(out += *b ? "true" : "false");
    if (auto t = DateValue(node)) return JsonString(out, IsoDate(*t));
    if (auto d = DataValue(node)) return JsonString(out, Base64(*d));
    if (IsArray(node)) {
        out += '[';
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i) {
            if (i) out += ", ";
            PlistToJson(out, plist_array_get_item(node, i));
        }
        return void(out += ']');
    }
    if (IsDict(node)) {
        out += '{';
        bool first = true;
        kiv::ForEachDictItem(node, [&](std::string_view key, plist_t value) {
            out += first ? "" : ", ";
            first = false;
            JsonString(out, std::string(key));
            out += ": ";
            PlistToJson(out, value);
            return true;
        });
        return void(out += '}');
    }
    out += "null";
}

// A short text for a metadata value in the readable listing.
std::string Summary(plist_t node) {
    if (auto d = kiv::DataValue(node)) return "<" + std::to_string(d->size()) + " bytes of data>";
    if (auto t = kiv::DateValue(node)) return IsoDate(*t);
    std::string json;
    PlistToJson(json, node);
    return json.size() > 100 ? json.substr(0, 97) + "..." : json;
}

// The trailer's colour profile, read through Little CMS.
struct ProfileSummary {
    std::size_t bytes = 0;
    std::optional<kivtools::ProfileFacts> facts;
};

std::optional<ProfileSummary> ProfileOf(plist_t trailer) {
    plist_t node = trailer ? plist_dict_get_item(trailer, kiv::kVAD3ProfileKey) : nullptr;
    const auto data = kiv::DataValue(node);
    if (!data) return std::nullopt;
    return ProfileSummary{data->size(), kivtools::DescribeProfile(*data)};
}

bool IsTicketKey(std::string_view key) { return key.starts_with(kivtools::kTicketPrefix); }

// The profile and the ticket as JSON members.
void ProfileAndTicketJson(std::string &out, plist_t trailer) {
    out += ", \"profile\": ";
    if (const auto profile = ProfileOf(trailer)) {
        out += "{\"bytes\": " + std::to_string(profile->bytes) + ", \"readable\": ";
        out += profile->facts ? "true" : "false";
        if (profile->facts) {
            out += ", \"description\": ";
            JsonString(out, profile->facts->description);
            out += ", \"colourSpace\": ";
            JsonString(out, profile->facts->colourSpace);
            out += ", \"class\": ";
            JsonString(out, profile->facts->deviceClass);
        }
        out += '}';
    } else {
        out += "null";
    }
    out += ", \"ticket\": {";
    bool first = true;
    if (trailer) {
        kiv::ForEachDictItem(trailer, [&](std::string_view key, plist_t value) {
            if (!IsTicketKey(key)) return true;
            out += first ? "" : ", ";
            first = false;
            JsonString(out, std::string(key.substr(kivtools::kTicketPrefix.size())));
            out += ": ";
            PlistToJson(out, value);
            return true;
        });
    }
    out += '}';
}

void ProfileAndTicketText(plist_t trailer) {
    if (const auto profile = ProfileOf(trailer)) {
        if (profile->facts)
            std::printf("  colour        %s (%s, %s profile), %zu bytes\n", profile->facts->description.c_str(),
                        profile->facts->colourSpace.c_str(), profile->facts->deviceClass.c_str(), profile->bytes);
        else
            std::printf("  colour        %zu bytes that are not a profile Little CMS can read\n", profile->bytes);
    } else {
        std::printf("  colour        no profile\n");
    }
    bool any = false;
    if (trailer) {
        kiv::ForEachDictItem(trailer, [&](std::string_view key, plist_t value) {
            if (!IsTicketKey(key)) return true;
            if (!any) std::printf("  job ticket\n");
            any = true;
            key.remove_prefix(kivtools::kTicketPrefix.size());
            std::printf("    %-28.*s %s\n", static_cast<int>(key.size()), key.data(), Summary(value).c_str());
            return true;
        });
    }
}

int Info(const std::vector<std::string> &files, bool json) {
    int status = 0;
    std::string out = json ? "[" : "";
    for (std::size_t i = 0; i < files.size(); ++i) {
        kiv::VAD3Reader reader;
        std::string fault = reader.Open(files[i]);
        kiv::Plist trailer;
        if (fault.empty()) fault = reader.ReadTrailer(trailer);
        if (!fault.empty() && reader.bytesPerLine() == 0) {
            std::fprintf(stderr, "vad3: %s: %s\n", files[i].c_str(), Fault(fault).c_str());
            status = 1;
            continue;
        }
        const kiv::VAD3Header &h = reader.header();
        const double dpiX = h.hResolution / 65536.0, dpiY = h.vResolution / 65536.0;
        if (json) {
            if (out.size() > 1) out += ",\n ";
            out += "{\"file\": ";
            JsonString(out, files[i]);
            char buf[512];
            std::snprintf(
                buf, sizeof buf,
                ", \"width\": %d, \"height\": %d, \"hResolution\": %.4f, \"vResolution\": %.4f, "
                "\"pixelFormat\": %d, \"pageCount\": %u, \"copies\": %u, \"collate\": %s, "
                "\"flipHorizontal\": %s, \"greyscale\": %s, \"documentWidth\": %d, \"documentHeight\": %d, "
                "\"trailerOffset\": %llu, \"fileSize\": %llu, \"metadata\": ",
                h.width, h.height, dpiX, dpiY, h.pixelFormat, h.pageCount, h.copies, h.collate ? "true" : "false",
                h.flipHorizontal ? "true" : "false", h.greyscale ? "true" : "false", h.documentWidth, h.documentHeight,
                static_cast<unsigned long long>(h.trailerOffset), static_cast<unsigned long long>(reader.fileSize()));
            out += buf;
            PlistToJson(out, trailer.get());
            ProfileAndTicketJson(out, trailer.get());
            out += '}';
        } else {
            std::printf("%s\n", files[i].c_str());
            std::printf("  page          %d x %d pixels at %.2f x %.2f dpi (%.2f x %.2f mm)\n", h.width, h.height, dpiX,
                        dpiY, dpiX > 0 ? h.width / dpiX * 25.4 : 0.0, dpiY > 0 ? h.height / dpiY * 25.4 : 0.0);
            std::printf("  document      %d x %d pixels%s\n", h.documentWidth, h.documentHeight,
                        h.documentWidth != h.width || h.documentHeight != h.height ? " (printed in tiles)" : "");
            std::printf("  pixel format  %d (%s)\n", h.pixelFormat, FormatName(h.pixelFormat));
            std::printf("  pages         %u\n", h.pageCount);
            std::printf("  copies        %u, %scollated\n", h.copies, h.collate ? "" : "not ");
            std::printf("  mirrored      %s\n", h.flipHorizontal ? "yes" : "no");
            std::printf("  file size     %llu bytes, trailer at %llu\n",
                        static_cast<unsigned long long>(reader.fileSize()),
                        static_cast<unsigned long long>(h.trailerOffset));
            ProfileAndTicketText(trailer.get());
            if (trailer) {
                std::printf("  metadata\n");
                kiv::ForEachDictItem(trailer.get(), [](std::string_view key, plist_t value) {
                    if (IsTicketKey(key)) return true;
                    std::printf("    %-28.*s %s\n", static_cast<int>(key.size()), key.data(), Summary(value).c_str());
                    return true;
                });
            }
        }
        if (!fault.empty()) {
            std::fprintf(stderr, "vad3: %s: %s\n", files[i].c_str(), fault.c_str());
            status = 1;
        }
    }
    if (json) {
        std::printf("%s]\n", out.c_str());
    } else {
        std::printf("line encoders in use here: %s\n", kiv::DescribeLineEncoders().c_str());
    }
    return status;
}

int Verify(const std::vector<std::string> &files) {
    int status = 0;
    for (const std::string &file : files) {
        const std::string fault = kiv::VerifyVAD3(file);
        if (fault.empty()) {
            std::printf("%s: ok\n", file.c_str());
        } else {
            std::fprintf(stderr, "vad3: %s: %s\n", file.c_str(), Fault(fault).c_str());
            status = 1;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    if (const auto answered = kivtools::AnswerWithUsage(argc, argv, 3, Usage)) return *answered;
    const std::string command = argv[1];
    std::vector<std::string> files;
    bool json = false;
    unsigned long page = 1, scale = 1;
    std::string out;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json" && command == "info") {
            json = true;
        } else if (arg == "--page" && command == "render" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], 1, 65535, page)) {
                std::fprintf(stderr, "vad3: --page needs a page number from 1 to 65535\n");
                return 2;
            }
        } else if (arg == "--scale" && command == "render" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], 1, 64, scale)) {
                std::fprintf(stderr, "vad3: --scale needs a factor from 1 to 64\n");
                return 2;
            }
        } else if (arg == "-o" && command == "render" && i + 1 < argc) {
            out = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "vad3: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        Usage(stderr);
        return 2;
    }
    if (command == "info") return Info(files, json);
    if (command == "verify") return Verify(files);
    if (command == "render") {
        if (files.size() != 1 || out.empty()) {
            std::fprintf(stderr, "vad3: render takes one job file and -o OUT.png for the picture\n");
            Usage(stderr);
            return 2;
        }
        const std::string fault =
            vad3tool::RenderPage(files[0], static_cast<unsigned>(page), out, static_cast<unsigned>(scale));
        if (!fault.empty()) {
            std::fprintf(stderr, "vad3: %s: %s\n", files[0].c_str(), Fault(fault).c_str());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "vad3: unknown command %s\n", command.c_str());
    Usage(stderr);
    return 2;
}
