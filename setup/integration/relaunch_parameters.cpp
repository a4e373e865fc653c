#include "integration/relaunch_parameters.h"

std::string LocationRelaunchParameters(const WizardChoices& choices, bool logging, std::string_view destination) {
  std::string parameters = "/elevate ";
  if (choices.startMenu == 1) parameters += "/startmenu ";
  if (choices.desktop == 1) parameters += "/desktop ";
  if (choices.uninstall == 1) parameters += "/uninstall ";
  if (choices.startup == 1) parameters += "/startup ";
  if (logging) parameters += "/debug ";
  parameters += "/location ";
  parameters += destination;
  return parameters;
}
