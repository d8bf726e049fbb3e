#pragma once

#include <gtest/gtest.h>

#include "info/FileVersionInfo.h"

namespace quillon::test {

// The version data the sample program is built with (see this folder's CMakeLists.txt), as the
// reader of every system must give it back.
inline void ExpectSampleVersionData(const TFileVersionInfo& info) {
    EXPECT_EQ(info.FileVersion, "2.3.4.5");
    EXPECT_EQ(info.ProductName, "Quillon-Utility Sample");
    EXPECT_EQ(info.SpecialBuild, "Test build");
    EXPECT_TRUE(info.SpecialBuildFlag);
    EXPECT_TRUE(info.PreRelease);
    EXPECT_FALSE(info.PrivateBuildFlag);
    EXPECT_EQ(info.FileType, "InstallableDriver");
    EXPECT_EQ(info.CompanyName, "Morvane");  // not overridden: the common default
}

}  // namespace quillon::test
