#pragma once
// Gathers a payload folder into the entries of a payload archive.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "etar/archive.h"

namespace pack {

struct PayloadFile {
  archive::Entry entry;          // name as installed, backslash-separated
  std::filesystem::path source;  // where its bytes come from
};

struct Payload {
  std::vector<PayloadFile> files;  // sorted by entry name, byte by byte
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  std::uint64_t totalBytes = 0;
};

// Room in characters that entry paths leave for the destination folder the
// user may choose, so that destination, backslash and name stay below the
// installer's 260-character paths.
inline constexpr std::size_t kDefaultDestinationRoom = 100;

// Every regular file below `folder` (symbolic links to files followed), in a
// stable order. Lists every problem found rather than stopping at the first:
// names the installer could not create or that would collide on Windows,
// names too long for the table or for a destination of `destinationRoom`
// characters, files of 4 GiB or more, anything that is neither a file nor a
// folder, and an empty payload.
Payload CollectPayload(const std::filesystem::path& folder, std::size_t destinationRoom);

}  // namespace pack
