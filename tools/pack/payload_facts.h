#pragma once
// What the script check needs of a payload (its file names and the program
// the version check reads), from a payload folder or from a package.

#include <filesystem>

#include "pack/files.h"
#include "pack/package.h"
#include "pack/payload.h"
#include "pack/script_check.h"

namespace pack {

// The files of a gathered payload folder, and the versioned program's
// version resource read from its file.
PayloadFacts PayloadFactsOf(const Payload& payload);

// The same of the files below `folder`, gathered as `build` would (links
// followed).
PayloadFacts PayloadFactsOfFolder(const std::filesystem::path& folder);

// The files of the package's archive and the versioned program's version
// resource, decoding the whole payload as an installation would (so a
// damaged payload is a Failure). Holds that one program's bytes in memory.
PayloadFacts PayloadFactsOfPackage(ByteSource& package, const PackageLayout& layout);

}  // namespace pack
