#pragma once
// Starting the installed product, after checking its signature.

#include <windows.h>

#include <string>

// Whether `path` carries a valid Authenticode signature (revocation is not
// consulted); logs the trust result when it does not.
bool VerifySignature(const std::string& path);

// Starts launchTarget in destinationDir with launchParameters, the
// destination as working directory, when its signature verifies. `owner`
// (the wizard, or none) is hidden first and told when the start fails.
void LaunchProduct(HWND owner);
