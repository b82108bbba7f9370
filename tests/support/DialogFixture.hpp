// A dialog run by a scripted user, with the built-in catalogues, a bundle and a private
// preferences home.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/ScriptedToolkit.hpp"
#include "media/Catalogue.hpp"
#include "support/TempDir.hpp"

namespace kivtest {

inline constexpr const char *kDialogDomain = "com.example.dialog-test";

class DialogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        WriteInfoPlist(bundleDir_.path(), {{"CFBundleIdentifier", kDialogDomain},
                                           {"CFBundleName", "Test Driver"},
                                           {"CFBundleShortVersionString", "9.8.7"}});
        bundle_ = KIVBundleCreate(bundleDir_.path().c_str());
        ASSERT_NE(bundle_, nullptr);
        papers_ = kiv::SetPapersFrom("A2 412 553\r*A3 280 390\rA4 210 297");
        resolutions_ = kiv::SetResolutionsFrom("600 600\r*300 300\r150 150");
    }
    void TearDown() override {
        kiv::forms::SetCurrentToolkit(nullptr);
        KIVBundleRelease(bundle_);
    }
    // Installs a scripted user for the next dialog.
    kiv::forms::ScriptedToolkit &Script(std::vector<kiv::forms::UserAction> actions) {
        toolkit_ = std::make_shared<kiv::forms::ScriptedToolkit>(std::move(actions));
        kiv::forms::SetCurrentToolkit(toolkit_);
        return *toolkit_;
    }

    ScopedEnv locale_{"LC_ALL", "C.UTF-8"};
    ScopedConfigHome home_;
    TempDir bundleDir_;
    KIVBundleRef bundle_ = nullptr;
    kiv::PaperDescriptionPtr papers_;
    kiv::ResDescriptionPtr resolutions_;
    std::shared_ptr<kiv::forms::ScriptedToolkit> toolkit_;
};

}  // namespace kivtest
