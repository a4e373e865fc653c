// The wizard window under Wine and Xvfb, driven from a second Windows
// process (wintool): its pages and controls, the install it runs, its
// cancel paths with their state reports, and what it paints.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include <strings.h>

#include "e2e_support.h"
#include "wizard_support.h"
#include "report_server.h"
#include "test_support.h"
#include "wine.h"

namespace {

using harness::ReportServer;
using harness::Wine;
using testing_support::ReadFile;
using e2e::Control;

class WizardTest : public e2e::WizardFixture {
 protected:
  // The client-area colours (RRGGBB) at the points.
  std::vector<std::string> Pixels(const std::vector<std::pair<int, int>>& points) {
    std::vector<std::string> args = {"pixels", e2e::kWizardClass};
    for (const auto& [x, y] : points) {
      args.push_back(std::to_string(x));
      args.push_back(std::to_string(y));
    }
    std::vector<std::string> colours;
    std::istringstream lines(Tool(args));
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() == 6) colours.push_back(line);
    }
    return colours;
  }

  // Every setup log of the run, oldest first: a relaunch writes one of its own
  // (or appends to the first when it starts within the same second).
  std::string AllSetupLogs() {
    std::string text;
    for (const auto& log : wine_.SetupLogs()) text += ReadFile(log);
    return text;
  }

  // A file at `windowsPath`, where a folder of the destination should be, so
  // that the folder cannot be created; its Linux path, to take it away again.
  std::filesystem::path PlaceBlocker(const std::string& windowsPath) {
    const std::filesystem::path blocker = wine_.LinuxPath(windowsPath);
    std::filesystem::remove_all(blocker);
    testing_support::WriteFile(blocker, "in the way");
    return blocker;
  }

  // The product double started with "/runnormal" in `folder`, as `record`
  // (its QUENLITH_DOUBLE_RECORD file) says; closes it.
  void ExpectProductStarted(const std::filesystem::path& record, const std::string& folder) {
    EXPECT_EQ(Tool({"find", "Quenlith", "Quenlith", "20000"}).find("no "), std::string::npos);
    Tool({"close", "Quenlith", "Quenlith"});
    const std::string started = ReadFile(record);
    EXPECT_NE(started.find("args=/runnormal\r\n"), std::string::npos) << started;
    EXPECT_NE(started.find("cwd=" + folder), std::string::npos) << started;
  }

  std::filesystem::path Package(const std::string& script, bool signedProduct = false) {
    const std::filesystem::path program =
        signedProduct ? std::filesystem::path(test_paths::kSigningDir) / "product" / "Quenlith.exe"
                      : std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe";
    return e2e::BuildTestPackage(dir_.path(), {{"Quenlith.exe", ReadFile(program)}, {"readme.txt", "payload"}},
                                 script);
  }
};

const std::string kTexts =
    "[install]\nInstallerSilent=0\nInstallerName=Quenlith Wizard Test\n"
    "[product]\nProductInstructionsInstallingDescription=Quenlith will be ready in just a few moments.\n"
    "ProductInstructionsEndDescription=Click Launch to start Quenlith.\n"
    "ProductLocationNotice=Quenlith will only automatically update at the default location.\n";

TEST_F(WizardTest, LocationPageBuildsItsControlsAndNextInstallsTheChoices) {
  ReportServer server;
  const std::filesystem::path package = Package(
      kTexts + "[setup]\nSetupStartMenu=0\nSetupDesktopIcon=1\nSetupStartup=1\nSetupUninstallInformation=1\n"
               "[launch]\nLaunchAuto=0\nLaunchTarget=Quenlith.exe\n");
  harness::Process run = wine_.Start({package.string(), "/debug"});
  WaitForWizard();
  const auto [width, height] = ClientSize();
  ASSERT_GT(width, 0);
  EXPECT_NE(Tool({"window", e2e::kWizardClass}).find("title=Quenlith Wizard Test"), std::string::npos);
  EXPECT_NE(Tool({"window", e2e::kWizardClass}).find("outer=420x340"), std::string::npos);

  const struct {
    int id;
    const char* className;
    int x, y, w, h;
    unsigned long style;
    const char* text;
  } expected[] = {
      {IDC_DESTINATION, "Edit", 30, 110, width - 60, 20, 0x52010080, ""},
      {IDC_DESKTOP, "Button", 30, 170, 300, 16, 0x52010003, "Add a Quenlith shortcut to the desktop"},
      {IDC_STARTUP, "Button", 30, 190, 300, 16, 0x52010003, "Load Quenlith when my computer starts up"},
      {IDC_UNINSTALL, "Button", 30, 210, 300, 16, 0x52010003, "Add Uninstall information to Add/Remove programs"},
      {IDC_BROWSE, "Button", width - 116, 135, 86, 22, 0x52010000, "&Browse..."},
      {IDC_RESET, "Button", width - 246, 135, 120, 22, 0x52010000, "&Reset to Default"},
      {IDC_NEXT, "Button", width - 184, height - 33, 86, 25, 0x52010001, "&Next >"},
      {e2e::kIdCancel, "Button", width - 96, height - 33, 86, 25, 0x52010000, "Cancel"},
  };
  std::map<int, Control> controls = Children();
  EXPECT_EQ(controls.size(), std::size(expected)) << "no start-menu box: the script does not offer it";
  for (const auto& e : expected) {
    ASSERT_TRUE(controls.count(e.id)) << e.id;
    const Control& c = controls.at(e.id);
    EXPECT_EQ(c.className, e.className) << e.id;
    EXPECT_EQ(c.x, e.x) << e.id;
    EXPECT_EQ(c.y, e.y) << e.id;
    EXPECT_EQ(c.width, e.w) << e.id;
    EXPECT_EQ(c.height, e.h) << e.id;
    EXPECT_EQ(c.style & 0xFFFFFFFFul, e.style) << e.id;
    EXPECT_EQ(c.text, e.text) << e.id;
    EXPECT_TRUE(c.visible && c.enabled) << e.id;
    if (c.style == 0x52010003) EXPECT_EQ(c.check, 1) << e.id;
  }

  // An empty destination is away from the default location: the band shows,
  // and goes when the text becomes the default location.
  const std::vector<std::pair<int, int>> probes = {{35, 85}, {width - 35, 85}, {5, 85}, {width / 2, 5}};
  EXPECT_EQ(Pixels(probes), (std::vector<std::string>{"C8E7FF", "C8E7FF", "FFFFFF", "FFFFFF"}));
  SetText(IDC_DESTINATION, "C:\\ProgramData\\Quenlith\\bin");
  EXPECT_EQ(Pixels(probes), (std::vector<std::string>{"FFFFFF", "FFFFFF", "FFFFFF", "FFFFFF"}));
  // The logo is drawn centred in 175 x 36 from y 15.
  std::vector<std::pair<int, int>> logoRow, besideLogo = {{(width - 175) / 2 - 5, 33}, {(width + 175) / 2 + 5, 33}};
  for (int x = (width - 175) / 2; x < (width + 175) / 2; x += 3) logoRow.push_back({x, 33});
  const std::vector<std::string> logo = Pixels(logoRow);
  EXPECT_NE(std::count(logo.begin(), logo.end(), "FFFFFF"), static_cast<long>(logo.size())) << "no logo";
  EXPECT_EQ(Pixels(besideLogo), (std::vector<std::string>{"FFFFFF", "FFFFFF"}));

  // Untick the desktop box, choose a folder and press Enter (Next is the default button).
  const std::string destination = "C:\\WizardTest";
  SetCheck(IDC_DESKTOP, false);
  SetText(IDC_DESTINATION, destination + "   ");
  Key(e2e::kVkReturn);
  ASSERT_TRUE(WaitForCompletePage());
  const Control launch = Children().at(IDC_NEXT);
  EXPECT_EQ(launch.x, width - 96);
  EXPECT_EQ(launch.y, height - 33);
  EXPECT_EQ(launch.style & 0xFFFFFFFFul, 0x52010001ul);

  // The close box on the complete page ends the run without launching and without a report.
  Post(e2e::kWmClose);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath(destination + "\\readme.txt")));
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_NE(log.find("Destination is \"" + destination + "   \"."), std::string::npos) << log;
  EXPECT_NE(log.find("Installation is starting at " + destination + " "), std::string::npos) << log;
  EXPECT_NE(log.find("Start menu icon: 0, Desktop icon: 0, Startup: 1, Uninstallation: 1"), std::string::npos) << log;
  EXPECT_EQ(log.find("Executible not launched"), std::string::npos) << log;
  EXPECT_NE(log.find("Quenlith setup exited successfully"), std::string::npos) << log;
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "installing", "complete"}));
}

TEST_F(WizardTest, AutomaticDestinationInstallsAtOnceAndLaunchLaunchesTheSignedProduct) {
  ReportServer server;
  const std::filesystem::path package = Package(
      kTexts + "[destination]\nDestinationAuto=1\n[launch]\nLaunchAuto=0\nLaunchTarget=Quenlith.exe\n"
               "LaunchParameters=/runnormal\n",
      true);
  const std::filesystem::path record = dir_.path() / "launch-record.txt";
  harness::Process run = wine_.Start({package.string(), "/debug", "/location", "C:\\WizardAuto"},
                                     {"QUENLITH_DOUBLE_RECORD=" + Wine::WindowsPath(record)});
  WaitForWizard();
  ASSERT_TRUE(WaitForCompletePage());
  Command(IDC_NEXT);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  ExpectProductStarted(record, "C:\\WizardAuto");
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_NE(log.find("Destination was overridden via command line to \"C:\\WizardAuto\"."), std::string::npos) << log;
  EXPECT_EQ(log.find("Destination is \"C:\\WizardAuto\"."), std::string::npos) << "the location page never showed";
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "installing", "complete"}));
}

// An endpoint that is slow to answer (here: not at all until released)
// holds up neither the window nor the installation, the endpoint still sees
// the reports in order, and the run ends only once they are all sent.
TEST_F(WizardTest, ASlowReportEndpointHoldsUpNeitherTheWizardNorTheOrderOfItsReports) {
  ReportServer server({"installing", "complete"});
  const std::filesystem::path package =
      Package(kTexts + "[destination]\nDestinationAuto=1\n[launch]\nLaunchAuto=0\n");
  harness::Process run = wine_.Start({package.string(), "/debug", "/location", "C:\\WizardSlow"});
  WaitForWizard();
  ASSERT_TRUE(WaitForCompletePage()) << "the wizard waited for the endpoint";
  EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath("C:\\WizardSlow\\readme.txt")));
  // "complete" goes only once "installing" was answered.
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "installing"}));

  Post(e2e::kWmClose);
  EXPECT_FALSE(run.WaitForOutput("exit=", 3)) << "the run ended with its reports unsent";
  server.Release();
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "installing", "complete"}));
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_LT(log.find("state=installing"), log.find("Installation is starting at")) << log;
  EXPECT_NE(log.find("Quenlith setup exited successfully"), std::string::npos) << log;
}

TEST_F(WizardTest, CancelEscapeAndTheCloseBoxLeaveTheLocationPageWithTheirReport) {
  const std::filesystem::path package = Package(kTexts + "[setup]\nSetupDesktopIcon=1\n");
  const struct {
    const char* how;
    std::vector<std::string> action;
  } cases[] = {{"Cancel", {"command", e2e::kWizardClass, std::to_string(e2e::kIdCancel)}},
               {"Escape", {"key", e2e::kWizardClass, std::to_string(e2e::kVkEscape)}},
               {"close box", {"post", e2e::kWizardClass, std::to_string(e2e::kWmClose)}}};
  for (const auto& c : cases) {
    ReportServer server;
    harness::Process run = wine_.Start({package.string(), "/debug"});
    WaitForWizard();
    Tool(c.action);
    EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0) << c.how;
    EXPECT_TRUE(WizardGone()) << c.how;
    EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "cancel_location"})) << c.how;
    EXPECT_NE(e2e::OnlySetupLog(wine_).find("state=cancel_location\"."), std::string::npos) << c.how;
    wine_.RemoveSetupLogs();
  }
}

TEST_F(WizardTest, WhileInstallingNothingClosesTheWindowAndTheBarIsDrawn) {
  // The install waits for the running product, holding the installing page.
  const std::filesystem::path package =
      Package(kTexts + "[destination]\nDestinationAuto=1\n[setup]\nSetupCheckIfQuenlithExiting=1\n");
  harness::Process product = wine_.Start({(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe").string()});
  ASSERT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "find", "Quenlith", "Quenlith", "20000"}).exitCode, 0);
  harness::Process run = wine_.Start({package.string(), "/debug", "/location", "C:\\WizardWait"});
  WaitForWizard();
  const auto [width, height] = ClientSize();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  for (int message : {e2e::kWmClose, e2e::kWmCommand})  // WM_COMMAND with IDCANCEL is wParam 0 here, a no-op too
    Post(message);
  Key(e2e::kVkEscape);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(WizardGone()) << "the installing page cannot be closed";
  EXPECT_TRUE(Children().empty()) << "the installing page has no controls";
  // The track runs from x 30 to W - 30 at y H - 36, 6 high; nothing is filled yet near its right end.
  const int middle = height - 36 + 3;
  EXPECT_EQ(Pixels({{width - 40, middle}, {width - 40, middle - 6}, {20, middle}}),
            (std::vector<std::string>{"CCCCCC", "FFFFFF", "FFFFFF"}));
  EXPECT_EQ(Tool({"close", "Quenlith", "Quenlith"}).find("usage"), std::string::npos);
  product.Wait(30);
  ASSERT_TRUE(WaitForCompletePage());
  Post(e2e::kWmClose);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
}

TEST_F(WizardTest, ADestinationThatNeedsElevationRelaunchesWithTheChoicesAndTheCopyGoesOn) {
  ReportServer server;
  const std::filesystem::path package = Package(
      kTexts + "[setup]\nSetupStartMenu=1\nSetupDesktopIcon=1\nSetupStartup=1\nSetupUninstallInformation=1\n"
               "[launch]\nLaunchAuto=0\nLaunchTarget=Quenlith.exe\n");
  // A file where the destination's parent folder should be: the folder cannot
  // be created, which an elevated copy is asked to try again.
  const std::filesystem::path blocker = PlaceBlocker("C:\\WizardBlocked");
  const std::string destination = "C:\\WizardBlocked\\Quenlith";

  harness::Process first = wine_.Start({package.string(), "/debug"});
  WaitForWizard();
  SetCheck(IDC_STARTMENU, false);
  SetCheck(IDC_STARTUP, false);
  SetText(IDC_DESTINATION, destination);
  PressWhenReady(IDC_NEXT);
  EXPECT_EQ(Wine::ExitCodeOf(first.Wait(60)), 0) << "the first copy ends once the relaunch has started";

  // The relaunched copy restores the page and presses Next itself; being the
  // elevated copy it shows why the folder cannot be made instead of asking again.
  harness::Process answer = wine_.Start({wine_.Program("wintool.exe").string(), "find", "#32770",
                                         "Unable to create directory", "30000"});
  ASSERT_EQ(Wine::ExitCodeOf(answer.Wait(60)), 0) << AllSetupLogs();
  const std::map<int, Control> restored = Children();
  ASSERT_TRUE(restored.count(IDC_DESTINATION));
  EXPECT_EQ(restored.at(IDC_DESTINATION).text, destination);
  for (const auto& [id, check] : std::map<int, int>{{IDC_STARTMENU, 0}, {IDC_DESKTOP, 1}, {IDC_STARTUP, 0}, {IDC_UNINSTALL, 1}})
    EXPECT_EQ(restored.count(id) ? restored.at(id).check : -1, check) << id;

  std::filesystem::remove(blocker);
  ASSERT_TRUE(wine_.AnswerMessageBox("Unable to create directory", "ok").has_value());
  PressWhenReady(IDC_NEXT);
  ASSERT_TRUE(WaitForCompletePage()) << AllSetupLogs();
  Post(e2e::kWmClose);
  ASSERT_TRUE(WaitUntilWizardGone());

  EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath(destination + "\\readme.txt")));
  const std::string log = AllSetupLogs();
  EXPECT_NE(log.find("Unable to validate directory, restarting with elevation."), std::string::npos) << log;
  EXPECT_NE(log.find("\" with parameters \"/elevate /desktop /uninstall /debug /location " + destination + "\"."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Exiting, unable to validate directory."), std::string::npos) << log;
  EXPECT_NE(log.find("Start menu icon: 0, Desktop icon: 1, Startup: 0, Uninstallation: 1"), std::string::npos) << log;
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "start", "installing", "complete"}));
}

TEST_F(WizardTest, TheLocationSwitchFillsThePageAndGoesOnAsIfNextWerePressed) {
  const std::filesystem::path package =
      Package(kTexts + "[setup]\nSetupStartMenu=1\nSetupDesktopIcon=1\nSetupStartup=1\n[launch]\nLaunchAuto=0\n");
  harness::Process run = wine_.Start({package.string(), "/debug", "/startup", "/location", "C:\\Wizard Given"});
  WaitForWizard();
  ASSERT_TRUE(WaitForCompletePage());
  Post(e2e::kWmClose);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath("C:\\Wizard Given\\readme.txt")));
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_NE(log.find("Destination is \"C:\\Wizard Given\"."), std::string::npos) << log;
  EXPECT_NE(log.find("Start menu icon: 0, Desktop icon: 0, Startup: 1, Uninstallation: 0"), std::string::npos) << log;
}

TEST_F(WizardTest, ALongNonAsciiDestinationIsInstalledIntoExactlyThatFolder) {
  const std::filesystem::path package = Package(kTexts + "[launch]\nLaunchAuto=0\n");
  // 100 CJK characters: 300 bytes of UTF-8 but only 100 UTF-16 units, well
  // within the platform's 259. (Two folders of 50: Linux, below Wine, takes
  // at most 255 bytes in one name.)
  const auto folderOf = [](const char* character) {
    std::string half;
    for (int i = 0; i < 50; ++i) half += character;
    return "C:\\" + half + "\\" + half;
  };
  const struct {
    const char* how;
    std::string folder;
    bool typed;
  } cases[] = {{"given with /location", folderOf("\xE5\xAE\x89"), false},  // 安
               {"typed into the box", folderOf("\xE5\x85\xA8"), true}};  // 全
  for (const auto& c : cases) {
    std::vector<std::string> args = {package.string()};
    if (!c.typed) args.insert(args.end(), {"/location", c.folder});
    harness::Process run = wine_.Start(args);
    WaitForWizard();
    if (c.typed) {
      SetText(IDC_DESTINATION, c.folder);
      PressWhenReady(IDC_NEXT);
    }
    ASSERT_TRUE(WaitForCompletePage()) << c.how;
    Post(e2e::kWmClose);
    EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0) << c.how;
    EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath(c.folder + "\\readme.txt"))) << c.how;
    std::filesystem::remove_all(wine_.LinuxPath(c.folder).parent_path());
  }
}

TEST_F(WizardTest, ADestinationLongerThanThePlatformsPathsIsRefusedNotCut) {
  const std::filesystem::path package = Package(kTexts);
  // 3 + 3 x 91 = 276 characters, in folders Linux can hold.
  const std::string folder = "C:\\" + std::string(90, 'q');
  const std::string destination = folder + "\\" + std::string(90, 'q') + "\\" + std::string(90, 'q');
  harness::Process run = wine_.Start({package.string(), "/debug"});
  WaitForWizard();
  SetText(IDC_DESTINATION, destination);
  PressWhenReady(IDC_NEXT);
  EXPECT_EQ(wine_.AnswerMessageBox("Unable to create directory", "ok"), "Unable to create directory, please change.");
  // The page stays with the user's text, and nothing was made.
  const std::map<int, Control> controls = Children();
  ASSERT_TRUE(controls.count(IDC_DESTINATION));
  EXPECT_EQ(controls.at(IDC_DESTINATION).text, destination);
  EXPECT_FALSE(std::filesystem::exists(wine_.LinuxPath(folder)));
  Command(e2e::kIdCancel);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_NE(log.find("Exiting, the destination \"" + destination + "\" is too long."), std::string::npos) << log;
}

TEST_F(WizardTest, BrowseComposesThePickedFolderAndResetRestoresTheDefault) {
  const std::filesystem::path package = Package(kTexts + "[destination]\nDestinationQuenlith=1\n");
  harness::Process run = wine_.Start({package.string()});
  WaitForWizard();
  const auto destinationText = [&] {
    const std::map<int, Control> controls = Children();
    return controls.count(IDC_DESTINATION) ? controls.at(IDC_DESTINATION).text : std::string("(no destination box)");
  };
  // The shell's folder dialog opens at its default place, the desktop.
  const std::string desktop = "C:\\users\\" + wine_.DesktopFolder().parent_path().filename().string() + "\\Desktop";
  const struct {
    const char* answer;
    std::string before, after;
  } cases[] = {
      {"cancel", "C:\\Elsewhere", "C:\\Elsewhere"},
      {"ok", "C:\\Elsewhere", desktop + "\\Quenlith\\"},
      {"ok", desktop, desktop},  // the same folder, in any letter case, changes nothing
  };
  for (const auto& c : cases) {
    SetText(IDC_DESTINATION, c.before);
    Command(IDC_BROWSE);
    const std::optional<std::string> prompt = wine_.AnswerMessageBox("Browse for Folder", c.answer);
    ASSERT_TRUE(prompt.has_value()) << "no folder dialog";
    for (int i = 0; i < 20 && destinationText() == c.before && c.after != c.before; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(strcasecmp(destinationText().c_str(), c.after.c_str()) == 0)
        << c.answer << " from " << c.before << ": " << destinationText();
  }
  Command(IDC_RESET);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(destinationText(), "C:\\ProgramData\\Quenlith\\bin\\");
  Command(e2e::kIdCancel);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
}

TEST_F(WizardTest, WithAutomaticLaunchTheProductStartsAndTheWindowClosesOnItsOwn) {
  ReportServer server;
  const std::filesystem::path package = Package(
      kTexts + "[destination]\nDestinationAuto=1\n[launch]\nLaunchAuto=1\nLaunchTarget=Quenlith.exe\n"
               "LaunchParameters=/runnormal\n",
      true);
  const std::filesystem::path record = dir_.path() / "launch-record.txt";
  harness::Process run = wine_.Start({package.string(), "/location", "C:\\WizardLaunch"},
                                     {"QUENLITH_DOUBLE_RECORD=" + Wine::WindowsPath(record)});
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0) << "nobody touched the window";
  ExpectProductStarted(record, "C:\\WizardLaunch");
  EXPECT_EQ(server.States(), (std::vector<std::string>{"start", "installing", "complete"}));
}

TEST_F(WizardTest, ADamagedPayloadFoundWhileInstallingIsAnsweredThroughItsBoxAndCode) {
  const std::filesystem::path package =
      Package(kTexts + "[destination]\nDestinationAuto=1\n[launch]\nLaunchAuto=0\n");
  // A byte inside the compressed payload, after the installer image.
  std::string bytes = ReadFile(package);
  bytes[std::filesystem::file_size(e2e::TestInstaller()) + 200] ^= 0x55;
  testing_support::WriteFile(package, bytes);
  harness::Process run = wine_.Start({package.string(), "/debug", "/location", "C:\\WizardDamaged"});
  EXPECT_EQ(wine_.AnswerMessageBox("Quenlith: Invalid setup file", "ok"),
            "The setup file does not appear to be valid, please re-download.");
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 2);
  EXPECT_FALSE(std::filesystem::exists(wine_.LinuxPath("C:\\WizardDamaged\\readme.txt")));
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_NE(log.find("Data integrity (CRC) error while decompressing"), std::string::npos) << log;
}

TEST_F(WizardTest, NextIsLockedWhileItWorksTheHiddenUninstallBoxCountsAndEnterLaunches) {
  const std::filesystem::path package = Package(
      kTexts + "[setup]\nSetupDesktopIcon=1\nSetupUninstallInformation=1\nSetupUninstallInformationHidden=1\n"
               "[launch]\nLaunchAuto=0\nLaunchTarget=Quenlith.exe\n");
  const std::filesystem::path blocker = PlaceBlocker("C:\\WizardLocked");
  const std::string destination = "C:\\WizardLocked\\Quenlith";
  // As the elevated copy, a folder that cannot be made is answered with a box.
  harness::Process run = wine_.Start({package.string(), "/debug", "/elevate"});
  WaitForWizard();
  const std::map<int, Control> controls = Children();
  ASSERT_TRUE(controls.count(IDC_UNINSTALL));
  EXPECT_FALSE(controls.at(IDC_UNINSTALL).visible);
  EXPECT_EQ(controls.at(IDC_UNINSTALL).check, 1);
  SetText(IDC_DESTINATION, destination);
  PressWhenReady(IDC_NEXT);
  Command(IDC_NEXT);  // the second click, while the first is still at work
  ASSERT_TRUE(wine_.AnswerMessageBox("Unable to create directory", "ok").has_value());
  EXPECT_FALSE(wine_.AnswerMessageBox("Unable to create directory", "ok", 1500).has_value()) << "Next ran twice";

  std::filesystem::remove(blocker);
  PressWhenReady(IDC_NEXT);
  ASSERT_TRUE(WaitForCompletePage());
  Key(e2e::kVkReturn);  // Enter is Launch on the complete page
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  const std::string log = e2e::OnlySetupLog(wine_);
  std::size_t confirmations = 0;
  for (std::size_t at = log.find("Destination is \""); at != std::string::npos; at = log.find("Destination is \"", at + 1))
    ++confirmations;
  EXPECT_EQ(confirmations, 2u) << log;
  EXPECT_NE(log.find("Start menu icon: 0, Desktop icon: 1, Startup: 0, Uninstallation: 1"), std::string::npos) << log;
  EXPECT_NE(log.find("Executible not launched due to signing."), std::string::npos) << "Enter did not launch\n" << log;
}

// The location page at one DPI: each 96-DPI constant c becomes trunc(c * s).
struct Layout {
  int dpi;
  int outerWidth, outerHeight;
  int editX, editY, editHeight, editMargin;
  int nextFromRight, nextFromBottom, nextWidth, nextHeight;
  int bandLeft, bandTop, bandBottom;
  int fontHeight;
};

const Layout kLayout120 = {120, 525, 425, 37, 137, 25, 75, 230, 41, 107, 31, 37, 87, 124, -15};
const Layout kLayout144 = {144, 630, 510, 45, 165, 30, 90, 276, 49, 129, 37, 45, 105, 150, -18};

// The window and its controls at the monitor's DPI.
class WizardDpiTest : public WizardTest {
 protected:
  void TearDown() override {
    WizardTest::TearDown();
    SetDpi(96);
  }
  void SetDpi(int dpi) {
    wine_.RunInEnvironment({"wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t",
                            "REG_DWORD", "/d", std::to_string(dpi), "/f"});
  }

  // A notice short enough that its text stays inside the band at any DPI.
  std::filesystem::path ScalePackage() {
    return Package(
        "[install]\nInstallerSilent=0\n[product]\nProductLocationNotice=Not the default.\n[setup]\nSetupDesktopIcon=1\n");
  }

  // The shown location page is laid out, drawn and lettered at `c`'s DPI.
  void ExpectLocationPageAt(const Layout& c) {
    WaitForWizard();
    const auto [width, height] = ClientSize();
    EXPECT_NE(Tool({"window", e2e::kWizardClass}).find("outer=" + std::to_string(c.outerWidth) + "x" +
                                                          std::to_string(c.outerHeight)),
              std::string::npos)
        << c.dpi;
    const std::map<int, Control> controls = Children();
    ASSERT_TRUE(controls.count(IDC_DESTINATION) && controls.count(IDC_NEXT)) << c.dpi;
    const Control& edit = controls.at(IDC_DESTINATION);
    EXPECT_EQ(std::vector<int>({edit.x, edit.y, edit.width, edit.height}),
              std::vector<int>({c.editX, c.editY, width - c.editMargin, c.editHeight}))
        << c.dpi;
    const Control& next = controls.at(IDC_NEXT);
    EXPECT_EQ(std::vector<int>({next.x, next.y, next.width, next.height}),
              std::vector<int>({width - c.nextFromRight, height - c.nextFromBottom, c.nextWidth, c.nextHeight}))
        << c.dpi;
    // The notice band (the destination is away from the default): its
    // colour just inside its edges, white just outside them.
    const int middle = (c.bandTop + c.bandBottom) / 2;
    EXPECT_EQ(Pixels({{c.bandLeft + 8, middle}, {width - c.bandLeft - 9, middle}, {width / 2, c.bandTop + 2},
                      {width / 2, c.bandBottom - 3}, {c.bandLeft - 3, middle}, {width - c.bandLeft + 2, middle},
                      {width / 2, c.bandTop - 3}, {width / 2, c.bandBottom + 2}}),
              (std::vector<std::string>{"C8E7FF", "C8E7FF", "C8E7FF", "C8E7FF", "FFFFFF", "FFFFFF", "FFFFFF",
                                        "FFFFFF"}))
        << c.dpi;
    // The destination box writes in the wizard's font at this DPI (Tahoma:
    // the system reports version 10).
    SetText(IDC_DESTINATION, "C:\\Quenlith at any scale");
    int control = 0, font = 0;
    const std::string widths = Tool(
        {"textwidth", e2e::kWizardClass, std::to_string(IDC_DESTINATION), "Tahoma", std::to_string(c.fontHeight)});
    std::sscanf(widths.c_str(), "control=%d font=%d", &control, &font);
    EXPECT_GT(font, 0) << c.dpi;
    EXPECT_EQ(control, font) << c.dpi;
    // Measured in Tahoma itself, not in a face the prefix substitutes for it.
    const std::size_t face = widths.find(" face=");
    ASSERT_NE(face, std::string::npos) << widths;
    EXPECT_EQ(widths.substr(face + 6, widths.find_first_of("\r\n", face) - face - 6), "Tahoma") << c.dpi;
  }
};

TEST_F(WizardDpiTest, LayoutAndDrawingScaleWithTheMonitor) {
  const std::filesystem::path package = ScalePackage();
  for (const Layout& c : {kLayout120, kLayout144}) {
    SetDpi(c.dpi);
    harness::Process run = wine_.Start({package.string()});
    ExpectLocationPageAt(c);
    Command(e2e::kIdCancel);
    EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0) << c.dpi;
  }
}

TEST_F(WizardDpiTest, TheDestinationsFirstCharacterShowsWholeAfterTheMargin) {
  // The page starts with the program-data location in the box.
  const std::filesystem::path package = Package(kTexts + "[destination]\nDestinationProgramData=1\n");
  for (const int dpi : {96, 120, 144}) {
    SetDpi(dpi);
    harness::Process run = wine_.Start({package.string()});
    WaitForWizard();
    for (const std::string text : {"", "D:\\Apps\\Quenlith"}) {
      if (!text.empty()) SetText(IDC_DESTINATION, text);
      // The blinking caret inverts what it covers; after the last character
      // it stays clear of the first one.
      Key(e2e::kVkEnd);  // End
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      const std::string view = Tool({"editview", e2e::kWizardClass, std::to_string(IDC_DESTINATION)});
      int margin = 0, first = -1, start = -1, ink = -1;
      ASSERT_EQ(std::sscanf(view.c_str(), "margin=%d first=%d start=%d ink=%d", &margin, &first, &start, &ink), 4)
          << view;
      const std::string what = std::to_string(dpi) + " DPI, " + (text.empty() ? "as built" : text);
      // Not scrolled: the first character starts after the margin, and its
      // leftmost ink lies within its own cell, a few pixels at most.
      EXPECT_GT(margin, 0) << what;
      EXPECT_EQ(first, 0) << what;
      EXPECT_GE(start, margin) << what;
      EXPECT_GE(ink, start) << what;
      EXPECT_LT(ink, start + dpi / 24) << what;
    }
    Command(e2e::kIdCancel);
    EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0) << dpi;
  }
}

TEST_F(WizardDpiTest, MovedToAMonitorOfAnotherScaleTheWholeWindowTakesThatScale) {
  harness::Process run = wine_.Start({ScalePackage().string()});
  WaitForWizard();
  const std::string window = Tool({"window", e2e::kWizardClass});
  int left = 0, top = 0;
  const std::size_t position = window.find("position=");
  ASSERT_NE(position, std::string::npos) << window;
  ASSERT_EQ(std::sscanf(window.c_str() + position, "position=%d,%d", &left, &top), 2) << window;
  // The system suggests the outer rectangle for 144 DPI where the window now is.
  Tool({"dpichanged", e2e::kWizardClass, "144", std::to_string(left), std::to_string(top),
        std::to_string(left + kLayout144.outerWidth), std::to_string(top + kLayout144.outerHeight)});
  ExpectLocationPageAt(kLayout144);
  Command(e2e::kIdCancel);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
}

}  // namespace
