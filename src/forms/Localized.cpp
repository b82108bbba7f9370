// Localized texts from the bundle's "Localizable" tables.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Forms.hpp"
#include "platform/Plist.hpp"

namespace kiv::forms {
namespace {

// The user's language ("de" of "de_DE.UTF-8"), from the usual environment variables.
std::string UserLanguage() {
    for (const char *var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(var);
        if (!value || !value[0]) continue;
        std::string lang(value);
        lang = lang.substr(0, lang.find_first_of(":_.@"));
        if (lang == "C" || lang == "POSIX") return "en";
        return lang;
    }
    return "en";
}

}  // namespace

std::string Localized(KIVBundleRef bundle, const std::string &english) {
    const char *dir = KIVBundleGetPath(bundle);
    if (!dir) return english;
    // A strings table in property-list form: Resources/<language>.lproj/Localizable.strings.
    const std::string path = std::string(dir) + "/Resources/" + UserLanguage() + ".lproj/Localizable.strings";
    std::ifstream in(path, std::ios::binary);
    if (!in) return english;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    const Plist table = ParseAny(text.data(), text.size());
    return StringValue(DictGet(table.get(), english.c_str())).value_or(english);
}

}  // namespace kiv::forms
