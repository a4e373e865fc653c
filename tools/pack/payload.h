#pragma once
// Gathers a payload folder into the entries of a payload archive.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "formats/archive.h"

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

// How symbolic links below the payload folder are treated.
enum class LinkPolicy {
  kInsideOnly,  // follow links whose target lies inside the payload folder; refuse the others
  kFollowAll,   // follow every link, wherever it points
};

// Told of each file the walk takes, in archive order, while the walk goes
// on (on the walking thread); the payload may still turn out to have errors.
using FileFound = std::function<void(const PayloadFile& file)>;

// Every regular file below `folder`, sorted by entry name byte by byte (the
// archive's order), each handed to `found` as soon as it is taken, with its
// size. Lists every problem found rather than stopping at the first: names
// that are not UTF-8, that the installer could not create or that would
// collide on Windows (letter case compared as Windows compares it), names
// longer than the table's 259 bytes or than the installed path's 259 UTF-16
// units less `destinationRoom` and a backslash, files of 4 GiB or more,
// folders that cannot be listed (with the system's reason), links the
// policy refuses or that loop, anything that is neither a file nor a
// folder, and an empty payload. Folders are not descended past the length
// limit, which bounds the depth of the walk.
Payload CollectPayload(const std::filesystem::path& folder, std::size_t destinationRoom,
                       LinkPolicy links = LinkPolicy::kInsideOnly, const FileFound& found = {});

}  // namespace pack
