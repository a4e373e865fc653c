// The installer's exit codes and their meanings: the setup log's closing
// ERROR line and `quenlith-pack try` both take their words from this table.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "messages/exit_codes.h"

namespace {

TEST(InstallerExitCodes, EachCodeHasOneRowAndEachFailureSaysWhy) {
  std::set<int> seen;
  for (const ExitCodeMeaning& row : kExitCodeMeanings) {
    EXPECT_TRUE(seen.insert(row.code).second) << "two rows for " << row.code;
    EXPECT_EQ(FindExitCode(row.code), &row) << row.code;
    EXPECT_STRNE(row.run, "") << row.code;
    // Only an installed copy as new or newer ends a run without failing
    // besides success; every other code's ERROR line must say why.
    const bool failure = row.code != kExitSuccess && row.code != kExitUpToDate;
    EXPECT_EQ(row.failure != nullptr, failure) << row.code;
    if (failure) EXPECT_STRNE(ExitCodeFailureMeaning(row.code), "unexpected exit code") << row.code;
  }
  EXPECT_EQ(seen, (std::set<int>{0, -1, -2, -3, -4, 1, 2, 3}));
}

TEST(InstallerExitCodes, OtherNumbersAreNoneOfTheInstallers) {
  // A neighbour of the table, the launcher's own failure, an access violation's exception code.
  for (const int code : {4, -5, 120, static_cast<int>(0xC0000005u)}) {
    EXPECT_EQ(FindExitCode(code), nullptr) << code;
    EXPECT_STREQ(ExitCodeRunMeaning(code), "not an exit code of the installer") << code;
  }
  EXPECT_STREQ(ExitCodeFailureMeaning(kExitSuccess), "unexpected exit code");
}

}  // namespace
