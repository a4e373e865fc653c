// The automatic destination: the default or the path after /location,
// created, and refused when too long or on a missing drive. The earlier
// installation that an uninstall entry records.

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <vector>

#include "destination/destination.h"
#include "destination/validation.h"
#include "messages/messages.h"
#include "platform/text.h"
#include "script/command_line.h"
#include "state/run_state.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

class AutomaticDestinationTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    SetMessageBoxesShown(false);  // no boxes in a test
    installerConfig.destinationAuto = 1;
    installerConfig.destinationProgramData = 1;
    fs::remove_all(Native(folder_));
  }
  void TearDown() override {
    fs::remove_all(Native(folder_));
    setupCommandLine = CommandLine("");
    destinationDir.clear();
    MachineTest::TearDown();
  }
  const std::string folder_ = FolderOf(CSIDL_COMMON_APPDATA) + "QuenlithAutoTest";
};

TEST_F(AutomaticDestinationTest, TakesTheDefaultOrThePathAfterLocationAndCreatesIt) {
  setupCommandLine = CommandLine("/debug");
  EXPECT_TRUE(ChooseAutomaticDestination(nullptr, installerConfig, setupCommandLine, destinationDir));
  EXPECT_EQ(destinationDir, ProgramDataLocation());
  EXPECT_TRUE(Exists(destinationDir));
  EXPECT_NE(TestLog().find("UI-based installation will automatically choose destination."), std::string::npos);
  EXPECT_NE(TestLog().find("Destination is \"" + ProgramDataLocation() + "\"."), std::string::npos) << TestLog();

  // Everything after "/location " to the end of the line, blanks at its end dropped.
  setupCommandLine = CommandLine("/elevate /debug /location " + folder_ + "\\My Files   ");
  EXPECT_TRUE(ChooseAutomaticDestination(nullptr, installerConfig, setupCommandLine, destinationDir));
  EXPECT_EQ(destinationDir, folder_ + "\\My Files");
  EXPECT_TRUE(Exists(folder_ + "\\My Files"));
  EXPECT_NE(TestLog().find("Destination was overridden via command line to \"" + folder_ + "\\My Files\"."),
            std::string::npos) << TestLog();
}

TEST_F(AutomaticDestinationTest, RefusesAPathTooLongOrOnADriveThatIsNotThere) {
  setupCommandLine = CommandLine("/location " + folder_ + "\\" + std::string(260, 'x'));
  EXPECT_FALSE(ChooseAutomaticDestination(nullptr, installerConfig, setupCommandLine, destinationDir));
  EXPECT_FALSE(Exists(folder_)) << "never cut short into another folder";

  setupCommandLine = CommandLine("/location Q:\\Nowhere\\Quenlith");
  EXPECT_FALSE(ChooseAutomaticDestination(nullptr, installerConfig, setupCommandLine, destinationDir));
  // A failed free-space query counts as enough; creation fails at every level.
  EXPECT_NE(TestLog().find("Exiting, unable to validate directory."), std::string::npos) << TestLog();
}

TEST_F(AutomaticDestinationTest, AnotherRunsWritingTestInTheSameFolderIsLeftAlone) {
  // A second installation checks the same folder at the same moment; its
  // test file is held open, as it is while that run writes and reads it.
  fs::create_directories(Native(folder_));
  WriteText(folder_ + "\\test.writing.txt", "other");
  const HANDLE other = CreateFileW(WideFromUtf8(folder_ + "\\test.writing.txt").c_str(), GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  wchar_t previous[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, previous);
  const DirectoryCheck check = CreateAndValidateDirectory(folder_);
  SetCurrentDirectoryW(previous);
  CloseHandle(other);
  EXPECT_EQ(check, DirectoryCheck::kReady) << TestLog();
  EXPECT_EQ(ReadText(folder_ + "\\test.writing.txt"), "other");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(Native(folder_)))
    left.push_back(Utf8FromWide(entry.path().filename().wstring()));
  EXPECT_EQ(left, std::vector<std::string>{"test.writing.txt"}) << "its own test file is gone";
}

constexpr const char* kListKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kTitle = "Quenlith Previous Test";

class PreviousInstallationTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    DeleteTree(HKEY_CURRENT_USER, Entry());
    installerConfig.destinationQuenlith = 1;
    installerConfig.setupUninstallInformationTitle = {kTitle};
  }
  void TearDown() override {
    DeleteTree(HKEY_CURRENT_USER, Entry());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, WideFromUtf8(kListKey).c_str(), L"UninstallString");
    MachineTest::TearDown();
  }
  static std::string Entry() { return std::string(kListKey) + "\\" + kTitle; }
  static void SetUninstallString(const std::string& key, const std::string& value) {
    const std::wstring text = WideFromUtf8(value);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, WideFromUtf8(key).c_str(), L"UninstallString", REG_SZ, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
};

TEST_F(PreviousInstallationTest, IsTheFolderOfTheUninstallCommandWhenItNamesOne) {
  const struct {
    const char* uninstallString;
    const char* folder;  // empty: no earlier installation
  } cases[] = {
      {"C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe /uninstall", "C:\\ProgramData\\Quenlith\\bin\\"},
      {"C:\\My Apps\\Quenlith\\Quenlith.exe /uninstall", "C:\\My Apps\\Quenlith\\"},
      {"C:\\Apps\\Quenlith\\Quenlith.exe", "C:\\Apps\\Quenlith\\"},
      {"C:\\Apps\\Quenlith\\", "C:\\Apps\\Quenlith\\"},
      {"C:\\Quenlith.exe /uninstall", "C:\\"},
      {"\\\\server\\share\\Quenlith\\Quenlith.exe /uninstall", "\\\\server\\share\\Quenlith\\"},
      // Quoted, as other programs write it: the folder of the quoted program.
      {"\"C:\\My Apps\\Quenlith\\Quenlith.exe\" /uninstall", "C:\\My Apps\\Quenlith\\"},
      {"\"C:\\Apps\\Quenlith.exe\" /log C:\\Logs\\remove.txt", "C:\\Apps\\"},
      // No folder of its own: the root of the current drive, or the working directory.
      {"Quenlith.exe /uninstall", ""},
      {"", ""},
      {"\\", ""},
      {"\\Quenlith.exe /uninstall", ""},
      {"Apps\\Quenlith.exe /uninstall", ""},
      {"C:Apps\\Quenlith.exe /uninstall", ""},
      {"\"Quenlith.exe\" /log C:\\Logs\\remove.txt", ""},
  };
  for (const auto& c : cases) {
    SetUninstallString(Entry(), c.uninstallString);
    EXPECT_EQ(FindPreviousInstallation(HKEY_CURRENT_USER, kTitle), c.folder) << c.uninstallString;
    // A package that follows the product's folder goes to program files without one.
    EXPECT_EQ(DefaultDestination(installerConfig), *c.folder ? c.folder : ProgramFilesLocation()) << c.uninstallString;
  }
  EXPECT_NE(TestLog().find("Searching for previous installation at \"" + Entry() + "\"."), std::string::npos)
      << TestLog();
}

TEST_F(PreviousInstallationTest, WithoutATitleTheListOfProgramsIsNoInstallation) {
  SetUninstallString(kListKey, "C:\\Apps\\Quenlith\\Quenlith.exe /uninstall");
  EXPECT_EQ(FindPreviousInstallation(HKEY_CURRENT_USER, ""), "");
  installerConfig.setupUninstallInformationTitle.clear();
  EXPECT_EQ(DefaultDestination(installerConfig), ProgramFilesLocation());
}

}  // namespace
