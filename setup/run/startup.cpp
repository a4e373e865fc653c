#include "run/startup.h"

#include <objbase.h>

#include <optional>

#include "messages/exit_codes.h"
#include "platform/drawing.h"
#include "platform/files.h"
#include "platform/held_file.h"
#include "log/setup_log.h"
#include "destination/destination.h"
#include "integration/launch.h"
#include "messages/messages.h"
#include "install/outcomes.h"
#include "platform/paths.h"
#include "install/product.h"
#include "report/report.h"
#include "state/run_state.h"
#include "script/script.h"
#include "run/silent.h"
#include "user/user_context.h"
#include "platform/registry.h"
#include "split/setup_image_size.h"
#include "split/split.h"
#include "platform/system.h"
#include "platform/system_functions.h"
#include "wizard/wizard.h"

namespace {

constexpr const char* kSettingsKey = "Software\\Quenlith\\";
// The script's copy in the temporary folder; another run's copy makes it "quenlith_setup_text_1", ...
constexpr const char* kScriptCopyName = "quenlith_setup_text";

bool LoggingRequested() {
  if (setupCommandLine.Debug()) return true;
  return ReadRegistryDword(UserRegistryRoot(), UserKeyPath(kSettingsKey), "InstallationLogging") == 1u;
}

void StartPlatform(HINSTANCE instance) {
  setupInstance = instance;
  CoInitialize(nullptr);
  system_dll::InitCommonControls();
  // The process's one GDI+ start; the wizard shuts it down when its run ends,
  // every other exit leaves that to the process's end.
  StartDrawing();
}

bool SystemTooOld() { return ReportedSystemVersion().major < 6; }

// Copies the script out of the package into a temporary file of the run's
// own and reads it; the exit code when it cannot be had. The copy is held
// open, and so unchangeable by others, until it is read, then deleted.
std::optional<ExitCode> ExtractAndReadScript() {
  const std::string ownPath = OwnModulePath();
  const std::string temporaryFolder = TempFolder();
  std::optional<HeldFile> script = HeldFile::Create(temporaryFolder, kScriptCopyName, true);
  std::optional<std::string> text;
  if (!script) {
    const DWORD error = GetLastError();
    LOG_ERROR("Unable to create \"{}\" (Error code: {}).", JoinPath(temporaryFolder, kScriptCopyName).value_or(""),
              error);
  } else {
    const SplitResult split = SplitSetupFile(ownPath, script->Handle(), 0, false, 0);
    if (split.status == SplitStatus::kCopied)
      text = script->ReadAll();
    else
      ConcludeSplit(split, ownPath, script->Path(), 0);
  }
  script.reset();
  if (!text) {
    LOG_WARNING("Error reading configuration file.");
    ReportState("cancel_configuration");
    return kExitFailure;
  }
  installerConfig = ReadInstallerScript(*text, setupCommandLine);
  SetMessageBoxesShown(installerConfig.installerSilent == 0);
  return std::nullopt;
}

// The checks that may end the run before anything is installed; the exit code when one does.
std::optional<ExitCode> CheckEnvironment() {
  if (installerConfig.setupCheckVistaGreater != 0 && SystemTooOld()) {
    LOG_WARNING("Operating system is too old.");
    SetupMessageBox(nullptr, installerConfig.setupCheckVistaGreaterText, installerConfig.setupCheckVistaGreaterTitle,
                    MB_OK);
    ReportState("cancel_os");
    return kExitFailure;
  }
  if (setupCommandLine.Has("/elevate") || setupCommandLine.Has("/noprogramfileselevation")) {
    LOG_NORMAL("Removing Quenlith check due to command line arguments.");
    installerConfig.setupCheckIfQuenlithLoaded = 0;
  }
  if (setupCommandLine.Has("/checkmsi")) {
    const std::string keyPath = UserKeyPath(kSettingsKey);
    LOG_NORMAL("Searching for settings at \"{}\".", keyPath);
    if (ReadRegistryDword(UserRegistryRoot(), keyPath, "PreventInstallationFromMsi") == 1u) {
      LOG_WARNING("MSI-based installation is disabled due to registry key setting.");
      ReportState("cancel_msi");
      return kExitFailure;
    }
  }
  return std::nullopt;
}

ExitCode RunWizard() {
  LOG_NORMAL("Starting UI-based installation.");
  if (installerConfig.setupCheckIfQuenlithLoaded != 0 && ProductIsRunning()) {
    const int answer = SetupMessageBox(nullptr, installerConfig.setupCheckIfQuenlithLoadedText,
                                       installerConfig.setupCheckIfQuenlithLoadedTitle, MB_YESNO);
    if (answer == IDNO) {
      LOG_WARNING("Exiting, Quenlith is already running.");
      ReportState("cancel_quenlith");
      return kExitFailure;
    }
  }
  if (installerConfig.destinationProgramData != 0 && installerConfig.destinationAuto != 0 &&
      !setupCommandLine.Has("/location "))
    DecideLocationPrompt(installerConfig);
  if (RelaunchForCleanup(installerConfig, setupCommandLine)) return kExitSuccess;
  const ExitCode code = RunWizardWindow();
  FinishBackgroundReports();
  gSetupLog.Close();
  return code;
}

// Everything after the logging switch; returns the run's exit code.
ExitCode Run(HINSTANCE instance) {
  LOG_NORMAL("Setup size: \"{}\".", SetupImageSize());
  LOG_NORMAL("Browser version: \"{}\".", kReportUserAgent);
  StartPlatform(instance);
  LOG_NORMAL("Command line: \"{}\".", setupCommandLine.Full());
  ReportState("start");

  if (const std::optional<ExitCode> failed = ExtractAndReadScript()) return *failed;
  if (const std::optional<ExitCode> refused = CheckEnvironment()) return *refused;

  if (installerConfig.installerSilent != 0) return RunSilent();
  return RunWizard();
}

}  // namespace

ExitCode RunSetup(HINSTANCE instance, const std::string& commandLine) {
  setupCommandLine = CommandLine(commandLine);
  elevatedRelaunch = setupCommandLine.ElevatedRelaunch();
  // Until the script is read, a silent command line already keeps message boxes away.
  SetMessageBoxesShown(!setupCommandLine.Silent());
  if (LoggingRequested()) gSetupLog.Enable();
  return ConcludeRun(Run(instance));
}
