#include "etar/uninstall_list.h"

#include <windows.h>

#include <cstdio>

#include "platform/guards.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "Uninstall";

std::string FileKey(int index) {
  char key[16];
  std::snprintf(key, sizeof key, "File%03d", index);
  return key;
}

// `wide` in the ANSI code page, as the system writes a profile file that has no byte-order mark.
std::string AnsiFromWide(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}

// True when the system, reading `bytes` and writing them back, leaves them as they are.
bool SurvivesAnsiRoundTrip(const std::string& bytes) {
  if (bytes.empty()) return true;
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (size <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
  return AnsiFromWide(wide) == bytes;
}

// The existing list's text, empty when there is none; nothing when it cannot be read.
std::optional<std::string> ReadExisting(const std::string& path) {
  const FileHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return std::string();
    return std::nullopt;
  }
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (256 << 20)) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                         read != bytes.size()))
    return std::nullopt;
  return bytes;
}

}  // namespace

UninstallListWriter::UninstallListWriter(std::string listPath) : path_(std::move(listPath)) {}

// The list's present text, read once, before the first key is set.
void UninstallListWriter::Start() {
  if (started_) return;
  started_ = true;
  if (const std::optional<std::string> existing = ReadExisting(path_); existing && SurvivesAnsiRoundTrip(*existing))
    text_ = ProfileText::Parse(*existing);
}

void UninstallListWriter::RecordFileCount(int count) {
  Start();
  Set("NumFiles", std::to_string(count));
  Flush();
}

void UninstallListWriter::RecordValue(const std::string& key, const std::string& value) {
  Start();
  Set(key, value);
}

void UninstallListWriter::RecordInstalledFile(int index, const std::string& path) {
  Set(FileKey(index), path);
  if (pending_ >= nextWriteAt_) {
    Flush();
    nextWriteAt_ *= 2;
  }
}

void UninstallListWriter::Set(const std::string& key, const std::string& value) {
  if (text_) {
    const std::string bytes = AnsiFromWide(WideFromUtf8(value));
    if (ProfileText::PlainValue(bytes)) {
      text_->Set(kSection, key, bytes);
      ++pending_;
      return;
    }
    // The system would change this value when it next reads the file: from here on it writes each key itself.
    Flush();
    text_.reset();
  }
  WriteProfileValue(path_, kSection, key, value);
}

bool UninstallListWriter::Flush() {
  if (!text_ || pending_ == 0) return true;
  const std::string bytes = text_->Bytes();
  const FileHandle file(CreateFileW(WideFromUtf8(path_).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  // Rewritten in place rather than truncated first, so that a nearly full disk keeps the room the list had.
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size() || !SetEndOfFile(file.get()))
    return false;
  pending_ = 0;
  return true;
}

void ReadUninstallList(const std::string& listPath, std::vector<std::string>& list) {
  const int count = ReadProfileInt(listPath, kSection, "NumFiles", 0);
  for (int i = 0; i < count; ++i) list.push_back(ReadProfileValue(listPath, kSection, FileKey(i), "NULL"));
}
