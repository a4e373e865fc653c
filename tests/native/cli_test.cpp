// The package builder's command line: the commands as a user runs them, exit
// codes and messages.

#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>

#include "formats/layout.h"
#include "test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

struct CommandResult {
  int exitCode;
  std::string output;  // standard output and error together
};

CommandResult Pack(const std::string& arguments, const char* redirect = " 2>&1") {
  const std::string command = std::filesystem::path(test_paths::kPack).string() + " " + arguments + redirect;
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  while (std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// Runs the builder with standard input, output and error on a
// pseudo-terminal, as from an interactive shell; returns what it wrote.
CommandResult PackOnTerminal(const std::string& arguments) {
  const std::string command = std::filesystem::path(test_paths::kPack).string() + " " + arguments;
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string output;
  if (pid < 0) return {-1, "forkpty failed"};
  char buffer[4096];
  // Reading ends with an error once the child has closed the terminal.
  for (ssize_t count; (count = read(terminal, buffer, sizeof buffer)) > 0;) output.append(buffer, count);
  close(terminal);
  int status = 0;
  waitpid(pid, &status, 0);
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

TEST(PackCommandLine, RefusesAnOutputThatIsAnInputOrAFolder) {
  const struct {
    const char* what;
    std::string output;  // relative to the scratch folder
    const char* messagePart;
  } cases[] = {
      {"the installer", "setup.exe", "is the installer"},
      {"the script", "script.ini", "is the script"},
      {"inside the payload", "payload/next.exe", "inside the payload folder"},
      {"an empty folder", "empty", "is a folder"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile(dir / "payload/a.txt", "a");
    WriteFile(dir / "script.ini", "[Install]\nInstallerSilent=1\n");
    std::filesystem::copy_file(Installer(), dir / "setup.exe");
    std::filesystem::create_directories(dir / "empty");
    const std::string installer = ReadFile(dir / "setup.exe"), script = ReadFile(dir / "script.ini");
    const CommandResult result = Pack("build " + (dir / "setup.exe").string() + " " + (dir / "payload").string() +
                                      " " + (dir / "script.ini").string() + " -o " + (dir / c.output).string());
    EXPECT_EQ(result.exitCode, 1) << c.what << ":\n" << result.output;
    EXPECT_NE(result.output.find(c.messagePart), std::string::npos) << c.what << ":\n" << result.output;
    EXPECT_EQ(ReadFile(dir / "setup.exe"), installer) << c.what;
    EXPECT_EQ(ReadFile(dir / "script.ini"), script) << c.what;
    EXPECT_FALSE(std::filesystem::exists(dir / "payload/next.exe")) << c.what;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "empty")) << c.what;
  }
}

// Interrupted or failed, neither build nor extract leaves anything behind.
TEST(PackCommandLine, LeavesNothingWhenInterruptedOrFailed) {
  for (const int signal : {SIGINT, SIGTERM}) {
    ScratchDir dir;
    WriteFile(dir / "payload/big.bin", testing_support::Pattern(48 << 20, 7));
    WriteFile(dir / "script.ini", "[Install]\n");
    const std::string command = std::filesystem::path(test_paths::kPack).string() + " build " + Installer() + " " +
                                (dir / "payload").string() + " " + (dir / "script.ini").string() + " -o " +
                                (dir / "out.exe").string() + " --jobs 1 2>/dev/null & echo $!";
    FILE* pipe = popen(command.c_str(), "r");
    int pid = 0;
    ASSERT_EQ(std::fscanf(pipe, "%d", &pid), 1);
    pclose(pipe);
    auto partials = [&] {
      std::size_t count = 0;
      for (const auto& item : std::filesystem::directory_iterator(dir.path()))
        count += item.path().filename().string().find("out.exe") != std::string::npos;
      return count;
    };
    for (int i = 0; i < 500 && partials() == 0; ++i) usleep(10000);
    ASSERT_EQ(partials(), 1u) << "the build should be writing its output";
    kill(pid, signal);
    for (int i = 0; i < 500 && kill(pid, 0) == 0; ++i) usleep(10000);
    EXPECT_EQ(partials(), 0u) << "signal " << signal;
  }

  ScratchDir dir;
  WriteFile(dir / "payload/a.txt", std::string(5000, 'a'));
  WriteFile(dir / "payload/b.txt", testing_support::Pattern(200000, 3));
  WriteFile(dir / "script.ini", "[Install]\n");
  ASSERT_EQ(Pack("build " + Installer() + " " + (dir / "payload").string() + " " + (dir / "script.ini").string() +
                 " -o " + (dir / "setup.exe").string()).exitCode, 0);
  std::string damaged = ReadFile(dir / "setup.exe");
  const std::uint32_t payloadEnd = static_cast<std::uint32_t>(damaged.size()) - 200;
  damaged[payloadEnd - 4000] ^= 0x40;  // late in the payload: the first file is already out
  WriteFile(dir / "damaged.exe", damaged);
  WriteFile(dir / "existing/keep.txt", "keep");
  for (const char* target : {"new", "existing"}) {
    const CommandResult result = Pack("extract " + (dir / "damaged.exe").string() + " " + (dir / target).string());
    EXPECT_EQ(result.exitCode, 1) << result.output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "new"));
  std::vector<std::string> left;
  for (const auto& item : std::filesystem::recursive_directory_iterator(dir / "existing"))
    left.push_back(item.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"keep.txt"});
}

TEST(PackCommandLine, ShowsTheOutputNameAndTheSystemsReason) {
  ScratchDir dir;
  WriteFile(dir / "payload/a.txt", "a");
  WriteFile(dir / "script.ini", "[Install]\n");
  std::filesystem::create_directories(dir / "readonly");
  const CommandResult result =
      Pack("build " + Installer() + " " + (dir / "payload").string() + " " + (dir / "script.ini").string() + " -o " +
           (dir / "missing/out.exe").string());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("cannot create \"" + (dir / "missing/out.exe").string() + "\": No such file or directory"),
            std::string::npos) << result.output;
  EXPECT_EQ(result.output.find(".partial"), std::string::npos) << result.output;
}

TEST(PackCommandLine, HelpVersionAndUsageOnStandardError) {
  const struct {
    const char* arguments;
    int exitCode;
    const char* stdoutPart;  // on standard output alone
  } cases[] = {
      {"--version", 0, "quenlith-pack "},
      {"-h", 0, "usage:"},
      {"build -h", 0, "usage:"},
      {"verify --help", 0, "usage:"},
      {"", 2, ""},
      {"build a b c -o x --jobs 999999", 2, ""},
  };
  for (const auto& c : cases) {
    const CommandResult out = Pack(c.arguments, " 2>/dev/null");
    EXPECT_EQ(out.exitCode, c.exitCode) << c.arguments;
    if (*c.stdoutPart) EXPECT_NE(out.output.find(c.stdoutPart), std::string::npos) << c.arguments;
    else EXPECT_EQ(out.output, "") << c.arguments << ": usage belongs on standard error";
  }
}

TEST(PackCommandLine, UsageErrorsExitWithTwo) {
  for (const char* arguments : {"", "frobnicate", "build a b", "build a b c", "build a b c -o x --jobs 0",
                                "build a b c -o x --jobs many", "build a b c -o x --jobs 65", "build a b c -o x --bogus", "inspect", "extract p",
                                "diff a", "diff a b c", "diff a b --strict", "inspect p --quiet", "verify p --bogus",
                                "extract p d --json", "check s --quiet"}) {
    const CommandResult result = Pack(arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments;
    EXPECT_NE(result.output.find("usage:"), std::string::npos) << arguments;
  }
}

// Builds three packages: two of the same inputs (with other --jobs) and one
// with a file changed.
struct ThreePackages {
  ScratchDir dir;
  std::string first, second, changed;
  ThreePackages() {
    WriteFile(dir / "payload/Quenlith.exe", testing_support::Pattern(300000, 4));
    WriteFile(dir / "payload/a.txt", "a");
    WriteFile(dir / "script.ini", "[launch]\nLaunchTarget=Quenlith.exe\n");
    first = Build("first.exe", "--jobs 1");
    second = Build("second.exe", "--jobs 3");
    WriteFile(dir / "payload/a.txt", "b");
    changed = Build("changed.exe", "--jobs 2");
  }
  std::string Build(const std::string& name, const std::string& jobs) {
    const std::string package = (dir / name).string();
    const CommandResult built = Pack("build " + Installer() + " " + (dir / "payload").string() + " " +
                                     (dir / "script.ini").string() + " -o " + package + " " + jobs);
    EXPECT_EQ(built.exitCode, 0) << built.output;
    return package;
  }
};

TEST(PackCommandLine, DiffExitCodesGateAPipeline) {
  ThreePackages packages;
  const struct {
    std::string arguments;
    int exitCode;
    const char* outputPart;
  } cases[] = {
      {"diff " + packages.first + " " + packages.second, 0, "result: the packages install the same\n"},
      {"diff " + packages.first + " " + packages.changed, 1, "  ~ a.txt  (1 -> 1 bytes"},
      {"diff " + packages.first + " " + (packages.dir / "missing.exe").string(), 3, "not an existing file"},
      {"diff " + packages.first, 2, "usage:"},
  };
  for (const auto& c : cases) {
    const CommandResult result = Pack(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments << ":\n" << result.output;
    EXPECT_NE(result.output.find(c.outputPart), std::string::npos) << c.arguments << ":\n" << result.output;
  }
}

// Each --json document parses, on standard output alone; a fault is a
// document too.
TEST(PackCommandLine, JsonDocumentsParseBack) {
  ThreePackages packages;
  WriteFile(packages.dir / "bad.ini", "[launch]\nLaunchTarget=Missing.exe\nBogusKey=1\n");
  const std::string payload = (packages.dir / "payload").string();
  const struct {
    std::string arguments;
    int exitCode;
    std::function<void(const nlohmann::json&)> check;
  } cases[] = {
      {"inspect --json " + packages.first, 0,
       [](const nlohmann::json& report) {
         EXPECT_EQ(report["files"].size(), 2u);
         EXPECT_EQ(report["files"][0]["name"], "Quenlith.exe");
         EXPECT_EQ(report["files"][0]["size"], 300000);
         EXPECT_EQ(report["totalBytes"], 300001);
         EXPECT_EQ(report["imageSize"], report["compiledImageSize"]);
         EXPECT_TRUE(report["imageFault"].is_null());
         EXPECT_EQ(report["signature"]["signed"], false);
         EXPECT_EQ(report["signatureSize"], 0);
         EXPECT_NE(report["script"]["text"].get<std::string>().find("LaunchTarget=Quenlith.exe\r\n"),
                   std::string::npos);
       }},
      {"verify " + packages.changed + " --json", 0,
       [](const nlohmann::json& report) {
         EXPECT_EQ(report["ok"], true);
         EXPECT_EQ(report["files"], 2);
         EXPECT_EQ(report["bytes"], 300001);
         EXPECT_GE(report["streams"], 1);
         EXPECT_EQ(report["signature"]["signed"], false);
       }},
      {"verify --json " + (packages.dir / "missing.exe").string(), 1,
       [](const nlohmann::json& report) {
         ASSERT_EQ(report.size(), 1u);
         EXPECT_NE(report["error"].get<std::string>().find("not an existing file"), std::string::npos);
       }},
      {"check --json " + (packages.dir / "bad.ini").string() + " " + payload, 0,
       [](const nlohmann::json& report) {
         EXPECT_EQ(report["ok"], true);
         EXPECT_EQ(report["strict"], false);
         ASSERT_EQ(report["findings"].size(), 2u);
         EXPECT_EQ(report["findings"][0]["line"], 2);
         EXPECT_EQ(report["findings"][1]["line"], 3);
       }},
      {"check --json --strict " + (packages.dir / "bad.ini").string(), 1,
       [](const nlohmann::json& report) {
         EXPECT_EQ(report["ok"], false);
         EXPECT_EQ(report["findings"].size(), 1u);
       }},
      {"diff --json " + packages.first + " " + packages.changed, 1,
       [](const nlohmann::json& report) {
         EXPECT_EQ(report["same"], false);
         ASSERT_EQ(report["files"]["changed"].size(), 1u);
         EXPECT_EQ(report["files"]["changed"][0]["name"], "a.txt");
         EXPECT_EQ(report["files"]["unchanged"], 1);
       }},
      {"diff --json " + packages.first + " " + (packages.dir / "missing.exe").string(), 3,
       [](const nlohmann::json& report) { EXPECT_TRUE(report["error"].is_string()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const CommandResult result = Pack(c.arguments, " 2>/dev/null");
    EXPECT_EQ(result.exitCode, c.exitCode) << result.output;
    nlohmann::json report;
    ASSERT_NO_THROW(report = nlohmann::json::parse(result.output)) << result.output;
    c.check(report);
  }
}

// A damaged file table: the text shows the layout and script read before
// it, the JSON document is only the fault.
TEST(PackCommandLine, InspectOfADamagedTable) {
  ThreePackages packages;
  std::string bytes = ReadFile(packages.first);
  bytes[std::filesystem::file_size(Installer()) + 40] ^= 0x20;  // inside the table's stream
  const std::string damaged = (packages.dir / "damaged.exe").string();
  WriteFile(damaged, bytes);
  const CommandResult text = Pack("inspect " + damaged);
  EXPECT_EQ(text.exitCode, 1);
  testing_support::ExpectInOrder(text.output, {"image size:", "LaunchTarget=Quenlith.exe", "is damaged"});
  const CommandResult json = Pack("inspect --json " + damaged, " 2>/dev/null");
  EXPECT_EQ(json.exitCode, 1);
  nlohmann::json report;
  ASSERT_NO_THROW(report = nlohmann::json::parse(json.output)) << json.output;
  EXPECT_NE(report["error"].get<std::string>().find("is damaged"), std::string::npos) << json.output;
}

// The progress line appears on a terminal (here after no delay at all), not
// with --quiet and never on a pipe.
TEST(PackCommandLine, ProgressLineOnATerminalOnly) {
  ThreePackages packages;
  setenv("QUENLITH_PACK_PROGRESS_DELAY_MS", "0", 1);
  struct Unset {
    ~Unset() { unsetenv("QUENLITH_PACK_PROGRESS_DELAY_MS"); }
  } unset;
  const std::string commands[] = {
      "build " + Installer() + " " + (packages.dir / "payload").string() + " " +
          (packages.dir / "script.ini").string() + " -o " + (packages.dir / "again.exe").string(),
      "verify " + packages.first,
      "extract " + packages.first + " " + (packages.dir / "out").string(),
      "diff " + packages.first + " " + packages.changed,
  };
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    std::filesystem::remove_all(packages.dir / "out");
    const CommandResult terminal = PackOnTerminal(command);
    EXPECT_NE(terminal.output.find(" MB ("), std::string::npos) << terminal.output;
    EXPECT_NE(terminal.output.find(" MB/s"), std::string::npos) << terminal.output;
    std::filesystem::remove_all(packages.dir / "out");
    const CommandResult quiet = PackOnTerminal(command + " --quiet");
    EXPECT_EQ(quiet.output.find("MB/s"), std::string::npos) << quiet.output;
    EXPECT_EQ(quiet.exitCode, terminal.exitCode);
    std::filesystem::remove_all(packages.dir / "out");
    const CommandResult pipe = Pack(command);
    EXPECT_EQ(pipe.output.find("MB/s"), std::string::npos) << pipe.output;
    EXPECT_EQ(pipe.output.find('\r'), std::string::npos) << pipe.output;
    EXPECT_EQ(pipe.exitCode, terminal.exitCode);
  }
}

}  // namespace
