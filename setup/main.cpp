// Entry point of the installer; everything it does lives in the setup library.

#include <windows.h>

#include "run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  return RunSetup(instance, commandLine);
}
