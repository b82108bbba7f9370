// The job ticket a host writes into a job file's trailer: each value under its own key with
// one prefix, as a property-list type of its own, never one text to parse.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Plist.hpp"
#include "platform/Utf8.hpp"

namespace kivtools {

inline constexpr std::string_view kTicketPrefix = "KIVJobTicket_";

class JobTicket {
public:
    // Names and other texts are shown as they are, without control or bidirectional characters.
    void Text(std::string_view key, std::string_view value) {
        if (!value.empty()) Add(key, kiv::MakeString(kiv::VisibleText(value)));
    }
    void Texts(std::string_view key, const std::vector<std::string> &values) {
        kiv::Plist array = kiv::MakeArray();
        for (const std::string &v : values)
            plist_array_append_item(array.get(), kiv::MakeString(kiv::VisibleText(v)).release());
        Add(key, std::move(array));
    }
    void Integer(std::string_view key, int64_t value) { Add(key, kiv::MakeInteger(value)); }
    void Real(std::string_view key, double value) { Add(key, kiv::MakeReal(value)); }
    void Boolean(std::string_view key, bool value) { Add(key, kiv::MakeBool(value)); }
    void Date(std::string_view key, std::time_t value) { Add(key, kiv::MakeDate(value)); }

    // Each key with its prefix, and its value.
    const std::vector<std::pair<std::string, kiv::Plist>> &values() const { return values_; }

private:
    void Add(std::string_view key, kiv::Plist value) {
        if (value) values_.emplace_back(std::string(kTicketPrefix) + std::string(key), std::move(value));
    }

    std::vector<std::pair<std::string, kiv::Plist>> values_;
};

// Hands the colour profile (when there is one) and the ticket to the driver's open document:
// 0, or the first status that is not.
template <class Driver, class Record>
int32_t AttachToDocument(Driver &driver, Record *record, const std::vector<uint8_t> &profile, const JobTicket &ticket) {
    if (!profile.empty()) {
        const kiv::Plist data = kiv::MakeData(profile.data(), profile.size());
        if (const int32_t e = driver.KIVPrSetProfile(record, data.get()); e != 0) return e;
    }
    for (const auto &[key, value] : ticket.values())
        if (const int32_t e = driver.KIVPrSetMetadata(record, key.c_str(), value.get()); e != 0) return e;
    return 0;
}

}  // namespace kivtools
