#pragma once
// Temporary files and folders of the run's own in a folder other programs
// share (the user's temporary folder). Each is created exclusively under a
// free name, so two runs at once never share one, and a file is held open
// from its creation to its last use with sharing for reading only, so no
// other program can change, replace, rename or delete it in between (an
// elevated run would otherwise install what an unelevated program put there).

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

// How many names a creation tries: `name`, then `name_1` to `name_<kMaxNameTries - 1>`.
inline constexpr int kMaxNameTries = 100;

// The `index`th name tried for `name`: `name` itself for 0, `name_<index>` after.
std::string CandidateName(const std::string& name, int index);

// Creates a new folder in `parent` under the first free candidate of `name`.
// Returns its path (UTF-8, no trailing backslash); none when every candidate
// is taken or the folder cannot be created (the system's error is left in
// GetLastError).
std::optional<std::string> CreateUniqueFolder(const std::string& parent, const std::string& name);

// A new file, open for reading and writing and shared for reading only; the
// system deletes it when it is closed, also when the process ends without
// closing it.
class HeldFile {
 public:
  // Creates `name` in `folder`, or with `anyFreeName` the first free
  // candidate of it. None when it cannot be created (an existing file is
  // never opened; the system's error is left in GetLastError).
  static std::optional<HeldFile> Create(const std::string& folder, const std::string& name, bool anyFreeName);

  HeldFile(HeldFile&& other) noexcept;
  HeldFile& operator=(HeldFile&& other) noexcept;
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  ~HeldFile();

  const std::string& Path() const { return path_; }
  HANDLE Handle() const { return handle_; }

  // A C stream ("rb" or "wb") on this file from its start, over a second
  // handle on the same open file, so closing the stream leaves the file held.
  // The caller closes it; nullptr on failure.
  std::FILE* StreamFromStart(const char* mode) const;

  // The whole content; none when it cannot be read.
  std::optional<std::string> ReadAll() const;

  // Closes the file now, which deletes it.
  void Delete();

 private:
  HeldFile(std::string path, HANDLE handle) : path_(std::move(path)), handle_(handle) {}
  std::string path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};
