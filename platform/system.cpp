#include "platform/system.h"

SystemVersion ReportedSystemVersion() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExA(&version);
#pragma GCC diagnostic pop
  return {version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber};
}
