// The install sequence called directly, on packages built here, with a
// window of the test's own that counts the steps, and with the pauses of
// its wait for the product replaced so that twenty seconds take none.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "pack/build.h"
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
    const InstallResult result = RunInstallSequence(
        {config, choices, destination_, window, GetModuleHandleW(nullptr), package, installerSize_});
    destination_ = result.destination;
    return result.code;
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

// At the step after the split, before decompression reads the copied payload,
// tries from a second process what any program of the user could do to the
// sequence's temporary files.
class TamperingWindow {
 public:
  explicit TamperingWindow(const fs::path& temporaryFolder) {
    folder_ = temporaryFolder;
    tried_.clear();
    steps_ = 0;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuenlithTestTampering";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, L"QuenlithTestTampering", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }
  ~TamperingWindow() { DestroyWindow(window_); }
  HWND window() const { return window_; }
  // Each file found at that step, with what wintool tamper printed and its exit code.
  const std::vector<std::pair<std::string, ToolRun>>& tried() const { return tried_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETUP_STEP && ++steps_ == 2) {
      for (const auto& folder : fs::directory_iterator(folder_))
        for (const auto& file : fs::directory_iterator(folder.path())) {
          const std::string path = Utf8FromWide(file.path().wstring());
          tried_.emplace_back(Utf8FromWide(file.path().filename().wstring()), RunWintool({"tamper", path}));
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  HWND window_ = nullptr;
  static inline fs::path folder_;
  static inline int steps_ = 0;
  static inline std::vector<std::pair<std::string, ToolRun>> tried_;
};

TEST_F(InstallSequenceTest, NoOtherProgramCanChangeTheTemporaryFilesBetweenStages) {
  const std::string package = Package("[install]\nInstallerSilent=1\n");
  const fs::path temporary = work_ / "temp";
  fs::create_directories(temporary);
  wchar_t saved[MAX_PATH] = L"";
  const DWORD savedLength = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", temporary.wstring().c_str());
  TamperingWindow tampering(temporary);
  const int code = Install(InstallerConfig(), WizardChoices(), tampering.window(), package);
  SetEnvironmentVariableW(L"TMP", savedLength > 0 ? saved : nullptr);

  EXPECT_EQ(code, 0);
  std::vector<std::string> names;
  for (const auto& [name, run] : tampering.tried()) {
    names.push_back(name);
    EXPECT_EQ(run.exitCode, 0u) << name << " changed by another process:\n" << run.output;
    for (const char* attempt : {"write refused", "delete refused", "rename refused"})
      EXPECT_NE(run.output.find(attempt), std::string::npos) << name << ": " << attempt << "\n" << run.output;
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"compressed.dat", "uncompressed.dat"}));
  EXPECT_EQ(ReadText(destination_ + "a.txt"), "alpha") << "installed as before";
  EXPECT_TRUE(fs::is_empty(temporary)) << "nothing left behind";
}

TEST_F(InstallSequenceTest, WithoutTheProductNothingIsWaitedFor) {
  int pauses = 0;
  ReplacePause([&](unsigned) { ++pauses; });
  EXPECT_TRUE(WaitForProductToClose());
  EXPECT_EQ(pauses, 0);
  EXPECT_EQ(TestLog().find("Waiting for Quenlith to exit."), std::string::npos);
}

}  // namespace
