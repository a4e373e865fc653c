// Comparing versions for the silent run's version check.

#include <gtest/gtest.h>

#include "run/version.h"

namespace {

TEST(CompareVersions, InstalledLowerThanWanted) {
  const struct {
    const char* installed;
    const char* wanted;
    bool lower;
  } cases[] = {
      {"6.6.0.18", "6.6.0.18", false},  // equal: no installation
      {"6.6.0.17", "6.6.0.18", true},
      {"6.6.0.19", "6.6.0.18", false},
      {"6.6", "6.6.0.0", false},        // missing parts count as 0
      {"6.6", "6.6.0.1", true},
      {"6.10", "6.9", false},           // numbers, not text
      {"6.9", "6.10", true},
      {"6..6", "6.6", false},           // empty parts are skipped
      {"6.6.0.18.99", "6.6.0.18", false},  // a fifth part is ignored
      {"", "0.0.0.1", true},
      {"", "", false},
      {"7beta.1", "7.1", false},        // leading digits of each part
      {"x.1", "0.1", false},
      {"4294967296", "4294967295", false},
  };
  for (const auto& c : cases) EXPECT_EQ(CompareVersions(c.installed, c.wanted), c.lower) << c.installed << " vs " << c.wanted;
}

TEST(CompareVersions, ResourceTextIsNormalisedFirst) {
  EXPECT_EQ(NormaliseVersionText("6, 6, 0, 18"), "6.6.0.18");
  EXPECT_EQ(NormaliseVersionText(" 6.6 "), "6.6");
  EXPECT_FALSE(CompareVersions(NormaliseVersionText("6, 6, 0, 18"), "6.6.0.18"));
}

}  // namespace
