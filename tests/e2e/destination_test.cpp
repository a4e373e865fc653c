// The silent run's destination under Wine: the default that the script's
// destination keys give the product, plug-in and skin packages; parents
// created in order, free space measured at the drive's root, a folder that
// cannot be written. The drives of small or read-only space are tmpfs mounts
// (the tests run as root) mapped to the prefix's D: drive.

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;

const char kUninstallKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith";

using e2e::SmallDrive;

class DestinationTest : public e2e::E2eTest {
 protected:
  DestinationTest() : E2eTest({}, {kUninstallKey}) {}

  // A silent package whose destination is the folder of an earlier
  // installation registered for the user: `folder`.
  harness::RunResult InstallInto(const std::string& folder, std::int64_t installedSize = 1000) {
    wine_.RunInEnvironment({"wine", "reg", "add", kUninstallKey, "/v", "UninstallString", "/d",
                            folder + "Quenlith.exe /uninstall", "/f"});
    const std::filesystem::path package = e2e::BuildTestPackage(
        dir_.path(), {{"readme.txt", "payload"}},
        "[install]\nInstallerSilent=1\n[destination]\nDestinationAuto=1\nDestinationQuenlith=1\n"
        "[setup]\nSetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=Quenlith\n"
        "SetupUninstallInformationEstimatedSize0=" + std::to_string(installedSize) + "\n");
    return wine_.Run({package.string(), "/debug"}, 120);
  }

};

TEST_F(DestinationTest, MissingParentsAreCreatedFromTheTopDown) {
  std::filesystem::remove_all(wine_.LinuxPath("C:\\qtest"));
  EXPECT_EQ(InstallInto("C:\\qtest\\a\\b\\c\\").exitCode, 0);
  EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath("C:\\qtest\\a\\b\\c\\readme.txt")));
  const std::string log = Log();
  std::size_t at = 0;
  for (const char* folder : {"C:\\qtest", "C:\\qtest\\a", "C:\\qtest\\a\\b", "C:\\qtest\\a\\b\\c\\"}) {
    const std::string created = std::string("Directory \"") + folder + "\" created.";
    const std::size_t found = log.find(created, at);
    EXPECT_NE(found, std::string::npos) << "missing or out of order: " << created;
    if (found != std::string::npos) at = found;
    EXPECT_NE(log.find(std::string("Writing test is successful for \"") + folder + "\"."), std::string::npos) << folder;
  }
  EXPECT_EQ(log.find("Writing test is successful for \"C:\\\""), std::string::npos) << "C:\\ itself is not tested";
  std::filesystem::remove_all(wine_.LinuxPath("C:\\qtest"));
}

TEST_F(DestinationTest, NotEnoughSpaceAtTheDrivesRootEndsWithMinusFour) {
  SmallDrive drive("1m");
  ASSERT_TRUE(drive.ok()) << "mounting a tmpfs needs root";
  EXPECT_EQ(InstallInto("D:\\Apps\\Quenlith\\", 1000000).exitCode, -4);
  const std::string log = Log();
  EXPECT_NE(log.find("Disk size at \"D:\\Apps\\Quenlith\\\" is 1,048,576 (2,000,000 required)."), std::string::npos)
      << log;
  EXPECT_NE(log.find("Exiting, no disk space available."), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(drive.path() / "Apps"));
  wine_.RemoveSetupLogs();

  // Half the free space is enough.
  EXPECT_EQ(InstallInto("D:\\Apps\\Quenlith\\", 400000).exitCode, 0);
  EXPECT_TRUE(std::filesystem::exists(drive.path() / "Apps" / "Quenlith" / "readme.txt"));
}

TEST_F(DestinationTest, AnExistingFolderThatCannotBeWrittenEndsWithMinusThree) {
  SmallDrive drive("4m");
  ASSERT_TRUE(drive.ok()) << "mounting a tmpfs needs root";
  std::filesystem::create_directories(drive.path() / "Quenlith");
  ASSERT_TRUE(drive.MakeReadOnly());
  const harness::RunResult result = InstallInto("D:\\Quenlith\\");
  EXPECT_FALSE(result.timedOut) << "no message box may wait in a silent run";
  EXPECT_EQ(result.exitCode, -3);
  const std::string log = Log();
  EXPECT_NE(log.find("Directory exists, testing writability."), std::string::npos) << log;
  EXPECT_NE(log.find("Unable to write to directory \"D:\\Quenlith\\\"."), std::string::npos) << log;
  EXPECT_NE(log.find("Exiting, unable to validate directory."), std::string::npos) << log;
}

// Packages that are not the product itself: where their keys put them, with
// no earlier installation or the one an uninstall entry records.
class DefaultDestinationTest : public e2e::E2eTest {
 protected:
  DefaultDestinationTest()
      : E2eTest({ProgramFiles() + "\\Quenlith", ProgramFiles() + "\\Skins", "C:\\ProgramData\\Quenlith",
                 "C:\\QuenlithApps", "C:\\Quenlith Elsewhere"},
                {kUninstallKey}) {}
  void Clean() override {
    E2eTest::Clean();
    std::filesystem::remove(wine_.LinuxPath(ProgramFiles() + "\\skin.xml"));
  }
  static std::string ProgramFiles() { return e2e::InstallerProgramFiles(); }
  // The silent run's destination as its log line names it; none without the line.
  static std::optional<std::string> LoggedDestination(const std::string& log) {
    const std::string head = "Destination directory is ";
    const std::size_t at = log.find(head);
    if (at == std::string::npos) return std::nullopt;
    const std::size_t start = at + head.size();
    std::string text = log.substr(start, log.find('\n', start) - start);
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
  }

  // Installs a silent package of one file with the [destination] `keys`,
  // whose uninstall key (never written) is "Quenlith".
  harness::RunResult Install(const std::string& keys, const std::vector<std::string>& args = {"/debug"}) {
    const std::filesystem::path package = e2e::BuildTestPackage(
        dir_.path(), {{"skin.xml", "<skin/>"}},
        "[install]\nInstallerSilent=1\n[destination]\n" + keys +
            "[setup]\nSetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=Quenlith\n");
    std::vector<std::string> command = args;
    command.insert(command.begin(), package.string());
    return wine_.Run(command, 120);
  }
};

TEST_F(DefaultDestinationTest, TheScriptsKeysChooseTheFolder) {
  const std::string pf = ProgramFiles();
  const struct {
    const char* what;
    std::string keys;
    const char* earlier;      // the UninstallString of an earlier installation; none: not installed
    std::string destination;  // as logged; empty: there is none, and the run ends with -3
  } cases[] = {
      {"product folder", "DestinationQuenlith=1\n", nullptr, pf + "\\Quenlith\\"},
      {"plug-ins below the product folder",
       "DestinationQuenlith=1\nDestinationQuenlithPlugins=1\nDestinationDirectoryCreate=1\n"
       "DestinationDirectoryTitle=plugins\n",
       nullptr, pf + "\\Quenlith\\plugins\\"},
      {"skins below an earlier installation",
       "DestinationQuenlith=1\nDestinationQuenlithSkins=1\nDestinationDirectoryCreate=1\nDestinationDirectoryTitle=Skins\n",
       "C:\\QuenlithApps\\Quenlith\\Quenlith.exe /uninstall", "C:\\QuenlithApps\\Quenlith\\Skins\\"},
      {"an earlier entry naming no folder", "DestinationQuenlith=1\n", "Quenlith.exe /uninstall", pf + "\\Quenlith\\"},
      {"program files itself", "DestinationProgramFiles=1\n", nullptr, pf},
      {"a folder in program files", "DestinationProgramFiles=1\nDestinationDirectoryCreate=1\nDestinationDirectoryTitle=Skins\n",
       nullptr, pf + "\\Skins\\"},
      {"program files before the product folder",
       "DestinationQuenlith=1\nDestinationProgramFiles=1\nDestinationDirectoryCreate=1\nDestinationDirectoryTitle=Skins\n",
       "C:\\QuenlithApps\\Quenlith\\Quenlith.exe /uninstall", pf + "\\Skins\\"},
      {"a folder in program data",
       "DestinationProgramData=1\nDestinationDirectoryCreate=1\nDestinationDirectoryTitle=Skins\n", nullptr,
       "C:\\ProgramData\\Quenlith\\bin\\Skins\\"},
      {"the folder dialog's plug-in key alone",
       "DestinationQuenlithPlugins=1\nDestinationDirectoryCreate=1\nDestinationDirectoryTitle=plugins\n", nullptr, ""},
      {"the folder dialog's skins key alone", "DestinationQuenlithSkins=1\n", nullptr, ""},
      {"a key with no effect on the destination", "DestinationQuenlithPelko=1\n", nullptr, ""},
  };
  for (const auto& c : cases) {
    if (c.earlier)
      wine_.RunInEnvironment({"wine", "reg", "add", kUninstallKey, "/v", "UninstallString", "/d", c.earlier, "/f"});
    const harness::RunResult result = Install(c.keys);
    const std::string log = e2e::OnlySetupLog(wine_);
    EXPECT_EQ(LoggedDestination(log), c.destination) << c.what << "\n" << log;
    if (c.destination.empty()) {
      EXPECT_EQ(result.exitCode, -3) << c.what;
      EXPECT_NE(log.find("Exiting, unable to validate directory."), std::string::npos) << c.what << "\n" << log;
      EXPECT_EQ(log.find("Copying files to location."), std::string::npos) << c.what;
    } else {
      EXPECT_EQ(result.exitCode, 0) << c.what << "\n" << result.output;
      const std::string file = c.destination + (c.destination.back() == '\\' ? "" : "\\") + "skin.xml";
      EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath(file))) << c.what << ": " << file;
    }
    Clean();
  }
}

TEST_F(DefaultDestinationTest, ASilentRunIgnoresTheLocationSwitch) {
  const harness::RunResult result =
      Install("DestinationQuenlith=1\nDestinationDirectoryCreate=1\nDestinationDirectoryTitle=Skins\n",
              {"/debug", "/location", "C:\\Quenlith Elsewhere\\"});
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath(ProgramFiles() + "\\Quenlith\\Skins\\skin.xml")));
  EXPECT_FALSE(std::filesystem::exists(wine_.LinuxPath("C:\\Quenlith Elsewhere")));
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_EQ(LoggedDestination(log), ProgramFiles() + "\\Quenlith\\Skins\\") << log;
  EXPECT_EQ(log.find("overridden"), std::string::npos) << log;
}

}  // namespace
