#include "main/run_state.h"

#include <cstdlib>

InstallerConfig installerConfig;
CommandLine setupCommandLine{std::string()};
HINSTANCE setupInstance = nullptr;

void ExitSetup(int code) { std::exit(code); }
