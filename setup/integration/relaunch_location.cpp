#include "integration/relaunch_location.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/files.h"
#include "log/setup_log.h"
#include "integration/relaunch_parameters.h"
#include "platform/text.h"

bool RelaunchFromLocationPage(const WizardChoices& choices, const std::string& destination) {
  const std::string program = OwnModulePath();
  const std::string parameters = LocationRelaunchParameters(choices, gSetupLog.Enabled(), destination);
  LOG_NORMAL("Executing file \"{}\" with parameters \"{}\".", program, parameters);
  const std::wstring wideProgram = WideFromUtf8(program);
  const std::wstring wideParameters = WideFromUtf8(parameters);
  SHELLEXECUTEINFOW request = {};
  request.cbSize = sizeof request;
  request.lpVerb = L"runas";
  request.lpFile = wideProgram.c_str();
  request.lpParameters = wideParameters.c_str();
  request.nShow = SW_SHOW;
  return ShellExecuteExW(&request) != FALSE;
}
