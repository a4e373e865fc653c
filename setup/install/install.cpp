#include "install/install.h"

#include <cstdio>
#include <ctime>

#include "bzip/bzip2.h"
#include "etar/etar.h"
#include "etar/uninstall_list.h"
#include "messages/exit_codes.h"
#include "platform/files.h"
#include "platform/held_file.h"
#include "log/setup_log.h"
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

// The sequence's private temporary folder, created under a free name, and
// its two files, held open from their creation to their last use so that
// no other program can change or replace them meanwhile; all of it is gone
// on every way out of the sequence (the files when their handles close).
class TemporaryFiles {
 public:
  TemporaryFiles() {
    const std::string name = "quenlith_temp_" + std::to_string(static_cast<long long>(std::time(nullptr)));
    const std::string parent = TempFolder();
    folder_ = CreateUniqueFolder(parent, name);
    const std::string folder = folder_.value_or(JoinPath(parent, name).value_or(parent + name));
    compressedPath_ = folder + "\\compressed.dat";
    uncompressedPath_ = folder + "\\uncompressed.dat";
    if (!folder_) return;
    compressed_ = HeldFile::Create(*folder_, "compressed.dat", false);
    if (compressed_) uncompressed_ = HeldFile::Create(*folder_, "uncompressed.dat", false);
  }
  ~TemporaryFiles() { Remove(); }
  TemporaryFiles(const TemporaryFiles&) = delete;
  TemporaryFiles& operator=(const TemporaryFiles&) = delete;

  // Both files exist and are held.
  bool Held() const { return compressed_ && uncompressed_; }
  HANDLE CompressedHandle() const { return compressed_ ? compressed_->Handle() : nullptr; }
  HANDLE UncompressedHandle() const { return uncompressed_ ? uncompressed_->Handle() : nullptr; }
  const HeldFile& Compressed() const { return *compressed_; }
  const HeldFile& Uncompressed() const { return *uncompressed_; }
  const std::string& CompressedPath() const { return compressedPath_; }
  const std::string& UncompressedPath() const { return uncompressedPath_; }

  void Remove() {
    compressed_.reset();
    uncompressed_.reset();
    if (folder_) RemoveDirectoryW(WideFromUtf8(*folder_).c_str());
    folder_.reset();
  }

 private:
  std::optional<std::string> folder_;
  std::string compressedPath_, uncompressedPath_;
  std::optional<HeldFile> compressed_, uncompressed_;
};

// The temporary files could not be made or opened: what was had of them,
// then the failure's conclusion.
ExitCode TemporaryFilesFailed(const void* input, const void* output, const TemporaryFiles& temporary) {
  LOG_ERROR("Unable to open files ({}, {}) for \"{}\" and \"{}\".", input, output, temporary.CompressedPath(),
            temporary.UncompressedPath());
  return ConcludeTemporaryFiles();
}

// The tray icon for the duration of the sequence.
class TrayIcon {
 public:
  TrayIcon(HWND window, HINSTANCE module) : window_(window) {
    NewTrayGuid(guid_);
    AddTrayIcon(window_, LoadIconW(module, MAKEINTRESOURCEW(IDI_SETUP)), "Quenlith is installing...", guid_);
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

// Decompresses the compressed payload into the archive file; kExitSuccess or the failure's code.
ExitCode Decompress(const TemporaryFiles& temporary) {
  std::FILE* input = temporary.Compressed().StreamFromStart("rb");
  std::FILE* output = temporary.Uncompressed().StreamFromStart("wb");
  if (input == nullptr || output == nullptr) {
    if (input != nullptr) std::fclose(input);
    if (output != nullptr) std::fclose(output);
    return TemporaryFilesFailed(input, output, temporary);
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

InstallResult RunInstallSequence(const InstallRequest& request) {
  const InstallerConfig& config = request.config;
  const WizardChoices& choices = request.choices;
  const HWND window = request.window;
  TrayIcon tray(window, request.module);
  LOG_NORMAL("Installation is starting at {}", request.destination);
  LOG_NORMAL("Start menu icon: {}, Desktop icon: {}, Startup: {}, Uninstallation: {}", choices.startMenu,
             choices.desktop, choices.startup, choices.uninstall);
  if (config.setupCheckIfQuenlithExiting != 0) WaitForProductToClose();

  InstallResult result{kExitFailure, request.destination};
  std::string& destination = result.destination;
  if (destination.empty() || destination.back() != '\\') destination += '\\';
  const std::optional<std::string> uninstallList = JoinPath(destination, "uninstall.ini");

  TemporaryFiles temporary;
  Step(window);
  if (!temporary.Held()) {
    result.code = TemporaryFilesFailed(temporary.CompressedHandle(), temporary.UncompressedHandle(), temporary);
    return result;
  }

  LOG_NORMAL("Splitting files.");
  const SplitResult split =
      SplitSetupFile(request.package, temporary.Compressed().Handle(), request.payloadOffset, true, 1);
  if (split.status != SplitStatus::kCopied) {
    result.code = ConcludePayloadSplit(split, request.package, temporary.CompressedPath(), request.payloadOffset);
    return result;
  }

  Step(window);
  LOG_NORMAL("Decompressing files.");
  if (result.code = Decompress(temporary); result.code != kExitSuccess) return result;

  Step(window);
  LOG_NORMAL("Copying files to location.");
  ExtractResult extracted;
  {
    // Closed before the temporary files go: their last handle deletes them.
    const FileStream archive{temporary.Uncompressed().StreamFromStart("rb")};
    extracted = ExtractPayload(archive.get(), destination, config.dateMonth, config.dateDay, config.dateYear,
                               config.setupUninstallInformation != 0 ? uninstallList : std::nullopt, AskToRetryFile);
  }
  if (result.code = ConcludeExtraction(extracted, temporary.UncompressedPath(), destination);
      result.code != kExitSuccess)
    return result;
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
  PostMessageW(window, WM_SETUP_ENDING, 0, 0);
  PostMessageW(window, WM_SETUP_ENDED, 0, 0);
  tray.Remove();
  result.code = kExitSuccess;
  return result;
}
