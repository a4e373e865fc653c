#include "integration/launch.h"

#include <shellapi.h>
#include <softpub.h>
#include <wintrust.h>

#include "log/setup_log.h"
#include "destination/destination.h"
#include "messages/messages.h"
#include "platform/paths.h"
#include "platform/files.h"
#include "platform/system_functions.h"
#include "platform/shell.h"
#include "platform/text.h"

bool VerifySignature(const std::string& path) {
  const std::wstring widePath = WideFromUtf8(path);
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = widePath.c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = system_dll::WinVerifyTrust(nullptr, &action, &data);
  // Release the verification state whatever the result.
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  system_dll::WinVerifyTrust(nullptr, &action, &data);
  if (result == 0) return true;
  LOG_WARNING("Verification error code {}.", static_cast<long>(result));
  return false;
}

void LaunchProduct(HWND owner, const InstallerConfig& config, const std::string& destination) {
  // One backslash is always inserted, as the product expects its path.
  std::string path = destination + "\\" + config.launchTarget;
  if (Utf16Length(path) > kMaxPathLength) {
    LOG_WARNING("Executible not launched: the path \"{}\" is too long.", path);
    return;
  }
  if (!VerifySignature(path)) {
    LOG_WARNING("Executible not launched due to signing.");
    return;
  }
  if (owner != nullptr) ShowWindow(owner, SW_HIDE);
  const std::wstring parameters = WideFromUtf8(config.launchParameters.value_or(""));
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, nullptr, WideFromUtf8(path).c_str(),
                    config.launchParameters ? parameters.c_str() : nullptr,
                    WideFromUtf8(destination).c_str(), SW_SHOWNORMAL));
  if (result > 32) return;
  LOG_WARNING("Executible not launched due to error {}.", static_cast<long long>(result));
  if (owner != nullptr)
    SetupMessageBox(owner, "We are sorry, please launch the program manually.", "Unable to launch application.", MB_OK);
}

std::string CleanupRelaunchParameters(const std::vector<std::string>& commandLine) {
  std::string parameters = "/noprogramfileselevation ";
  for (std::size_t i = 1; i < commandLine.size(); ++i) {
    if (i > 1) parameters += ' ';
    parameters += commandLine[i];
  }
  return parameters;
}

bool RelaunchForCleanup(const InstallerConfig& config, const CommandLine& commandLine) {
  if (config.setupCleanProgramFilesWithElevation == 0 || commandLine.Has("/noprogramfileselevation"))
    return false;
  LOG_NORMAL("Determining if elevation is needed to clean older program files or uninstallation entry.");
  const std::string previous = FindPreviousInstallation(HKEY_LOCAL_MACHINE, UninstallTitle(config));
  if (previous.empty()) return false;
  LOG_NORMAL("Previous version found at {}", previous);
  const std::string program = OwnModulePath();
  const std::string parameters = CleanupRelaunchParameters(SplitCommandLineUtf8());
  LOG_WARNING("Exiting and relaunching with elevation.");
  LOG_NORMAL("Executing file \"{}\" with parameters \"{}\".", program, parameters);
  StartElevated(program, parameters);
  return true;
}
