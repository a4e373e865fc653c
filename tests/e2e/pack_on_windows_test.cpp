// The Windows build of the package builder reads and builds packages as the
// Linux build does.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;
using testing_support::ReadFile;

TEST(PackOnWindows, VerifiesTheSamplePackageAndBuildsTheSameBytes) {
  Wine& wine = Wine::Get();
  const std::string pack = wine.Program("quenlith-pack.exe").string();
  const harness::RunResult verify = wine.Run({pack, "verify", Wine::WindowsPath(test_paths::kSampleRunPackage)});
  EXPECT_EQ(verify.exitCode, 0) << verify.output;
  EXPECT_NE(verify.output.find("ok: 7 files"), std::string::npos) << verify.output;

  testing_support::ScratchDir dir;
  const harness::RunResult build =
      wine.Run({pack, "build", Wine::WindowsPath(wine.Program("QuenlithSetup.exe")),
                Wine::WindowsPath(test_paths::kSampleRunPayload),
                Wine::WindowsPath(std::filesystem::path(test_paths::kSourceDir) / "sample" / "script.ini"), "-o",
                Wine::WindowsPath(dir / "rebuilt.exe"), "--jobs", "2"});
  ASSERT_EQ(build.exitCode, 0) << build.output;
  EXPECT_TRUE(ReadFile(dir / "rebuilt.exe") == ReadFile(test_paths::kSampleRunPackage));
}

// The names are UTF-8 in the archive; the Windows build must create them
// through the wide calls, or they arrive in the ANSI code page, garbled.
TEST(PackOnWindows, ExtractWritesNonAsciiNamesAsTheyAreNamed) {
  const struct {
    const char* name;  // UTF-8, '/' between folders
    const char* content;
  } cases[] = {
      {"\xC3\xA9.txt", "e acute"},                                     // é.txt
      {"\xE6\x95\xB0\xE6\x8D\xAE.dat", "cjk"},                      // 数据.dat
      {"sub/\xC3\xBC" "ber/\xE5\x90\x8D\xE5\x89\x8D.txt", "nested"},    // sub/über/名前.txt
      {"\xCE\xA9mega \xE2\x82\xAC.txt", "greek and euro"},           // Ωmega €.txt
      {"\xF0\x9F\x98\x80.txt", "outside the basic plane"},           // a surrogate pair in UTF-16
      {"plain.txt", "ascii"},
  };
  testing_support::ScratchDir dir;
  for (const auto& c : cases) testing_support::WriteFile(dir / "payload" / c.name, c.content);
  testing_support::WriteFile(dir / "script.ini", "[install]\nInstallerSilent=1\n");
  const std::string command = std::string(test_paths::kPack) + " build " +
                              (std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup.exe").string() + " " +
                              (dir / "payload").string() + " " + (dir / "script.ini").string() + " -o " +
                              (dir / "names.exe").string() + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  Wine& wine = Wine::Get();
  const std::string target = "C:\\pack-names-" + std::to_string(::getpid());
  const std::filesystem::path onDisk = wine.LinuxPath(target);
  std::filesystem::remove_all(onDisk);
  const harness::RunResult extract = wine.Run(
      {wine.Program("quenlith-pack.exe").string(), "extract", Wine::WindowsPath(dir / "names.exe"), target});
  EXPECT_EQ(extract.exitCode, 0) << extract.output;
  std::set<std::string> expected, found;
  for (const auto& c : cases) expected.insert(c.name);
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(onDisk, error)) {
    if (!entry.is_regular_file()) continue;
    const std::u8string name = entry.path().lexically_relative(onDisk).generic_u8string();
    found.insert(std::string(name.begin(), name.end()));
  }
  EXPECT_EQ(found, expected) << "every file under its own name, and no other";
  for (const auto& c : cases) {
    const std::filesystem::path file = onDisk / std::filesystem::path(std::u8string(
                                                    reinterpret_cast<const char8_t*>(c.name)));
    if (std::filesystem::is_regular_file(file))
      EXPECT_EQ(ReadFile(file), c.content) << c.name;
    else
      ADD_FAILURE() << c.name << " is missing";
  }
  std::filesystem::remove_all(onDisk);
}

}  // namespace
