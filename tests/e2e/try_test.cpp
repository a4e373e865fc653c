// `quenlith-pack try` as a release engineer runs it: each run makes its own
// prefix under the build tree, and the report's JSON is checked against what
// the kept prefix holds afterwards.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "formats/layout.h"
#include "test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using testing_support::ReadFile;
using testing_support::WriteFile;

struct TryResult {
  int exitCode = -1;
  std::string output;  // standard output: the report
  std::string errors;  // standard error: progress and faults
  double seconds = 0;
};

// A fresh folder under the build tree for the running test.
fs::path TestFolder() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  for (char& c : name)
    if (c == '/') c = '_';
  const fs::path folder = fs::path(test_paths::kWineDir).parent_path() / "try" / name;
  fs::remove_all(folder);
  fs::create_directories(folder / "tmp");
  return folder;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the builder's try in `folder`, with its temporary files there too.
// `environment` adds NAME=value settings.
TryResult Try(const fs::path& folder, const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment = {}) {
  std::string command = "cd " + Quoted(folder.string()) + " && env -u DISPLAY TMPDIR=" + Quoted((folder / "tmp").string());
  for (const std::string& setting : environment) command += " " + Quoted(setting);
  command += " " + Quoted(test_paths::kPack) + " try";
  for (const std::string& argument : arguments) command += " " + Quoted(argument);
  command += " >" + Quoted((folder / "try.out").string()) + " 2>" + Quoted((folder / "try.err").string());
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  TryResult result;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = ReadFile(folder / "try.out");
  result.errors = ReadFile(folder / "try.err");
  return result;
}

json Report(const TryResult& result) {
  json report = json::parse(result.output, nullptr, false);
  EXPECT_FALSE(report.is_discarded()) << "not one JSON document:\n" << result.output << result.errors;
  return report;
}

// "C:\x\y" in the kept prefix at `keep`.
fs::path InPrefix(const fs::path& keep, std::string windowsPath) {
  EXPECT_EQ(windowsPath.rfind("C:\\", 0), 0u) << windowsPath;
  std::string rest = windowsPath.substr(3);
  for (char& c : rest)
    if (c == '\\') c = '/';
  return keep / "prefix" / "drive_c" / rest;
}

// Counts the files and bytes below a folder of the prefix.
std::pair<std::uint64_t, std::uint64_t> FilesBelow(const fs::path& folder) {
  std::uint64_t files = 0, bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) ++files, bytes += entry.file_size();
  return {files, bytes};
}

bool IsPng(const fs::path& path) {
  const std::string bytes = ReadFile(path);
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
  auto be32 = [&bytes](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<unsigned char>(bytes[at + 1]) << 16 | static_cast<unsigned char>(bytes[at + 2]) << 8 |
           static_cast<unsigned char>(bytes[at + 3]);
  };
  return be32(16) > 0 && be32(20) > 0;  // the header's width and height
}

// Wine processes still running for a prefix: any process whose environment names it.
std::vector<std::string> ProcessesOfPrefix(const fs::path& prefix) {
  std::vector<std::string> found;
  const std::string mark = "WINEPREFIX=" + prefix.string();
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream environ(entry.path() / "environ", std::ios::binary);
    std::string variable;
    while (std::getline(environ, variable, '\0'))
      if (variable == mark) found.push_back(entry.path().filename().string() + " " + ReadFile(entry.path() / "comm"));
  }
  return found;
}

const std::string kUninstallKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith";
const std::string kDestination = "C:\\ProgramData\\Quenlith\\bin\\";

const json* Value(const json& entry, const std::string& name) {
  for (const json& value : entry["values"])
    if (value["name"] == name) return &value;
  return nullptr;
}

TEST(TryPackage, SilentRunReportsWhatTheMachineHolds) {
  const fs::path folder = TestFolder();
  const fs::path keep = folder / "kept";
  const TryResult result = Try(folder, {test_paths::kSampleRunPackage, "--keep", keep.string(), "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.output << result.errors;
  const json report = Report(result);
  ASSERT_TRUE(report.is_object());
  EXPECT_EQ(report["outcome"], "exited");
  EXPECT_EQ(report["exitCode"], 0);
  EXPECT_EQ(report["mode"], "silent");
  EXPECT_EQ(report["switches"], json::array({"/silent"}));
  EXPECT_EQ(report["architecture"], test_paths::kRunArch);
  EXPECT_GT(report["milliseconds"].get<std::int64_t>(), 0);
  EXPECT_EQ(report["prefix"], fs::absolute(keep).string());

  // Each folder the report names holds on disk what it says; the new ones
  // hold nothing else.
  std::uint64_t files = 0, bytes = 0;
  bool destinationSeen = false;
  for (const json& group : report["filesWritten"]["folders"]) {
    const fs::path onDisk = InPrefix(keep, group["path"]);
    ASSERT_TRUE(fs::is_directory(onDisk)) << group.dump();
    if (group["new"].get<bool>()) {
      const auto [diskFiles, diskBytes] = FilesBelow(onDisk);
      EXPECT_EQ(group["files"].get<std::uint64_t>(), diskFiles) << group.dump();
      EXPECT_EQ(group["bytes"].get<std::uint64_t>(), diskBytes) << group.dump();
    }
    if (group["path"] == "C:\\ProgramData\\Quenlith") destinationSeen = group["new"].get<bool>();
    files += group["files"].get<std::uint64_t>();
    bytes += group["bytes"].get<std::uint64_t>();
  }
  EXPECT_TRUE(destinationSeen) << report["filesWritten"].dump(2);
  EXPECT_EQ(report["filesWritten"]["count"].get<std::uint64_t>(), files);
  EXPECT_EQ(report["filesWritten"]["bytes"].get<std::uint64_t>(), bytes);
  EXPECT_TRUE(fs::exists(InPrefix(keep, kDestination + "Quenlith.exe")));

  // Shortcuts: desktop and start menu, each a file there, pointing at the installed program.
  ASSERT_EQ(report["shortcuts"].size(), 2u) << report["shortcuts"].dump(2);
  std::set<std::string> places;
  for (const json& shortcut : report["shortcuts"]) {
    EXPECT_TRUE(fs::is_regular_file(InPrefix(keep, shortcut["path"]))) << shortcut.dump();
    EXPECT_EQ(shortcut["target"], kDestination + "Quenlith.exe") << shortcut.dump();
    EXPECT_TRUE(fs::is_regular_file(InPrefix(keep, shortcut["target"]))) << shortcut.dump();
    const std::string path = shortcut["path"];
    places.insert(path.find("\\Desktop\\") != std::string::npos      ? "desktop"
                  : path.find("\\Start Menu\\") != std::string::npos ? "start menu"
                                                                      : path);
  }
  EXPECT_EQ(places, (std::set<std::string>{"desktop", "start menu"}));

  // The uninstall entry, as the prefix's registry file stores it.
  ASSERT_EQ(report["uninstallEntries"].size(), 1u) << report["uninstallEntries"].dump(2);
  const json& entry = report["uninstallEntries"][0];
  EXPECT_EQ(entry["key"], kUninstallKey);
  const std::string userReg = ReadFile(keep / "prefix" / "user.reg");
  const json* uninstall = Value(entry, "UninstallString");
  ASSERT_NE(uninstall, nullptr) << entry.dump(2);
  EXPECT_EQ((*uninstall)["data"], kDestination + "Quenlith.exe /uninstall");
  EXPECT_NE(userReg.find("\"UninstallString\"=\"C:\\\\ProgramData\\\\Quenlith\\\\bin\\\\Quenlith.exe /uninstall\""),
            std::string::npos);
  const json* size = Value(entry, "EstimatedSize");
  ASSERT_NE(size, nullptr);
  EXPECT_EQ((*size)["type"], "REG_DWORD");
  EXPECT_EQ((*size)["data"], "1024");
  EXPECT_NE(userReg.find("\"EstimatedSize\"=dword:00000400"), std::string::npos);

  // Product settings and the log, each the file on disk.
  ASSERT_TRUE(report["productSettings"].is_object());
  EXPECT_EQ(report["productSettings"]["text"].get<std::string>(),
            [&] {
              std::string text = ReadFile(InPrefix(keep, report["productSettings"]["path"]));
              std::erase(text, '\r');
              return text;
            }());
  EXPECT_NE(report["productSettings"]["text"].get<std::string>().find("FirstRun=1"), std::string::npos);
  EXPECT_TRUE(report["pluginLists"].empty()) << "the sample script has no plug-ins";
  ASSERT_TRUE(report["log"].is_object());
  const std::string log = report["log"]["text"];
  EXPECT_TRUE(fs::is_regular_file(InPrefix(keep, report["log"]["path"])));
  EXPECT_NE(log.find("Quenlith setup exited successfully"), std::string::npos) << log;

  // A silent run reports only its start, to the host the build names.
  EXPECT_EQ(report["stateReports"],
            json::array({"https://partner.quenlith.invalid/partner/install.php?state=start"}));
  EXPECT_NE(log.find("State update to \"https://partner.quenlith.invalid/partner/install.php?state=start\"."),
            std::string::npos);
  EXPECT_TRUE(report["tempLeft"].empty()) << report["tempLeft"].dump();
  EXPECT_TRUE(ProcessesOfPrefix(keep / "prefix").empty());
}

TEST(TryPackage, WizardRunKeepsAPictureOfEachPage) {
  const fs::path folder = TestFolder();
  const TryResult result =
      Try(folder, {test_paths::kSampleRunPackage, "--wizard", "--pictures", (folder / "pages").string(), "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.output << result.errors;
  const json report = Report(result);
  EXPECT_EQ(report["mode"], "wizard");
  EXPECT_EQ(report["switches"], json::array());
  EXPECT_EQ(report["exitCode"], 0);
  EXPECT_EQ(report["pictures"]["folder"], (folder / "pages").string());
  // The sample installs into its automatic destination and launches the product: one page.
  ASSERT_EQ(report["pictures"]["pages"].size(), 1u) << report["pictures"].dump(2);
  EXPECT_EQ(report["pictures"]["pages"][0]["page"], "installing");
  EXPECT_TRUE(IsPng(report["pictures"]["pages"][0]["png"].get<std::string>()));
  // A wizard run reports its start, the installation and its end.
  const std::string host = "https://partner.quenlith.invalid/partner/install.php?state=";
  EXPECT_EQ(report["stateReports"], json::array({host + "start", host + "installing", host + "complete"}));
  EXPECT_TRUE(report["prefix"].is_null());
  EXPECT_TRUE(fs::is_empty(folder / "tmp")) << "the throw-away prefix is removed";
}

TEST(TryPackage, DamagedPayloadExitsTwoAndInstallsNothing) {
  const fs::path folder = TestFolder();
  // One byte flipped in the middle of the payload: the layout stays whole, the data does not.
  std::string package = ReadFile(test_paths::kSampleRunPackage);
  const std::size_t scriptOffset =
      layout::ReadLe32(reinterpret_cast<const unsigned char*>(package.data() + package.size() - 4));
  const std::size_t payloadOffset =
      layout::ReadLe32(reinterpret_cast<const unsigned char*>(package.data() + scriptOffset - 4));
  package[(payloadOffset + scriptOffset - 4) / 2] ^= 0x20;
  WriteFile(folder / "damaged.exe", package);
  const fs::path keep = folder / "kept";

  const TryResult result = Try(folder, {(folder / "damaged.exe").string(), "--keep", keep.string(), "--json"});
  EXPECT_EQ(result.exitCode, 1) << result.output << result.errors;
  const json report = Report(result);
  EXPECT_EQ(report["outcome"], "exited");
  EXPECT_EQ(report["exitCode"], 2);
  EXPECT_EQ(report["exitMeaning"], "decompression failed: corrupt or truncated data");
  // The destination's folders are made and tested before the payload is read: they stay empty.
  ASSERT_TRUE(fs::is_directory(keep / "prefix/drive_c/ProgramData/Quenlith/bin"));
  EXPECT_EQ(FilesBelow(keep / "prefix/drive_c/ProgramData/Quenlith").first, 0u);
  for (const json& group : report["filesWritten"]["folders"])
    EXPECT_EQ(group["path"].get<std::string>().find("ProgramData"), std::string::npos) << group.dump();
  EXPECT_TRUE(report["shortcuts"].empty());
  EXPECT_TRUE(report["uninstallEntries"].empty());
  EXPECT_TRUE(report["productSettings"].is_null());
  ASSERT_TRUE(report["log"].is_object());
  EXPECT_NE(report["log"]["text"].get<std::string>().find("Quenlith setup exited with errors"), std::string::npos);
  EXPECT_TRUE(report["tempLeft"].empty()) << report["tempLeft"].dump();

  // The text report says the same.
  const TryResult text = Try(folder, {(folder / "damaged.exe").string()});
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_NE(text.output.find("exit code:        2 (decompression failed: corrupt or truncated data)"),
            std::string::npos)
      << text.output;
}

TEST(TryPackage, HangingInstallerIsEndedAtTheTimeLimit) {
  const fs::path folder = TestFolder();
  const std::string script = "[Install]\r\nInstallerSilent=1\r\n" + std::string(layout::kEndMarker) + "\r\n";
  WriteFile(folder / "hangs.exe",
            testing_support::AssemblePackage(ReadFile(fs::path(test_paths::kRunBin) / "hang_double.exe"),
                                             "payload", 0, script, ""));
  const fs::path keep = folder / "kept";
  constexpr int kTimeLimit = 8;
  const TryResult result = Try(folder, {(folder / "hangs.exe").string(), "--timeout", std::to_string(kTimeLimit),
                                        "--keep", keep.string(), "--pictures", (folder / "pictures").string(),
                                        "--json"});
  EXPECT_EQ(result.exitCode, 1) << result.output << result.errors;
  const json report = Report(result);
  EXPECT_EQ(report["outcome"], "hung");
  EXPECT_TRUE(report["exitCode"].is_null());
  const std::int64_t milliseconds = report["milliseconds"];
  EXPECT_GE(milliseconds, kTimeLimit * 1000);
  EXPECT_LT(milliseconds, kTimeLimit * 1000 + 3000);
  ASSERT_TRUE(report["pictures"]["hangScreenshot"].is_string()) << report["pictures"].dump();
  EXPECT_EQ(report["pictures"]["hangScreenshot"], (folder / "pictures" / "hung.png").string());
  EXPECT_TRUE(IsPng(folder / "pictures" / "hung.png"));
  EXPECT_TRUE(ProcessesOfPrefix(keep / "prefix").empty()) << ProcessesOfPrefix(keep / "prefix").front();
}

TEST(TryPackage, InterruptedRunLeavesNoProgramAndNoPrefix) {
  const fs::path folder = TestFolder();
  const std::string script = "[Install]\r\nInstallerSilent=1\r\n" + std::string(layout::kEndMarker) + "\r\n";
  WriteFile(folder / "hangs.exe",
            testing_support::AssemblePackage(ReadFile(fs::path(test_paths::kRunBin) / "hang_double.exe"),
                                             "payload", 0, script, ""));
  const std::string command = "cd " + Quoted(folder.string()) + " && exec env -u DISPLAY TMPDIR=" +
                              Quoted((folder / "tmp").string()) + " " + Quoted(test_paths::kPack) + " try " +
                              Quoted((folder / "hangs.exe").string()) + " --timeout 600 2>" +
                              Quoted((folder / "try.err").string()) + " >/dev/null";
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  // Whatever fails below, try is interrupted and waited for, not left running.
  struct Reaper {
    pid_t& pid;
    ~Reaper() {
      if (pid <= 0) return;
      kill(pid, SIGINT);
      waitpid(pid, nullptr, 0);
    }
  } reaper{pid};
  // Interrupted once the package runs, when the prefix, Xvfb and the program all exist.
  auto progress = [&folder] { return fs::exists(folder / "try.err") ? ReadFile(folder / "try.err") : std::string(); };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (progress().find("running") == std::string::npos && std::chrono::steady_clock::now() < deadline)
    usleep(100000);
  ASSERT_NE(progress().find("running"), std::string::npos) << progress();
  fs::path prefix;
  for (const auto& entry : fs::directory_iterator(folder / "tmp"))
    if (entry.path().filename().string().rfind("quenlith-try-", 0) == 0) prefix = entry.path() / "prefix";
  ASSERT_FALSE(prefix.empty());
  sleep(2);
  ASSERT_FALSE(ProcessesOfPrefix(prefix).empty()) << "the package should be running now";
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  pid = 0;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
  EXPECT_TRUE(ProcessesOfPrefix(prefix).empty()) << ProcessesOfPrefix(prefix).front();
  EXPECT_FALSE(fs::exists(prefix.parent_path())) << "the throw-away prefix is removed";
}

// Runs that never reach Wine: each ends with 2 and says why.
TEST(TryPackage, RefusesWhatItCannotRun) {
  const fs::path folder = TestFolder();
  WriteFile(folder / "notes.txt", "not a package");
  fs::create_directories(folder / "full");
  WriteFile(folder / "full/file", "x");
  // A PATH with Wine but without Xvfb, and one with neither.
  fs::create_directories(folder / "no-wine");
  fs::create_directories(folder / "no-xvfb");
  for (const char* program : {"wineboot", "wineserver"})
    fs::create_symlink(fs::path("/usr/bin") / program, folder / "no-xvfb" / program);
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
    std::vector<std::string> environment = {};
  };
  std::vector<Case> cases = {
      {{test_paths::kSampleRunPackage}, "Wine is missing: install it", {"PATH=" + (folder / "no-wine").string()}},
      {{test_paths::kSampleRunPackage},
       "there is no display and Xvfb is missing: install it",
       {"PATH=" + (folder / "no-xvfb").string()}},
      {{(folder / "notes.txt").string()}, "is not a setup package"},
      {{(folder / "missing.exe").string()}, "no such file"},
      {{test_paths::kSampleRunPackage, "--keep", (folder / "full").string()}, "--keep needs a new or empty folder"},
      {{test_paths::kSampleRunPackage, "--timeout", "0"}, "--timeout needs"},
      {{}, "try needs PACKAGE"},
  };
  if (std::string(test_paths::kRunArch) == "x86_64")
    cases.push_back({{test_paths::kSamplePackage}, "this machine's Wine runs only 64-bit (x86_64) programs"});
  for (const Case& item : cases) {
    const TryResult result = Try(folder, item.arguments, item.environment);
    EXPECT_EQ(result.exitCode, 2) << item.message;
    EXPECT_NE(result.errors.find(item.message), std::string::npos) << result.errors;
    EXPECT_LT(result.seconds, 10) << item.message << ": refused before any prefix was made";
  }
  EXPECT_TRUE(fs::is_empty(folder / "tmp"));

  // Under --json the refusal is a document too.
  const TryResult json = Try(folder, {(folder / "notes.txt").string(), "--json"});
  EXPECT_EQ(json.exitCode, 2);
  const nlohmann::json report = Report(json);
  ASSERT_TRUE(report.is_object());
  EXPECT_NE(report["error"].get<std::string>().find("is not a setup package"), std::string::npos) << report.dump();
}

}  // namespace
