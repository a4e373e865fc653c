#include "try/prefix_facts.h"

#include "try/options.h"
#include "try/text.h"
#include "try/wine_registry.h"

namespace quenlith_try {
namespace fs = std::filesystem;

namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The names directly in a folder; a folder's name ends in '/'.
std::set<std::string> EntriesOf(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    names.insert(entry.path().filename().string() + (entry.is_directory(error) ? "/" : ""));
  return names;
}

// The prefix's own user: the folder under users with a desktop, not Public.
std::string PrefixUser(const fs::path& driveC) {
  std::error_code error;
  for (const auto& user : fs::directory_iterator(driveC / "users", error))
    if (user.path().filename() != "Public" && fs::is_directory(user.path() / "Desktop"))
      return user.path().filename().string();
  throw NotRun("the prefix has no user with a desktop");
}

}  // namespace

Prefix::Prefix(const fs::path& runFolder)
    : runFolder_(runFolder),
      driveC_(runFolder / "prefix" / "drive_c"),
      profile_("users/" + PrefixUser(driveC_)),
      temp_(profile_ + "/AppData/Local/Temp") {}

PrefixSnapshot Prefix::Snapshot() const {
  // Wine's own folder changes with every program it starts, and the
  // platform's WinINet cookies and cache with every state report; the
  // temporary folder is reported on its own.
  const std::vector<std::string> skip = {"windows", temp_, profile_ + "/AppData/Local/Microsoft/Windows"};
  return {SnapshotTree(driveC_, skip, runFolder_), EntriesOf(driveC_ / temp_)};
}

RunFacts Prefix::FactsBetween(const PrefixSnapshot& before, const PrefixSnapshot& after) const {
  RunFacts facts;
  const std::vector<std::string> written = WrittenFiles(before.tree, after.tree);
  facts.filesWritten = written.size();
  for (const std::string& path : written) facts.bytesWritten += after.tree.at(path).size;
  facts.groups = GroupWrittenFiles(before.tree, after.tree, written);
  for (const std::string& path : written) {
    const std::string name = fs::path(path).filename().string();
    if (EndsWithIgnoringCase(name, ".lnk")) {
      if (std::optional<ShellLink> link = ParseShellLink(ReadText(driveC_ / path)))
        facts.shortcuts.push_back({DriveCPath(path), *link});
    } else if (EndsWithIgnoringCase(path, "users/global/plugins.ini")) {
      facts.pluginLists.push_back({DriveCPath(path), ReadText(driveC_ / path)});
    } else if (path == profile_ + "/AppData/Roaming/Quenlith/users/global/quenlith.ini") {
      facts.settings = TextFile{DriveCPath(path), ReadText(driveC_ / path)};
    } else if (path.rfind(profile_ + "/Desktop/Quenlith-setup-", 0) == 0 && EndsWithIgnoringCase(path, ".log")) {
      facts.log = TextFile{DriveCPath(path), ReadText(driveC_ / path)};
    }
  }
  facts.uninstallEntries = UninstallEntries();
  for (const std::string& name : after.temp)
    if (!before.temp.count(name)) facts.tempLeft.push_back(DriveCPath(temp_ + "/" + name));
  return facts;
}

std::vector<UninstallEntry> Prefix::UninstallEntries() const {
  std::vector<UninstallEntry> entries;
  const RegistryFile registry = ReadRegistryFile(runFolder_ / "prefix" / "user.reg");
  const std::string below = std::string(kUninstallKey) + "\\";
  for (const auto& [key, values] : registry)
    if (key.rfind(below, 0) == 0 && key.find('\\', below.size()) == std::string::npos)
      entries.push_back({key, values});
  return entries;
}

}  // namespace quenlith_try
