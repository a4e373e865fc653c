// `quenlith-pack extract`: its usage and arguments.

#include <iostream>

#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/files.h"

namespace pack::cli {
namespace {

int Extract(const std::vector<std::string>& args) {
  const Switches switches = ParseSwitches(args, {"--quiet"});
  ExpectArguments(switches, 2, "extract", "PACKAGE and DIR");
  ExtractPackage(PathFromUtf8(switches.positional[0]), PathFromUtf8(switches.positional[1]), std::cout,
                 switches.Options());
  return kExitDone;
}

}  // namespace

const Command kExtract = {
    "extract",
    "  quenlith-pack extract PACKAGE DIR [--quiet]\n"
    "      unpack the payload into DIR (made when missing); the files are moved into\n"
    "      place only once the whole payload is read and checked, so damage or an\n"
    "      interruption leaves DIR as it was\n" +
        std::string(kQuietOption),
    kExitCodesHelp,
    kExitFault,
    Extract,
};

}  // namespace pack::cli
