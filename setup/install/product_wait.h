#pragma once
// Waiting for a running copy of the product to close before its files are replaced.

// Looks for the product's window every 50 ms, at most 401 times (about 20
// seconds), and gives up with a log line when it does not close. Returns
// whether the product is gone.
bool WaitForProductToClose();
