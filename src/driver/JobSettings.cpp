// Page range, copies and hot folder as a dictionary, and merging job fields between records.
#include "JobSettings.hpp"

#include <cstring>
#include <limits>

#include "PrintRecord.hpp"
#include "platform/Bookmark.hpp"

namespace kiv {

Plist DoCopyJobSettings(DriverRecord &record, Handle h) {
    Plist settings = MakeDict();
    if (const auto p = LoadPrintRecord(h)) {
        DictSet(settings.get(), "fromPage", MakeInteger(p->fromPage));
        DictSet(settings.get(), "toPage", MakeInteger(p->toPage));
        DictSet(settings.get(), "copies", MakeInteger(p->copies));
    }
    if (record.mHotFolder) {
        if (Plist bookmark = CreateBookmarkData(*record.mHotFolder))
            DictSet(settings.get(), "outputFolder", std::move(bookmark));
    }
    return settings;
}

bool DoSetJobSettings(DriverRecord &record, Handle h, plist_t settings) {
    if (!IsDict(settings)) return false;
    if (auto p = LoadPrintRecord(h)) {
        // A value the 16-bit field cannot hold is ignored like one that is not a number: 70,000
        // copies must not become 4,464.
        const auto apply = [&](const char *key, int16_t &field) {
            const auto v = NumberAsInt32(DictGet(settings, key));
            if (v && *v >= std::numeric_limits<int16_t>::min() && *v <= std::numeric_limits<int16_t>::max())
                field = static_cast<int16_t>(*v);
        };
        apply("fromPage", p->fromPage);
        apply("toPage", p->toPage);
        apply("copies", p->copies);
        StorePrintRecord(h, *p);
    }
    plist_t folder = DictGet(settings, "outputFolder");
    if (!IsData(folder)) return true;
    auto resolved = ResolveBookmarkData(folder);
    if (!resolved) return false;
    record.mHotFolder = std::move(*resolved);
    return true;
}

void DoJobMerge(Handle source, Handle destination) {
    if (!HoldsPrintRecord(source) || !HoldsPrintRecord(destination) || source == destination) return;
    // copies, fromPage and toPage lie side by side.
    std::memcpy(*destination + kOffsetCopies, *source + kOffsetCopies, 6);
}

}  // namespace kiv
