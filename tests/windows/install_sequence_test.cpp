// The install sequence called directly, on packages built here, with a
// window of the test's own that counts the steps, and with the pauses of
// its wait for the product replaced so that twenty seconds take none.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "build.h"
#include "install/install.h"
#include "install/product_wait.h"
#include "messages/messages.h"
#include "platform/pause.h"
#include "platform/text.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

// A window that counts the sequence's steps.
class StepCounter {
 public:
  StepCounter() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuenlithTestStepCounter";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, L"QuenlithTestStepCounter", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    steps_ = 0;
  }
  ~StepCounter() { DestroyWindow(window_); }
  HWND window() const { return window_; }
  int steps() const { return steps_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETUP_STEP) ++steps_;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  HWND window_ = nullptr;
  static inline int steps_ = 0;
};

// The running product's mark: a top-level window of class and title "Quenlith".
class ProductWindow {
 public:
  ProductWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"Quenlith";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, L"Quenlith", L"Quenlith", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr);
  }
  ~ProductWindow() { DestroyWindow(window_); }

 private:
  HWND window_ = nullptr;
};

class InstallSequenceTest : public testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxesShown(false);  // a failure must show in the log, not wait for a button
    StartTestLog();
    fs::remove_all(work_);
    fs::create_directories(work_ / "payload");
    std::ofstream(work_ / "payload" / "a.txt", std::ios::binary) << "alpha";
  }
  void TearDown() override {
    ReplacePause(nullptr);
    fs::remove_all(work_);
  }

  // A package of the payload folder and `script`, around the installer beside this test program.
  std::string Package(const std::string& script) {
    std::ofstream(work_ / "script.ini", std::ios::binary) << script;
    const fs::path installer = LoopbackInstaller();
    pack::BuildOptions options{installer, work_ / "payload", work_ / "script.ini", work_ / "setup.exe"};
    std::ostringstream messages;
    pack::BuildPackage(options, messages);
    installerSize_ = static_cast<std::uint32_t>(fs::file_size(installer));
    return Utf8FromWide(options.output.wstring());
  }

  int Install(const InstallerConfig& config, const WizardChoices& choices, HWND window, const std::string& package) {
    // The destination exists: the choosers create and check it before the sequence runs.
    fs::create_directories(work_ / "destination");
    destination_ = Utf8FromWide((work_ / "destination").wstring());
    return RunInstallSequence({config, choices, destination_, window, GetModuleHandleW(nullptr), package,
                               installerSize_});
  }

  const fs::path work_ = fs::temp_directory_path() / "quenlith-sequence-test";
  std::string destination_;
  std::uint32_t installerSize_ = 0;
};

TEST_F(InstallSequenceTest, SendsFiveStepsAndOneForEachFamilyTheScriptOffers) {
  const std::string package = Package("[install]\nInstallerSilent=1\n");
  const struct {
    const char* what;
    int startMenu, desktop, startup, uninstall;
    int steps;
  } cases[] = {
      {"all four families", 1, 1, 1, 1, 9},
      {"desktop switched off", 1, 0, 1, 1, 8},
      {"none offered", 0, 0, 0, 0, 5},
  };
  for (const auto& c : cases) {
    InstallerConfig config;
    config.setupStartMenu = c.startMenu;
    config.setupDesktopIcon = c.desktop;
    config.setupStartup = c.startup;
    config.setupUninstallInformation = c.uninstall;
    // Unticked by the user: every offered family still counts its step.
    const WizardChoices nothing{0, 0, 0, 0};
    StepCounter counter;
    EXPECT_EQ(Install(config, nothing, counter.window(), package), 0) << c.what;
    EXPECT_EQ(counter.steps(), c.steps) << c.what;
    EXPECT_EQ(ReadText(destination_ + "a.txt"), "alpha") << c.what;
  }
}

TEST_F(InstallSequenceTest, AProductThatNeverClosesIsWaitedForFourHundredAndOneTimesFiftyMilliseconds) {
  unsigned waited = 0;
  int pauses = 0;
  ReplacePause([&](unsigned milliseconds) {
    waited += milliseconds;
    ++pauses;
  });
  const std::string package = Package("[install]\nInstallerSilent=1\n");
  ProductWindow product;
  InstallerConfig config;
  config.setupCheckIfQuenlithExiting = 1;
  StepCounter counter;
  EXPECT_EQ(Install(config, WizardChoices(), counter.window(), package), 0);
  EXPECT_EQ(pauses, 401);
  EXPECT_EQ(waited, 401u * 50u) << "about twenty seconds";
  const std::string log = TestLog();
  EXPECT_EQ(Count(log, "Waiting for Quenlith to exit."), 1u) << log;
  ASSERT_NE(log.find("Giving up, will try to install anyway.."), std::string::npos) << log;
  EXPECT_LT(log.find("Giving up, will try to install anyway.."), log.find("Splitting files.")) << log;
  EXPECT_EQ(ReadText(destination_ + "a.txt"), "alpha");
}

TEST_F(InstallSequenceTest, WithoutTheProductNothingIsWaitedFor) {
  int pauses = 0;
  ReplacePause([&](unsigned) { ++pauses; });
  EXPECT_TRUE(WaitForProductToClose());
  EXPECT_EQ(pauses, 0);
  EXPECT_EQ(TestLog().find("Waiting for Quenlith to exit."), std::string::npos);
}

}  // namespace
