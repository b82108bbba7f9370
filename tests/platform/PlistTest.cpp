#include <gtest/gtest.h>
#include "platform/Plist.hpp"
TEST(Plist, Smoke) { EXPECT_TRUE(kiv::MakeDict()); }
