// A GUI program that exits with the code given as its argument, so tests can
// prove that the harness reports full signed exit codes of GUI programs.

#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return std::atoi(commandLine); }
