// The package builder's command line: the commands as a user runs them, exit
// codes and messages.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "split/layout.h"
#include "test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

struct CommandResult {
  int exitCode;
  std::string output;  // standard output and error together
};

CommandResult Pack(const std::string& arguments) {
  const std::string command = std::filesystem::path(test_paths::kPack).string() + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  while (std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string Installer() { return (std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup.exe").string(); }

TEST(PackCommandLine, BuildInspectVerifyExtract) {
  ScratchDir dir;
  WriteFile(dir / "payload/Quenlith.exe", "program");
  WriteFile(dir / "payload/users/global/plugins.ini", "[Plugins]\r\n");
  WriteFile(dir / "payload/zero.dat", "");
  WriteFile(dir / "script.ini", "[launch]\nLaunchTarget=Quenlith.exe\n");
  const std::string package = (dir / "setup.exe").string();

  const CommandResult build =
      Pack("build " + Installer() + " " + (dir / "payload").string() + " " + (dir / "script.ini").string() + " -o " +
           package + " --jobs 2");
  ASSERT_EQ(build.exitCode, 0) << build.output;
  EXPECT_NE(build.output.find("appended the end marker"), std::string::npos);
  EXPECT_EQ(build.output.find('\r'), std::string::npos) << "no progress bar when not on a terminal";

  const CommandResult inspect = Pack("inspect " + package);
  ASSERT_EQ(inspect.exitCode, 0) << inspect.output;
  for (const char* part : {"image size:", "signature size:    0", "LaunchTarget=Quenlith.exe",
                           "; End the file with this guid", "files (3):", "users\\global\\plugins.ini", "zero.dat"})
    EXPECT_NE(inspect.output.find(part), std::string::npos) << part << " in\n" << inspect.output;

  const CommandResult verify = Pack("verify " + package);
  EXPECT_EQ(verify.exitCode, 0) << verify.output;
  EXPECT_NE(verify.output.find("ok: 3 files"), std::string::npos) << verify.output;

  const CommandResult extract = Pack("extract " + package + " " + (dir / "out").string());
  ASSERT_EQ(extract.exitCode, 0) << extract.output;
  EXPECT_EQ(ReadFile(dir / "out/users/global/plugins.ini"), "[Plugins]\r\n");
  EXPECT_EQ(ReadFile(dir / "out/zero.dat"), "");
}

TEST(PackCommandLine, FaultsExitWithOneAndAClearMessage) {
  ScratchDir dir;
  WriteFile(dir / "payload/a.txt", "a");
  WriteFile(dir.path() / "long" / (std::string(200, 'n') + ".txt"), "long");
  WriteFile(dir / "script.ini", "[a]\n");
  WriteFile(dir / "broken.exe", "MZ but nothing else");
  const std::string payload = (dir / "payload").string(), script = (dir / "script.ini").string();
  const std::string longNames = (dir / "long").string();
  const struct {
    std::string arguments;
    const char* messagePart;
  } cases[] = {
      {"build " + Installer() + " " + longNames + " " + script + " -o " + (dir / "out.exe").string(), "too long"},
      {"build " + Installer() + " " + payload + " " + script + " -o " + (dir / "no/such/dir/out.exe").string(),
       "cannot create"},
      {"inspect " + (dir / "broken.exe").string(), "end marker not found"},
      {"verify " + (dir / "missing.exe").string(), "not an existing file"},
  };
  for (const auto& c : cases) {
    const CommandResult result = Pack(c.arguments);
    EXPECT_EQ(result.exitCode, 1) << c.arguments;
    EXPECT_NE(result.output.find(c.messagePart), std::string::npos) << c.arguments << ":\n" << result.output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out.exe"));
}

TEST(PackCommandLine, UsageErrorsExitWithTwo) {
  for (const char* arguments : {"", "frobnicate", "build a b", "build a b c", "build a b c -o x --jobs 0",
                                "build a b c -o x --jobs many", "build a b c -o x --bogus", "inspect", "extract p"}) {
    const CommandResult result = Pack(arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments;
    EXPECT_NE(result.output.find("usage:"), std::string::npos) << arguments;
  }
}

}  // namespace
