#include "main/install.h"

#include <cstdio>
#include <ctime>

#include "bzip/bzip2.h"
#include "etar/etar.h"
#include "exit_codes.h"
#include "files.h"
#include "log/setup_log.h"
#include "main/destination.h"
#include "main/messages.h"
#include "main/outcomes.h"
#include "main/older_files.h"
#include "main/paths.h"
#include "main/product.h"
#include "main/run_state.h"
#include "main/settings.h"
#include "main/shortcuts.h"
#include "main/uninstall_entry.h"
#include "mediaplayer/mediaplayer.h"
#include "profile.h"
#include "split/setup_image_size.h"
#include "split/split.h"
#include "text.h"
#include "tray/tray.h"

namespace {

void Step(HWND window) { SendMessageW(window, WM_SETUP_STEP, 0, 0); }

void WaitForProductToClose() {
  if (installerConfig.setupCheckIfQuenlithExiting == 0) return;
  for (int waits = 0; ProductIsRunning(); ++waits) {
    if (waits == 0) LOG_NORMAL("Waiting for Quenlith to exit.");
    if (waits == 401) {
      LOG_NORMAL("Giving up, will try to install anyway..");
      return;
    }
    Sleep(50);
  }
}

// The sequence's private temporary folder and its two files, removed on
// every way out of the sequence.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(std::string path)
      : path_(std::move(path)), compressed_(path_ + "\\compressed.dat"), uncompressed_(path_ + "\\uncompressed.dat") {
    CreateDirectoryW(WideFromUtf8(path_).c_str(), nullptr);
  }
  ~TemporaryFolder() { Remove(); }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& Compressed() const { return compressed_; }
  const std::string& Uncompressed() const { return uncompressed_; }
  void Remove() {
    if (removed_) return;
    removed_ = true;
    DeleteFileUtf8(compressed_);
    DeleteFileUtf8(uncompressed_);
    RemoveDirectoryW(WideFromUtf8(path_).c_str());
  }

 private:
  std::string path_, compressed_, uncompressed_;
  bool removed_ = false;
};

// The tray icon for the duration of the sequence.
class TrayIcon {
 public:
  explicit TrayIcon(HWND window) : window_(window) {
    NewTrayGuid(guid_);
    AddTrayIcon(window_, LoadIconW(setupInstance, MAKEINTRESOURCEW(138)), "Quenlith is installing...", guid_);
  }
  ~TrayIcon() { Remove(); }
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  void Remove() {
    if (removed_) return;
    removed_ = true;
    RemoveTrayIcon(window_, guid_);
  }

 private:
  HWND window_;
  GUID guid_;
  bool removed_ = false;
};

// Opens the compressed payload and the archive and decompresses; 0 or the exit code.
int Decompress(const TemporaryFolder& temporary) {
  std::FILE* input = OpenFileUtf8(temporary.Compressed(), "rb");
  std::FILE* output = OpenFileUtf8(temporary.Uncompressed(), "wb");
  if (input == nullptr || output == nullptr) {
    LOG_ERROR("Unable to open files ({}, {}) for \"{}\" and \"{}\".", input, output, temporary.Compressed(),
              temporary.Uncompressed());
    if (input != nullptr) std::fclose(input);
    if (output != nullptr) std::fclose(output);
    SetupMessageBox(nullptr, "Setup was unable to create its temporary files, please check disk space and try again.",
                    kSetupErrorCaption, MB_OK);
    return kExitFailure;
  }
  return ConcludeDecompression(DecompressStream(input, output));
}

}  // namespace

void CreateShortcutsAndEntry(int startMenu, int desktop, int startup, int uninstall, HWND window) {
  // Each family the script offers counts one step, whether or not it was chosen.
  if (installerConfig.setupStartMenu != 0) {
    if (startMenu) {
      LOG_NORMAL("Adding start menu icon.");
      CreateStartMenuShortcuts(installerConfig.setupStartMenuDirectory, destinationDir);
    }
    Step(window);
  }
  if (installerConfig.setupDesktopIcon != 0) {
    if (desktop) {
      LOG_NORMAL("Adding desktop icon.");
      CreateDesktopShortcuts(destinationDir);
    }
    Step(window);
  }
  if (installerConfig.setupStartup != 0) {
    if (startup) {
      LOG_NORMAL("Adding startup icon.");
      CreateStartupShortcut(destinationDir);
    }
    Step(window);
  }
  if (installerConfig.setupUninstallInformation != 0) {
    if (uninstall) {
      LOG_NORMAL("Removing previous uninstall entry.");
      RemoveUninstallEntry(HKEY_LOCAL_MACHINE);
      LOG_NORMAL("Adding uninstall entry.");
      WriteUninstallEntry(destinationDir, HKEY_CURRENT_USER);
    }
    Step(window);
  }
}

int RunInstallSequence(int startMenu, int desktop, int uninstall, int startup, HWND window) {
  TrayIcon tray(window);
  LOG_NORMAL("Installation is starting at {}", destinationDir);
  LOG_NORMAL("Start menu icon: {}, Desktop icon: {}, Startup: {}, Uninstallation: {}", startMenu, desktop, startup,
             uninstall);
  WaitForProductToClose();

  if (destinationDir.empty() || destinationDir.back() != '\\') destinationDir += '\\';
  const std::optional<std::string> uninstallList = JoinPath(destinationDir, "uninstall.ini");

  TemporaryFolder temporary(TempFolder() + "quenlith_temp_" +
                            std::to_string(static_cast<long long>(std::time(nullptr))));
  Step(window);

  LOG_NORMAL("Splitting files.");
  const std::string ownPath = OwnModulePath();
  const SplitResult split = SplitSetupFile(ownPath, temporary.Compressed(), SetupImageSize(), true, 1);
  if (split.status != SplitStatus::kCopied) {
    ConcludeSplit(split, ownPath, temporary.Compressed(), SetupImageSize());
    LOG_ERROR("Exiting, error during split.");
    return kExitFailure;
  }

  Step(window);
  LOG_NORMAL("Decompressing files.");
  if (const int failed = Decompress(temporary); failed != kExitSuccess) return failed;

  Step(window);
  LOG_NORMAL("Copying files to location.");
  const ExtractResult extracted =
      ExtractPayload(temporary.Uncompressed(), destinationDir, installerConfig.dateMonth, installerConfig.dateDay,
                     installerConfig.dateYear,
                     installerConfig.setupUninstallInformation != 0 ? uninstallList : std::nullopt, AskToRetryFile);
  if (extracted.status != ExtractStatus::kDone)
    return ConcludeExtraction(extracted, temporary.Uncompressed(), destinationDir);
  Step(window);

  if (installerConfig.deleteFiles != 0) {
    LOG_NORMAL("Removing older installed files.");
    RemoveOlderFiles(destinationDir);
  }
  if (installerConfig.setupCleanProgramFilesWithElevation != 0) {
    LOG_NORMAL("Attempting to remove older installation if installed to program files.");
    RemoveProgramFilesInstallation(destinationDir);
  }

  temporary.Remove();
  Step(window);

  CreateShortcutsAndEntry(startMenu, desktop, startup, uninstall, window);
  if (installerConfig.setupUninstallInformation != 0 && uninstallList) {
    WriteProfileValue(*uninstallList, "Uninstall", "Desktop", desktop ? "yes" : "no");
    WriteProfileValue(*uninstallList, "Uninstall", "Start Menu", startMenu ? "yes" : "no");
    WriteProfileValue(*uninstallList, "Uninstall", "Add Remove", uninstall ? "yes" : "no");
  }

  if (installerConfig.setupFirstRun != 0) MarkFirstRun();
  if (installerConfig.setupMediaPlayer != 0) {
    LOG_NORMAL("Setting up windows media player.");
    if (const std::optional<std::string> plugin = JoinPath(destinationDir, "events.dll"))
      RegisterMediaPlayerPlugin(*plugin);
    else
      LOG_WARNING("Skipping the media player: the path is too long.");
  }

  LOG_NORMAL("Installation finished.");
  PostMessageW(window, WM_USER + 5, 0, 0);
  PostMessageW(window, WM_USER + 4, 0, 0);
  tray.Remove();
  return kExitSuccess;
}
