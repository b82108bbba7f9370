// The bundle's window resources (bundle/Resources/NAME.ui): their names, the outlets the
// controllers use, and the fixed items of their menus. Controllers name outlets through these
// constants, the test toolkit builds its forms from the table, and a test checks the .ui files
// against it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "media/MenuTags.hpp"

namespace kiv::forms {

namespace resource {
inline constexpr const char kStyle[] = "StyleDialog";
inline constexpr const char kJob[] = "JobDialog";
inline constexpr const char kJobNoCopies[] = "JobDialog_NC";  // for hosts that handle copies themselves
}  // namespace resource

namespace outlet {
// The page setup window, and its new-paper sheet (the controls whose names start "paperName").
inline constexpr const char kVersion[] = "version", kPageWidth[] = "pageWidth", kPageHeight[] = "pageHeight",
                            kTileWidth[] = "tileWidth", kTileHeight[] = "tileHeight", kPaperName[] = "paperName";
inline constexpr const char kPagesMenu[] = "pagesMenu", kResolutionsMenu[] = "resolutionsMenu",
                            kUnitsMenu[] = "unitsMenu";
inline constexpr const char kIsTiled[] = "isTiled", kIsFlipH[] = "isFlipH", kIsBW[] = "isBW";
inline constexpr const char kOK[] = "ok", kCancel[] = "cancel", kPageFromDocument[] = "pageFromDocument",
                            kPaperNameOK[] = "paperNameOK", kPaperNameCancel[] = "paperNameCancel";
inline constexpr const char kPaperNameSheet[] = "paperNameWindow";
// The job window; the copies field and the collate box only in "JobDialog".
inline constexpr const char kFromPage[] = "fromPageText", kToPage[] = "toPageText", kCopies[] = "numberOfCopiesText",
                            kCollate[] = "collateCheckbox", kPageMode[] = "pageModeMatrix", kSave[] = "saveButton",
                            kSaveAs[] = "saveAsButton", kJobCancel[] = "cancelButton";
}  // namespace outlet

struct FixedMenuItem {
    const char *title;  // english; the toolkit localizes it
    int64_t tag;
    bool separatorBefore = false;
};

struct MenuOutlet {
    const char *name;
    std::span<const FixedMenuItem> fixedItems;  // the items the resource always has
};

struct WindowResource {
    const char *name;
    std::span<const char *const> fields, checks, radios, buttons;
    std::span<const MenuOutlet> menus;
};

namespace detail {
using namespace outlet;
inline constexpr FixedMenuItem kPaperItems[] = {
    {"Custom", kCustomPaperTag}, {"Add Paper…", kAddPaperTag, true}, {"Remove Paper", kRemovePaperTag}};
inline constexpr FixedMenuItem kUnitItems[] = {
    {"Points", kUnitPoints}, {"Millimetres", kUnitMillimetres}, {"Inches", kUnitInches}};
inline constexpr const char *kStyleFields[] = {kVersion, kPageWidth, kPageHeight, kTileWidth, kTileHeight, kPaperName};
inline constexpr const char *kStyleChecks[] = {kIsTiled, kIsFlipH, kIsBW};
inline constexpr const char *kStyleButtons[] = {kOK, kCancel, kPageFromDocument, kPaperNameOK, kPaperNameCancel};
inline constexpr MenuOutlet kStyleMenus[] = {
    {kPagesMenu, kPaperItems}, {kResolutionsMenu, {}}, {kUnitsMenu, kUnitItems}};
inline constexpr const char *kJobFields[] = {kFromPage, kToPage, kCopies};
inline constexpr const char *kJobChecks[] = {kCollate};
inline constexpr const char *kJobRadios[] = {kPageMode};
inline constexpr const char *kJobButtons[] = {kSave, kSaveAs, kJobCancel};
}  // namespace detail

inline constexpr WindowResource kWindowResources[] = {
    {resource::kStyle, detail::kStyleFields, detail::kStyleChecks, {}, detail::kStyleButtons, detail::kStyleMenus},
    {resource::kJob, detail::kJobFields, detail::kJobChecks, detail::kJobRadios, detail::kJobButtons, {}},
    {resource::kJobNoCopies, std::span(detail::kJobFields).first(2), {}, detail::kJobRadios, detail::kJobButtons, {}},
};

// The resource of that name, or null.
constexpr const WindowResource *FindWindowResource(std::string_view name) {
    for (const WindowResource &r : kWindowResources)
        if (name == r.name) return &r;
    return nullptr;
}

}  // namespace kiv::forms
