// The uninstall entry: written from the script's values joined to the
// destination, read back from the registry byte for byte, and removed.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "integration/uninstall_entry.h"
#include "platform/text.h"
#include "state/run_state.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

constexpr const char* kListKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kEntryKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith Test";
// A root of the test's own, for removals that must not reach the user's list.
constexpr const char* kScratchRoot = "Software\\Quenlith Uninstall Test";

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
    DeleteTree(HKEY_CURRENT_USER, kScratchRoot);
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
  EXPECT_NE(TestLog().find("Adding removal instructions at \"" + std::string(kEntryKey) + "\"."), std::string::npos)
      << TestLog();
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

TEST_F(UninstallEntryTest, WithoutATitleNoEntryIsWrittenAndNothingIsRemoved) {
  const std::vector<std::string> titles[] = {{}, {""}};  // no uninstall entry in the script; an empty Title0
  for (const std::vector<std::string>& title : titles) {
    installerConfig.setupUninstallInformationTitle = title;
    StartTestLog();
    WriteUninstallEntry(installerConfig, "C:\\Q\\", HKEY_CURRENT_USER);
    for (const char* name : {"DisplayName", "DisplayIcon", "UninstallString"}) {
      EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, kListKey, name).has_value())
          << name << " written into the list of every program, " << title.size() << " titles";
      RegDeleteKeyValueW(HKEY_CURRENT_USER, WideFromUtf8(kListKey).c_str(), WideFromUtf8(name).c_str());
    }
    EXPECT_NE(TestLog().find("WARNING"), std::string::npos) << TestLog();
    EXPECT_NE(TestLog().find("Skipping the uninstall entry: without a title its key would be \"" +
                             std::string(kListKey) + "\" itself."),
              std::string::npos)
        << TestLog();
  }

  // The list under a root of the test's own: alone with a value, and with a
  // sub key named like a value of an entry.
  for (const bool withSubKey : {false, true}) {
    const std::string list = std::string(kScratchRoot) + "\\" + kListKey;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WideFromUtf8(list).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Kept", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"yes"), sizeof L"yes");
    RegCloseKey(key);
    if (withSubKey) {
      ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WideFromUtf8(list + "\\DisplayName").c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      RegCloseKey(key);
    }
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WideFromUtf8(kScratchRoot).c_str(), 0, KEY_ALL_ACCESS, &root),
              ERROR_SUCCESS);
    RemoveUninstallEntry(installerConfig, root);
    RegCloseKey(root);
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, list, "Kept"), "yes") << "sub key: " << withSubKey;
    if (withSubKey) {
      EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, list + "\\DisplayName"));
    }
    DeleteTree(HKEY_CURRENT_USER, kScratchRoot);
  }
}

}  // namespace
