#include "run.h"

#include "exit_codes.h"

int RunSetup(HINSTANCE, const char*) {
  // Start-up and the installation stages are not built yet: never pretend to install.
  return kExitFailure;
}
