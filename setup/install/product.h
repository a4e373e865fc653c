#pragma once
// What the installer relies on of the installed product.

#include <windows.h>

// Whether the product runs: it then owns a top-level window whose class
// name and title are both "Quenlith".
inline bool ProductIsRunning() { return FindWindowA("Quenlith", "Quenlith") != nullptr; }
