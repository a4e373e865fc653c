// The Windows build of the package builder reads and builds packages as the
// Linux build does.

#include <gtest/gtest.h>

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
  const std::filesystem::path package = test_paths::kSampleRunPackage;
  // The sample's payload folder is staged beside it, named after its build target.
  const std::filesystem::path payload =
      package.parent_path() /
      (package == test_paths::kSamplePackage ? "payload-sample_package" : "payload-sample_package_x86_64");
  const harness::RunResult build =
      wine.Run({pack, "build", Wine::WindowsPath(wine.Program("QuenlithSetup.exe")),
                Wine::WindowsPath(payload),
                Wine::WindowsPath(std::filesystem::path(test_paths::kSourceDir) / "sample" / "script.ini"), "-o",
                Wine::WindowsPath(dir / "rebuilt.exe"), "--jobs", "2"});
  ASSERT_EQ(build.exitCode, 0) << build.output;
  EXPECT_TRUE(ReadFile(dir / "rebuilt.exe") == ReadFile(test_paths::kSampleRunPackage));
}

}  // namespace
