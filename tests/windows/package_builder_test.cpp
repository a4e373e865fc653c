// The package builder's threads in the Windows build: every build starts
// and ends its own, so a fault at thread exit shows within a few builds.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "pack/build.h"
#include "platform/text.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

TEST(PackageBuilderOnWindows, BuildsAgainAndAgainInOneProcessWithTheSameBytes) {
  const fs::path work = fs::temp_directory_path() / "quenlith-builder-threads-test";
  fs::remove_all(work);
  fs::create_directories(work / "payload" / "sub");
  std::ofstream(work / "payload" / "a.txt", std::ios::binary) << std::string(100000, 'a');
  std::ofstream(work / "payload" / "sub" / "b.bin", std::ios::binary) << "beta";
  std::ofstream(work / "script.ini", std::ios::binary) << "[install]\nInstallerSilent=1\n";
  const fs::path installer = LoopbackInstaller();

  std::string first;
  for (int round = 0; round < 20; ++round) {
    pack::BuildOptions options{installer, work / "payload", work / "script.ini", work / "setup.exe"};
    options.jobs = 4;
    std::ostringstream messages;
    pack::BuildPackage(options, messages);
    const std::string bytes = ReadText(Utf8FromWide(options.output.wstring()));
    if (round == 0) first = bytes;
    ASSERT_FALSE(bytes.empty()) << "round " << round;
    ASSERT_EQ(bytes, first) << "round " << round;
  }
  fs::remove_all(work);
}

}  // namespace
