// The driver module loaded from the build's bundle with dlopen, in a private preferences home.
#pragma once

#include <gtest/gtest.h>

#include "common/DriverModule.hpp"
#include "support/TempDir.hpp"

namespace kivtest {

class LoadedDriver : public ::testing::Test {
protected:
    void SetUp() override {
        bundle_ = KIVBundleCreate(KIV_BUNDLE_DIR);
        ASSERT_NE(bundle_, nullptr);
        ASSERT_TRUE(driver_.Load(bundle_)) << driver_.error();
        print_ = NewHandle(0);
    }
    void TearDown() override {
        DisposeHandle(print_);
        KIVBundleRelease(bundle_);
    }

    ScopedConfigHome home_;
    KIVBundleRef bundle_ = nullptr;
    kivhost::DriverModule driver_;
    Handle print_ = nullptr;
};

}  // namespace kivtest
