#pragma once
// What the end-to-end tests share: the installer they build packages from,
// packages made by the package builder, and the run's setup log.

#include <filesystem>
#include <string>

#include "test_support.h"
#include "wine.h"

namespace e2e {

// The installer that reports to the tests' local server.
const std::filesystem::path& TestInstaller();

// A package of `files` and `script` built in `folder` by the package
// builder, written to `folder` / `name`.
std::filesystem::path BuildTestPackage(const std::filesystem::path& folder, const testing_support::Files& files,
                                       const std::string& script, const std::string& name = "setup.exe");

// The installer's view of the machine under Wine: its program-files folder
// ("C:\\Program Files (x86)" for the 32-bit build on a 64-bit prefix) and the
// `reg` switch that reaches the registry view it uses.
std::string InstallerProgramFiles();
std::string InstallerRegistryView();

// The text of the one setup log on the prefix's desktop; empty when there is
// none or more than one.
std::string OnlySetupLog(const harness::Wine& wine);

}  // namespace e2e
