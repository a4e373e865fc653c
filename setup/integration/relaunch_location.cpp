#include "integration/relaunch_location.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/files.h"
#include "log/setup_log.h"
#include "integration/relaunch_parameters.h"
#include "platform/shell.h"

bool RelaunchFromLocationPage(const WizardChoices& choices, const std::string& destination) {
  const std::string program = OwnModulePath();
  const std::string parameters = LocationRelaunchParameters(choices, gSetupLog.Enabled(), destination);
  LOG_NORMAL("Executing file \"{}\" with parameters \"{}\".", program, parameters);
  return StartElevated(program, parameters);
}
