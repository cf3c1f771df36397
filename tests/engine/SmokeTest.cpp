#include <gtest/gtest.h>

#include "xbengine.h"

TEST(Smoke, VersionIsNotEmpty) {
  EXPECT_STRNE(xb_Version(), "");
}
