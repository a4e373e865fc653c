#pragma once
// What the Windows-side tests share: files by UTF-8 path, registry values as
// stored, shell links as the shell reads them back, and the setup log
// written since the test began.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "state/run_state.h"

namespace windows_test {

// A UTF-8 path as a filesystem path.
std::filesystem::path Native(const std::string& path);

// The installer that reports to localhost, built beside the test program.
std::filesystem::path LoopbackInstaller();

// What a helper program printed and its exit code.
struct ToolRun {
  DWORD exitCode = 0;
  std::string output;
};
// Runs the test harness's wintool.exe (beside the test program) as a second
// process with `args` and waits for it; exit code ~0u when it cannot start.
ToolRun RunWintool(const std::vector<std::string>& args);

// The bytes of the file at `path`; empty when it cannot be read.
std::string ReadText(const std::string& path);
// Writes `text` to `path`, creating its folders; replaces what was there.
void WriteText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);

// The shell folder `csidl` with a trailing backslash; "<none>\" when unknown.
std::string FolderOf(int csidl);

// How often `part` occurs in `text`, overlapping occurrences included.
std::size_t Count(const std::string& text, const std::string& part);

// A registry value as stored: its type and raw bytes.
struct RawValue {
  DWORD type = 0;
  std::string bytes;
};
// The value `name` ("" for the default) of `root`\`key`; none when absent.
std::optional<RawValue> ReadRaw(HKEY root, const std::string& key, const std::string& name);
// A REG_SZ value as UTF-8 without its terminators; none when absent or of another type.
std::optional<std::string> ReadText(HKEY root, const std::string& key, const std::string& name);
// UTF-16 bytes of `text`, with or without the terminator.
std::string Utf16Bytes(const std::string& text, bool terminated);
bool KeyExists(HKEY root, const std::string& key);
// Deletes `key` with its sub-keys; nothing when it is absent.
void DeleteTree(HKEY root, const std::string& key);

// The fields of a shell link as the shell reads them back.
struct LinkFields {
  std::string target, arguments, description, workingDirectory, iconPath;
  int iconIndex = 0;
};
// None when `path` is no shell link the shell can load.
std::optional<LinkFields> ReadLink(const std::string& path);

// Enables the setup log, writes a "Test starts." line and marks the end of
// the log: TestLog() returns what is written after it.
void StartTestLog();
// The setup log's text written since the last StartTestLog().
std::string TestLog();

// A test of the machine-integration operations: starts the test's log and
// restores the installer's configuration afterwards.
class MachineTest : public testing::Test {
 protected:
  void SetUp() override {
    StartTestLog();
    saved_ = installerConfig;
  }
  void TearDown() override { installerConfig = saved_; }

 private:
  InstallerConfig saved_;
};

}  // namespace windows_test
