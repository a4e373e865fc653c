// What a silent installation does to the machine beyond the files, under
// Wine on packages from the builder: shortcuts, the uninstall entry, product
// settings, the media player keys, the repair of an up-to-date installation,
// the clean-up of an earlier program-files copy and the clean-up relaunch.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "e2e_support.h"
#include "test_support.h"
#include "wine.h"

namespace {

namespace fs = std::filesystem;
using harness::Wine;
using testing_support::Count;
using testing_support::ExpectInOrder;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

using e2e::kDestination;
const std::string kUserList = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kUserEntry = kUserList + "\\Quenlith";
const std::string kMachineEntry = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith";
const std::string kPlayerKey = "HKCU\\Software\\Microsoft\\MediaPlayer\\UIPlugins";
const std::string kPluginClass = "HKCU\\Software\\Classes\\CLSID\\{B7125B4E-CA73-47f1-AEAA-6B3EFA553F5A}";

// The shipped script's integration keys, with the destination in program data.
const std::string kScript =
    e2e::kSilentProgramDataScript + "[setup]\nSetupFirstRun=1\nSetupMediaPlayer=1\n"
    "SetupDesktopIcon=1\nSetupDesktopIconNum=1\nSetupDesktopIconLink0=Quenlith.exe\nSetupDesktopIconTitle0=Quenlith\n"
    "SetupDesktopIconDescription0=Chat with your friends\n"
    "SetupStartMenu=1\nSetupStartMenuNum=1\nSetupStartMenuLink0=Quenlith.exe\nSetupStartMenuTitle0=Quenlith\n"
    "SetupStartMenuDescription0=Chat with your friends\nSetupStartup=1\n"
    "SetupUninstallInformation=1\nSetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=Quenlith\n"
    "SetupUninstallInformationLink0=Quenlith.exe /uninstall\nSetupUninstallInformationIcon0=Quenlith.exe\n"
    "SetupUninstallInformationPublisher0=Quenlith Publisher\nSetupUninstallInformationDisplayVersion0=6.6.0.18\n"
    "SetupUninstallInformationEstimatedSize0=66775654\n"
    "[plugin]\nPluginAutoInstall=1\nPluginAutoInstallNum=1\nPluginAutoInstallLink0=weather.dll\n"
    "PluginAutoInstallGuid0={11111111-2222-3333-4444-555555555555}\n";

// kScript with `keys` at the head of its [setup] section, where they win
// over the same keys further down.
std::string ScriptWith(const std::string& keys) {
  std::string script = kScript;
  script.insert(script.find("[setup]\n") + 8, keys);
  return script;
}

class MachineIntegrationTest : public e2e::E2eTest {
 protected:
  MachineIntegrationTest() : E2eTest({e2e::kProgramDataFolder}, {kUserEntry, kPlayerKey, kPluginClass}) {}
  void Clean() override {
    E2eTest::Clean();
    fs::remove_all(UserFolder() / "AppData/Roaming/Quenlith");
    for (const fs::path& link : Shortcuts()) fs::remove(link);
    wine_.RunInEnvironment({"wine", "reg", "delete", kMachineEntry, "/f", e2e::InstallerRegistryView()});
    fs::remove_all(ProgramFilesCopy());
    // Values an entry without a title must never leave in the list of programs itself.
    for (const char* name : kEntryValues) wine_.RunInEnvironment({"wine", "reg", "delete", kUserList, "/v", name, "/f"});
  }
  static constexpr const char* kEntryValues[] = {"DisplayName", "DisplayIcon", "UninstallString"};

  fs::path UserFolder() { return wine_.DesktopFolder().parent_path(); }
  fs::path ProgramsFolder() { return UserFolder() / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"; }
  // The three shortcuts of the script: desktop, start menu, start-up.
  std::vector<fs::path> Shortcuts() {
    return {wine_.DesktopFolder() / "Quenlith.lnk", ProgramsFolder() / "Quenlith.lnk",
            ProgramsFolder() / "StartUp/Quenlith.lnk"};
  }
  fs::path ProgramFilesCopy() { return wine_.LinuxPath(e2e::InstallerProgramFiles() + "\\Quenlith"); }

  fs::path Package(const std::string& script, const testing_support::Files& files = {{"Quenlith.exe", "program"}}) {
    return e2e::BuildTestPackage(dir_.path(), files, script);
  }
};

TEST_F(MachineIntegrationTest, ASilentInstallationSetsUpShortcutsEntrySettingsAndMediaPlayer) {
  wine_.RunInEnvironment({"wine", "reg", "add", kPlayerKey, "/f"});
  const harness::RunResult result = wine_.Run({Package(kScript).string(), "/debug"}, 120);
  ASSERT_EQ(result.exitCode, 0) << result.output;

  for (const fs::path& link : Shortcuts()) EXPECT_TRUE(fs::exists(link)) << link;
  EXPECT_EQ(wine_.RegistryValue(kUserEntry, "DisplayName"), "Quenlith");
  EXPECT_EQ(wine_.RegistryValue(kUserEntry, "UninstallString"), kDestination + "Quenlith.exe /uninstall");
  EXPECT_EQ(wine_.RegistryValue(kUserEntry, "DisplayIcon"), kDestination + "Quenlith.exe");
  EXPECT_EQ(wine_.RegistryValue(kUserEntry, "Publisher"), "Quenlith Publisher");
  EXPECT_EQ(wine_.RegistryValue(kUserEntry, "EstimatedSize"), "0xfeba");
  EXPECT_EQ(wine_.RegistryValue(kUserEntry, "DisplayVersion"), "6.6.0.18");
  EXPECT_EQ(wine_.RegistryValue(kPluginClass + "\\InProcServer32", ""), kDestination + "events.dll");

  const std::string settings = ReadFile(UserFolder() / "AppData/Roaming/Quenlith/users/global/quenlith.ini");
  EXPECT_NE(settings.find("FirstRun=1"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Shortcuts=1"), std::string::npos) << settings;
  const std::string plugins = ReadFile(wine_.LinuxPath(kDestination + "users\\global\\plugins.ini"));
  EXPECT_NE(plugins.find("Plugin00 Filename=" + kDestination + "plugins\\weather.dll"), std::string::npos) << plugins;
  const std::string marks = ReadFile(wine_.LinuxPath(kDestination + "uninstall.ini"));
  for (const char* mark : {"Desktop=yes", "Start Menu=yes", "Add Remove=yes"})
    EXPECT_NE(marks.find(mark), std::string::npos) << mark << "\n" << marks;

  ExpectInOrder(Log(), {"Copying files to location.", "Adding start menu icon.", "Shortcut successfully created for",
                        "Adding desktop icon.", "Adding startup icon.", "Removing previous uninstall entry.",
                        "Adding uninstall entry.", "Adding removal instructions at \"Software\\Microsoft\\Windows\\"
                        "CurrentVersion\\Uninstall\\Quenlith\".",
                        "Marking firstrun and shortcuts configured to", "Setting up windows media player.",
                        "MediaPlayer: Installed.", "Installation finished.", "Quenlith setup exited successfully"});
}

TEST_F(MachineIntegrationTest, SwitchesLeaveOutWhatTheyTurnOff) {
  const harness::RunResult result =
      wine_.Run({Package(kScript).string(), "/nodesktop", "/nostartmenu", "/nostartup", "/debug"}, 120);
  ASSERT_EQ(result.exitCode, 0) << result.output;
  for (const fs::path& link : Shortcuts()) EXPECT_FALSE(fs::exists(link)) << link;
  const std::string log = Log();
  EXPECT_EQ(log.find("Adding desktop icon."), std::string::npos) << log;
  EXPECT_NE(log.find("MediaPlayer: Error detecting media player (2)."), std::string::npos) << log;
  EXPECT_FALSE(wine_.RegistryValue(kPluginClass, "").has_value()) << "no media player: no registration";
}

TEST_F(MachineIntegrationTest, AnEntryWithoutATitleIsNotWrittenAndNotTakenForAnEarlierInstallation) {
  // The uninstall entry switched on, but no entry named in the script.
  const harness::RunResult untitled = wine_.Run({Package(ScriptWith("SetupUninstallInformationNum=0\n")).string(),
                                                 "/nodesktop", "/nostartmenu", "/nostartup", "/debug"},
                                                120);
  ASSERT_EQ(untitled.exitCode, 0) << untitled.output;
  for (const char* name : kEntryValues) EXPECT_FALSE(wine_.RegistryValue(kUserList, name).has_value()) << name;
  EXPECT_NE(Log().find("WARNING: uninstall_entry.cpp"), std::string::npos) << Log();
  EXPECT_NE(Log().find("Skipping the uninstall entry: without a title its key would be \"Software\\Microsoft\\"
                       "Windows\\CurrentVersion\\Uninstall\" itself."),
            std::string::npos)
      << Log();
  EXPECT_EQ(Log().find("Adding removal instructions at"), std::string::npos) << Log();

  // A plug-in package that follows the product's folder, also without a title.
  wine_.RemoveSetupLogs();
  const harness::RunResult plugin = wine_.Run(
      {Package("[install]\nInstallerSilent=1\n[destination]\nDestinationQuenlith=1\nDestinationDirectoryCreate=1\n"
               "DestinationDirectoryTitle=plugins\n",
               {{"weather.dll", "plug-in"}})
           .string(),
       "/debug"},
      120);
  ASSERT_EQ(plugin.exitCode, 0) << plugin.output;
  EXPECT_TRUE(fs::exists(ProgramFilesCopy() / "plugins" / "weather.dll"));
  EXPECT_FALSE(fs::exists(wine_.LinuxPath(kDestination + "plugins\\weather.dll")));
}

TEST_F(MachineIntegrationTest, AnUpToDateInstallationIsRepairedOncePerUser) {
  // Installed once without shortcuts or marks.
  const testing_support::Files product = {
      {"Quenlith.exe", ReadFile(fs::path(test_paths::kProductDir) / "Quenlith.exe")},
      {"comms.dll", ReadFile(fs::path(test_paths::kProductDir) / "comms.dll")}};
  const std::string script = ScriptWith("SetupFirstRun=0\nSetupCheckVersionMax=6.6.0.18\n");
  ASSERT_EQ(wine_.Run({Package(script, product).string(), "/nodesktop", "/nostartmenu", "/nostartup"}, 120).exitCode, 0);
  wine_.RunInEnvironment({"wine", "reg", "delete", kUserEntry, "/f"});

  // The same version again: the shortcuts and the entry are made, then -2.
  EXPECT_EQ(wine_.Run({(dir_ / "setup.exe").string(), "/checkversion", "/debug"}, 120).exitCode, -2);
  for (const fs::path& link : Shortcuts()) EXPECT_TRUE(fs::exists(link)) << link;
  EXPECT_EQ(wine_.RegistryValue(kUserEntry, "DisplayName"), "Quenlith");
  ExpectInOrder(Log(), {"Shortcuts have not been configured according to", "Adding start menu icon.",
                        "Adding desktop icon.", "Adding startup icon.", "Removing previous uninstall entry.",
                        "Adding uninstall entry.", "Checked version is newer or equal, exiting."});
  EXPECT_EQ(Log().find("Splitting files."), std::string::npos) << "nothing is installed";

  // A second run finds the mark and leaves everything alone.
  wine_.RemoveSetupLogs();
  for (const fs::path& link : Shortcuts()) fs::remove(link);
  EXPECT_EQ(wine_.Run({(dir_ / "setup.exe").string(), "/checkversion", "/debug"}, 120).exitCode, -2);
  for (const fs::path& link : Shortcuts()) EXPECT_FALSE(fs::exists(link)) << link;
  EXPECT_NE(Log().find("Shortcuts have already been configured according to"), std::string::npos) << Log();
  EXPECT_EQ(Log().find("Adding desktop icon."), std::string::npos) << Log();
}

TEST_F(MachineIntegrationTest, AnUpgradeDeletesTheOldFilesTheScriptNamesOnceTheNewFilesAreInPlace) {
  auto installed = [this](const std::string& name) { return wine_.LinuxPath(kDestination + name); };
  // Neither version keeps an uninstall list.
  const std::string withoutList = ScriptWith("SetupUninstallInformation=0\n");
  const testing_support::Files older = {{"Quenlith.exe", "old program"}, {"msn.dll", "old"},
                                        {"plugins\\msn.dll", "old"},   {"plugins\\aim.dll", "old"},
                                        {"legacy\\old.dll", "old"},    {"skins\\classic.xml", "old"}};
  ASSERT_EQ(wine_.Run({Package(withoutList, older).string()}, 120).exitCode, 0);
  EXPECT_FALSE(fs::exists(installed("uninstall.ini")));

  // The new version ships a new program, skin and plug-in, and names the
  // files of the old one it no longer ships, one of them in other letter
  // case, and one that was never installed.
  ScratchDir newer;
  const testing_support::Files files = {
      {"Quenlith.exe", "new program"}, {"plugins\\weather.dll", "new"}, {"skins\\classic.xml", "new"}};
  const std::string script = withoutList +
                             "[delete]\nDeleteFiles=1\nDeleteFilesNum=5\nDeleteFilenames0=msn.dll\n"
                             "DeleteFilenames1=plugins\\msn.dll\nDeleteFilenames2=PLUGINS\\AIM.DLL\n"
                             "DeleteFilenames3=plugins\\icq.dll\nDeleteFilenames4=legacy\\old.dll\n";
  ASSERT_EQ(wine_.Run({e2e::BuildTestPackage(newer.path(), files, script).string(), "/debug"}, 120).exitCode, 0);

  for (const char* gone : {"msn.dll", "plugins\\msn.dll", "plugins\\aim.dll", "legacy\\old.dll"})
    EXPECT_FALSE(fs::exists(installed(gone))) << gone;
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(installed(name)), bytes) << name;
  // Folders are left, also one that the deletions emptied.
  EXPECT_TRUE(fs::is_directory(installed("legacy")) && fs::is_empty(installed("legacy")));
  EXPECT_FALSE(fs::exists(installed("uninstall.ini")));

  const std::string log = Log();
  ExpectInOrder(log, {"Copying files to location.", "Installing file \"" + kDestination + "skins\\classic.xml\".",
                      "Removing older installed files.", "Installation finished."});
  // Nothing is logged per deleted name, nor for the name that was not there.
  for (const char* name : {"msn.dll", "AIM.DLL", "icq.dll", "old.dll"}) EXPECT_EQ(Count(log, name), 0u) << name;
}

TEST_F(MachineIntegrationTest, AnEarlierProgramFilesCopyIsRemovedWhenTheProductMovesToProgramData) {
  const std::string earlier = e2e::InstallerProgramFiles() + "\\Quenlith\\";
  WriteFile(ProgramFilesCopy() / "Quenlith.exe", "old");
  WriteFile(ProgramFilesCopy() / "skins/old.xml", "old");
  WriteFile(ProgramFilesCopy() / "users/history.txt", "the user's");
  WriteFile(ProgramFilesCopy() / "uninstall.ini", "[Uninstall]\r\nNumFiles=2\r\nFile000=" + earlier +
                                                      "Quenlith.exe\r\nFile001=" + earlier + "skins\\old.xml\r\n");
  wine_.RunInEnvironment({"wine", "reg", "add", kMachineEntry, "/v", "UninstallString", "/d",
                          earlier + "Quenlith.exe /uninstall", "/f", e2e::InstallerRegistryView()});

  const std::string script = ScriptWith("SetupCleanProgramFilesWithElevation=1\n");
  ASSERT_EQ(wine_.Run({Package(script).string(), "/debug"}, 120).exitCode, 0);
  EXPECT_FALSE(fs::exists(ProgramFilesCopy() / "Quenlith.exe"));
  EXPECT_FALSE(fs::exists(ProgramFilesCopy() / "skins"));
  EXPECT_FALSE(fs::exists(ProgramFilesCopy() / "uninstall.ini"));
  EXPECT_EQ(ReadFile(ProgramFilesCopy() / "users/history.txt"), "the user's");
  EXPECT_NE(wine_.RunInEnvironment({"wine", "reg", "query", kMachineEntry, e2e::InstallerRegistryView()}).exitCode, 0)
      << "the machine-wide entry is removed before the user's is written";
  ExpectInOrder(Log(), {"Attempting to remove older installation if installed to program files.",
                        "Previous installation " + earlier + ". Program files " + earlier + ".",
                        "Removing previous installation from program files (\"" + earlier + "\").",
                        "Previous installation has 4 files to be removed.",
                        "Removing file \"" + earlier + "Quenlith.exe\".",
                        "Removing empty directory \"" + earlier + "skins\"."});
}

TEST_F(MachineIntegrationTest, TheWizardRelaunchesItselfToCleanUpAMachineWideInstallation) {
  wine_.RunInEnvironment({"wine", "reg", "add", kMachineEntry, "/v", "UninstallString", "/d",
                          e2e::InstallerProgramFiles() + "\\Quenlith\\Quenlith.exe /uninstall", "/f", e2e::InstallerRegistryView()});
  const std::string script =
      "[destination]\nDestinationAuto=1\nDestinationProgramData=1\n[setup]\nSetupCleanProgramFilesWithElevation=1\n"
      "SetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=Quenlith\n";
  const harness::RunResult result = wine_.Run({Package(script).string(), "/debug", "two words"}, 60);
  EXPECT_EQ(result.exitCode, 0);
  // The relaunched copy goes on to the wizard; close it, so that it ends like a user's run.
  EXPECT_TRUE(e2e::DismissWizard(wine_)) << "the relaunched copy shows the wizard";

  // The relaunched copy logs too, into its own file or, when it starts
  // within the same second, into the same one; wait until both have ended.
  std::string logs;
  for (int i = 0; i < 100 && Count(logs, "Quenlith setup exited") < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    logs.clear();
    for (const fs::path& log : wine_.SetupLogs()) logs += ReadFile(log);
  }
  ExpectInOrder(logs, {"Determining if elevation is needed to clean older program files or uninstallation entry.",
                       "Previous version found at " + e2e::InstallerProgramFiles() + "\\Quenlith\\",
                       "WARNING: launch.cpp", "Exiting and relaunching with elevation.",
                       "with parameters \"/noprogramfileselevation /debug two words\"."});
  // Under Wine "runas" starts the program like "open": the new process runs
  // with the parameters, and does not relaunch again.
  EXPECT_NE(logs.find("Command line: \"/noprogramfileselevation /debug two words\"."), std::string::npos) << logs;
  EXPECT_EQ(Count(logs, "Exiting and relaunching with elevation."), 1u) << logs;
}

}  // namespace

namespace {

// The steps themselves are counted by a window of a test's own (install_sequence_test); here
// Wine's message spy shows that the silent window's title, which names it, reads as written.
TEST_F(MachineIntegrationTest, TheSilentWindowsTitleReadsAsWritten) {
  const fs::path trace = dir_ / "messages.txt";
  wine_.RunInEnvironment(
      {"sh", "-c", "WINEDEBUG=+message wine '" + Package(kScript).string() + "' 2>'" + trace.string() + "'"});
  EXPECT_EQ(Count(ReadFile(trace), "L\"Quenlith Silent\" [0406] WM_USER+6 sent from self"), 9u);
}

}  // namespace
