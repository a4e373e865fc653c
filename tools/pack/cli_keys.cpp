// `quenlith-pack keys`: its usage and arguments.

#include <iostream>

#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/keys_reference.h"

namespace pack::cli {
namespace {

int Keys(const std::vector<std::string>& args) {
  const Switches switches = ParseSwitches(args, {"--json", "--markdown"});
  ExpectArguments(switches, 0, "keys", "no arguments");
  if (switches.json && switches.markdown) throw UsageError("keys takes --json or --markdown, not both");
  (switches.json ? WriteKeysJson : switches.markdown ? WriteKeysMarkdown : WriteKeysText)(std::cout);
  return kExitDone;
}

}  // namespace

const Command kKeys = {
    "keys",
    "  quenlith-pack keys [--json | --markdown]\n"
    "      every section and key of the installer script the installer reads: the kind\n"
    "      of value, the default, the family (count key and indexed entries), what it does\n" +
        std::string(kJsonOption) + "  --markdown  print the Markdown table the README carries\n",
    kExitCodesHelp,
    kExitFault,
    Keys,
};

}  // namespace pack::cli
