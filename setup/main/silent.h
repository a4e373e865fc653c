#pragma once
// The silent run: installs without the wizard, on the main thread, and ends
// the process with its exit code.

[[noreturn]] void RunSilent();
