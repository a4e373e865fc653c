// The wizard's message boxes under Wine and Xvfb, answered from a second
// Windows process as a user would: too little space on the chosen drive, a
// destination that cannot be created, a product that cannot be started, and
// a file another program holds open while it is being replaced.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "e2e_support.h"
#include "wizard_support.h"
#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;
using testing_support::Count;
using testing_support::ReadFile;
using e2e::Control;
using testing_support::ScratchDir;

const std::string kScript =
    "[install]\nInstallerSilent=0\nInstallerName=Quenlith Boxes Test\n"
    "[product]\nProductInstructionsInstallingDescription=Quenlith will be ready in just a few moments.\n"
    "ProductInstructionsEndDescription=Click Launch to start Quenlith.\n"
    "[launch]\nLaunchAuto=0\nLaunchTarget=Quenlith.exe\nLaunchParameters=/runnormal\n";

class WizardBoxesTest : public e2e::WizardFixture {
 protected:
  // Waits until the location page shows `text` in its destination box and
  // Next is enabled again: the page stayed, ready for another choice.
  bool LocationPageStaysWith(const std::string& text) {
    for (int i = 0; i < 50; ++i) {
      const std::map<int, Control> controls = Children();
      if (controls.count(IDC_DESTINATION) && controls.at(IDC_DESTINATION).text == text && controls.count(IDC_NEXT) &&
          controls.at(IDC_NEXT).enabled)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // Waits up to `timeoutMs` for a message box with `caption`, leaving it open.
  bool BoxShown(const std::string& caption, int timeoutMs = 20000) {
    return wine_.Run({wine_.Program("wintool.exe").string(), "find", "#32770", caption, std::to_string(timeoutMs)}, 60)
               .exitCode == 0;
  }

  std::filesystem::path Package(const std::string& script, const testing_support::Files& files) {
    return e2e::BuildTestPackage(dir_.path(), files, script);
  }
};

TEST_F(WizardBoxesTest, TooLittleSpaceAsksAndNoKeepsThePageWhileYesInstalls) {
  e2e::SmallDrive drive("1m");
  ASSERT_TRUE(drive.ok()) << "mounting a tmpfs needs root";
  const std::filesystem::path package = Package(
      kScript + "[setup]\nSetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=QuenlithBoxes\n"
                "SetupUninstallInformationEstimatedSize0=1000000\n",
      {{"readme.txt", "payload"}});
  const std::string destination = "D:\\Apps\\Quenlith";
  harness::Process run = wine_.Start({package.string(), "/debug"});
  ASSERT_TRUE(WaitForWizard());
  SetText(IDC_DESTINATION, destination);

  const struct {
    const char* answer;
    bool installs;
  } answers[] = {{"no", false}, {"yes", true}};
  for (const auto& a : answers) {
    SCOPED_TRACE(a.answer);
    PressWhenReady(IDC_NEXT);
    EXPECT_EQ(wine_.AnswerMessageBox("Insufficient disk space", a.answer),
              "There does not appear to be enough space available at this location to install Quenlith. "
              "Proceed anyway?");
    if (a.installs) {
      ASSERT_TRUE(WaitForCompletePage());
      EXPECT_EQ(ReadFile(drive.path() / "Apps" / "Quenlith" / "readme.txt"), "payload");
    } else {
      EXPECT_TRUE(LocationPageStaysWith(destination));
      EXPECT_FALSE(std::filesystem::exists(drive.path() / "Apps")) << "nothing is written after No";
    }
  }
  Post(e2e::kWmClose);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_EQ(Count(log, "Disk size at \"" + destination + "\" is 1,048,576 (2,000,000 required)."), 2u) << log;
  EXPECT_EQ(Count(log, "Exiting, no disk space available."), 1u) << log;
  EXPECT_EQ(Count(log, "Installation is starting at " + destination), 1u) << log;
}

TEST_F(WizardBoxesTest, ADestinationThatCannotBeCreatedIsRefusedAndThePageStays) {
  const std::filesystem::path package = Package(kScript, {{"readme.txt", "payload"}});
  // The installer's working folder is this test's: a relative path would
  // be made there.
  const std::filesystem::path workingFolder = std::filesystem::current_path();
  std::filesystem::create_directories(workingFolder / "QuenlithBoxesRelative");
  const struct {
    const char* what;
    std::string destination, text;
    std::filesystem::path notMade;
  } cases[] = {
      {"a name without a folder above it", "QuenlithBoxesName", "Unable to create directory, please change.",
       workingFolder / "QuenlithBoxesName"},
      {"a path below the working folder", "QuenlithBoxesRelative\\Quenlith",
       "Unable to create directory, please change.", workingFolder / "QuenlithBoxesRelative" / "Quenlith"},
      // The working folder is on Z:, the Linux root.
      {"a path from the root of the working folder's drive", "\\tmp\\QuenlithBoxesRoot",
       "Unable to create directory, please change.", "/tmp/QuenlithBoxesRoot"},
      {"a drive that does not exist", "Q:\\Quenlith", "Q:\\Quenlith", ""},
  };
  for (const auto& c : cases)
    if (!c.notMade.empty()) std::filesystem::remove_all(c.notMade);
  // The elevated copy shows why a folder cannot be made; the first copy
  // would ask for elevation instead.
  harness::Process run = wine_.Start({package.string(), "/debug", "/elevate"});
  ASSERT_TRUE(WaitForWizard());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetText(IDC_DESTINATION, c.destination);
    PressWhenReady(IDC_NEXT);
    EXPECT_EQ(wine_.AnswerMessageBox("Unable to create directory", "ok"), c.text);
    EXPECT_TRUE(LocationPageStaysWith(c.destination));
    if (!c.notMade.empty()) EXPECT_FALSE(std::filesystem::exists(c.notMade));
  }
  Command(e2e::kIdCancel);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  std::filesystem::remove_all(workingFolder / "QuenlithBoxesRelative");
  const std::string log = e2e::OnlySetupLog(wine_);
  EXPECT_EQ(Count(log, "Exiting, unable to validate directory."), std::size(cases)) << log;
  EXPECT_EQ(log.find("Installation is starting"), std::string::npos) << log;
}

TEST_F(WizardBoxesTest, AFolderThatCannotBeWrittenIsRefusedWithoutABoxAndLeftFree) {
  const std::filesystem::path package = Package(kScript, {{"readme.txt", "payload"}});
  // The check's test file cannot be made: a folder of its name is in the way.
  const std::string busy = "C:\\BoxesBusy", moved = "C:\\BoxesMoved";
  std::filesystem::remove_all(wine_.LinuxPath(busy));
  std::filesystem::remove_all(wine_.LinuxPath(moved));
  // Folders in the way of every name the writing test may take (it tries a hundred).
  for (int index = 0; index < 100; ++index)
    std::filesystem::create_directories(
        wine_.LinuxPath(busy + "\\test.writing.txt" + (index == 0 ? "" : "_" + std::to_string(index))));
  harness::Process run = wine_.Start({package.string(), "/debug", "/elevate"});
  ASSERT_TRUE(WaitForWizard());
  SetText(IDC_DESTINATION, busy);
  PressWhenReady(IDC_NEXT);
  EXPECT_TRUE(LocationPageStaysWith(busy));
  EXPECT_FALSE(BoxShown("Unable to create directory", 1000));
  // Another program may move the refused folder while the wizard waits.
  wine_.RunInEnvironment({"wine", "cmd", "/c", "move", busy, moved});
  EXPECT_TRUE(std::filesystem::exists(wine_.LinuxPath(moved + "\\test.writing.txt")))
      << "the wizard still holds the folder it refused";
  Command(e2e::kIdCancel);
  EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), 0);
  const std::string log = e2e::OnlySetupLog(wine_);
  testing_support::ExpectInOrder(log, {"Directory exists, testing writability.",
                                       "Unable to write to directory \"" + busy + "\".",
                                       "Exiting, unable to validate directory."});
  std::filesystem::remove_all(wine_.LinuxPath(busy));
  std::filesystem::remove_all(wine_.LinuxPath(moved));
}

TEST_F(WizardBoxesTest, AProductThatCannotBeStartedIsReportedOnlyWhenItsSignatureHolds) {
  // A library signed and installed under the program's name: it verifies,
  // but the system cannot start it.
  const std::filesystem::path signedLibrary = dir_ / "signed-library.dll";
  ASSERT_EQ(std::system(("'" + std::string(test_paths::kSignScript) + "' '" + test_paths::kSigningDir + "' '" +
                         (std::filesystem::path(test_paths::kProductDir) / "comms.dll").string() + "' '" +
                         signedLibrary.string() + "'")
                            .c_str()),
            0);
  const struct {
    const char* what;
    testing_support::Files files;
    bool box;
    std::string line;
  } cases[] = {
      {"a signed file the system cannot start", {{"Quenlith.exe", ReadFile(signedLibrary)}}, true,
       "Executible not launched due to error 11."},
      {"an unsigned program",
       {{"Quenlith.exe", ReadFile(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe")}}, false,
       "Executible not launched due to signing."},
      {"no program at all", {{"readme.txt", "payload"}}, false, "Executible not launched due to signing."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir folder;
    const std::string destination = "C:\\BoxesLaunch";
    std::filesystem::remove_all(wine_.LinuxPath(destination));
    const std::filesystem::path package =
        e2e::BuildTestPackage(folder.path(), c.files, kScript + "[destination]\nDestinationAuto=1\n");
    const std::filesystem::path record = folder / "launch-record.txt";
    harness::Process run = wine_.Start({package.string(), "/debug", "/location", destination},
                                       {"QUENLITH_DOUBLE_RECORD=" + Wine::WindowsPath(record)});
    ASSERT_TRUE(WaitForWizard());
    ASSERT_TRUE(WaitForCompletePage());
    Command(IDC_NEXT);
    if (c.box) {
      ASSERT_TRUE(BoxShown("Unable to launch application."));
      EXPECT_NE(Tool({"window", e2e::kWizardClass}).find("visible=0"), std::string::npos)
          << "the wizard hides before the start is tried";
      EXPECT_EQ(wine_.AnswerMessageBox("Unable to launch application.", "ok"),
                "We are sorry, please launch the program manually.");
    }
    // A box nobody answers would keep the run from ending.
    EXPECT_EQ(Wine::ExitCodeOf(run.Wait(30)), 0);
    EXPECT_TRUE(WizardGone());
    EXPECT_FALSE(std::filesystem::exists(record)) << "nothing was started";
    const std::string log = e2e::OnlySetupLog(wine_);
    EXPECT_NE(log.find(c.line), std::string::npos) << log;
    EXPECT_NE(log.find("Quenlith setup exited successfully"), std::string::npos) << log;
    wine_.RemoveSetupLogs();
    std::filesystem::remove_all(wine_.LinuxPath(destination));
  }
}

TEST_F(WizardBoxesTest, AFileHeldOpenIsRetriedTenTimesThenRetryOrCancelIsAsked) {
  const std::string folder = "C:\\BoxesLocked", target = folder + "\\readme.txt";
  const std::filesystem::path package =
      Package(kScript + "[destination]\nDestinationAuto=1\n", {{"readme.txt", "new contents"}});
  const std::string text = "An error occured while trying to create a file (" + target +
                           ").  Please check for available disk space/permissions.  If you had a previous version of "
                           "Quenlith running recently, it may be closing, so try again.  Sorry.";
  const struct {
    const char* answer;    // the last answer, given once the file is free again
    int retriesWhileHeld;  // Retry pressed while the file is still held
    int exitCode;
    const char* installed;
    std::vector<std::string> movedAside;  // where the old file went: none, or its one name
  } cases[] = {
      {"cancel", 0, -1, "old contents", {}},
      {"retry", 1, 0, "new contents", {"readme.txt.old11"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    std::filesystem::remove_all(wine_.LinuxPath(folder));
    testing_support::WriteFile(wine_.LinuxPath(target), "old contents");
    std::optional<harness::Process> holder(
        wine_.Start({wine_.Program("wintool.exe").string(), "hold", target, "none", "120"}));
    ASSERT_TRUE(holder->WaitForOutput("held"));

    harness::Process run = wine_.Start({package.string(), "/debug", "/location", folder});
    for (int i = 0; i < c.retriesWhileHeld; ++i)
      EXPECT_EQ(wine_.AnswerMessageBox("Error occurred during quenlith installation.", "retry"), text);
    ASSERT_TRUE(BoxShown("Error occurred during quenlith installation."));
    EXPECT_FALSE(WizardGone()) << "the installing page stays while the box asks";
    holder.reset();
    // Free once the holder is gone: a program may open it without sharing.
    for (int i = 0; i < 50 && wine_.Run({wine_.Program("wintool.exe").string(), "hold", target, "none", "0"})
                                      .exitCode != 0;
         ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(wine_.AnswerMessageBox("Error occurred during quenlith installation.", c.answer), text);

    if (c.exitCode == 0) {
      ASSERT_TRUE(WaitForCompletePage());
      Post(e2e::kWmClose);
    }
    EXPECT_EQ(Wine::ExitCodeOf(run.Wait(60)), c.exitCode);
    EXPECT_EQ(ReadFile(wine_.LinuxPath(target)), c.installed);
    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(wine_.LinuxPath(folder)))
      if (entry.path().filename().string().rfind("readme.txt.", 0) == 0) aside.push_back(entry.path().filename().string());
    EXPECT_EQ(aside, c.movedAside) << "the ten silent attempts and a refused Retry leave no file behind";
    for (const std::string& name : c.movedAside) {
      EXPECT_EQ(ReadFile(wine_.LinuxPath(folder + "\\" + name)), "old contents");
      const auto pending = wine_.RegistryValue("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                                               "PendingFileRenameOperations");
      EXPECT_NE(pending.value_or("").find(folder + "\\" + name), std::string::npos) << pending.value_or("(none)");
    }
    const std::string log = e2e::OnlySetupLog(wine_);
    testing_support::ExpectInOrder(
        log, {"Creating file \"" + target + "\" failed.  Moving previous file and trying again.",
              "Creating file \"" + target + "\" failed.  Error code 32."});
    if (c.exitCode != 0) {
      EXPECT_NE(log.find("ERROR: "), std::string::npos) << log;
      EXPECT_NE(log.find("Exiting, unable to create file \"" + target + "\"."), std::string::npos) << log;
    }
    wine_.RemoveSetupLogs();
  }
  std::filesystem::remove_all(wine_.LinuxPath(folder));
}

}  // namespace
