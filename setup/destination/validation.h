#pragma once
// Checks a candidate destination before any file is written: free space on
// its drive, and a directory that exists (created with its parents) and can
// be written. The checks log their lines and ask nothing; the destination
// choosers decide what a refusal means.

#include <cstdint>
#include <string>

struct SpaceCheck {
  bool enough = true;         // enough free space, or a free space that cannot be measured
  std::uint64_t free = 0;     // bytes free at the drive's root; 0 when unknown
  std::uint64_t required = 0;
};

// Compares the free bytes at `path`'s root with twice `installedSize`
// (60,000,000 bytes when 0).
SpaceCheck CheckDiskSpace(const std::string& path, std::int32_t installedSize);

enum class DirectoryCheck {
  kReady,        // exists (or was created with its parents) and can be written
  kNoParent,     // does not exist and has no parent to create it in
  kCannotCreate, // could not be created
  kNotWritable,  // exists but a file cannot be written there
};

// Creates `path` with any missing parents, proves a file can be written
// there and opens it to the Users group. A relative path ("Apps\Quenlith",
// "\Apps") is refused as kNoParent. Leaves the working directory in `path`
// when ready, and as it was otherwise.
DirectoryCheck CreateAndValidateDirectory(const std::string& path);
