#include "integration/uninstall_entry.h"

#include <optional>

#include "destination/destination_rules.h"
#include "log/setup_log.h"
#include "platform/paths.h"
#include "user/user_context.h"
#include "platform/registry.h"

namespace {

// The first entry of an indexed family, or empty when the script has none.
template <typename T>
T First(const std::vector<T>& family, T fallback = T()) {
  return family.empty() ? fallback : family.front();
}

}  // namespace

void WriteUninstallEntry(const InstallerConfig& config, const std::string& destination, HKEY root) {
  if (config.setupUninstallInformation < 1) return;
  const std::string title = UninstallTitle(config);
  std::string keyPath = UninstallKeyPath(title);
  if (keyPath.empty()) {
    // Values written there would read as an installation to every later package.
    const std::string list(kUninstallListKey);
    LOG_WARNING("Skipping the uninstall entry: without a title its key would be \"{}\" itself.",
                root == HKEY_CURRENT_USER ? UserKeyPath(list) : list);
    return;
  }
  if (Utf16Length(keyPath) > kMaxPathLength) {
    LOG_WARNING("Skipping the uninstall entry: the key \"{}\" is too long.", keyPath);
    return;
  }
  if (root == HKEY_CURRENT_USER) {
    root = UserRegistryRoot();
    keyPath = UserKeyPath(keyPath);
  }
  LOG_NORMAL("Adding removal instructions at \"{}\".", keyPath);
  const RegistryKey key = CreateRegistryKey(root, keyPath);
  if (!key) return;

  const std::optional<std::string> command =
      JoinPath(destination, First(config.setupUninstallInformationLink));
  const std::optional<std::string> icon = JoinPath(destination, First(config.setupUninstallInformationIcon));
  if (!SetRegistryText(key.get(), "DisplayName", title)) return;
  if (icon)
    SetRegistryText(key.get(), "DisplayIcon", *icon);
  else
    LOG_WARNING("Skipping the uninstall icon: the path is too long.");
  const std::string publisher = First(config.setupUninstallInformationPublisher);
  if (!publisher.empty()) SetRegistryText(key.get(), "Publisher", publisher);
  const std::int32_t size = First(config.setupUninstallInformationEstimatedSize, 0);
  if (size != 0) SetRegistryDword(key.get(), "EstimatedSize", static_cast<std::uint32_t>(size) / 1024);
  const std::string version = First(config.setupUninstallInformationDisplayVersion);
  if (!version.empty()) SetRegistryText(key.get(), "DisplayVersion", version);
  if (command)
    SetRegistryText(key.get(), "UninstallString", *command);
  else
    LOG_WARNING("Skipping the uninstall command: the path is too long.");
}

void RemoveUninstallEntry(const InstallerConfig& config, HKEY root) {
  if (config.setupUninstallInformation < 1) return;
  const std::string entry = UninstallKeyPath(UninstallTitle(config));
  if (entry.empty()) return;  // the list of every program, not an entry
  for (const char* value :
       {"DisplayName", "DisplayIcon", "Publisher", "EstimatedSize", "DisplayVersion", "UninstallString"})
    DeleteRegistryKey(root, entry + "\\" + value);
  DeleteRegistryKey(root, entry);
}
