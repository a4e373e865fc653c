// Stands in for the product's support libraries ("comms.dll", "basekit.dll"):
// the installer only looks for them beside the main program.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
