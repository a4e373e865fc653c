#pragma once
// The names of the DLLs a Windows executable imports, read from its PE
// headers (PE32 and PE32+), for tests of what the built programs link.

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct PeImports {
  std::vector<std::string> imports;       // import directory (data directory 1), in table order
  std::vector<std::string> delayImports;  // delay-import directory (data directory 13)
};

// The imported DLL names of the executable `image`, as stored; throws
// std::runtime_error when the headers or tables are malformed.
PeImports ReadPeImports(std::string_view image);

}  // namespace testing_support
