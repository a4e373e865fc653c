#pragma once
// Helpers shared by the tests: scratch folders, files, and the locations of
// the build's programs.

#include <filesystem>
#include <string>
#include <string_view>

#include "test_paths.h"

namespace testing_support {

// A fresh empty folder for the running test, removed when destroyed.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

// Bytes that do not repeat, so each file's content is its own.
std::string Pattern(std::size_t size, unsigned seed);

}  // namespace testing_support
