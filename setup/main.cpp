// Entry point of the installer; everything it does lives in the setup library.

#include <windows.h>

#include "run/startup.h"
#include "platform/system_library.h"
#include "platform/text.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything can load a library: only the system folder's are wanted.
  RestrictLibraryLoading();
  // The wide command line, so that paths outside the ANSI code page survive.
  return RunSetup(instance, CommandLineArgumentsUtf8());
}
