#pragma once
// The destination choice's rules that need no Windows API: the folder
// dialog's prompt, the path built from a picked folder, the default-location
// test, the uninstall key and folder of an earlier installation, and the
// start-up decision about it.

#include <optional>
#include <string>
#include <string_view>

#include "script/config.h"

// The text the folder dialog shows.
std::string FolderPromptFor(const InstallerConfig& config);

// The destination text after the folder dialog returned `picked` while the
// page showed `current`; `current` itself when nothing was picked, when the
// pick equals it (letter case ignored), or when a path does not fit.
std::string ComposeBrowsedDestinationFor(const InstallerConfig& config, std::string_view current,
                                         const std::optional<std::string>& picked);

// Whether `text` is not the program-data default location (`programData`,
// ending in a backslash; none when it cannot be obtained).
bool IsOutsideLocation(std::string_view text, const std::optional<std::string>& programData);

// The key, below a user's or the machine's root, that lists the uninstall
// entries of all programs.
inline constexpr std::string_view kUninstallListKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The key of the uninstall entry named `title` (kUninstallListKey, a
// backslash, the title); empty when `title` is empty, since that key would
// be the list itself. The length is not checked.
std::string UninstallKeyPath(std::string_view title);

// The folder of an earlier installation, ending in a backslash, from the
// uninstall command it registered: the command's program (the quoted part
// when the command starts with a quote) up to its last backslash. Empty when
// that leaves no folder with a drive ("C:\") or a server ("\\server"),
// which would be taken on the current drive or in the working folder.
std::string PreviousInstallationFolder(std::string_view uninstallCommand);

enum class PreviousInstallation { kNone, kProgramFiles, kProgramData, kElsewhere };

// Where an earlier installation `previous` lies, compared without regard to
// letter case with the program-files and program-data candidates.
PreviousInstallation ClassifyPreviousInstallation(std::string_view previous, std::string_view programFilesCandidate,
                                                  std::string_view programDataCandidate);
