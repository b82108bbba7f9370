// Page range, copies and hot folder as a dictionary, and merging job fields between records.
#include "JobSettings.hpp"

#include <cstring>

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
        // Only the low 16 bits fit the record; nothing is range-checked.
        const auto apply = [&](const char *key, int16_t &field) {
            if (const auto v = NumberAsInt32(DictGet(settings, key))) field = static_cast<int16_t>(*v);
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
