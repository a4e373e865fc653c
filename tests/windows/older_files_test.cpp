// The clean-up of earlier installations: the script's old file names and
// a copy in program files left behind when the product moved.

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "destination/destination.h"
#include "integration/older_files.h"
#include "platform/text.h"
#include "state/run_state.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

constexpr const char* kMachineEntry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith";

class OlderFilesTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    previous_ = ProgramFilesFolder() + "\\Quenlith\\";
    programData_ = ProgramDataLocation();
    Clean();
  }
  void TearDown() override {
    Clean();
    MachineTest::TearDown();
  }
  void Clean() {
    fs::remove_all(Native(previous_));
    fs::remove_all(Native(FolderOf(CSIDL_COMMON_APPDATA) + "QuenlithOlderTest"));
    DeleteTree(HKEY_LOCAL_MACHINE, kMachineEntry);
    DeleteTree(HKEY_CURRENT_USER, kMachineEntry);
  }
  // An earlier installation in `folder`, registered for all users, whose
  // uninstall list names `listed` (relative paths) and `extra` missing keys.
  void EarlierInstallation(const std::string& folder, const std::vector<std::string>& listed, int extra = 0) {
    std::string list = "[Uninstall]\r\nNumFiles=" + std::to_string(listed.size() + extra) + "\r\n";
    for (std::size_t i = 0; i < listed.size(); ++i) {
      char key[16];
      std::snprintf(key, sizeof key, "File%03u", static_cast<unsigned>(i));
      list += std::string(key) + "=" + folder + listed[i] + "\r\n";
      WriteText(folder + listed[i], "old");
    }
    WriteText(folder + "uninstall.ini", list);
    WriteText(folder + "quenlith.ini", "[x]\r\n");
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, WideFromUtf8(kMachineEntry).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    const std::wstring command = WideFromUtf8(folder + "Quenlith.exe /uninstall");
    RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * 2));
    RegCloseKey(key);
  }
  void Configure() {
    installerConfig.setupUninstallInformation = 1;
    installerConfig.setupUninstallInformationTitle = {"Quenlith"};
  }
  std::string previous_;
  std::string programData_;
};

TEST_F(OlderFilesTest, TheScriptsOldFileNamesAreDeletedAndTheirFoldersKept) {
  const std::string destination = FolderOf(CSIDL_COMMON_APPDATA) + "QuenlithOlderTest\\";
  WriteText(destination + "plugins\\msn.dll", "old");
  WriteText(destination + "old.dll", "old");
  WriteText(destination + "kept.dll", "new");
  installerConfig.deleteFiles = 1;
  installerConfig.deleteFilesNum = 3;
  installerConfig.deleteFilenames = {"plugins\\msn.dll", "old.dll", "never-installed.dll"};
  RemoveOlderFiles(installerConfig, destination);
  EXPECT_FALSE(Exists(destination + "plugins\\msn.dll"));
  EXPECT_FALSE(Exists(destination + "old.dll"));
  EXPECT_TRUE(Exists(destination + "plugins")) << "folders are never removed here";
  EXPECT_TRUE(Exists(destination + "kept.dll"));
  EXPECT_EQ(TestLog(), "") << "nothing is logged per file";
}

TEST_F(OlderFilesTest, TheProgramFilesCopyIsRemovedWhenTheProductMovesToProgramData) {
  Configure();
  EarlierInstallation(previous_, {"Quenlith.exe", "languages\\en\\chat.xml", "skins\\a\\b.xml"}, 1);
  RemoveProgramFilesInstallation("Quenlith", programData_);
  EXPECT_FALSE(Exists(previous_)) << "emptied: the earlier folder is gone";
  const std::string log = TestLog();
  for (const std::string& line :
       {"Previous installation " + previous_ + ". Program files " + previous_ + ".", std::string("Uninstall file list exists."),
        "Current installation " + programData_ + ". Program data " + programData_ + ".",
        "Removing previous installation from program files (\"" + previous_ + "\").",
        std::string("Previous installation has 6 files to be removed."),
        "Removing file \"" + previous_ + "Quenlith.exe\".", "Removing empty directory \"" + previous_ + "languages\\en\".",
        "Removing empty directory \"" + previous_ + "\"."})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(OlderFilesTest, UserFilesKeepTheirFoldersAndTheOtherCasesRemoveNothing) {
  Configure();
  EarlierInstallation(previous_, {"Quenlith.exe", "users\\settings.ini"});
  WriteText(previous_ + "users\\my-history.txt", "mine");
  RemoveProgramFilesInstallation("Quenlith", programData_);
  EXPECT_FALSE(Exists(previous_ + "Quenlith.exe"));
  EXPECT_FALSE(Exists(previous_ + "users\\settings.ini"));
  EXPECT_EQ(ReadText(previous_ + "users\\my-history.txt"), "mine");
  EXPECT_EQ(TestLog().find("Removing empty directory \"" + previous_ + "users\"."), std::string::npos);

  struct Case {
    const char* what;
    std::string installedAt;
    std::string destination;
    bool withList;
    const char* lastLine;
  };
  const std::string elsewhere = FolderOf(CSIDL_COMMON_APPDATA) + "QuenlithOlderTest\\";
  for (const Case& c : {Case{"new destination elsewhere", previous_, elsewhere, true, "Current installation "},
                        Case{"earlier copy outside program files", elsewhere, programData_, true, "Previous installation "},
                        Case{"no earlier uninstall list", previous_, programData_, false,
                             "Uninstall file does not exist, no removal."}}) {
    Clean();
    EarlierInstallation(c.installedAt, {"Quenlith.exe"});
    if (!c.withList) fs::remove(Native(c.installedAt + "uninstall.ini"));
    const std::size_t before = TestLog().size();
    RemoveProgramFilesInstallation("Quenlith", c.destination);
    EXPECT_TRUE(Exists(c.installedAt + "Quenlith.exe")) << c.what;
    const std::string log = TestLog().substr(before);
    EXPECT_NE(log.find(c.lastLine), std::string::npos) << c.what << "\n" << log;
    EXPECT_EQ(log.find("Removing"), std::string::npos) << c.what << "\n" << log;
  }
}

TEST(OlderFilesListTest, ListsCompareWholePathsIgnoringCase) {
  const std::vector<std::string> list = {"C:\\Program Files\\Quenlith\\Quenlith.exe", "NULL"};
  EXPECT_TRUE(IsInList("c:\\program files\\QUENLITH\\quenlith.EXE", list));
  EXPECT_FALSE(IsInList("C:\\Program Files\\Quenlith\\Quenlith.ex", list));
  EXPECT_FALSE(IsInList("C:\\Program Files\\Quenlith\\Quenlith.exe", {}));
}

}  // namespace
