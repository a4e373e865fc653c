// Start-up of the installer under Wine, on packages from the builder: the
// log, the early exits with their boxes, reports and exit codes.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "e2e_support.h"
#include "report_server.h"
#include "test_support.h"
#include "wine.h"

namespace {

using harness::ReportServer;
using harness::Wine;
using testing_support::ReadFile;
using testing_support::WriteFile;

const std::filesystem::path& kInstaller = e2e::TestInstaller();
const std::string kStateUrl =
    "https://localhost:" + std::to_string(test_paths::kReportPort) + "/partner/install.php?state=";

class StartupTest : public e2e::E2eTest {
 protected:

  // A package of one small file and `script`, named `name`.
  std::filesystem::path Package(const std::string& script, const std::string& name = "setup.exe") {
    return e2e::BuildTestPackage(dir_.path(), {{"readme.txt", "payload"}}, script, name);
  }

  // A run that ends in the wizard, which is closed as soon as it shows.
  harness::RunResult Install(const std::filesystem::path& package, std::vector<std::string> args = {}) {
    return e2e::RunWizardToItsEnd(wine_, package, args);
  }

  // A run that ends before any window.
  harness::RunResult RunToEarlyExit(const std::filesystem::path& package, std::vector<std::string> args = {}) {
    args.insert(args.begin(), package.string());
    return wine_.Run(args, 60);
  }

  // The one log the run wrote, or an empty string (and a failure) without one.
  std::string Log() {
    const auto logs = wine_.SetupLogs();
    EXPECT_EQ(logs.size(), 1u);
    return logs.empty() ? std::string() : ReadFile(logs.front());
  }
};

// The entries of a log in order, without counters and times, after checking
// that every line has the file's line format.
std::vector<std::string> Entries(const std::string& log) {
  static const std::regex kLine(R"((\d{8})\t(\d+\.\d{8})\t(.*) )");
  std::vector<std::string> entries;
  std::istringstream lines(log);
  std::string line;
  int expected = 0;
  while (std::getline(lines, line)) {
    EXPECT_FALSE(line.empty() || line.back() != '\r') << "not CR LF: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch match;
    if (!std::regex_match(line, match, kLine)) {
      ADD_FAILURE() << "malformed line: " << line;
      continue;
    }
    EXPECT_EQ(std::stoi(match[1]), expected++) << line;
    entries.push_back(match[3]);
  }
  return entries;
}

// Whether `entries` holds a message entry at `level` from `file` ending in `message`.
bool HasEntry(const std::vector<std::string>& entries, const std::string& level, const std::string& message) {
  const std::regex entry(R"(\[\d+\] )" + level + R"(: [a-z_]+\.cpp:\d+ )" + std::regex_replace(message, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)"));
  for (const std::string& text : entries)
    if (std::regex_match(text, entry)) return true;
  return false;
}

// The index of the first entry ending in `message`, or -1.
int IndexOf(const std::vector<std::string>& entries, const std::string& message) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].size() >= message.size() && entries[i].compare(entries[i].size() - message.size(), message.size(), message) == 0)
      return static_cast<int>(i);
  return -1;
}

const std::string kWizardScript = "[install]\nInstallerSilent=0\n[setup]\nSetupCheckVistaGreater=0\n";

TEST_F(StartupTest, DebugRunLogsHeaderThenStartupLinesThenClosingLines) {
  const std::filesystem::path package = Package(kWizardScript);
  const harness::RunResult result = Install(package, {"/debug"});
  EXPECT_EQ(result.exitCode, 0) << "a closed wizard ends the run normally";

  const std::vector<std::string> entries = Entries(Log());
  ASSERT_GE(entries.size(), 12u);
  EXPECT_EQ(entries[0], "Quenlith setup log file");
  EXPECT_EQ(entries[1], "------------------------------");
  EXPECT_TRUE(std::regex_match(entries[2], std::regex(R"(Version: [A-Z][a-z]{2} [ 0-9]\d \d{4})"))) << entries[2];
  EXPECT_TRUE(std::regex_match(entries[3], std::regex(R"(Windows: 10\.0 Build \d+)"))) << entries[3];
  EXPECT_EQ(entries[4], "------------------------------");
  const std::string size = std::to_string(std::filesystem::file_size(kInstaller));
  EXPECT_TRUE(HasEntry({entries[5]}, "NORMAL", "Setup size: \"" + size + "\"."));
  EXPECT_TRUE(HasEntry({entries[6]}, "NORMAL", "Browser version: \"QuenlithSetup/6.6\"."));
  EXPECT_TRUE(HasEntry({entries[7]}, "NORMAL", "Command line: \"/debug\"."));
  EXPECT_TRUE(HasEntry({entries[8]}, "NORMAL", "State update to \"" + kStateUrl + "start\"."));
  EXPECT_TRUE(HasEntry({entries[9]}, "NORMAL", "Digital signatures enabled."));
  EXPECT_TRUE(HasEntry({entries[10]}, "NORMAL", "Signature size is 0 bytes."));
  EXPECT_TRUE(HasEntry({entries[11]}, "NORMAL", "Starting UI-based installation."));
  EXPECT_EQ(entries[entries.size() - 2], "------------------------------");
  EXPECT_EQ(entries.back(), "Quenlith setup exited successfully");
}

TEST_F(StartupTest, LoggingIsOnlyOnWhenAskedFor) {
  const std::filesystem::path package = Package(kWizardScript);
  const struct {
    const char* commandLine;
    const char* registryValue;  // InstallationLogging, or none
    bool logs;
  } cases[] = {{"/debug", nullptr, true}, {"/DeBuG", nullptr, true}, {"", nullptr, false},
               {"", "1", true},           {"", "0", false},          {"", "2", false},
               // An elevated relaunch without a shell window falls back to the current user's hive.
               {"/elevate", "1", true},   {"/noprogramfileselevation", "1", true}};
  for (const auto& c : cases) {
    if (c.registryValue)
      ASSERT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "regset", "Software\\Quenlith", "InstallationLogging",
                           "dword", c.registryValue}).exitCode, 0);
    Install(package, {c.commandLine});
    EXPECT_EQ(wine_.SetupLogs().size(), c.logs ? 1u : 0u) << c.commandLine << " " << (c.registryValue ? c.registryValue : "-");
    wine_.RemoveSetupLogs();
    wine_.RunInEnvironment({"wine", "reg", "delete", "HKCU\\Software\\Quenlith", "/v", "InstallationLogging", "/f"});
  }
}

TEST_F(StartupTest, DamagedPackageIsAnsweredThroughItsMessageBox) {
  ReportServer server;
  const std::filesystem::path good = Package(kWizardScript);
  const std::string bytes = ReadFile(good);
  WriteFile(dir_ / "damaged.exe", bytes.substr(0, bytes.size() - 30));

  harness::Process run = wine_.Start({(dir_ / "damaged.exe").string(), "/debug"});
  EXPECT_EQ(wine_.AnswerMessageBox("Quenlith: Invalid setup file", "ok"),
            "The setup file does not appear to be valid, please re-download (0:0:0)");
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), -1);

  const std::vector<std::string> entries = Entries(Log());
  EXPECT_TRUE(HasEntry(entries, "ERROR", "Unable to locate signature size (12288:0)."));
  EXPECT_TRUE(HasEntry(entries, "WARNING", "Error reading configuration file."));
  EXPECT_TRUE(HasEntry(entries, "NORMAL", "State update to \"" + kStateUrl + "cancel_configuration\"."));
  EXPECT_EQ(entries.back(), "Quenlith setup exited with errors");
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "cancel_configuration"}));
}

TEST_F(StartupTest, DamagedPackageRunSilentlyShowsNoBox) {
  const std::string bytes = ReadFile(Package(kWizardScript));
  WriteFile(dir_ / "damaged.exe", bytes.substr(0, bytes.size() - 30));
  const harness::RunResult result = RunToEarlyExit(dir_ / "damaged.exe", {"/silent", "/debug"});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, -1);
  EXPECT_TRUE(HasEntry(Entries(Log()), "WARNING", "Error reading configuration file."));
}

TEST_F(StartupTest, OldOperatingSystemIsRefusedWhenTheScriptAsks) {
  ReportServer server;
  const std::string refusing =
      "[setup]\nSetupCheckVistaGreater=1\nSetupCheckVistaGreaterTitle=Quenlith: old system\n"
      "SetupCheckVistaGreaterText=Quenlith needs Windows Vista or later.\n";
  // Wine reports Windows XP to programs of this name only.
  const std::filesystem::path package = Package(refusing, "oldos-setup.exe");
  wine_.RunInEnvironment({"wine", "reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\oldos-setup.exe", "/v", "Version",
                          "/d", "winxp", "/f"});
  harness::Process run = wine_.Start({package.string(), "/debug"});
  EXPECT_EQ(wine_.AnswerMessageBox("Quenlith: old system", "ok"), "Quenlith needs Windows Vista or later.");
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), -1);
  const std::vector<std::string> entries = Entries(Log());
  EXPECT_TRUE(std::regex_match(entries[3], std::regex(R"(Windows: 5\.1 Build \d+)"))) << entries[3];
  EXPECT_TRUE(HasEntry(entries, "WARNING", "Operating system is too old."));
  // Every run that ends with a non-zero code says so, and its closing line agrees.
  EXPECT_TRUE(HasEntry(entries, "ERROR", "Setup is exiting with code -1: the installation was not completed."));
  EXPECT_EQ(entries.back(), "Quenlith setup exited with errors");
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "cancel_os"}));
  wine_.RemoveSetupLogs();

  // Without the script's check the same system is not refused.
  const std::filesystem::path lenient = Package(kWizardScript, "oldos-setup.exe");
  Install(lenient, {"/debug"});
  const std::vector<std::string> lenientEntries = Entries(Log());
  EXPECT_FALSE(HasEntry(lenientEntries, "WARNING", "Operating system is too old."));
  EXPECT_TRUE(HasEntry(lenientEntries, "NORMAL", "Starting UI-based installation."));
}

TEST_F(StartupTest, InstallationPolicyIsHonouredOnlyWithCheckmsi) {
  ReportServer server;
  const std::filesystem::path package = Package(kWizardScript);
  ASSERT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "regset", "Software\\Quenlith",
                       "PreventInstallationFromMsi", "dword", "1"}).exitCode, 0);

  EXPECT_EQ(RunToEarlyExit(package, {"/checkmsi", "/debug"}).exitCode, -1);
  std::vector<std::string> entries = Entries(Log());
  EXPECT_TRUE(HasEntry(entries, "NORMAL", "Searching for settings at \"Software\\Quenlith\\\"."));
  EXPECT_TRUE(HasEntry(entries, "WARNING", "MSI-based installation is disabled due to registry key setting."));
  EXPECT_EQ(entries.back(), "Quenlith setup exited with errors") << "exit code -1";
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "cancel_msi"}));
  wine_.RemoveSetupLogs();

  // An elevated relaunch that cannot reach the shell's user reads its own hive, without a SID prefix.
  EXPECT_EQ(RunToEarlyExit(package, {"/elevate", "/checkmsi", "/debug"}).exitCode, -1);
  EXPECT_TRUE(HasEntry(Entries(Log()), "NORMAL", "Searching for settings at \"Software\\Quenlith\\\"."));
  wine_.RemoveSetupLogs();

  Install(package, {"/debug"});
  entries = Entries(Log());
  EXPECT_EQ(IndexOf(entries, "Searching for settings at \"Software\\Quenlith\\\"."), -1);
  EXPECT_TRUE(HasEntry(entries, "NORMAL", "Starting UI-based installation."));
  wine_.RunInEnvironment({"wine", "reg", "delete", "HKCU\\Software\\Quenlith", "/v", "PreventInstallationFromMsi", "/f"});
}

TEST_F(StartupTest, RunningProductIsAskedAboutUnlessElevated) {
  ReportServer server;
  const std::filesystem::path package =
      Package(kWizardScript + "SetupCheckIfQuenlithLoaded=1\nSetupCheckIfQuenlithLoadedTitle=Quenlith is running\n"
                              "SetupCheckIfQuenlithLoadedText=Continue anyway?\n");
  harness::Process product = wine_.Start({(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe").string()});
  ASSERT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "find", "Quenlith", "Quenlith", "20000"}).exitCode, 0);

  harness::Process declined = wine_.Start({package.string(), "/debug"});
  EXPECT_EQ(wine_.AnswerMessageBox("Quenlith is running", "no"), "Continue anyway?");
  EXPECT_EQ(Wine::ExitCodeOf(declined.Wait(60)), -1);
  EXPECT_TRUE(HasEntry(Entries(Log()), "WARNING", "Exiting, Quenlith is already running."));
  wine_.RemoveSetupLogs();

  harness::Process accepted = wine_.Start({package.string(), "/debug"});
  EXPECT_TRUE(wine_.AnswerMessageBox("Quenlith is running", "yes").has_value());
  EXPECT_TRUE(e2e::DismissWizard(wine_)) << "going on shows the wizard";
  accepted.Wait(60);
  EXPECT_FALSE(HasEntry(Entries(Log()), "WARNING", "Exiting, Quenlith is already running."));
  wine_.RemoveSetupLogs();

  // An elevated relaunch does not ask again.
  Install(package, {"/elevate", "/debug"});
  const std::vector<std::string> elevated = Entries(Log());
  EXPECT_TRUE(HasEntry(elevated, "NORMAL", "Removing Quenlith check due to command line arguments."));
  EXPECT_TRUE(HasEntry(elevated, "NORMAL", "Starting UI-based installation."));
  EXPECT_FALSE(HasEntry(elevated, "WARNING", "Exiting, Quenlith is already running."));

  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "cancel_quenlith", "start", "cancel_location", "start",
                                                       "cancel_location"}));
  EXPECT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "close", "Quenlith", "Quenlith"}).exitCode, 0);
  product.Wait(30);
}

TEST_F(StartupTest, SilentSwitchesChooseTheMode) {
  const std::filesystem::path package = Package(kWizardScript);
  const struct {
    std::vector<std::string> args;
    const char* firstLine;
    bool wizard;
    int exitCode;  // the script names no destination: a silent run cannot validate one
  } cases[] = {{{"/silent", "/debug"}, "Starting silent installation.", false, -3},
               {{"/silent", "/nosilent", "/debug"}, "Starting UI-based installation.", true, 0},
               {{"/debug"}, "Starting UI-based installation.", true, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ((c.wizard ? Install(package, c.args) : RunToEarlyExit(package, c.args)).exitCode, c.exitCode);
    EXPECT_TRUE(HasEntry(Entries(Log()), "NORMAL", c.firstLine)) << c.firstLine;
    wine_.RemoveSetupLogs();
  }
}

TEST_F(StartupTest, ReportsCarryTheUserAgentAndNeedNoServer) {
  const std::filesystem::path package = Package(kWizardScript);
  {
    ReportServer server;
    Install(package);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/partner/install.php?state=start");
    EXPECT_EQ(requests[1].path, "/partner/install.php?state=cancel_location");
    for (const auto& request : requests) EXPECT_EQ(request.userAgent, "QuenlithSetup/6.6");
  }
  // Nothing listens now: the run goes on as before.
  const harness::RunResult result = Install(package, {"/debug"});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0);
  const std::vector<std::string> entries = Entries(Log());
  EXPECT_TRUE(HasEntry(entries, "NORMAL", "State update to \"" + kStateUrl + "start\"."));
  EXPECT_TRUE(HasEntry(entries, "NORMAL", "Starting UI-based installation."));
}

}  // namespace

namespace {

TEST_F(StartupTest, WizardAsksForTheLocationOnlyForAnEarlierCopyElsewhere) {
  const char* key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith";
  const std::filesystem::path package = Package(
      kWizardScript + "SetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=Quenlith\n"
                      "[destination]\nDestinationAuto=1\nDestinationProgramData=1\n");
  const struct {
    const char* uninstallString;  // none: no earlier installation
    std::vector<std::string> args;
    const char* decision;
  } cases[] = {
      {nullptr, {"/debug"}, "No previous installation found."},
      {"D:\\Tools\\Quenlith\\Quenlith.exe /uninstall", {"/debug"},
       "Existing copy installed elsewhere, showing location prompt."},
      {"C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe /uninstall", {"/debug"},
       "Existing copy installed to program data, will continue this location."},
      {"D:\\Tools\\Quenlith\\Quenlith.exe /uninstall", {"/debug", "/location", "D:\\Tools"}, nullptr},
  };
  wine_.RunInEnvironment({"wine", "reg", "delete", key, "/f"});
  for (const auto& c : cases) {
    if (c.uninstallString)
      wine_.RunInEnvironment({"wine", "reg", "add", key, "/v", "UninstallString", "/d", c.uninstallString, "/f"});
    Install(package, c.args);
    const std::vector<std::string> entries = Entries(Log());
    if (c.decision) {
      EXPECT_TRUE(HasEntry(entries, "NORMAL", "Determining if location prompt should be shown."));
      EXPECT_TRUE(HasEntry(entries, "NORMAL", c.decision)) << c.decision;
    } else {
      EXPECT_EQ(IndexOf(entries, "Determining if location prompt should be shown."), -1) << "/location skips it";
    }
    wine_.RemoveSetupLogs();
    wine_.RunInEnvironment({"wine", "reg", "delete", key, "/f"});
  }
}

}  // namespace
