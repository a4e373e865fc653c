#pragma once
// The pauses of the installer's wait and retry loops. Tests replace them, so
// that a loop that waits twenty seconds on a machine runs at once.

#include <functional>

// Pauses the calling thread for `milliseconds`.
void Pause(unsigned milliseconds);

// Makes Pause call `pause` instead of sleeping; an empty function restores the sleep.
void ReplacePause(std::function<void(unsigned milliseconds)> pause);
