// `quenlith-pack inspect`: its usage and arguments.

#include <iostream>

#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/files.h"

namespace pack::cli {
namespace {

int Inspect(const std::vector<std::string>& args) {
  const Switches switches = ParseSwitches(args, {"--json", "--quiet"});
  ExpectArguments(switches, 1, "inspect", "PACKAGE");
  const std::filesystem::path package = PathFromUtf8(switches.positional[0]);
  const std::string damage = InspectPackage(package, std::cout, switches.Options());
  if (damage.empty()) return kExitDone;
  std::cerr << "quenlith-pack: " << Quoted(package) << ": " << damage << "\n";
  return kExitFault;
}

}  // namespace

const Command kInspect = {
    "inspect",
    "  quenlith-pack inspect PACKAGE [--json] [--quiet]\n"
    "      print the layout, the signature, the script and the file table, decoding the\n"
    "      whole payload as an installation would: damage is reported (exit code 1)\n"
    "      after what could be read\n" +
        std::string(kJsonOption) + kQuietOption,
    kExitCodesHelp,
    kExitFault,
    Inspect,
};

}  // namespace pack::cli
