#include "state/run_state.h"

InstallerConfig installerConfig;
CommandLine setupCommandLine{std::string()};
HINSTANCE setupInstance = nullptr;
std::string destinationDir;
WizardChoices wizardChoices;
