#pragma once
// Shell-link (.lnk) files, read from their bytes. Needs no Wine and no
// Windows API.

#include <optional>
#include <string>

namespace quenlith_try {

// What a shell link points at.
struct ShellLink {
  std::string target;            // the local path it was made for; empty when the link names none
  std::string arguments;
  std::string workingDirectory;
  std::string description;
  std::string iconLocation;
};

// Reads the Shell Link binary format. None when the bytes are no shell link.
std::optional<ShellLink> ParseShellLink(const std::string& bytes);

}  // namespace quenlith_try
