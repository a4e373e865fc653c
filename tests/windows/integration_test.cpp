// What the installer does to the machine once the files are in place,
// called directly and read back through the platform: the uninstall entry,
// shortcuts, product settings, the media player registration, the clean-up
// of earlier installations and the clean-up relaunch's parameters.

#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "log/setup_log.h"
#include "destination/destination.h"
#include "integration/launch.h"
#include "messages/messages.h"
#include "integration/older_files.h"
#include "state/run_state.h"
#include "integration/settings.h"
#include "integration/shortcuts.h"
#include "integration/uninstall_entry.h"
#include "mediaplayer/mediaplayer.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

fs::path Native(const std::string& path) { return fs::path(WideFromUtf8(path)); }

std::string ReadText(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(Native(path).parent_path());
  std::ofstream(Native(path), std::ios::binary) << text;
}

bool Exists(const std::string& path) { return fs::exists(Native(path)); }

std::string Folder(int csidl) { return ShellFolderPath(csidl, nullptr).value_or("<none>") + "\\"; }

// A registry value as stored: its type and raw bytes; none when absent.
struct RawValue {
  DWORD type = 0;
  std::string bytes;
};
std::optional<RawValue> ReadRaw(HKEY root, const std::string& key, const std::string& name) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, WideFromUtf8(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
  RawValue value;
  DWORD size = 0;
  const std::wstring wideName = WideFromUtf8(name);
  const wchar_t* valueName = name.empty() ? nullptr : wideName.c_str();
  LSTATUS status = RegQueryValueExW(handle, valueName, nullptr, &value.type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    value.bytes.resize(size);
    status = RegQueryValueExW(handle, valueName, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()),
                              &size);
  }
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

// UTF-16 bytes of `text`, with or without the terminator.
std::string Utf16Bytes(const std::string& text, bool terminated) {
  const std::wstring wide = WideFromUtf8(text) + (terminated ? std::wstring(1, L'\0') : std::wstring());
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

std::optional<std::string> ReadText(HKEY root, const std::string& key, const std::string& name) {
  const std::optional<RawValue> raw = ReadRaw(root, key, name);
  if (!raw || raw->type != REG_SZ) return std::nullopt;
  std::wstring wide(raw->bytes.size() / 2, L'\0');
  std::memcpy(wide.data(), raw->bytes.data(), wide.size() * 2);
  while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
  return Utf8FromWide(wide);
}

bool KeyExists(HKEY root, const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, WideFromUtf8(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

void DeleteTree(HKEY root, const std::string& key) { RegDeleteTreeW(root, WideFromUtf8(key).c_str()); }

// The fields of a shell link as the shell reads them back.
struct LinkFields {
  std::string target, arguments, description, workingDirectory, iconPath;
  int iconIndex = 0;
};
std::optional<LinkFields> ReadLink(const std::string& path) {
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return std::nullopt;
  IPersistFile* file = nullptr;
  std::optional<LinkFields> fields;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(WideFromUtf8(path).c_str(), STGM_READ))) {
    wchar_t text[1024];
    fields.emplace();
    if (SUCCEEDED(link->GetPath(text, 1024, nullptr, SLGP_RAWPATH))) fields->target = Utf8FromWide(text);
    if (SUCCEEDED(link->GetArguments(text, 1024))) fields->arguments = Utf8FromWide(text);
    if (SUCCEEDED(link->GetDescription(text, 1024))) fields->description = Utf8FromWide(text);
    if (SUCCEEDED(link->GetWorkingDirectory(text, 1024))) fields->workingDirectory = Utf8FromWide(text);
    if (SUCCEEDED(link->GetIconLocation(text, 1024, &fields->iconIndex))) fields->iconPath = Utf8FromWide(text);
  }
  if (file != nullptr) file->Release();
  link->Release();
  return fields;
}

// The log lines written since the fixture began.
class MachineTest : public testing::Test {
 protected:
  void SetUp() override {
    gSetupLog.Enable();
    LOG_NORMAL("Test starts.");
    logStart_ = ReadText(gSetupLog.LogPath()).size();
    saved_ = installerConfig;
  }
  void TearDown() override { installerConfig = saved_; }
  std::string Log() const { return ReadText(gSetupLog.LogPath()).substr(logStart_); }

 private:
  std::size_t logStart_ = 0;
  InstallerConfig saved_;
};

// ---------------------------------------------------------------- uninstall entry

constexpr const char* kEntryKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith Test";

class UninstallEntryTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    DeleteTree(HKEY_CURRENT_USER, kEntryKey);
    InstallerConfig& c = installerConfig;
    c.setupUninstallInformation = 1;
    c.setupUninstallInformationTitle = {"Quenlith Test"};
    c.setupUninstallInformationLink = {"Quenlith.exe /uninstall"};
    c.setupUninstallInformationIcon = {"Quenlith.exe"};
    // Script text is UTF-8; the registry must hold the same characters.
    c.setupUninstallInformationPublisher = {"Quenlith Soci\xC3\xA9t\xC3\xA9"};
    c.setupUninstallInformationDisplayVersion = {"6.6.0.18"};
    c.setupUninstallInformationEstimatedSize = {66775654};
  }
  void TearDown() override {
    DeleteTree(HKEY_CURRENT_USER, kEntryKey);
    MachineTest::TearDown();
  }
  std::optional<std::string> Value(const char* name) { return ReadText(HKEY_CURRENT_USER, kEntryKey, name); }
};

TEST_F(UninstallEntryTest, WritesTheValuesOfTheScriptJoinedToTheDestination) {
  const struct {
    const char* destination;
    const char* uninstallString;
    const char* icon;
  } cases[] = {
      {"C:\\ProgramData\\Quenlith\\bin\\", "C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe /uninstall",
       "C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe"},
      {"D:\\Quenlith", "D:\\Quenlith\\Quenlith.exe /uninstall", "D:\\Quenlith\\Quenlith.exe"},
      {"C:\\My Apps\\Quenlith\\", "C:\\My Apps\\Quenlith\\Quenlith.exe /uninstall",
       "C:\\My Apps\\Quenlith\\Quenlith.exe"},
  };
  for (const auto& c : cases) {
    WriteUninstallEntry(installerConfig, c.destination, HKEY_CURRENT_USER);
    EXPECT_EQ(Value("DisplayName"), "Quenlith Test") << c.destination;
    EXPECT_EQ(Value("UninstallString"), c.uninstallString) << c.destination;
    EXPECT_EQ(Value("DisplayIcon"), c.icon) << c.destination;
    const wchar_t publisher[] = L"Quenlith Soci\u00E9t\u00E9";
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kEntryKey, "Publisher")->bytes,
              std::string(reinterpret_cast<const char*>(publisher), sizeof publisher));
    EXPECT_EQ(Value("DisplayVersion"), "6.6.0.18");
    const std::optional<RawValue> size = ReadRaw(HKEY_CURRENT_USER, kEntryKey, "EstimatedSize");
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size->bytes, std::string("\xBA\xFE\x00\x00", 4)) << "65210 KiB";
    // Text values carry their terminator.
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kEntryKey, "DisplayName")->bytes, Utf16Bytes("Quenlith Test", true));
  }
  EXPECT_NE(Log().find("Adding removal instructions at \"" + std::string(kEntryKey) + "\"."), std::string::npos)
      << Log();
}

TEST_F(UninstallEntryTest, OptionalValuesFollowTheScript) {
  installerConfig.setupUninstallInformationEstimatedSize = {1023};
  WriteUninstallEntry(installerConfig, "C:\\Q\\", HKEY_CURRENT_USER);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kEntryKey, "EstimatedSize")->bytes, std::string(4, '\0'));

  DeleteTree(HKEY_CURRENT_USER, kEntryKey);
  installerConfig.setupUninstallInformationEstimatedSize = {0};
  installerConfig.setupUninstallInformationPublisher = {""};
  installerConfig.setupUninstallInformationDisplayVersion = {""};
  WriteUninstallEntry(installerConfig, "C:\\Q\\", HKEY_CURRENT_USER);
  EXPECT_EQ(Value("DisplayName"), "Quenlith Test");
  EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, kEntryKey, "EstimatedSize").has_value());
  EXPECT_FALSE(Value("Publisher").has_value());
  EXPECT_FALSE(Value("DisplayVersion").has_value());
  EXPECT_EQ(Value("UninstallString"), "C:\\Q\\Quenlith.exe /uninstall");

  DeleteTree(HKEY_CURRENT_USER, kEntryKey);
  installerConfig.setupUninstallInformation = 0;
  WriteUninstallEntry(installerConfig, "C:\\Q\\", HKEY_CURRENT_USER);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kEntryKey));
}

TEST_F(UninstallEntryTest, RemovalDeletesTheEntryAndSubKeysNamedLikeItsValues) {
  WriteUninstallEntry(installerConfig, "C:\\Q\\", HKEY_CURRENT_USER);
  HKEY sub = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WideFromUtf8(std::string(kEntryKey) + "\\Publisher").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(sub);

  installerConfig.setupUninstallInformation = 0;
  RemoveUninstallEntry(installerConfig, HKEY_CURRENT_USER);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kEntryKey)) << "switched off: nothing is touched";

  installerConfig.setupUninstallInformation = 1;
  RemoveUninstallEntry(installerConfig, HKEY_CURRENT_USER);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kEntryKey));
}

// ---------------------------------------------------------------- media player

constexpr const char* kPlayerKey = "Software\\Microsoft\\MediaPlayer\\UIPlugins";
constexpr const char* kPluginClass = "Software\\Classes\\CLSID\\{B7125B4E-CA73-47f1-AEAA-6B3EFA553F5A}";
constexpr const char* kPluginEntry =
    "Software\\Microsoft\\MediaPlayer\\UIPlugins\\{B7125B4E-CA73-47f1-AEAA-6B3EFA553F5A}";

class MediaPlayerTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    Clean();
  }
  void TearDown() override {
    Clean();
    MachineTest::TearDown();
  }
  void Clean() {
    DeleteTree(HKEY_CURRENT_USER, "Software\\Microsoft\\MediaPlayer");
    DeleteTree(HKEY_CURRENT_USER, kPluginClass);
  }
};

TEST_F(MediaPlayerTest, WithoutTheMediaPlayerNothingIsWritten) {
  RegisterMediaPlayerPlugin("C:\\ProgramData\\Quenlith\\bin\\events.dll");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kPluginClass));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kPlayerKey));
  const std::string log = Log();
  EXPECT_NE(log.find("MediaPlayer: Searching for media player settings at \"" + std::string(kPlayerKey) + "\"."),
            std::string::npos) << log;
  EXPECT_NE(log.find("MediaPlayer: Error detecting media player (2)."), std::string::npos) << log;
  EXPECT_EQ(log.find("MediaPlayer: Installed."), std::string::npos) << log;
}

TEST_F(MediaPlayerTest, RegistersTheServerAndThePluginWithTheirExactBytes) {
  HKEY player = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WideFromUtf8(kPlayerKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &player, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(player);
  const std::string plugin = "C:\\ProgramData\\Quenlith\\bin\\events.dll";
  RegisterMediaPlayerPlugin(plugin);

  const std::string server = std::string(kPluginClass) + "\\InProcServer32";
  const struct {
    const char* key;
    const char* name;
    DWORD type;
    std::string bytes;
  } expected[] = {
      // Both defaults are written with a count that leaves the terminator
      // out; the platform stores one anyway when the text is followed by
      // it, as Windows does, so readers always find it.
      {kPluginClass, "", REG_SZ, Utf16Bytes("Quenlith", true)},
      {server.c_str(), "", REG_SZ, Utf16Bytes(plugin, true)},
      {server.c_str(), "ThreadingModel", REG_SZ, Utf16Bytes("Apartment", true)},
      {kPluginEntry, "Running", REG_DWORD, std::string("\1\0\0\0", 4)},
      {kPluginEntry, "Capabilities", REG_DWORD, std::string("\1\0\0\0", 4)},
      {kPluginEntry, "Description", REG_SZ,
       Utf16Bytes("Allows Quenlith to set your status message to currently playing song.", true)},
      {kPluginEntry, "FriendlyName", REG_SZ, Utf16Bytes("Quenlith", true)},
  };
  for (const auto& e : expected) {
    const std::optional<RawValue> value = ReadRaw(HKEY_CURRENT_USER, e.key, e.name);
    ASSERT_TRUE(value.has_value()) << e.key << " " << e.name;
    EXPECT_EQ(value->type, e.type) << e.key << " " << e.name;
    EXPECT_EQ(value->bytes, e.bytes) << e.key << " " << e.name;
  }
  const std::string log = Log();
  std::size_t at = 0;
  for (const std::string& line : {std::string("MediaPlayer: Installed."),
                                  "MediaPlayer: Creating key at \"" + std::string(kPluginClass) + "\".",
                                  std::string("MediaPlayer: Registering as a clsid in current user."),
                                  "MediaPlayer: Creating proc server key at \"" + server + "\".",
                                  "MediaPlayer: Creating proc server \"" + plugin + "\" in root.",
                                  "MediaPlayer: Creating media player plugin key at \"" + std::string(kPluginEntry) + "\".",
                                  std::string("MediaPlayer: Creating media player plugin on current user.")}) {
    const std::size_t found = log.find(line, at);
    EXPECT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
    if (found != std::string::npos) at = found;
  }
}

// ---------------------------------------------------------------- product settings

class SettingsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    destination_ = Folder(CSIDL_COMMON_APPDATA) + "QuenlithSettingsTest\\";
    fs::remove_all(Native(destination_));
    fs::create_directories(Native(destination_));
    fs::remove_all(Native(Folder(CSIDL_APPDATA) + "Quenlith"));
  }
  void TearDown() override {
    fs::remove_all(Native(destination_));
    fs::remove_all(Native(Folder(CSIDL_APPDATA) + "Quenlith"));
    MachineTest::TearDown();
  }
  std::string destination_;
};

TEST_F(SettingsTest, FirstRunMarksGoToTheUsersSettingsAndKeepTheOtherKeys) {
  const std::string settings = Folder(CSIDL_APPDATA) + "Quenlith\\users\\global\\quenlith.ini";
  MarkFirstRun();
  const std::string fresh = ReadText(settings);
  EXPECT_NE(fresh.find("[Install]"), std::string::npos) << fresh;
  EXPECT_NE(fresh.find("FirstRun=1"), std::string::npos) << fresh;
  EXPECT_NE(fresh.find("Shortcuts=1"), std::string::npos) << fresh;
  EXPECT_NE(Log().find("Marking firstrun and shortcuts configured to \"" + settings + "\"."), std::string::npos);

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

// ---------------------------------------------------------------- shortcuts

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
        fs::remove(Native(Folder(csidl) + name));
    fs::remove_all(Native(Folder(CSIDL_PROGRAMS) + "Quenlith Folder Test"));
    fs::remove(Native(Folder(CSIDL_STARTUP) + "Quenlith.lnk"));
    fs::remove(Native(Folder(CSIDL_COMMON_STARTUP) + "Quenlith.lnk"));
  }
  const std::string destination_ = "C:\\ProgramData\\Quenlith\\bin\\";
};

TEST_F(ShortcutTest, DesktopEntriesCarryTheirFieldsAndTheIconOnlyWithAResource) {
  CreateDesktopShortcuts(installerConfig, "C:\\ProgramData\\Quenlith\\bin");
  const std::optional<LinkFields> main = ReadLink(Folder(CSIDL_DESKTOPDIRECTORY) + "Quenlith Test.lnk");
  ASSERT_TRUE(main.has_value());
  EXPECT_EQ(main->target, destination_ + "Quenlith.exe");
  EXPECT_EQ(main->workingDirectory, destination_);
  EXPECT_EQ(main->description, "Chat with your friends");
  EXPECT_EQ(main->arguments, "");
  EXPECT_EQ(main->iconPath, "") << "resource -1: no icon location";

  const std::optional<LinkFields> helper = ReadLink(Folder(CSIDL_DESKTOPDIRECTORY) + "Quenlith Helper Test.lnk");
  ASSERT_TRUE(helper.has_value());
  EXPECT_EQ(helper->target, destination_ + "tools\\helper.exe");
  EXPECT_EQ(helper->arguments, "/helper");
  EXPECT_EQ(helper->iconPath, destination_ + "tools\\helper.exe");
  EXPECT_EQ(helper->iconIndex, 1) << "the index is 1 whatever the resource value";
  EXPECT_NE(Log().find("Shortcut successfully created for \"" + Folder(CSIDL_DESKTOPDIRECTORY) + "Quenlith Test.lnk\"."),
            std::string::npos) << Log();
}

TEST_F(ShortcutTest, AnAllUsersCopySuppressesTheUsersShortcut) {
  WriteText(Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "Quenlith Test.lnk", "existing");
  CreateDesktopShortcuts(installerConfig, destination_);
  EXPECT_FALSE(Exists(Folder(CSIDL_DESKTOPDIRECTORY) + "Quenlith Test.lnk"));
  EXPECT_TRUE(Exists(Folder(CSIDL_DESKTOPDIRECTORY) + "Quenlith Helper Test.lnk"));
  EXPECT_EQ(ReadText(Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "Quenlith Test.lnk"), "existing");
  EXPECT_NE(Log().find("Skipping shortcut creation due to duplicate found \"" + Folder(CSIDL_COMMON_DESKTOPDIRECTORY) +
                       "Quenlith Test.lnk\" vs \"" + Folder(CSIDL_DESKTOPDIRECTORY) + "Quenlith Test.lnk\"."),
            std::string::npos) << Log();
}

TEST_F(ShortcutTest, StartMenuShortcutsGoIntoTheScriptsFolderButTheDuplicateTestDoesNot) {
  installerConfig.setupStartMenuDirectory = "Quenlith Folder Test";
  CreateStartMenuShortcuts(installerConfig, destination_);
  const std::optional<LinkFields> link = ReadLink(Folder(CSIDL_PROGRAMS) + "Quenlith Folder Test\\Quenlith Test.lnk");
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->description, "Start menu");
  EXPECT_FALSE(Exists(Folder(CSIDL_PROGRAMS) + "Quenlith Test.lnk"));

  fs::remove_all(Native(Folder(CSIDL_PROGRAMS) + "Quenlith Folder Test"));
  WriteText(Folder(CSIDL_COMMON_PROGRAMS) + "Quenlith Test.lnk", "existing");
  installerConfig.setupStartMenuDirectory = "Quenlith Folder Test";
  CreateStartMenuShortcuts(installerConfig, destination_);
  EXPECT_FALSE(Exists(Folder(CSIDL_PROGRAMS) + "Quenlith Folder Test\\Quenlith Test.lnk"));

  installerConfig.setupStartMenuNum = 0;
  fs::remove(Native(Folder(CSIDL_COMMON_PROGRAMS) + "Quenlith Test.lnk"));
  installerConfig.setupStartMenuDirectory = "";
  CreateStartMenuShortcuts(installerConfig, destination_);
  EXPECT_FALSE(Exists(Folder(CSIDL_PROGRAMS) + "Quenlith Test.lnk")) << "a count of 0 makes none";
}

TEST_F(ShortcutTest, TheStartupShortcutHasNeitherArgumentsNorDescription) {
  CreateStartupShortcut(destination_);
  const std::optional<LinkFields> link = ReadLink(Folder(CSIDL_STARTUP) + "Quenlith.lnk");
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->target, destination_ + "Quenlith.exe");
  EXPECT_EQ(link->workingDirectory, destination_);
  EXPECT_EQ(link->arguments, "");
  EXPECT_EQ(link->description, "");
  EXPECT_EQ(link->iconPath, "");

  fs::remove(Native(Folder(CSIDL_STARTUP) + "Quenlith.lnk"));
  WriteText(Folder(CSIDL_COMMON_STARTUP) + "Quenlith.lnk", "existing");
  CreateStartupShortcut(destination_);
  EXPECT_FALSE(Exists(Folder(CSIDL_STARTUP) + "Quenlith.lnk"));
}

TEST_F(ShortcutTest, AShortcutThatCannotBeSavedIsAWarningAndTheNextIsStillMade) {
  CreateShellLink("C:\\no such folder\\Quenlith Test.lnk", destination_, destination_ + "Quenlith.exe", -1,
                  std::nullopt, std::nullopt, std::nullopt);
  const std::string log = Log();
  EXPECT_NE(log.find("WARNING"), std::string::npos) << log;
  EXPECT_NE(log.find("Failed to create shortcut for \"C:\\no such folder\\Quenlith Test.lnk\" (-"), std::string::npos)
      << log;
  CreateStartupShortcut(destination_);
  EXPECT_TRUE(Exists(Folder(CSIDL_STARTUP) + "Quenlith.lnk"));
}

// ---------------------------------------------------------------- older files

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
    fs::remove_all(Native(Folder(CSIDL_COMMON_APPDATA) + "QuenlithOlderTest"));
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
  const std::string destination = Folder(CSIDL_COMMON_APPDATA) + "QuenlithOlderTest\\";
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
  EXPECT_EQ(Log(), "") << "nothing is logged per file";
}

TEST_F(OlderFilesTest, TheProgramFilesCopyIsRemovedWhenTheProductMovesToProgramData) {
  Configure();
  EarlierInstallation(previous_, {"Quenlith.exe", "languages\\en\\chat.xml", "skins\\a\\b.xml"}, 1);
  RemoveProgramFilesInstallation("Quenlith", programData_);
  EXPECT_FALSE(Exists(previous_)) << "emptied: the earlier folder is gone";
  const std::string log = Log();
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
  EXPECT_EQ(Log().find("Removing empty directory \"" + previous_ + "users\"."), std::string::npos);

  struct Case {
    const char* what;
    std::string installedAt;
    std::string destination;
    bool withList;
    const char* lastLine;
  };
  const std::string elsewhere = Folder(CSIDL_COMMON_APPDATA) + "QuenlithOlderTest\\";
  for (const Case& c : {Case{"new destination elsewhere", previous_, elsewhere, true, "Current installation "},
                        Case{"earlier copy outside program files", elsewhere, programData_, true, "Previous installation "},
                        Case{"no earlier uninstall list", previous_, programData_, false,
                             "Uninstall file does not exist, no removal."}}) {
    Clean();
    EarlierInstallation(c.installedAt, {"Quenlith.exe"});
    if (!c.withList) fs::remove(Native(c.installedAt + "uninstall.ini"));
    const std::size_t before = Log().size();
    RemoveProgramFilesInstallation("Quenlith", c.destination);
    EXPECT_TRUE(Exists(c.installedAt + "Quenlith.exe")) << c.what;
    const std::string log = Log().substr(before);
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

// ---------------------------------------------------------------- automatic destination

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
  const std::string folder_ = Folder(CSIDL_COMMON_APPDATA) + "QuenlithAutoTest";
};

TEST_F(AutomaticDestinationTest, TakesTheDefaultOrThePathAfterLocationAndCreatesIt) {
  setupCommandLine = CommandLine("/debug");
  EXPECT_TRUE(ChooseAutomaticDestination(nullptr, installerConfig, setupCommandLine, destinationDir));
  EXPECT_EQ(destinationDir, ProgramDataLocation());
  EXPECT_TRUE(Exists(destinationDir));
  EXPECT_NE(Log().find("UI-based installation will automatically choose destination."), std::string::npos);
  EXPECT_NE(Log().find("Destination is \"" + ProgramDataLocation() + "\"."), std::string::npos) << Log();

  // Everything after "/location " to the end of the line, blanks at its end dropped.
  setupCommandLine = CommandLine("/elevate /debug /location " + folder_ + "\\My Files   ");
  EXPECT_TRUE(ChooseAutomaticDestination(nullptr, installerConfig, setupCommandLine, destinationDir));
  EXPECT_EQ(destinationDir, folder_ + "\\My Files");
  EXPECT_TRUE(Exists(folder_ + "\\My Files"));
  EXPECT_NE(Log().find("Destination was overridden via command line to \"" + folder_ + "\\My Files\"."),
            std::string::npos) << Log();
}

TEST_F(AutomaticDestinationTest, RefusesAPathTooLongOrOnADriveThatIsNotThere) {
  setupCommandLine = CommandLine("/location " + folder_ + "\\" + std::string(260, 'x'));
  EXPECT_FALSE(ChooseAutomaticDestination(nullptr, installerConfig, setupCommandLine, destinationDir));
  EXPECT_FALSE(Exists(folder_)) << "never cut short into another folder";

  setupCommandLine = CommandLine("/location Q:\\Nowhere\\Quenlith");
  EXPECT_FALSE(ChooseAutomaticDestination(nullptr, installerConfig, setupCommandLine, destinationDir));
  // A failed free-space query counts as enough; creation fails at every level.
  EXPECT_NE(Log().find("Exiting, unable to validate directory."), std::string::npos) << Log();
}

// ---------------------------------------------------------------- clean-up relaunch

TEST(CleanupRelaunchTest, ParametersCarryTheArgumentsAfterTheProgram) {
  const struct {
    std::vector<std::string> commandLine;
    const char* parameters;
  } cases[] = {
      {{"C:\\setup.exe"}, "/noprogramfileselevation "},
      {{"C:\\setup.exe", "/prompt"}, "/noprogramfileselevation /prompt"},
      {{"C:\\setup.exe", "/location", "D:\\My Apps"}, "/noprogramfileselevation /location D:\\My Apps"},
      {{}, "/noprogramfileselevation "},
  };
  for (const auto& c : cases) EXPECT_EQ(CleanupRelaunchParameters(c.commandLine), c.parameters);
}

}  // namespace
