// `quenlith-pack try` (Linux only): its usage and arguments. The run itself
// is tools/try.

#include <iostream>
#include <optional>

#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/files.h"
#include "pack/json.h"
#include "try/try.h"

namespace pack::cli {
namespace {

// An argument that reads as one of the installer's switches ("/nodesktop"),
// given where `try` takes its own arguments.
bool LooksLikeInstallerSwitch(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '/' && arg.find('/', 1) == std::string::npos;
}

int Try(const std::vector<std::string>& args) {
  quenlith_try::TryOptions options;
  std::vector<std::string> positional;
  std::optional<std::filesystem::path> pictures;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    unsigned long number = 0;
    if (arg == "--") {
      options.switches.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (arg == "--wizard") {
      options.wizard = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--keep") {
      if (!hasValue) throw UsageError("--keep needs a folder");
      options.keep = PathFromUtf8(args[++i]);
    } else if (arg == "--pictures") {
      if (!hasValue) throw UsageError("--pictures needs a folder");
      pictures = PathFromUtf8(args[++i]);
    } else if (arg == "--timeout") {
      if (!hasValue || !ParseCount(args[++i], number) || number == 0 || number > 86400)
        throw UsageError("--timeout needs a number of seconds from 1 to 86400");
      options.timeoutSeconds = static_cast<int>(number);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  // The package comes first; after it, a switch of the installer's belongs after "--".
  std::string switches;
  for (std::size_t i = 1; i < positional.size(); ++i)
    if (LooksLikeInstallerSwitch(positional[i])) switches += " " + positional[i];
  if (!switches.empty())
    throw UsageError("the installer's switches go after --, at the end: quenlith-pack try PACKAGE --" + switches);
  if (positional.empty()) throw UsageError("try needs PACKAGE");
  if (positional.size() > 1) throw UsageError("try takes one PACKAGE");
  options.package = PathFromUtf8(positional[0]);
  options.pictures = pictures ? *pictures : std::filesystem::path(options.package.stem().string() + ".try");
  options.helpers = quenlith_try::DefaultHelpers();
  try {
    return quenlith_try::TryPackage(options, std::cout, std::cerr);
  } catch (const std::exception& problem) {
    std::cerr << "quenlith-pack try: " << problem.what() << "\n";
    // Under --json a refusal is a document too, so that a reader of standard
    // output always gets one.
    if (options.json) {
      JsonWriter json(std::cout);
      json.BeginObject();
      json.Field("error", problem.what());
      json.EndObject();
    }
    return kTryNotRun;
  }
}

}  // namespace

const Command kTry = {
    "try",
    "  quenlith-pack try PACKAGE [--wizard] [--keep DIR] [--timeout SECONDS] [--pictures DIR]\n"
    "                    [--json] [-- SWITCHES...]\n"
    "      run the package under Wine in a throw-away prefix and report what it did:\n"
    "      exit code, log, files, shortcuts, uninstall entry, settings, state reports,\n"
    "      temporary files left, time\n"
    "  --wizard           start the package as a double-click, without switches, and\n"
    "                     keep a PNG of each wizard page (default: \"/silent\")\n"
    "  --keep DIR         keep the prefix in DIR (a new or empty folder)\n"
    "  --timeout SECONDS  end a run that takes longer and report it hung (default 120)\n"
    "  --pictures DIR     where page pictures and the hung run's screenshot go\n"
    "                     (default: PACKAGE-NAME.try in the current folder)\n" +
        std::string(kJsonOption) +
        "  -- SWITCHES...     the installer's switches, last: after \"/silent\" unless --wizard\n",
    kTryExitCodesHelp,
    kTryNotRun,
    Try,
};

}  // namespace pack::cli
