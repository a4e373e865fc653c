// Runs at the same time, as a deployment tool installing two packages side
// by side or a user who double-clicks twice would start them: each run owns
// its temporary files, installs its own payload whole, and leaves nothing in
// the temporary folder.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "e2e_support.h"
#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;
using testing_support::Files;
using testing_support::Pattern;
using testing_support::ReadFile;
using testing_support::ScratchDir;

using e2e::kDestination;
const std::string kScript =
    e2e::kSilentProgramDataScript + "[date]\nDateMonth=8\nDateDay=28\nDateYear=2026\n";

class SideBySideTest : public e2e::E2eTest {
 protected:
  SideBySideTest() : E2eTest({e2e::kProgramDataFolder}) {}

  // Starts every package in one second (the temporary folder's name counts
  // seconds) and returns their full exit codes.
  std::vector<std::optional<int>> RunTogether(const std::vector<std::filesystem::path>& packages,
                                              const std::string& switches = "") {
    const auto now = std::chrono::system_clock::now();
    std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(now) + std::chrono::milliseconds(20));
    std::vector<harness::Process> runs;
    for (const std::filesystem::path& package : packages)
      runs.push_back(switches.empty() ? wine_.Start({package.string()}) : wine_.Start({package.string(), switches}));
    std::vector<std::optional<int>> codes;
    for (harness::Process& run : runs) codes.push_back(Wine::ExitCodeOf(run.Wait(120)));
    return codes;
  }

  std::filesystem::path Installed(const std::string& name) { return wine_.LinuxPath(kDestination + name); }
};

TEST_F(SideBySideTest, TwoPackagesStartedInOneSecondEachInstallTheirOwnFiles) {
  // Large enough that both runs are decompressing at the same time.
  const Files product = {{"product\\a.bin", Pattern(4 << 20, 1)}, {"product\\notes.txt", "the product"}};
  const Files plugin = {{"plugin\\b.bin", Pattern(4 << 20, 2)}, {"plugin\\notes.txt", "the plug-in"}};
  ScratchDir productDir, pluginDir;
  const std::vector<std::filesystem::path> packages = {e2e::BuildTestPackage(productDir.path(), product, kScript),
                                                       e2e::BuildTestPackage(pluginDir.path(), plugin, kScript)};
  for (int trial = 0; trial < 3; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    Clean();
    const std::vector<std::optional<int>> codes = RunTogether(packages, "/debug");
    EXPECT_EQ(codes[0], 0);
    EXPECT_EQ(codes[1], 0);
    for (const Files* files : {&product, &plugin})
      for (const auto& [name, bytes] : *files) EXPECT_TRUE(ReadFile(Installed(name)) == bytes) << name;
    EXPECT_TRUE(e2e::LeftTemporaryFiles(wine_).empty());
    // Each run logs into a file of its own, even when both start in one second.
    const std::vector<std::filesystem::path> logs = wine_.SetupLogs();
    ASSERT_EQ(logs.size(), 2u);
    for (const std::filesystem::path& log : logs) {
      const std::string text = ReadFile(log);
      EXPECT_EQ(testing_support::Count(text, "Quenlith setup log file"), 1u) << log;
      EXPECT_EQ(testing_support::Count(text, "Quenlith setup exited successfully"), 1u) << log;
    }
  }
}

TEST_F(SideBySideTest, TheSamePackageTwiceAtOnceNeverSucceedsOverFilesItDidNotWriteWhole) {
  const Files files = {{"a.bin", Pattern(3 << 20, 3)}, {"dir\\b.bin", Pattern(3 << 20, 4)}, {"c.txt", "gamma"}};
  ScratchDir dir;
  const std::filesystem::path package = e2e::BuildTestPackage(dir.path(), files, kScript);
  for (int trial = 0; trial < 3; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    Clean();
    const std::vector<std::optional<int>> codes = RunTogether({package, package});
    // The second may meet the first's files as locked ones and give up; it
    // never crashes, hangs or says it installed what it did not write.
    for (const std::optional<int>& code : codes) EXPECT_TRUE(code == 0 || code == -1) << code.value_or(999);
    EXPECT_TRUE(codes[0] == 0 || codes[1] == 0) << "one of them installs";
    for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFile(Installed(name)) == bytes) << name;
    EXPECT_TRUE(e2e::LeftTemporaryFiles(wine_).empty());
  }
}

}  // namespace
