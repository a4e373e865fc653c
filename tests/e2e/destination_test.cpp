// The silent run's destination checks under Wine: parents created in order,
// free space measured at the drive's root, a folder that cannot be written.
// The drives of small or read-only space are tmpfs mounts (the tests run as
// root) mapped to the prefix's D: drive.

#include <gtest/gtest.h>
#include <unistd.h>


#include "e2e_support.h"
#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;
using testing_support::ScratchDir;

const char kUninstallKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith";

using e2e::SmallDrive;

class DestinationTest : public testing::Test {
 protected:
  void SetUp() override { wine_.RemoveSetupLogs(); }
  void TearDown() override {
    wine_.RemoveSetupLogs();
    wine_.RunInEnvironment({"wine", "reg", "delete", kUninstallKey, "/f"});
  }

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

  std::string Log() { return e2e::OnlySetupLog(wine_); }

  Wine& wine_ = Wine::Get();
  ScratchDir dir_;
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

}  // namespace
