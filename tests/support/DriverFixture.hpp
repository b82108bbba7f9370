// A driver session in a private preferences home, opened through the entry points.
#pragma once

#include <gtest/gtest.h>

#include <kiv/KIVPrinterDriver.h>

#include "driver/DriverRecord.hpp"
#include "driver/PrintRecord.hpp"
#include "platform/Plist.hpp"
#include "platform/Preferences.hpp"
#include "support/TempDir.hpp"

namespace kivtest {

inline constexpr const char *kTestDomain = "com.example.driver-test";

class DriverFixture : public ::testing::Test {
protected:
    void SetUp() override {
        WriteInfoPlist(bundleDir_.path(), {{"CFBundleIdentifier", kTestDomain}});
        bundle_ = KIVBundleCreate(bundleDir_.path().c_str());
        ASSERT_NE(bundle_, nullptr);
        handle_ = NewHandle(0);
    }
    void TearDown() override {
        if (record_) KIVPrClose(record_);
        DisposeHandle(handle_);
        KIVBundleRelease(bundle_);
    }

    // Opens the session (after the test has stored whatever preferences it needs).
    DriverRecord &Open() {
        EXPECT_EQ(KIVPrOpen(bundle_, &record_), 0);
        return *record_;
    }
    // Stores a preference value and writes it out.
    static void Store(const char *key, kiv::Plist value) {
        kiv::SetPreferenceValue(kTestDomain, key, value.get());
        ASSERT_TRUE(kiv::SynchronizePreferences(kTestDomain));
    }
    kiv::PrintRecord Record() const { return *kiv::LoadPrintRecord(handle_); }
    void Put(const kiv::PrintRecord &r) {
        SetHandleSize(handle_, kiv::kPrintRecordSize);
        kiv::StorePrintRecord(handle_, r);
    }

    ScopedConfigHome home_;
    TempDir bundleDir_;
    KIVBundleRef bundle_ = nullptr;
    DriverRecord *record_ = nullptr;
    Handle handle_ = nullptr;
};

}  // namespace kivtest
