// The package builder's command line: the commands as a user runs them, exit
// codes and messages.

#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "formats/archive.h"
#include "formats/layout.h"
#include "script/keys.h"
#include "test_support.h"

namespace {

using testing_support::Files;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

struct CommandResult {
  int exitCode;
  std::string output;  // standard output and error together
};

CommandResult Pack(const std::string& arguments, const char* redirect = " 2>&1", const std::string& environment = "") {
  const std::string command =
      environment + " " + std::filesystem::path(test_paths::kPack).string() + " " + arguments + redirect;
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  while (std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

struct SplitResult {
  int exitCode;
  std::string out, err;
};

// Runs the builder with `environment` (NAME=value ...) before it, its
// standard output and standard error apart.
SplitResult PackSplit(const std::string& arguments, const std::string& environment = "") {
  const std::filesystem::path errors =
      std::filesystem::temp_directory_path() / ("quenlith-cli-err-" + std::to_string(getpid()));
  const CommandResult result = Pack(arguments, (" 2>" + errors.string()).c_str(), environment);
  SplitResult split{result.exitCode, result.output, ReadFile(errors)};
  std::filesystem::remove(errors);
  return split;
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
  for (const char* arguments :
       {"", "frobnicate", "build a b", "build a b c", "build a b c -o x --jobs 0", "build a b c -o x --jobs many",
        "build a b c -o x --jobs 65", "build a b c -o x --bogus", "inspect", "extract p", "diff a", "diff a b c",
        "diff a b --strict", "inspect p --strict", "verify p --bogus", "extract p d --json", "check s --quiet"}) {
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

// Damage anywhere in the payload, met as an installation meets it: exit
// code 1, the layout, script and as much of the table as could be read
// still shown, the damage named (in JSON as `damage`, the document whole).
TEST(PackCommandLine, InspectOfADamagedPayload) {
  ThreePackages packages;
  const std::string bytes = ReadFile(packages.first);
  const std::size_t imageSize = std::filesystem::file_size(Installer());
  const std::uint32_t scriptStart =
      layout::ReadLe32(reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - 4));
  const struct {
    const char* what;
    std::size_t at;                    // the byte flipped
    std::optional<std::size_t> files;  // table entries still listed; none: as far as the table was read
  } cases[] = {
      {"inside the table's stream", imageSize + 40, std::nullopt},
      {"in the file data, the table whole", (imageSize + scriptStart) / 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damagedBytes = bytes;
    damagedBytes[c.at] ^= 0x20;
    const std::string damaged = (packages.dir / "damaged.exe").string();
    WriteFile(damaged, damagedBytes);
    const SplitResult text = PackSplit("inspect " + damaged);
    EXPECT_EQ(text.exitCode, 1);
    testing_support::ExpectInOrder(
        text.out, {"image size:", "LaunchTarget=Quenlith.exe",
                   c.files ? "files (" + std::to_string(*c.files) + "):" : "files (", "damage:", "is damaged"});
    EXPECT_NE(text.err.find("is damaged"), std::string::npos) << text.err;
    const SplitResult json = PackSplit("inspect --json " + damaged);
    EXPECT_EQ(json.exitCode, 1);
    nlohmann::json report;
    ASSERT_NO_THROW(report = nlohmann::json::parse(json.out)) << json.out;
    EXPECT_EQ(report["imageSize"], imageSize);
    EXPECT_NE(report["script"]["text"].get<std::string>().find("LaunchTarget=Quenlith.exe"), std::string::npos);
    if (c.files) EXPECT_EQ(report["files"].size(), *c.files);
    EXPECT_NE(report["damage"].get<std::string>().find("is damaged"), std::string::npos) << json.out;
  }
  const SplitResult whole = PackSplit("inspect --json " + packages.first);
  EXPECT_EQ(whole.exitCode, 0) << whole.err;
  EXPECT_TRUE(nlohmann::json::parse(whole.out)["damage"].is_null()) << whole.out;
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

// What each command refuses and how it says so, and where a usage error
// sends its user: that command's usage alone.
TEST(PackCommandLine, RefusalsAndUsageMessages) {
  ThreePackages packages;
  const std::string package = packages.first;
  WriteFile(packages.dir / "notes.txt", "not a package at all\n");
  WriteFile(packages.dir / "program.exe", "MZ, and nothing of a package");
  const std::string notes = (packages.dir / "notes.txt").string(), program = (packages.dir / "program.exe").string();
  const std::string script = (packages.dir / "script.ini").string(), out = (packages.dir / "out").string();
  const std::string notAPackage = "\"" + notes + "\" is not a setup package";
  const struct {
    std::string arguments;
    int exitCode;
    std::vector<std::string> errParts;  // on standard error, in order
    std::vector<std::string> outParts;  // on standard output, in order
    std::vector<std::string> nowhere;   // in neither
  } cases[] = {
      // A command's usage alone, for a usage error and for -h.
      {"diff " + package,
       2,
       {"diff needs OLD and NEW\nusage:\n  quenlith-pack diff OLD NEW", "3 a package cannot be read"},
       {},
       {"quenlith-pack build", "quenlith-pack inspect"}},
      {"diff -h", 0, {}, {"usage:\n  quenlith-pack diff OLD NEW"}, {"quenlith-pack build"}},
      {"extract --help", 0, {}, {"quenlith-pack extract PACKAGE DIR"}, {"quenlith-pack diff"}},
      {"inspect " + package + " --strict",
       2,
       {"unknown option --strict", "quenlith-pack inspect PACKAGE"},
       {},
       {"quenlith-pack diff"}},
      {"check", 2, {"check needs SCRIPT", "quenlith-pack check PACKAGE"}, {}, {"quenlith-pack build"}},
      {"check " + package + " " + script, 2, {"check takes a PACKAGE alone"}, {}, {}},
      {"keys extra", 2, {"keys needs no arguments", "quenlith-pack keys"}, {}, {"quenlith-pack build"}},
      {"keys --json --markdown", 2, {"keys takes --json or --markdown, not both"}, {}, {}},
      {"try -h", 0, {}, {"usage:\n  quenlith-pack try PACKAGE", "-- SWITCHES..."}, {"quenlith-pack diff"}},
      // The installer's switches given where try takes its own.
      {"try " + package + " /nodesktop --wizard /startmenu",
       2,
       {"the installer's switches go after --, at the end: quenlith-pack try PACKAGE -- /nodesktop /startmenu",
        "usage:\n  quenlith-pack try PACKAGE"},
       {},
       {"quenlith-pack diff"}},
      {"try " + package + " other.exe", 2, {"try takes one PACKAGE"}, {}, {"switches go after"}},
      // An unknown command: the program's usage, every command.
      {"frobnicate", 2, {"unknown command frobnicate", "quenlith-pack build", "quenlith-pack diff"}, {}, {}},
      // Files that are not packages, in the user's words, wherever a package is read.
      {"inspect " + notes, 1, {notAPackage}, {}, {}},
      {"verify " + notes, 1, {notAPackage}, {}, {}},
      {"extract " + notes + " " + out, 1, {notAPackage}, {}, {}},
      {"diff " + notes + " " + package, 3, {notAPackage}, {}, {}},
      {"diff " + package + " " + notes, 3, {notAPackage}, {}, {}},
      {"check " + script + " " + notes, 1, {notAPackage}, {}, {}},
      {"check " + program, 1, {"\"" + program + "\" is not a setup package"}, {}, {}},
      {"inspect --json " + notes, 1, {notAPackage}, {"{", "\"error\": ", "is not a setup package", "}"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const SplitResult result = PackSplit(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
    testing_support::ExpectInOrder(result.err, c.errParts);
    testing_support::ExpectInOrder(result.out, c.outParts);
    if (c.outParts.empty() && c.exitCode != 0) EXPECT_EQ(result.out, "");
    for (const std::string& part : c.nowhere)
      EXPECT_EQ((result.out + result.err).find(part), std::string::npos) << part;
  }
  EXPECT_FALSE(std::filesystem::exists(packages.dir / "out"));
}

// `check` with a payload compares the script's versions with the version
// resource of the program the installer's version check reads, from a
// folder, from a package's payload, and a package's own.
TEST(PackCommandLine, CheckComparesVersionsWithTheProgramInThePayload) {
  ScratchDir dir;
  const std::filesystem::path product = test_paths::kProductDir;
  std::filesystem::create_directories(dir / "payload");
  for (const char* file : {"Quenlith.exe", "comms.dll"})
    std::filesystem::copy_file(product / file, dir / "payload" / file);
  const std::string sample = ReadFile(std::filesystem::path(test_paths::kSourceDir) / "sample/script.ini");
  std::string older = sample;
  const std::string max = "SetupCheckVersionMax=6.6.0.18";
  ASSERT_NE(older.find(max), std::string::npos);
  older.replace(older.find(max), max.size(), "SetupCheckVersionMax=6.5");
  WriteFile(dir / "sample.ini", sample);
  WriteFile(dir / "older.ini", older);
  const std::size_t maxLine =
      1 + static_cast<std::size_t>(std::count(sample.begin(), sample.begin() + sample.find(max), '\n'));
  const std::string payload = (dir / "payload").string(), package = (dir / "older.exe").string();
  ASSERT_EQ(
      Pack("build " + Installer() + " " + payload + " " + (dir / "older.ini").string() + " -o " + package).exitCode, 0);
  const std::string finding =
      "line " + std::to_string(maxLine) + ": [Setup] SetupCheckVersionMax=6.5 is lower than the FileVersion ";
  const struct {
    std::string arguments;
    std::string expected;  // empty: no findings
  } cases[] = {
      {"check " + (dir / "sample.ini").string() + " " + payload, ""},
      {"check " + (dir / "older.ini").string() + " " + payload, finding},
      {"check " + (dir / "older.ini").string() + " " + package, finding},
      {"check " + (dir / "sample.ini").string() + " " + package, ""},
      {"check " + package, finding},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const SplitResult result = PackSplit(c.arguments + " --json");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    nlohmann::json report;
    ASSERT_NO_THROW(report = nlohmann::json::parse(result.out)) << result.out;
    if (c.expected.empty()) {
      EXPECT_TRUE(report["findings"].empty()) << result.out;
      continue;
    }
    ASSERT_EQ(report["findings"].size(), 1u) << result.out;
    EXPECT_EQ(report["findings"][0]["line"], maxLine);
    EXPECT_EQ(report["findings"][0]["text"].get<std::string>().rfind(c.expected, 0), 0u) << result.out;
  }
}

// The README's table of script keys is what `keys --markdown` prints, and
// the JSON document carries every key of the table with what it does.
TEST(PackCommandLine, KeysAsTheReadmeListsThem) {
  const SplitResult markdown = PackSplit("keys --markdown");
  ASSERT_EQ(markdown.exitCode, 0) << markdown.err;
  const std::string readme = ReadFile(std::filesystem::path(test_paths::kSourceDir) / "README.md");
  const std::string begin = "<!-- keys: generated by `quenlith-pack keys --markdown` -->\n",
                    end = "<!-- end of keys -->";
  const std::size_t from = readme.find(begin), to = readme.find(end);
  ASSERT_NE(from, std::string::npos) << "the README has no generated table of keys";
  ASSERT_NE(to, std::string::npos);
  EXPECT_EQ(readme.substr(from + begin.size(), to - from - begin.size()), markdown.out)
      << "the README's table of keys differs from `quenlith-pack keys --markdown`: run scripts/readme-keys.sh";

  const SplitResult json = PackSplit("keys --json");
  ASSERT_EQ(json.exitCode, 0) << json.err;
  nlohmann::json report;
  ASSERT_NO_THROW(report = nlohmann::json::parse(json.out)) << json.out;
  ASSERT_EQ(report["keys"].size(), ScriptKeys().size());
  const SplitResult text = PackSplit("keys");
  std::set<std::string> counts;
  for (const nlohmann::json& key : report["keys"]) {
    const std::string name = key["key"];
    std::optional<std::int32_t> index;
    const ScriptKey* entry =
        FindScriptKey(key["section"].get<std::string>(), key["indexed"].get<bool>() ? name + "0" : name, index);
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(std::string(entry->key), name);
    EXPECT_EQ(key["description"], entry->description);
    EXPECT_EQ(key["kind"], KindOf(*entry) == ValueKind::kInteger ? "integer" : "text");
    EXPECT_FALSE(key["description"].get<std::string>().empty()) << name;
    if (key["indexed"].get<bool>()) counts.insert(key["countKey"].get<std::string>());
    EXPECT_NE(text.out.find("  " + name), std::string::npos) << name;
    EXPECT_NE(markdown.out.find("`" + name + "`"), std::string::npos) << name;
  }
  for (const nlohmann::json& key : report["keys"])
    EXPECT_EQ(counts.count(key["key"].get<std::string>()) == 1, !key["members"].empty()) << key.dump();
}

// However it is interrupted, `extract` leaves the destination as it was
// (or, once its files are being moved into place, holding the whole
// payload): no staging folder, no half-written file, no new folder. The
// interruption comes at each of its writing steps in turn.
TEST(PackCommandLine, ExtractLeavesNothingWhereverItIsInterrupted) {
  ScratchDir dir;
  Files files = {{"a.txt", std::string(5000, 'a')},
                 {"sub\\b.bin", testing_support::Pattern(300000, 5)},
                 {"sub\\deeper\\zero.dat", ""},
                 {"z.txt", "z"}};
  for (int i = 0; i < 6; ++i) files["more\\f" + std::to_string(i) + ".txt"] = std::string(100 + i, 'f');
  testing_support::WritePayloadFolder(dir / "payload", files);
  WriteFile(dir / "script.ini", "[Install]\n");
  const std::string package = (dir / "setup.exe").string();
  ASSERT_EQ(Pack("build " + Installer() + " " + (dir / "payload").string() + " " + (dir / "script.ini").string() +
                 " -o " + package)
                .exitCode,
            0);

  // Everything below `root`: folders with a trailing slash, files with their contents.
  auto tree = [](const std::filesystem::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
      const std::string name = std::filesystem::relative(item.path(), root).generic_string();
      entries[item.is_directory() ? name + "/" : name] = item.is_directory() ? "" : ReadFile(item.path());
    }
    return entries;
  };
  const struct {
    const char* what;
    std::string destination;  // below the scratch folder's "place"
    Files before;             // what the destination holds to begin with
  } cases[] = {
      {"a destination two folders deep that does not exist", "new/inside", {}},
      {"an existing destination, one of whose files the payload replaces",
       "existing",
       {{"a.txt", "old"}, {"keep.txt", "keep"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path place = dir / "place";
    auto reset = [&] {
      std::filesystem::remove_all(place);
      std::filesystem::create_directories(place);
      if (!c.before.empty()) testing_support::WritePayloadFolder(place / c.destination, c.before);
    };
    reset();
    const auto before = tree(place);
    ASSERT_EQ(Pack("extract " + package + " " + (place / c.destination).string()).exitCode, 0);
    const auto complete = tree(place);
    ASSERT_NE(before, complete);
    int leftAsItWas = 0, leftComplete = 0;
    bool finished = false;
    for (int step = 1; step <= 400 && !finished; ++step) {
      reset();
      const CommandResult result = Pack("extract " + package + " " + (place / c.destination).string(), " 2>&1",
                                        "QUENLITH_PACK_INTERRUPT_AT=" + std::to_string(step));
      const auto after = tree(place);
      if (result.exitCode == 0) {
        finished = true;
        EXPECT_EQ(after, complete) << "step " << step;
        continue;
      }
      EXPECT_EQ(result.exitCode, 128 + SIGINT) << "step " << step << ": " << result.output;
      EXPECT_TRUE(after == before || after == complete) << "step " << step << " left: " << [&] {
        std::string names;
        for (const auto& [name, content] : after) names += "\n  " + name;
        return names;
      }();
      leftAsItWas += after == before;
      leftComplete += after == complete;
    }
    EXPECT_TRUE(finished) << "the extraction has more steps than the test tries";
    EXPECT_GE(leftAsItWas, 10) << "interrupted at too few points";
    EXPECT_GE(leftComplete, 1) << "never interrupted while moving the files into place";
  }
}

// What a package from another tool may hold, and a destination with
// something in the way: `extract` installs as the installer would, or
// refuses before it moves anything.
TEST(PackCommandLine, ExtractTakesTheLaterOfANameAndRefusesWhatIsInTheWay) {
  ScratchDir dir;
  const std::string image = ReadFile(Installer());
  const std::string script =
      "[Install]\r\nInstallerSilent=1\r\n; End the file with this guid\r\n" + std::string(layout::kEndMarker) + "\r\n";
  // A name met twice: the installer writes both, the later stays.
  const std::string archive =
      archive::EncodeTable({{"a.txt", 5}, {"sub\\b.txt", 1}, {"a.txt", 3}}) + "first" + "b" + "new";
  WriteFile(dir / "twice.exe",
            testing_support::AssemblePackage(image, testing_support::Bzip2Stream(archive, 9), 0, script, ""));
  const CommandResult twice = Pack("extract " + (dir / "twice.exe").string() + " " + (dir / "twice").string());
  EXPECT_EQ(twice.exitCode, 0) << twice.output;
  EXPECT_EQ(ReadFile(dir / "twice/a.txt"), "new");
  EXPECT_EQ(ReadFile(dir / "twice/sub/b.txt"), "b");

  // A folder where a file goes, and a file where a folder goes.
  for (const char* inTheWay : {"a.txt/", "sub"}) {
    SCOPED_TRACE(inTheWay);
    const std::filesystem::path target = dir / "blocked";
    std::filesystem::remove_all(target);
    WriteFile(target / "z-keep.txt", "keep");
    if (std::string(inTheWay).back() == '/')
      std::filesystem::create_directories(target / "a.txt");
    else
      WriteFile(target / inTheWay, "a file");
    const CommandResult result = Pack("extract " + (dir / "twice.exe").string() + " " + target.string());
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("in the way"), std::string::npos);
    std::set<std::string> left;
    for (const auto& item : std::filesystem::recursive_directory_iterator(target))
      left.insert(std::filesystem::relative(item.path(), target).generic_string());
    EXPECT_EQ(left, (std::set<std::string>{"z-keep.txt", std::string(inTheWay).back() == '/' ? "a.txt" : "sub"}));
  }
}

// `build` interrupted at each of its writing steps: no partial output, or
// the whole package once it is being renamed into place.
TEST(PackCommandLine, BuildLeavesNothingWhereverItIsInterrupted) {
  ScratchDir dir;
  WriteFile(dir / "payload/a.txt", "a");
  WriteFile(dir / "script.ini", "[Install]\n");
  const std::string arguments = "build " + Installer() + " " + (dir / "payload").string() + " " +
                                (dir / "script.ini").string() + " -o " + (dir / "out/setup.exe").string();
  std::filesystem::create_directories(dir / "out");
  bool finished = false;
  int interrupted = 0;
  for (int step = 1; step <= 20 && !finished; ++step) {
    std::filesystem::remove_all(dir / "out");
    std::filesystem::create_directories(dir / "out");
    const CommandResult result = Pack(arguments, " 2>&1", "QUENLITH_PACK_INTERRUPT_AT=" + std::to_string(step));
    std::vector<std::string> left;
    for (const auto& item : std::filesystem::directory_iterator(dir / "out")) left.push_back(item.path().filename());
    if (result.exitCode == 0) {
      finished = true;
      EXPECT_EQ(left, std::vector<std::string>{"setup.exe"});
      continue;
    }
    ++interrupted;
    EXPECT_EQ(result.exitCode, 128 + SIGINT) << result.output;
    EXPECT_TRUE(left.empty() || left == std::vector<std::string>{"setup.exe"}) << "step " << step << ": " << left[0];
  }
  EXPECT_TRUE(finished);
  EXPECT_GE(interrupted, 2);
}

}  // namespace
