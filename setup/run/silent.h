#pragma once
// The silent run: installs without the wizard, on the main thread, and
// returns the run's exit code.

int RunSilent();
