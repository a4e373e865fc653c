#include "integration/settings.h"

#include <shlobj.h>

#include <cstddef>
#include <cstdio>

#include "log/setup_log.h"
#include "platform/paths.h"
#include "user/user_context.h"
#include "platform/profile.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

void CreateFolder(const std::string& path) { CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr); }

std::string PluginKey(int record, const char* field) {
  char key[32];
  std::snprintf(key, sizeof key, "Plugin%02d %s", record, field);
  return key;
}

}  // namespace

std::optional<std::string> UserSettingsFile() {
  std::optional<std::string> folder = ShellFolderPath(CSIDL_APPDATA, ShellUserToken());
  if (!folder || folder->empty()) return std::nullopt;
  for (const char* name : {"Quenlith", "users", "global"}) {
    folder = JoinFolder(*folder, name);
    if (!folder) return std::nullopt;
    CreateFolder(*folder);
  }
  return JoinPath(*folder, "quenlith.ini");
}

void MarkFirstRun() {
  const std::optional<std::string> settings = UserSettingsFile();
  if (!settings) return;
  LOG_NORMAL("Marking firstrun and shortcuts configured to \"{}\".", *settings);
  WriteProfileValue(*settings, "Install", "FirstRun", "1");
  WriteProfileValue(*settings, "Install", "Shortcuts", "1");
}

void AddAutoInstallPlugins(const InstallerConfig& config, const std::string& destination) {
  if (config.pluginAutoInstall == 0) return;
  const std::optional<std::string> users = JoinFolder(destination, "users");
  const std::optional<std::string> global = users ? JoinFolder(*users, "global") : std::nullopt;
  const std::optional<std::string> list = global ? JoinPath(*global, "plugins.ini") : std::nullopt;
  if (!list) {
    LOG_WARNING("Skipping the plugin list: the path is too long.");
    return;
  }
  CreateFolder(*users);
  CreateFolder(*global);
  const int existing = ReadProfileInt(*list, "Plugins", "Number", 0);
  WriteProfileValue(*list, "Plugins", "Number", std::to_string(existing + config.pluginAutoInstallNum));
  for (int i = 0; i < config.pluginAutoInstallNum; ++i) {
    const std::size_t index = static_cast<std::size_t>(i);
    const std::string link =
        index < config.pluginAutoInstallLink.size() ? config.pluginAutoInstallLink[index] : "";
    const std::string guid =
        index < config.pluginAutoInstallGuid.size() ? config.pluginAutoInstallGuid[index] : "";
    const std::optional<std::string> plugins = JoinFolder(destination, "plugins");
    const std::optional<std::string> file = plugins ? JoinPath(*plugins, link) : std::nullopt;
    if (!file) {
      LOG_WARNING("Skipping plugin \"{}\": its path is too long.", link);
      continue;
    }
    const int record = existing + i;
    WriteProfileValue(*list, "Plugins", PluginKey(record, "Filename"), *file);
    WriteProfileValue(*list, "Plugins", PluginKey(record, "Enabled"), "1");
    WriteProfileValue(*list, "Plugins", PluginKey(record, "NoLoad"), "0");
    WriteProfileValue(*list, "Plugins", PluginKey(record, "GUID"), guid);
  }
}
