// Libraries planted beside a package under system libraries' names, as in a
// download folder: a silent installation must never load them.

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "report_server.h"
#include "test_support.h"
#include "wine.h"

namespace {

using testing_support::ReadFile;

// The libraries the installer loads at run time that Wine's own libraries
// leave to the program (Wine's libraries take shcore, version, imagehlp and
// dbghelp from the program's folder whatever the program does).
const char* const kPlanted[] = {"wininet.dll", "wintrust.dll", "gdiplus.dll", "uxtheme.dll", "comctl32.dll"};
// Wine runs its own copy of a library it implements even when one lies
// beside the program; "n,b" makes it prefer the one found by the search, as
// Windows does for libraries outside its known list.
const char kOverrides[] = "WINEDLLOVERRIDES=wininet,wintrust,gdiplus,uxtheme,comctl32=n,b";

using e2e::kDestination;
// Launching an unsigned program makes the installer verify its signature.
const std::string kScript =
    e2e::kSilentProgramDataScript + "[launch]\nLaunchAuto=1\nLaunchTarget=Quenlith.exe\n";

class SystemLibraryTest : public e2e::E2eTest {
 protected:
  SystemLibraryTest() : E2eTest({e2e::kProgramDataFolder}) {}
};

TEST_F(SystemLibraryTest, LibrariesBesideThePackageAreNeverLoaded) {
  harness::ReportServer server;
  const testing_support::Files files = {
      {"Quenlith.exe", ReadFile(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe")},
      {"readme.txt", "read me"}};
  const std::filesystem::path package = e2e::BuildTestPackage(dir_.path(), files, kScript);
  for (const char* name : kPlanted) std::filesystem::copy_file(wine_.Program("trap.dll"), dir_ / name);

  const harness::RunResult result = wine_.Run({package.string(), "/debug"}, 120, {kOverrides});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  // A mark is named as the library was asked for, in any letter case.
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    EXPECT_FALSE(entry.path().extension() == ".loaded")
        << entry.path().filename() << ": the planted library was loaded";

  EXPECT_EQ(ReadFile(wine_.LinuxPath(std::string(kDestination) + "readme.txt")), "read me");
  EXPECT_EQ(server.States(), std::vector<std::string>{"start"});
  const std::string log = e2e::OnlySetupLog(wine_);
  // The system's own trust provider answered (an unsigned file), not a missing one.
  EXPECT_NE(log.find("Verification error code -2146762496."), std::string::npos) << log;
  EXPECT_NE(log.find("Quenlith setup exited successfully"), std::string::npos) << log;
}

}  // namespace
