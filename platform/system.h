#pragma once
// What the system reports about itself.

#include <windows.h>

struct SystemVersion {
  DWORD major = 0;
  DWORD minor = 0;
  DWORD build = 0;
};

// The version GetVersionExA reports (the real one for a program whose
// manifest lists the system as supported).
SystemVersion ReportedSystemVersion();
