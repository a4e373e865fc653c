#include "etar/etar.h"

#include <windows.h>

#include <cstdio>
#include <ctime>
#include <set>
#include <vector>

#include "etar/uninstall_list.h"
#include "formats/archive.h"
#include "platform/files.h"
#include "platform/guards.h"
#include "platform/pause.h"
#include "platform/permissions.h"
#include "log/setup_log.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "formats/layout.h"
#include "platform/text.h"

namespace {

// Large enough that a file costs few reads and writes, small enough that
// memory does not depend on the payload.
constexpr std::size_t kBlock = 1 << 20;

// Stamps the file still open for writing, after its last byte, so that it
// need not be opened again.
void SetFileTimes(HANDLE output, std::int64_t fileTime) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(fileTime);
  time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(fileTime) >> 32);
  SetFileTime(output, &time, &time, &time);
}

// Opens a target as the C runtime's "wb" does (created or emptied), but
// without a C stream around the handle (under Wine each stream costs a
// further round trip to the server per file), and shared for reading only:
// a second installation at the same time must not write into a file this
// one is writing, and meets it as a locked file instead.
FileHandle OpenTarget(const std::string& target) {
  return FileHandle(CreateFileW(WideFromUtf8(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool MoveFileUtf8(const std::string& from, const std::string& to) {
  return MoveFileW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str()) != FALSE;
}

void DeleteOnRestart(const std::string& path) {
  MoveFileExW(WideFromUtf8(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// A target that cannot be opened for writing is moved aside and tried again;
// from the eleventh further attempt on, `retry` decides. Returns the open
// target, or none when `retry` said stop.
FileHandle OpenLockedTarget(const std::string& target, const RetryFile& retry) {
  // A probe of the kind that shows whether another process holds the file.
  FileHandle(CreateFileW(WideFromUtf8(target).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  LOG_WARNING("Creating file \"{}\" failed.  Moving previous file and trying again.", target);
  const std::string moved = target + ".old";
  DeleteFileUtf8(moved);
  MoveFileUtf8(target, moved);
  if (FileHandle file = OpenTarget(target)) {
    LOG_NORMAL("Marking file \"{}\" to delete on reboot.", moved);
    DeleteOnRestart(moved);
    return file;
  }
  const DWORD error = GetLastError();
  LOG_WARNING("Creating file \"{}\" failed.  Error code {}.", target, error);
  for (int attempt = 0;; ++attempt) {
    if (attempt >= 10 && !retry(FileFailure{target, error, false})) return FileHandle();
    const std::string aside = target + ".old" + std::to_string(attempt);
    DeleteFileUtf8(aside);
    MoveFileUtf8(target, aside);
    if (FileHandle file = OpenTarget(target)) {
      DeleteOnRestart(aside);
      return file;
    }
    Pause(100);
  }
}

struct TableEntry {
  archive::Entry entry;
  std::string target;
};

// Reads and checks the whole table before anything is written; a refusal is
// left in `refusal`.
std::vector<TableEntry> ReadTable(std::FILE* input, const std::string& destination, ExtractResult& refusal) {
  _fseeki64(input, 0, SEEK_END);
  const std::int64_t archiveSize = _ftelli64(input);
  _fseeki64(input, 0, SEEK_SET);
  unsigned char countBytes[archive::kCountSize] = {};
  const bool countRead = std::fread(countBytes, 1, sizeof countBytes, input) == sizeof countBytes;
  const auto count = static_cast<std::int32_t>(layout::ReadLe32(countBytes));
  auto refuse = [&refusal](ExtractStatus status, std::string detail) {
    refusal.status = status;
    refusal.detail = std::move(detail);
    return std::vector<TableEntry>();
  };
  if (const char* problem = archive::TableProblem(countRead ? count : 0, archiveSize < 0 ? 0 : archiveSize))
    return refuse(ExtractStatus::kTableRefused, problem);
  std::vector<TableEntry> table;
  table.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
  std::uint64_t declared = 0;
  unsigned char field[archive::kEntrySize];
  for (std::int32_t i = 0; i < count; ++i) {
    if (std::fread(field, 1, sizeof field, input) != sizeof field)
      return refuse(ExtractStatus::kTableRefused, "the entry table is cut short");
    TableEntry item;
    const bool terminated = archive::DecodeEntry(field, item.entry);
    if (const char* problem = archive::EntryProblem(terminated, item.entry.name))
      return refuse(ExtractStatus::kTableRefused, "entry " + std::to_string(i) + " \"" + item.entry.name + "\": " + problem);
    const std::optional<std::string> target = JoinPath(destination, item.entry.name);
    if (!target) return refuse(ExtractStatus::kPathTooLong, item.entry.name);
    item.target = *target;
    declared += item.entry.size;
    table.push_back(std::move(item));
  }
  // A table that promises more data than follows it would leave a file cut short.
  const std::uint64_t dataSize = static_cast<std::uint64_t>(archiveSize) - archive::TableSize(count);
  if (declared > dataSize)
    return refuse(ExtractStatus::kTableRefused, "its files need " + std::to_string(declared) +
                                                    " bytes of data, the archive holds " + std::to_string(dataSize));
  return table;
}

void CreateFolders(const std::string& destination, const std::string& name, std::set<std::string>& handled) {
  for (std::size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1)) {
    // Fits: the whole target path was checked with the table.
    const std::string folder = *JoinFolder(destination, name.substr(0, at));
    if (!handled.insert(folder).second) continue;
    LOG_NORMAL("Creating directory \"{}\".", folder);
    if (!CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      LOG_WARNING("Creating directory \"{}\" failed.  Error code {}.", folder, GetLastError());
    LOG_NORMAL("Setting directory permissions \"{}\".", folder);
    SetDirectoryPermissions(folder);
  }
}

}  // namespace

ExtractResult ExtractPayload(std::FILE* archive, const std::string& destination, int dateMonth, int dateDay,
                             int dateYear, const std::optional<std::string>& uninstallListPath, const RetryFile& retry) {
  const std::time_t now = std::time(nullptr);
  std::tm date = {};
  localtime_s(&date, &now);
  date.tm_mday = dateDay;
  date.tm_mon = dateMonth;
  date.tm_year = dateYear;
  date.tm_hour = date.tm_min = date.tm_sec = 0;
  const auto seconds = static_cast<std::int32_t>(std::mktime(&date));
  const std::int64_t fileTime = static_cast<std::int64_t>(seconds) * 10000000 + 116444736000000000LL;
  return ExtractArchive(archive, destination, fileTime, uninstallListPath, retry);
}

namespace {

enum class CopyOutcome { kWhole, kArchiveEnded, kWriteFailed };

// Writes `size` bytes to `file`, past short writes, so that a full disk
// reports its own error.
bool WriteWhole(HANDLE file, const char* bytes, std::size_t size, DWORD& error) {
  while (size > 0) {
    DWORD done = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(size), &done, nullptr) || done == 0) {
      error = GetLastError();
      return false;
    }
    bytes += done;
    size -= done;
  }
  return true;
}

// Copies `size` bytes from the archive into `output` through `block`,
// stamps a file copied whole with `fileTime`, and closes it.
CopyOutcome CopyFile(std::FILE* input, FileHandle output, std::uint32_t size, std::int64_t fileTime,
                     std::vector<char>& block, DWORD& error) {
  std::uint32_t written = 0;
  CopyOutcome outcome = CopyOutcome::kWhole;
  while (written < size) {
    const std::size_t want = std::min<std::size_t>(block.size(), size - written);
    const std::size_t got = std::fread(block.data(), 1, want, input);
    if (!WriteWhole(output.get(), block.data(), got, error)) {
      outcome = CopyOutcome::kWriteFailed;
      break;
    }
    written += static_cast<std::uint32_t>(got);
    if (got < want) {
      outcome = CopyOutcome::kArchiveEnded;
      break;
    }
  }
  if (outcome == CopyOutcome::kWhole) SetFileTimes(output.get(), fileTime);
  if (!CloseHandle(output.release()) && outcome == CopyOutcome::kWhole) {
    outcome = CopyOutcome::kWriteFailed;
    error = GetLastError();
  }
  return outcome;
}

}  // namespace

ExtractResult ExtractArchive(std::FILE* archive, const std::string& destination, std::int64_t fileTime,
                             const std::optional<std::string>& uninstallListPath, const RetryFile& retry) {
  ExtractResult result;
  std::FILE* input = archive;
  if (input == nullptr) {
    result.status = ExtractStatus::kArchiveUnreadable;
    return result;
  }
  const std::vector<TableEntry> table = ReadTable(input, destination, result);
  if (result.status != ExtractStatus::kDone) return result;
  std::optional<UninstallListWriter> list;
  if (uninstallListPath) {
    list.emplace(*uninstallListPath);
    list->RecordFileCount(static_cast<int>(table.size()));
  }
  // The list is on disk before anyone is asked, in case the run ends there.
  const RetryFile retryWithList = [&list, &retry](const FileFailure& failure) {
    if (list) list->Flush();
    return retry(failure);
  };

  std::vector<char> block(kBlock);
  std::set<std::string> handledFolders;
  std::int64_t dataStart = _ftelli64(input);
  for (std::size_t index = 0; index < table.size(); ++index) {
    const TableEntry& item = table[index];
    CreateFolders(destination, item.entry.name, handledFolders);
    CopyOutcome outcome;
    // A file that could not be written whole is written again from its start, as long as `retry` says so.
    while (true) {
      FileHandle output = OpenTarget(item.target);
      if (!output) output = OpenLockedTarget(item.target, retryWithList);
      if (!output) {
        result.status = ExtractStatus::kStopped;
        result.target = item.target;
        return result;
      }
      LOG_NORMAL("Installing file \"{}\".", item.target);
      DWORD error = 0;
      outcome = CopyFile(input, std::move(output), item.entry.size, fileTime, block, error);
      if (outcome != CopyOutcome::kWriteFailed) break;
      if (!retryWithList(FileFailure{item.target, error, true}) || _fseeki64(input, dataStart, SEEK_SET) != 0) {
        result.status = ExtractStatus::kStopped;
        result.target = item.target;
        return result;
      }
    }
    // The length was checked with the table, so only a failing read ends the
    // data early; the file cut short stays unrecorded and unstamped, and the
    // run must not say it installed.
    if (outcome == CopyOutcome::kArchiveEnded) {
      result.status = ExtractStatus::kArchiveUnreadable;
      result.target = item.target;
      return result;
    }
    dataStart += item.entry.size;
    if (list) list->RecordInstalledFile(static_cast<int>(index), item.target);
    LOG_NORMAL("Setting file date.");
  }
  return result;
}

bool SetDirectoryPermissions(const std::string& directoryPath) {
  const std::optional<PermissionFailure> failure = OpenFolderToUsers(directoryPath);
  if (!failure) return true;
  LOG_WARNING("{} failed for \"{}\" (Error code: {}).", failure->call, directoryPath, failure->error);
  return false;
}
