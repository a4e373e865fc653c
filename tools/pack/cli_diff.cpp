// `quenlith-pack diff`: its usage and arguments.

#include <iostream>

#include "pack/cli.h"
#include "pack/diff.h"
#include "pack/exit_codes.h"
#include "pack/files.h"

namespace pack::cli {
namespace {

int Diff(const std::vector<std::string>& args) {
  const Switches switches = ParseSwitches(args, {"--json", "--quiet"});
  ExpectArguments(switches, 2, "diff", "OLD and NEW");
  return DiffPackages(PathFromUtf8(switches.positional[0]), PathFromUtf8(switches.positional[1]), std::cout,
                      switches.Options())
             ? kDiffSame
             : kDiffDiffers;
}

}  // namespace

const Command kDiff = {
    "diff",
    "  quenlith-pack diff OLD NEW [--json] [--quiet]\n"
    "      compare two packages as installations: files added, removed and changed, the\n"
    "      files an upgrade from OLD to NEW leaves behind, script keys, image and signature\n" +
        std::string(kJsonOption) + kQuietOption,
    kDiffExitCodesHelp,
    kDiffFault,
    Diff,
};

}  // namespace pack::cli
