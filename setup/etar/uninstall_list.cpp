#include "etar/uninstall_list.h"

#include <cstdio>

#include "platform/profile.h"

namespace {

constexpr const char* kSection = "Uninstall";

std::string FileKey(int index) {
  char key[16];
  std::snprintf(key, sizeof key, "File%03d", index);
  return key;
}

}  // namespace

void RecordFileCount(const std::string& listPath, int count) {
  WriteProfileValue(listPath, kSection, "NumFiles", std::to_string(count));
}

void RecordInstalledFile(const std::string& listPath, int index, const std::string& path) {
  WriteProfileValue(listPath, kSection, FileKey(index), path);
}

void ReadUninstallList(const std::string& listPath, std::vector<std::string>& list) {
  const int count = ReadProfileInt(listPath, kSection, "NumFiles", 0);
  for (int i = 0; i < count; ++i) list.push_back(ReadProfileValue(listPath, kSection, FileKey(i), "NULL"));
}
