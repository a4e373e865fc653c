#pragma once
// Writes a setup package: installer image, compressed payload archive and its
// trailer, installer script and its trailer.

#include <cstddef>
#include <filesystem>
#include <ostream>

#include "pack/payload.h"

namespace pack {

struct BuildOptions {
  std::filesystem::path installer;
  std::filesystem::path payload;
  std::filesystem::path script;
  std::filesystem::path output;
  unsigned jobs = 1;
  std::size_t destinationRoom = kDefaultDestinationRoom;
  LinkPolicy links = LinkPolicy::kInsideOnly;
  bool strictScript = false;  // script check findings are errors, not warnings
  bool progress = false;  // a progress line on `messages` (ProgressLine)
};

// Checks every input first (the output must not be an input, a folder or
// inside the payload folder; the script is checked against the installer's
// reader and the payload), then writes the package under a temporary name
// and renames it to `output` when complete. Throws Failure with every
// problem found; nothing is left under `output` then. Notes and warnings go
// to `messages`.
void BuildPackage(const BuildOptions& options, std::ostream& messages);

}  // namespace pack
