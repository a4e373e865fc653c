#include "main/validation.h"

#include <cstdio>

#include "etar/etar.h"
#include "files.h"
#include "log/setup_log.h"
#include "main/messages.h"
#include "main/paths.h"
#include "main/run_state.h"
#include "text.h"

namespace {

std::uint64_t FreeBytes(const std::string& root) {
  using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  const auto query = reinterpret_cast<GetDiskFreeSpaceExFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetDiskFreeSpaceExA")));
  ULARGE_INTEGER available, total, free;
  if (query == nullptr || !query(root.c_str(), &available, &total, &free)) return 0;
  return free.QuadPart;
}

bool SetWorkingDirectory(const std::string& path) {
  return SetCurrentDirectoryW(WideFromUtf8(path).c_str()) != FALSE;
}

bool CreateFolder(const std::string& path) { return CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) != FALSE; }

bool TestWriting(const std::string& path) {
  const std::string testFile = path + "\\test.writing.txt";
  bool result = false;
  if (std::FILE* file = OpenFileUtf8(testFile, "w")) {
    std::fputs("hello", file);
    std::fclose(file);
    if (std::FILE* again = OpenFileUtf8(testFile, "r")) {
      LOG_NORMAL("Writing test is successful for \"{}\".", path);
      std::fclose(again);
      LOG_NORMAL("Setting directory permissions \"{}\".", path);
      SetDirectoryPermissions(path);
      result = true;
    }
  }
  if (!result) LOG_WARNING("Unable to write to directory \"{}\".", path);
  DeleteFileUtf8(testFile);
  return result;
}

}  // namespace

bool CheckDiskSpace(HWND owner, const std::string& path) {
  const std::uint64_t free = FreeBytes(DiskRootOf(path));
  const std::uint64_t required = RequiredBytes(
      installerConfig.setupUninstallInformationEstimatedSize.empty() ? 0
                                                                     : installerConfig.setupUninstallInformationEstimatedSize[0]);
  LOG_NORMAL("Disk size at \"{}\" is {:L} ({:L} required).", path, free, required);
  if (free == 0 || free >= required) return true;
  if (owner == nullptr) return false;
  return SetupMessageBox(owner,
                         "There does not appear to be enough space available at this location to install Quenlith. "
                         "Proceed anyway?",
                         "Insufficient disk space", MB_YESNO, IDNO) != IDNO;
}

bool CreateAndValidateDirectory(const std::string& path, HWND owner, bool quiet) {
  wchar_t previous[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, previous);
  auto fail = [&] {
    LOG_WARNING("Unable to create and validate directory.");
    SetCurrentDirectoryW(previous);
    return false;
  };
  if (SetWorkingDirectory(path)) {
    LOG_NORMAL("Directory exists, testing writability.");
    return TestWriting(path);
  }
  const std::string parent = ParentFolderOf(path);
  if (parent.empty()) {
    if (!quiet) SetupMessageBox(owner, "Unable to create directory, please change.", "Unable to create directory", MB_OK);
    return fail();
  }
  if (CreateFolder(path)) {
    LOG_NORMAL("Directory \"{}\" created.", path);
    LOG_NORMAL("Directory exists, testing writability.");
    return TestWriting(path);
  }
  if (CreateAndValidateDirectory(parent, owner, true) && CreateFolder(path)) {
    LOG_NORMAL("Directory \"{}\" created.", path);
    return TestWriting(path);
  }
  if (!quiet) SetupMessageBox(owner, path, "Unable to create directory", MB_OK);
  return fail();
}
