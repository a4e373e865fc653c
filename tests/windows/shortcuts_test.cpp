// Shortcuts on the desktop, in the start menu and in the startup folder,
// read back through the shell.

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <optional>
#include <string>

#include "integration/shortcuts.h"
#include "state/run_state.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

class ShortcutTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    InstallerConfig& c = installerConfig;
    c.setupDesktopIconNum = 2;
    c.setupDesktopIconLink = {"Quenlith.exe", "tools\\helper.exe"};
    c.setupDesktopIconTitle = {"Quenlith Test", "Quenlith Helper Test"};
    c.setupDesktopIconDescription = {"Chat with your friends", ""};
    c.setupDesktopIconResource = {-1, 0};
    c.setupDesktopIconArguments = {"", "/helper"};
    c.setupStartMenuNum = 1;
    c.setupStartMenuLink = {"Quenlith.exe"};
    c.setupStartMenuTitle = {"Quenlith Test"};
    c.setupStartMenuDescription = {"Start menu"};
    c.setupStartMenuResource = {-1};
    c.setupStartMenuArguments = {""};
    c.launchParameters = "/runnormal";
    Clean();
  }
  void TearDown() override {
    Clean();
    MachineTest::TearDown();
  }
  void Clean() {
    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS})
      for (const char* name : {"Quenlith Test.lnk", "Quenlith Helper Test.lnk"})
        fs::remove(Native(FolderOf(csidl) + name));
    fs::remove_all(Native(FolderOf(CSIDL_PROGRAMS) + "Quenlith Folder Test"));
    fs::remove(Native(FolderOf(CSIDL_STARTUP) + "Quenlith.lnk"));
    fs::remove(Native(FolderOf(CSIDL_COMMON_STARTUP) + "Quenlith.lnk"));
  }
  const std::string destination_ = "C:\\ProgramData\\Quenlith\\bin\\";
};

TEST_F(ShortcutTest, DesktopEntriesCarryTheirFieldsAndTheIconOnlyWithAResource) {
  CreateDesktopShortcuts(installerConfig, "C:\\ProgramData\\Quenlith\\bin");
  const std::optional<LinkFields> main = ReadLink(FolderOf(CSIDL_DESKTOPDIRECTORY) + "Quenlith Test.lnk");
  ASSERT_TRUE(main.has_value());
  EXPECT_EQ(main->target, destination_ + "Quenlith.exe");
  EXPECT_EQ(main->workingDirectory, destination_);
  EXPECT_EQ(main->description, "Chat with your friends");
  EXPECT_EQ(main->arguments, "");
  EXPECT_EQ(main->iconPath, "") << "resource -1: no icon location";

  const std::optional<LinkFields> helper = ReadLink(FolderOf(CSIDL_DESKTOPDIRECTORY) + "Quenlith Helper Test.lnk");
  ASSERT_TRUE(helper.has_value());
  EXPECT_EQ(helper->target, destination_ + "tools\\helper.exe");
  EXPECT_EQ(helper->arguments, "/helper");
  EXPECT_EQ(helper->iconPath, destination_ + "tools\\helper.exe");
  EXPECT_EQ(helper->iconIndex, 1) << "the index is 1 whatever the resource value";
  EXPECT_NE(TestLog().find("Shortcut successfully created for \"" + FolderOf(CSIDL_DESKTOPDIRECTORY) + "Quenlith Test.lnk\"."),
            std::string::npos) << TestLog();
}

TEST_F(ShortcutTest, AnAllUsersCopySuppressesTheUsersShortcut) {
  WriteText(FolderOf(CSIDL_COMMON_DESKTOPDIRECTORY) + "Quenlith Test.lnk", "existing");
  CreateDesktopShortcuts(installerConfig, destination_);
  EXPECT_FALSE(Exists(FolderOf(CSIDL_DESKTOPDIRECTORY) + "Quenlith Test.lnk"));
  EXPECT_TRUE(Exists(FolderOf(CSIDL_DESKTOPDIRECTORY) + "Quenlith Helper Test.lnk"));
  EXPECT_EQ(ReadText(FolderOf(CSIDL_COMMON_DESKTOPDIRECTORY) + "Quenlith Test.lnk"), "existing");
  EXPECT_NE(TestLog().find("Skipping shortcut creation due to duplicate found \"" + FolderOf(CSIDL_COMMON_DESKTOPDIRECTORY) +
                       "Quenlith Test.lnk\" vs \"" + FolderOf(CSIDL_DESKTOPDIRECTORY) + "Quenlith Test.lnk\"."),
            std::string::npos) << TestLog();
}

TEST_F(ShortcutTest, StartMenuShortcutsGoIntoTheScriptsFolderButTheDuplicateTestDoesNot) {
  installerConfig.setupStartMenuDirectory = "Quenlith Folder Test";
  CreateStartMenuShortcuts(installerConfig, destination_);
  const std::optional<LinkFields> link = ReadLink(FolderOf(CSIDL_PROGRAMS) + "Quenlith Folder Test\\Quenlith Test.lnk");
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->description, "Start menu");
  EXPECT_FALSE(Exists(FolderOf(CSIDL_PROGRAMS) + "Quenlith Test.lnk"));

  fs::remove_all(Native(FolderOf(CSIDL_PROGRAMS) + "Quenlith Folder Test"));
  WriteText(FolderOf(CSIDL_COMMON_PROGRAMS) + "Quenlith Test.lnk", "existing");
  installerConfig.setupStartMenuDirectory = "Quenlith Folder Test";
  CreateStartMenuShortcuts(installerConfig, destination_);
  EXPECT_FALSE(Exists(FolderOf(CSIDL_PROGRAMS) + "Quenlith Folder Test\\Quenlith Test.lnk"));

  installerConfig.setupStartMenuNum = 0;
  fs::remove(Native(FolderOf(CSIDL_COMMON_PROGRAMS) + "Quenlith Test.lnk"));
  installerConfig.setupStartMenuDirectory = "";
  CreateStartMenuShortcuts(installerConfig, destination_);
  EXPECT_FALSE(Exists(FolderOf(CSIDL_PROGRAMS) + "Quenlith Test.lnk")) << "a count of 0 makes none";
}

TEST_F(ShortcutTest, TheStartupShortcutHasNeitherArgumentsNorDescription) {
  CreateStartupShortcut(destination_);
  const std::optional<LinkFields> link = ReadLink(FolderOf(CSIDL_STARTUP) + "Quenlith.lnk");
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->target, destination_ + "Quenlith.exe");
  EXPECT_EQ(link->workingDirectory, destination_);
  EXPECT_EQ(link->arguments, "");
  EXPECT_EQ(link->description, "");
  EXPECT_EQ(link->iconPath, "");

  fs::remove(Native(FolderOf(CSIDL_STARTUP) + "Quenlith.lnk"));
  WriteText(FolderOf(CSIDL_COMMON_STARTUP) + "Quenlith.lnk", "existing");
  CreateStartupShortcut(destination_);
  EXPECT_FALSE(Exists(FolderOf(CSIDL_STARTUP) + "Quenlith.lnk"));
}

TEST_F(ShortcutTest, AShortcutThatCannotBeSavedIsAWarningAndTheNextIsStillMade) {
  CreateShellLink("C:\\no such folder\\Quenlith Test.lnk", destination_, destination_ + "Quenlith.exe", -1,
                  std::nullopt, std::nullopt, std::nullopt);
  const std::string log = TestLog();
  EXPECT_NE(log.find("WARNING"), std::string::npos) << log;
  EXPECT_NE(log.find("Failed to create shortcut for \"C:\\no such folder\\Quenlith Test.lnk\" (-"), std::string::npos)
      << log;
  CreateStartupShortcut(destination_);
  EXPECT_TRUE(Exists(FolderOf(CSIDL_STARTUP) + "Quenlith.lnk"));
}

}  // namespace
