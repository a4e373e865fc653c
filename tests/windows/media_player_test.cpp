// The media player registration: nothing without the player, and with it
// the server and the plugin with their exact bytes and log lines.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "mediaplayer/mediaplayer.h"
#include "platform/text.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

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
  const std::string log = TestLog();
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
  const std::string log = TestLog();
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

}  // namespace
