#include "install/install.h"

#include <cstdio>
#include <ctime>

#include "bzip/bzip2.h"
#include "etar/etar.h"
#include "etar/uninstall_list.h"
#include "messages/exit_codes.h"
#include "platform/files.h"
#include "log/setup_log.h"
#include "messages/messages.h"
#include "install/outcomes.h"
#include "integration/older_files.h"
#include "platform/paths.h"
#include "install/product_wait.h"
#include "integration/settings.h"
#include "integration/shortcuts.h"
#include "integration/uninstall_entry.h"
#include "mediaplayer/mediaplayer.h"
#include "split/split.h"
#include "platform/text.h"
#include "tray/tray.h"

namespace {

void Step(HWND window) { SendMessageW(window, WM_SETUP_STEP, 0, 0); }

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
  TrayIcon(HWND window, HINSTANCE module) : window_(window) {
    NewTrayGuid(guid_);
    AddTrayIcon(window_, LoadIconW(module, MAKEINTRESOURCEW(138)), "Quenlith is installing...", guid_);
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

void CreateShortcutsAndEntry(const InstallerConfig& config, const WizardChoices& choices,
                             const std::string& destination, HWND window) {
  // Each family the script offers counts one step, whether or not it was chosen.
  if (config.setupStartMenu != 0) {
    if (choices.startMenu) {
      LOG_NORMAL("Adding start menu icon.");
      CreateStartMenuShortcuts(config, destination);
    }
    Step(window);
  }
  if (config.setupDesktopIcon != 0) {
    if (choices.desktop) {
      LOG_NORMAL("Adding desktop icon.");
      CreateDesktopShortcuts(config, destination);
    }
    Step(window);
  }
  if (config.setupStartup != 0) {
    if (choices.startup) {
      LOG_NORMAL("Adding startup icon.");
      CreateStartupShortcut(destination);
    }
    Step(window);
  }
  if (config.setupUninstallInformation != 0) {
    if (choices.uninstall) {
      LOG_NORMAL("Removing previous uninstall entry.");
      RemoveUninstallEntry(config, HKEY_LOCAL_MACHINE);
      LOG_NORMAL("Adding uninstall entry.");
      WriteUninstallEntry(config, destination, HKEY_CURRENT_USER);
    }
    Step(window);
  }
}

int RunInstallSequence(const InstallRequest& request) {
  const InstallerConfig& config = request.config;
  const WizardChoices& choices = request.choices;
  std::string& destination = request.destination;
  const HWND window = request.window;
  TrayIcon tray(window, request.module);
  LOG_NORMAL("Installation is starting at {}", destination);
  LOG_NORMAL("Start menu icon: {}, Desktop icon: {}, Startup: {}, Uninstallation: {}", choices.startMenu,
             choices.desktop, choices.startup, choices.uninstall);
  if (config.setupCheckIfQuenlithExiting != 0) WaitForProductToClose();

  if (destination.empty() || destination.back() != '\\') destination += '\\';
  const std::optional<std::string> uninstallList = JoinPath(destination, "uninstall.ini");

  TemporaryFolder temporary(TempFolder() + "quenlith_temp_" +
                            std::to_string(static_cast<long long>(std::time(nullptr))));
  Step(window);

  LOG_NORMAL("Splitting files.");
  const SplitResult split = SplitSetupFile(request.package, temporary.Compressed(), request.payloadOffset, true, 1);
  if (split.status != SplitStatus::kCopied) {
    ConcludeSplit(split, request.package, temporary.Compressed(), request.payloadOffset);
    LOG_ERROR("Exiting, error during split.");
    return kExitFailure;
  }

  Step(window);
  LOG_NORMAL("Decompressing files.");
  if (const int failed = Decompress(temporary); failed != kExitSuccess) return failed;

  Step(window);
  LOG_NORMAL("Copying files to location.");
  const ExtractResult extracted =
      ExtractPayload(temporary.Uncompressed(), destination, config.dateMonth, config.dateDay, config.dateYear,
                     config.setupUninstallInformation != 0 ? uninstallList : std::nullopt, AskToRetryFile);
  if (extracted.status != ExtractStatus::kDone)
    return ConcludeExtraction(extracted, temporary.Uncompressed(), destination);
  Step(window);

  if (config.deleteFiles != 0) {
    LOG_NORMAL("Removing older installed files.");
    RemoveOlderFiles(config, destination);
  }
  if (config.setupCleanProgramFilesWithElevation != 0) {
    LOG_NORMAL("Attempting to remove older installation if installed to program files.");
    RemoveProgramFilesInstallation(UninstallTitle(config), destination);
  }

  temporary.Remove();
  Step(window);

  CreateShortcutsAndEntry(config, choices, destination, window);
  if (config.setupUninstallInformation != 0 && uninstallList) {
    // One rewrite of a list that may hold thousands of files, not one per key.
    UninstallListWriter list(*uninstallList);
    list.RecordValue("Desktop", choices.desktop ? "yes" : "no");
    list.RecordValue("Start Menu", choices.startMenu ? "yes" : "no");
    list.RecordValue("Add Remove", choices.uninstall ? "yes" : "no");
  }

  if (config.setupFirstRun != 0) MarkFirstRun();
  if (config.setupMediaPlayer != 0) {
    LOG_NORMAL("Setting up windows media player.");
    if (const std::optional<std::string> plugin = JoinPath(destination, "events.dll"))
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
