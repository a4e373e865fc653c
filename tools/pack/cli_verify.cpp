// `quenlith-pack verify`: its usage and arguments.

#include <iostream>

#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/files.h"

namespace pack::cli {
namespace {

int Verify(const std::vector<std::string>& args) {
  const Switches switches = ParseSwitches(args, {"--json", "--quiet"});
  ExpectArguments(switches, 1, "verify", "PACKAGE");
  VerifyPackage(PathFromUtf8(switches.positional[0]), std::cout, switches.Options());
  return kExitDone;
}

}  // namespace

const Command kVerify = {
    "verify",
    "  quenlith-pack verify PACKAGE [--json] [--quiet]\n"
    "      check the offsets, the image, the script section, the signature, every bzip2\n"
    "      CRC and the file table against the data\n" +
        std::string(kJsonOption) + kQuietOption,
    kExitCodesHelp,
    kExitFault,
    Verify,
};

}  // namespace pack::cli
