#include "destination/validation.h"

#include <cstdio>
#include <optional>

#include "etar/etar.h"
#include "platform/files.h"
#include "platform/held_file.h"
#include "log/setup_log.h"
#include "platform/paths.h"
#include "platform/text.h"

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

// A folder another run created a moment ago serves as well as one made here.
bool CreateFolder(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The test file is the run's own, created under a free name (another run
// may be testing the same folder at the same time) and deleted when closed.
bool TestWriting(const std::string& path) {
  bool result = false;
  if (std::optional<HeldFile> test = HeldFile::Create(path, "test.writing.txt", true)) {
    // The five bytes must reach the disk: a full drive opens files but takes nothing.
    DWORD written = 0;
    if (WriteFile(test->Handle(), "hello", 5, &written, nullptr) && written == 5 && test->ReadAll() == "hello") {
      LOG_NORMAL("Writing test is successful for \"{}\".", path);
      LOG_NORMAL("Setting directory permissions \"{}\".", path);
      SetDirectoryPermissions(path);
      result = true;
    }
  }
  if (!result) LOG_WARNING("Unable to write to directory \"{}\".", path);
  return result;
}

}  // namespace

SpaceCheck CheckDiskSpace(const std::string& path, std::int32_t installedSize) {
  SpaceCheck check;
  check.free = FreeBytes(DiskRootOf(path));
  check.required = RequiredBytes(installedSize);
  LOG_NORMAL("Disk size at \"{}\" is {:L} ({:L} required).", path, check.free, check.required);
  check.enough = check.free == 0 || check.free >= check.required;
  return check;
}

namespace {

DirectoryCheck CreateWithParents(const std::string& path) {
  wchar_t previous[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, previous);
  auto fail = [&](DirectoryCheck why) {
    LOG_WARNING("Unable to create and validate directory.");
    SetCurrentDirectoryW(previous);
    return why;
  };
  auto writable = [&] {
    if (TestWriting(path)) return DirectoryCheck::kReady;
    // A refused folder is not kept open as the working directory.
    SetCurrentDirectoryW(previous);
    return DirectoryCheck::kNotWritable;
  };
  if (SetWorkingDirectory(path)) {
    LOG_NORMAL("Directory exists, testing writability.");
    return writable();
  }
  const std::string parent = ParentFolderOf(path);
  if (parent.empty()) return fail(DirectoryCheck::kNoParent);
  if (CreateFolder(path)) {
    LOG_NORMAL("Directory \"{}\" created.", path);
    LOG_NORMAL("Directory exists, testing writability.");
    return writable();
  }
  if (CreateWithParents(parent) == DirectoryCheck::kReady && CreateFolder(path)) {
    LOG_NORMAL("Directory \"{}\" created.", path);
    return writable();
  }
  return fail(DirectoryCheck::kCannotCreate);
}

}  // namespace

DirectoryCheck CreateAndValidateDirectory(const std::string& path) {
  // A relative path names another folder for every working directory, which
  // this check itself moves (and an elevated copy starts in the system folder).
  if (!IsFullyQualified(path)) {
    LOG_WARNING("Destination \"{}\" is not a full path.", path);
    LOG_WARNING("Unable to create and validate directory.");
    return DirectoryCheck::kNoParent;
  }
  return CreateWithParents(path);
}
