#pragma once
// What the end-to-end tests share: the installer they build packages from,
// packages made by the package builder, and the run's setup log.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "wine.h"

namespace e2e {

// The base of the end-to-end fixtures: the run's one Wine prefix, a scratch
// folder of the test's own, and the machine cleaned before and after each
// test: no setup log left, and none of the folders and registry keys the
// fixture names.
class E2eTest : public testing::Test {
 protected:
  // `folders`: Windows paths removed with what they hold; `keys`: registry
  // keys deleted, as `reg` sees them by default.
  explicit E2eTest(std::vector<std::string> folders = {}, std::vector<std::string> keys = {})
      : folders_(std::move(folders)), keys_(std::move(keys)) {}

  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }

  // What SetUp and TearDown do, and what a test calls between cases;
  // fixtures whose tests leave more behind add to it.
  virtual void Clean();

  // The one setup log the run wrote; empty when there is none or more than one.
  std::string Log() const;

  // Runs `package` with "/debug", for at most 120 s.
  harness::RunResult Install(const std::filesystem::path& package);

  harness::Wine& wine_ = harness::Wine::Get();
  testing_support::ScratchDir dir_;

 private:
  std::vector<std::string> folders_, keys_;
};

// Where a package whose script says DestinationAuto=1 and
// DestinationProgramData=1 installs (with its closing backslash), and the
// folder above it, which fixtures remove.
inline const std::string kDestination = "C:\\ProgramData\\Quenlith\\bin\\";
inline constexpr const char* kProgramDataFolder = "C:\\ProgramData\\Quenlith";
// The head of a silent script that installs there; tests append sections.
inline const std::string kSilentProgramDataScript =
    "[install]\nInstallerSilent=1\n[destination]\nDestinationAuto=1\nDestinationProgramData=1\n";

// The installer that reports to the tests' local server.
const std::filesystem::path& TestInstaller();

// A package of `files` and `script` built in `folder` by the package
// builder, written to `folder` / `name`.
std::filesystem::path BuildTestPackage(const std::filesystem::path& folder, const testing_support::Files& files,
                                       const std::string& script, const std::string& name = "setup.exe");

// The installer's view of the machine under Wine: its program-files folder
// ("C:\\Program Files (x86)" for the 32-bit build on a 64-bit prefix) and the
// `reg` switch that reaches the registry view it uses.
std::string InstallerProgramFiles();
std::string InstallerRegistryView();

// The prefix user's temporary folder, as a Linux path.
std::filesystem::path TemporaryFolder(harness::Wine& wine);

// The installer's temporary folders ("quenlith_temp_<seconds>...") and
// script copies ("quenlith_setup_text...") left in that folder.
std::vector<std::filesystem::path> LeftTemporaryFiles(harness::Wine& wine);

// The text of the one setup log on the prefix's desktop; empty when there is
// none or more than one.
std::string OnlySetupLog(const harness::Wine& wine);

// Runs the harness's wintool.exe with `args` (at most 60 s) and returns what it printed.
std::string Wintool(harness::Wine& wine, const std::vector<std::string>& args);

// The wizard window's class.
inline constexpr const char* kWizardClass = "Quenlith: Setup";

// Waits up to `timeoutMs` for the wizard window and closes it, again while
// it refuses (installing) and answering its message boxes, until it is
// gone. False when no wizard appeared or it did not go.
bool DismissWizard(harness::Wine& wine, int timeoutMs = 60000);

// Runs `package` with `args` while closing its wizard as DismissWizard
// does; the result carries the run's full exit code.
harness::RunResult RunWizardToItsEnd(harness::Wine& wine, const std::filesystem::path& package,
                                     const std::vector<std::string>& args);

// A tmpfs of `size` mounted for the test's lifetime as drive D:.
class SmallDrive {
 public:
  explicit SmallDrive(const std::string& size) : mount_(std::filesystem::path(test_paths::kWineDir) / "small-drive") {
    std::filesystem::create_directories(mount_);
    ok_ = std::system(("mount -t tmpfs -o size=" + size + " tmpfs " + mount_.string()).c_str()) == 0;
    link_ = std::filesystem::path(test_paths::kWineDir) / "prefix" / "dosdevices" / "d:";
    std::filesystem::remove(link_);
    std::filesystem::create_directory_symlink(mount_, link_);
  }
  ~SmallDrive() {
    std::filesystem::remove(link_);
    std::system(("umount " + mount_.string()).c_str());
  }
  bool ok() const { return ok_; }
  bool MakeReadOnly() { return std::system(("mount -o remount,ro " + mount_.string()).c_str()) == 0; }
  const std::filesystem::path& path() const { return mount_; }

 private:
  std::filesystem::path mount_, link_;
  bool ok_ = false;
};

// Points the prefix user's temporary folder at `folder` for the programs
// started while it lives: sets the TMP and TEMP values under
// HKCU\Environment, from which Wine builds a program's environment (the
// variables of the Linux environment are not passed on). Puts the earlier
// values back, with their types, or deletes values that were not there.
class TemporaryFolderOverride {
 public:
  TemporaryFolderOverride(harness::Wine& wine, const std::string& folder);
  ~TemporaryFolderOverride();
  TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
  TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;

 private:
  struct Saved {
    std::string name;
    std::string type;  // "REG_EXPAND_SZ", ...; empty when the value was absent
    std::string data;
  };
  harness::Wine& wine_;
  std::vector<Saved> saved_;
};

}  // namespace e2e
