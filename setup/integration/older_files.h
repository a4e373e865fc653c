#pragma once
// Clean-up after earlier versions, once the new files are in place: files
// older versions installed and this one no longer ships, and a whole earlier
// installation in the program-files folder when the product now lives in
// the program-data location. Nothing here stops the installation.

#include <string>
#include <vector>

#include "script/config.h"

// Deletes the script's list of old file names inside `destination`.
void RemoveOlderFiles(const InstallerConfig& config, const std::string& destination);

// Removes the earlier program-files installation registered under the
// uninstall key `title` file by file from its uninstall list, when
// `destination` is the program-data location.
void RemoveProgramFilesInstallation(const std::string& title, const std::string& destination);

// Deletes, in `folder` and below, each file whose full path is in `list`,
// and removes the sub-folders that end up empty.
void RemoveListedFiles(const std::string& folder, const std::vector<std::string>& list);

// True when `folder` holds nothing but "." and "..".
bool IsFolderEmpty(const std::string& folder);

// True when `path` equals an entry of `list`, ignoring letter case.
bool IsInList(const std::string& path, const std::vector<std::string>& list);
