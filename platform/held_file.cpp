#include "platform/held_file.h"

#include <fcntl.h>
#include <io.h>

#include <utility>

#include "platform/paths.h"
#include "platform/text.h"

namespace {

bool MoveToStart(HANDLE file) {
  LARGE_INTEGER start = {};
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

// A name that exists (or is being deleted by its holder) is taken; any
// other failure would meet every candidate alike.
bool NameTaken(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

}  // namespace

std::string CandidateName(const std::string& name, int index) {
  return index == 0 ? name : name + "_" + std::to_string(index);
}

std::optional<std::string> CreateUniqueFolder(const std::string& parent, const std::string& name) {
  for (int index = 0; index < kMaxNameTries; ++index) {
    const std::optional<std::string> path = JoinPath(parent, CandidateName(name, index));
    if (!path) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return std::nullopt;
    }
    if (CreateDirectoryW(WideFromUtf8(*path).c_str(), nullptr)) return path;
    if (!NameTaken(GetLastError())) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<HeldFile> HeldFile::Create(const std::string& folder, const std::string& name, bool anyFreeName) {
  const int tries = anyFreeName ? kMaxNameTries : 1;
  for (int index = 0; index < tries; ++index) {
    const std::optional<std::string> path = JoinPath(folder, CandidateName(name, index));
    if (!path) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return std::nullopt;
    }
    // DELETE access is what delete-on-close needs; sharing for reading only
    // keeps every other writer, renamer and deleter out.
    const HANDLE handle =
        CreateFileW(WideFromUtf8(*path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return HeldFile(*path, handle);
    if (!NameTaken(GetLastError())) return std::nullopt;
  }
  return std::nullopt;
}

HeldFile::HeldFile(HeldFile&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
  if (this != &other) {
    Delete();
    path_ = std::move(other.path_);
    handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
  }
  return *this;
}

HeldFile::~HeldFile() { Delete(); }

void HeldFile::Delete() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
}

std::FILE* HeldFile::StreamFromStart(const char* mode) const {
  if (handle_ == INVALID_HANDLE_VALUE || !MoveToStart(handle_)) return nullptr;
  HANDLE second = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle_, GetCurrentProcess(), &second, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  const bool reading = mode[0] == 'r';
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(second), (reading ? _O_RDONLY : _O_WRONLY) | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(second);
    return nullptr;
  }
  std::FILE* stream = _fdopen(descriptor, mode);
  if (stream == nullptr) _close(descriptor);
  return stream;
}

std::optional<std::string> HeldFile::ReadAll() const {
  if (handle_ == INVALID_HANDLE_VALUE || !MoveToStart(handle_)) return std::nullopt;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(handle_, buffer, sizeof buffer, &got, nullptr)) {
    if (got == 0) return text;
    text.append(buffer, got);
  }
  return std::nullopt;
}
