#include "e2e_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "pack/build.h"

namespace e2e {

void E2eTest::Clean() {
  wine_.RemoveSetupLogs();
  for (const std::string& folder : folders_) std::filesystem::remove_all(wine_.LinuxPath(folder));
  for (const std::string& key : keys_) wine_.RunInEnvironment({"wine", "reg", "delete", key, "/f"});
}

std::string E2eTest::Log() const { return OnlySetupLog(wine_); }

harness::RunResult E2eTest::Install(const std::filesystem::path& package) {
  return wine_.Run({package.string(), "/debug"}, 120);
}

const std::filesystem::path& TestInstaller() {
  static const std::filesystem::path installer =
      std::filesystem::path(test_paths::kRunBin) / "QuenlithSetup-loopback.exe";
  return installer;
}

std::filesystem::path BuildTestPackage(const std::filesystem::path& folder, const testing_support::Files& files,
                                       const std::string& script, const std::string& name) {
  testing_support::WritePayloadFolder(folder / "payload", files);
  testing_support::WriteFile(folder / "script.ini", script);
  pack::BuildOptions options{TestInstaller(), folder / "payload", folder / "script.ini", folder / name};
  std::ostringstream messages;
  pack::BuildPackage(options, messages);
  return options.output;
}

namespace {
bool Runs32Bit() { return std::string(test_paths::kRunArch) == "i686"; }
}  // namespace

std::string InstallerProgramFiles() { return Runs32Bit() ? "C:\\Program Files (x86)" : "C:\\Program Files"; }

std::string InstallerRegistryView() { return Runs32Bit() ? "/reg:32" : "/reg:64"; }

std::filesystem::path TemporaryFolder(harness::Wine& wine) {
  const harness::RunResult temp = wine.RunInEnvironment({"wine", "cmd", "/c", "echo %TEMP%"});
  return wine.LinuxPath(temp.output.substr(0, temp.output.find_first_of("\r\n")));
}

std::vector<std::filesystem::path> LeftTemporaryFiles(harness::Wine& wine) {
  std::vector<std::filesystem::path> left;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(TemporaryFolder(wine), error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("quenlith_temp_", 0) == 0 || name.rfind("quenlith_setup_text", 0) == 0) left.push_back(entry.path());
  }
  return left;
}

std::string Wintool(harness::Wine& wine, const std::vector<std::string>& args) {
  std::vector<std::string> command = {wine.Program("wintool.exe").string()};
  command.insert(command.end(), args.begin(), args.end());
  return wine.Run(command, 60).output;
}

bool DismissWizard(harness::Wine& wine, int timeoutMs) {
  return wine.Run({wine.Program("wintool.exe").string(), "dismiss", kWizardClass, std::to_string(timeoutMs)},
                  timeoutMs / 1000 + 30)
             .exitCode == 0;
}

harness::RunResult RunWizardToItsEnd(harness::Wine& wine, const std::filesystem::path& package,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> command = args;
  command.insert(command.begin(), package.string());
  harness::Process run = wine.Start(command);
  EXPECT_TRUE(DismissWizard(wine)) << "no wizard came and went";
  harness::RunResult result = run.Wait(60);
  if (const std::optional<int> code = harness::Wine::ExitCodeOf(result)) result.exitCode = *code;
  return result;
}

std::string OnlySetupLog(const harness::Wine& wine) {
  const auto logs = wine.SetupLogs();
  return logs.size() == 1 ? testing_support::ReadFile(logs.front()) : std::string();
}

namespace {
constexpr const char* kEnvironmentKey = "HKCU\\Environment";
}  // namespace

TemporaryFolderOverride::TemporaryFolderOverride(harness::Wine& wine, const std::string& folder) : wine_(wine) {
  for (const char* name : {"TMP", "TEMP"}) {
    Saved saved{name, "", ""};
    // A value line reads "    NAME    REG_TYPE    DATA".
    std::istringstream lines(wine_.RunInEnvironment({"wine", "reg", "query", kEnvironmentKey, "/v", name}).output);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string head = "    " + saved.name + "    ";
      if (line.rfind(head, 0) != 0 || line.compare(head.size(), 4, "REG_") != 0) continue;
      const std::size_t typeEnd = line.find("    ", head.size());
      saved.type = line.substr(head.size(), typeEnd - head.size());
      saved.data = typeEnd == std::string::npos ? std::string() : line.substr(typeEnd + 4);
    }
    saved_.push_back(saved);
    wine_.RunInEnvironment({"wine", "reg", "add", kEnvironmentKey, "/v", name, "/d", folder, "/f"});
  }
}

TemporaryFolderOverride::~TemporaryFolderOverride() {
  for (const Saved& saved : saved_) {
    if (saved.type.empty())
      wine_.RunInEnvironment({"wine", "reg", "delete", kEnvironmentKey, "/v", saved.name, "/f"});
    else
      wine_.RunInEnvironment(
          {"wine", "reg", "add", kEnvironmentKey, "/v", saved.name, "/t", saved.type, "/d", saved.data, "/f"});
  }
}

}  // namespace e2e
