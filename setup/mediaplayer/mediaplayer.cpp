#include "mediaplayer/mediaplayer.h"

#include <windows.h>

#include "log/setup_log.h"
#include "user/user_context.h"
#include "platform/registry.h"

namespace {

constexpr const char* kClassKey = "Software\\Classes\\CLSID\\{B7125B4E-CA73-47f1-AEAA-6B3EFA553F5A}";
constexpr const char* kServerKey =
    "Software\\Classes\\CLSID\\{B7125B4E-CA73-47f1-AEAA-6B3EFA553F5A}\\InProcServer32";
constexpr const char* kPluginsKey = "Software\\Microsoft\\MediaPlayer\\UIPlugins";
constexpr const char* kPluginKey =
    "Software\\Microsoft\\MediaPlayer\\UIPlugins\\{B7125B4E-CA73-47f1-AEAA-6B3EFA553F5A}";

long LastError() { return static_cast<long>(GetLastError()); }

}  // namespace

void RegisterMediaPlayerPlugin(const std::string& pluginPath) {
  const HKEY root = UserRegistryRoot();
  const std::string detection = UserKeyPath(kPluginsKey);
  LOG_NORMAL("MediaPlayer: Searching for media player settings at \"{}\".", detection);
  if (!OpenRegistryKeyForReading(root, detection)) {
    LOG_NORMAL("MediaPlayer: Error detecting media player ({}).", LastError());
    return;
  }
  LOG_NORMAL("MediaPlayer: Installed.");

  const std::string classKey = UserKeyPath(kClassKey);
  LOG_NORMAL("MediaPlayer: Creating key at \"{}\".", classKey);
  if (const RegistryKey key = CreateRegistryKey(root, classKey)) {
    LOG_NORMAL("MediaPlayer: Registering as a clsid in current user.");
    SetRegistryText(key.get(), "", "Quenlith", false);
  } else {
    LOG_NORMAL("MediaPlayer: Error registering as a clsid in current user ({}).", LastError());
  }

  const std::string serverKey = UserKeyPath(kServerKey);
  LOG_NORMAL("MediaPlayer: Creating proc server key at \"{}\".", serverKey);
  if (const RegistryKey key = CreateRegistryKey(root, serverKey)) {
    LOG_NORMAL("MediaPlayer: Creating proc server \"{}\" in root.", pluginPath);
    SetRegistryText(key.get(), "", pluginPath, false);
    SetRegistryText(key.get(), "ThreadingModel", "Apartment");
  } else {
    LOG_NORMAL("MediaPlayer: Error creating proc server in current user ({}).", LastError());
  }

  const std::string pluginKey = UserKeyPath(kPluginKey);
  LOG_NORMAL("MediaPlayer: Creating media player plugin key at \"{}\".", pluginKey);
  const RegistryKey key = CreateRegistryKey(root, pluginKey);
  if (!key) {
    LOG_NORMAL("MediaPlayer: Error creating media player plugin on current user ({}).", LastError());
    return;
  }
  LOG_NORMAL("MediaPlayer: Creating media player plugin on current user.");
  SetRegistryDword(key.get(), "Running", 1);
  SetRegistryDword(key.get(), "Capabilities", 1);
  SetRegistryText(key.get(), "Description", "Allows Quenlith to set your status message to currently playing song.");
  SetRegistryText(key.get(), "FriendlyName", "Quenlith");
}
