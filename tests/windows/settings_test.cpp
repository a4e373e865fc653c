// The product settings the installer writes: the first-run marks in the
// user's settings and the plugins added to the plugin list.

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <string>

#include "integration/settings.h"
#include "state/run_state.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

class SettingsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    destination_ = FolderOf(CSIDL_COMMON_APPDATA) + "QuenlithSettingsTest\\";
    fs::remove_all(Native(destination_));
    fs::create_directories(Native(destination_));
    fs::remove_all(Native(FolderOf(CSIDL_APPDATA) + "Quenlith"));
  }
  void TearDown() override {
    fs::remove_all(Native(destination_));
    fs::remove_all(Native(FolderOf(CSIDL_APPDATA) + "Quenlith"));
    MachineTest::TearDown();
  }
  std::string destination_;
};

TEST_F(SettingsTest, FirstRunMarksGoToTheUsersSettingsAndKeepTheOtherKeys) {
  const std::string settings = FolderOf(CSIDL_APPDATA) + "Quenlith\\users\\global\\quenlith.ini";
  MarkFirstRun();
  const std::string fresh = ReadText(settings);
  EXPECT_NE(fresh.find("[Install]"), std::string::npos) << fresh;
  EXPECT_NE(fresh.find("FirstRun=1"), std::string::npos) << fresh;
  EXPECT_NE(fresh.find("Shortcuts=1"), std::string::npos) << fresh;
  EXPECT_NE(TestLog().find("Marking firstrun and shortcuts configured to \"" + settings + "\"."), std::string::npos);

  WriteText(settings, "[Install]\r\nFirstRun=0\r\nTheme=dark\r\n[Other]\r\nKey=value\r\n");
  MarkFirstRun();
  const std::string kept = ReadText(settings);
  for (const char* part : {"FirstRun=1", "Shortcuts=1", "Theme=dark", "[Other]", "Key=value"})
    EXPECT_NE(kept.find(part), std::string::npos) << part << "\n" << kept;
}

TEST_F(SettingsTest, PluginsAreAppendedAfterTheExistingRecords) {
  InstallerConfig& c = installerConfig;
  c.pluginAutoInstall = 1;
  c.pluginAutoInstallNum = 2;
  c.pluginAutoInstallLink = {"weather.dll", "music.dll"};
  c.pluginAutoInstallGuid = {"{11111111-2222-3333-4444-555555555555}", ""};
  const std::string list = destination_ + "users\\global\\plugins.ini";

  AddAutoInstallPlugins(installerConfig, destination_);
  std::string text = ReadText(list);
  EXPECT_NE(text.find("Number=2"), std::string::npos) << text;
  EXPECT_NE(text.find("Plugin00 Filename=" + destination_ + "plugins\\weather.dll"), std::string::npos) << text;
  EXPECT_NE(text.find("Plugin00 GUID={11111111-2222-3333-4444-555555555555}"), std::string::npos) << text;
  EXPECT_NE(text.find("Plugin01 Filename=" + destination_ + "plugins\\music.dll"), std::string::npos) << text;
  EXPECT_NE(text.find("Plugin01 GUID=\r\n"), std::string::npos) << "an empty GUID is written empty\n" << text;

  WriteText(list, "[Plugins]\r\nNumber=5\r\n");
  AddAutoInstallPlugins(installerConfig, destination_);
  text = ReadText(list);
  EXPECT_NE(text.find("Number=7"), std::string::npos) << text;
  for (const char* part : {"Plugin05 Filename=", "Plugin05 Enabled=1", "Plugin05 NoLoad=0", "Plugin06 Filename=",
                           "Plugin06 GUID="})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  EXPECT_EQ(text.find("Plugin00"), std::string::npos) << text;

  fs::remove(Native(list));
  c.pluginAutoInstall = 0;
  AddAutoInstallPlugins(installerConfig, destination_);
  EXPECT_FALSE(Exists(list));
}

}  // namespace
