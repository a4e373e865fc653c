// `quenlith-pack build`: its usage and arguments.

#include <algorithm>
#include <iostream>
#include <thread>

#include "pack/build.h"
#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/files.h"
#include "pack/progress.h"

namespace pack::cli {
namespace {

// More threads than this gain nothing and each holds about 20 MB.
constexpr unsigned long kMaxJobs = 64;

int Build(const std::vector<std::string>& args) {
  BuildOptions options;
  bool quiet = false;
  options.jobs = static_cast<unsigned>(std::clamp<unsigned long>(std::thread::hardware_concurrency(), 1, kMaxJobs));
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    unsigned long number = 0;
    if (arg == "-o" || arg == "--output") {
      if (!hasValue) throw UsageError(arg + " needs a file name");
      options.output = PathFromUtf8(args[++i]);
    } else if (arg == "--jobs") {
      if (!hasValue || !ParseCount(args[++i], number) || number == 0 || number > kMaxJobs)
        throw UsageError("--jobs needs a number from 1 to " + std::to_string(kMaxJobs));
      options.jobs = static_cast<unsigned>(number);
    } else if (arg == "--destination-room") {
      if (!hasValue || !ParseCount(args[++i], number) || number > 250)
        throw UsageError("--destination-room needs a number from 0 to 250");
      options.destinationRoom = number;
    } else if (arg == "--follow-links") {
      options.links = LinkPolicy::kFollowAll;
    } else if (arg == "--strict") {
      options.strictScript = true;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 3) throw UsageError("build needs INSTALLER, PAYLOAD_DIR and SCRIPT");
  if (options.output.empty()) throw UsageError("build needs -o OUTPUT");
  options.installer = PathFromUtf8(positional[0]);
  options.payload = PathFromUtf8(positional[1]);
  options.script = PathFromUtf8(positional[2]);
  options.progress = !quiet && StandardErrorIsTerminal();
  BuildPackage(options, std::cerr);
  return kExitDone;
}

}  // namespace

const Command kBuild = {
    "build",
    "  quenlith-pack build INSTALLER PAYLOAD_DIR SCRIPT -o OUTPUT [--jobs N] [--destination-room N]\n"
    "                      [--follow-links] [--strict] [--quiet]\n"
    "      write a setup package: the installer executable, its payload folder\n"
    "      compressed as a payload archive, and the installer script\n"
    "  --jobs N              compress with N threads, 1 to 64 (default: all processors,\n"
    "                        at most 64); the package is the same for any N\n"
    "  --destination-room N  characters that entry paths leave for the destination\n"
    "                        folder (default 100)\n"
    "  --follow-links        follow symbolic links that lead outside PAYLOAD_DIR\n"
    "                        (refused by default)\n"
    "  --strict              script findings are errors (default: warnings)\n" +
        std::string(kQuietOption),
    kExitCodesHelp,
    kExitFault,
    Build,
};

}  // namespace pack::cli
