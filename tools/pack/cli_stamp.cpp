// `quenlith-pack stamp`: its usage and arguments.

#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/files.h"
#include "pack/installer.h"

namespace pack::cli {
namespace {

int Stamp(const std::vector<std::string>& args) {
  const Switches switches = ParseSwitches(args, {});
  ExpectArguments(switches, 1, "stamp", "INSTALLER");
  StampInstaller(PathFromUtf8(switches.positional[0]));
  return kExitDone;
}

}  // namespace

const Command kStamp = {
    "stamp",
    "  quenlith-pack stamp INSTALLER\n"
    "      store the installer's image size in it (a build step after linking)\n",
    kExitCodesHelp,
    kExitFault,
    Stamp,
};

}  // namespace pack::cli
