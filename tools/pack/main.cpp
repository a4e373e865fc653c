// quenlith-pack: builds, inspects, verifies and unpacks setup packages.

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pack/build.h"
#include "pack/commands.h"
#include "pack/diff.h"
#include "pack/exit_codes.h"
#include "pack/files.h"
#include "pack/installer.h"
#include "pack/interrupt.h"
#include "pack/json.h"
#include "pack/progress.h"
#include "pack/script.h"
#include "pack/script_check.h"
#ifndef _WIN32
#include "try/try.h"
#endif

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// More threads than this gain nothing and each holds about 20 MB.
constexpr unsigned long kMaxJobs = 64;
constexpr char kVersion[] = "quenlith-pack 6.6\n";

// The exit codes' paragraph comes from the header that numbers them.
const std::string kUsage = std::string(
    "usage:\n"
    "  quenlith-pack build INSTALLER PAYLOAD_DIR SCRIPT -o OUTPUT [--jobs N] [--destination-room N]\n"
    "                    [--follow-links] [--strict] [--quiet]\n"
    "      write a setup package: the installer executable, its payload folder\n"
    "      compressed as a payload archive, and the installer script\n"
    "  quenlith-pack check SCRIPT [PAYLOAD_DIR] [--strict] [--json]\n"
    "      check the script against the installer's keys and the payload's files\n"
    "  quenlith-pack inspect PACKAGE [--json]          print the layout, the script and the file table\n"
    "  quenlith-pack verify PACKAGE [--json] [--quiet] check offsets, image, bzip2 CRCs and the file table\n"
    "  quenlith-pack extract PACKAGE DIR [--quiet]     unpack the payload into DIR\n"
    "  quenlith-pack diff OLD NEW [--json] [--quiet]   compare two packages: files, script keys,\n"
    "                                                  image and signature\n"
    "  quenlith-pack stamp INSTALLER                   store the installer's image size in it (a build step)\n"
    "  quenlith-pack try PACKAGE [--wizard] [--keep DIR] [--timeout SECONDS] [--pictures DIR]\n"
    "                    [--json] [-- SWITCHES...]\n"
    "      run the package under Wine in a throw-away prefix (Linux only) and report what\n"
    "      it did: exit code, log, files, shortcuts, uninstall entry, settings, state\n"
    "      reports, temporary files left, time\n"
    "\n"
    "  quenlith-pack --version                         print the version\n"
    "\n"
    "  --jobs N              compress with N threads, 1 to 64 (default: all processors,\n"
    "                        at most 64); the package is the same for any N\n"
    "  --destination-room N  characters that entry paths leave for the destination\n"
    "                        folder (default 100)\n"
    "  --follow-links        follow symbolic links that lead outside PAYLOAD_DIR\n"
    "                        (refused by default)\n"
    "  --strict              script findings are errors (default: warnings)\n"
    "  --quiet               no progress line (shown on a terminal for work over a second)\n"
    "  --wizard              try: start the package as a double-click, without switches,\n"
    "                        and keep a PNG of each wizard page (default: \"/silent\")\n"
    "  --keep DIR            try: keep the prefix in DIR (a new or empty folder)\n"
    "  --timeout SECONDS     try: end a run that takes longer and report it hung (default 120)\n"
    "  --pictures DIR        try: where page pictures and the hung run's screenshot go\n"
    "                        (default: PACKAGE-NAME.try in the current folder)\n"
    "  --json                print one JSON document instead of the text\n"
    "  -- SWITCHES...        try: passed to the package, after \"/silent\" unless --wizard\n"
    "\n") + pack::kExitCodesHelp;

int Usage(const std::string& problem) {
  std::cerr << "quenlith-pack: " << problem << "\n" << kUsage;
  return pack::kExitUsage;
}

bool ParseCount(const std::string& text, unsigned long& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6) return false;
  value = std::stoul(text);
  return true;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg == "-h" || arg == "--help") return true;
  return false;
}

int Build(const std::vector<std::string>& args) {
  pack::BuildOptions options;
  bool quiet = false;
  options.jobs = static_cast<unsigned>(std::clamp<unsigned long>(std::thread::hardware_concurrency(), 1, kMaxJobs));
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    unsigned long number = 0;
    if (arg == "-o" || arg == "--output") {
      if (!hasValue) return Usage(arg + " needs a file name");
      options.output = pack::PathFromUtf8(args[++i]);
    } else if (arg == "--jobs") {
      if (!hasValue || !ParseCount(args[++i], number) || number == 0 || number > kMaxJobs)
        return Usage("--jobs needs a number from 1 to " + std::to_string(kMaxJobs));
      options.jobs = static_cast<unsigned>(number);
    } else if (arg == "--destination-room") {
      if (!hasValue || !ParseCount(args[++i], number) || number > 250)
        return Usage("--destination-room needs a number from 0 to 250");
      options.destinationRoom = number;
    } else if (arg == "--follow-links") {
      options.links = pack::LinkPolicy::kFollowAll;
    } else if (arg == "--strict") {
      options.strictScript = true;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 3) return Usage("build needs INSTALLER, PAYLOAD_DIR and SCRIPT");
  if (options.output.empty()) return Usage("build needs -o OUTPUT");
  options.installer = pack::PathFromUtf8(positional[0]);
  options.payload = pack::PathFromUtf8(positional[1]);
  options.script = pack::PathFromUtf8(positional[2]);
  options.progress = !quiet && pack::StandardErrorIsTerminal();
  pack::BuildPackage(options, std::cerr);
  return 0;
}

// The switches of the reading commands, each accepted only where listed.
struct Switches {
  bool json = false;
  bool quiet = false;
  bool strict = false;
  std::vector<std::string> positional;
};

// Fills `switches` from `args`; a usage message when a switch is unknown or
// not one of `allowed` for this command.
std::string ParseSwitches(const std::vector<std::string>& args, const std::vector<std::string>& allowed,
                          Switches& switches) {
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-') {
      if (std::find(allowed.begin(), allowed.end(), arg) == allowed.end()) return "unknown option " + arg;
      (arg == "--json" ? switches.json : arg == "--quiet" ? switches.quiet : switches.strict) = true;
    } else {
      switches.positional.push_back(arg);
    }
  }
  return {};
}

pack::CommandOptions Options(const Switches& switches) {
  return {switches.json, !switches.quiet && pack::StandardErrorIsTerminal()};
}

int Check(const Switches& switches) {
  const std::vector<std::string>& positional = switches.positional;
  if (positional.empty() || positional.size() > 2) return Usage("check needs SCRIPT and optionally PAYLOAD_DIR");
  const std::filesystem::path scriptPath = pack::PathFromUtf8(positional[0]);
  const pack::PreparedScript script = pack::PrepareScript(pack::ReadWholeFile(scriptPath));
  if (!script.error.empty()) throw pack::Failure(pack::Quoted(scriptPath) + ": " + script.error);
  std::vector<std::string> names;
  if (positional.size() == 2) {
    const pack::Payload payload = pack::CollectPayload(pack::PathFromUtf8(positional[1]), pack::kDefaultDestinationRoom,
                                                       pack::LinkPolicy::kFollowAll);
    for (const pack::PayloadFile& file : payload.files) names.push_back(file.entry.name);
  }
  const auto findings = pack::CheckScript(script.text, positional.size() == 2 ? &names : nullptr);
  const bool failed = switches.strict && !findings.empty();
  if (switches.json) {
    std::ostringstream report;
    pack::JsonWriter json(report);
    json.BeginObject();
    json.Field("script", pack::PathToUtf8(scriptPath));
    json.Field("strict", switches.strict);
    json.Field("ok", !failed);
    json.Key("findings");
    json.BeginArray();
    for (const pack::ScriptFinding& finding : findings) {
      json.BeginObject();
      json.Field("line", finding.line);
      json.Field("text", finding.text);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    std::cout << report.str();
  } else {
    for (const pack::ScriptFinding& finding : findings)
      std::cout << (switches.strict ? "error: " : "warning: ") << pack::Quoted(scriptPath) << ": " << finding.text
                << "\n";
  }
  if (failed) {
    std::cerr << "quenlith-pack: the script has " << findings.size() << " problem(s) (--strict)\n";
    return pack::kExitFault;
  }
  if (!switches.json)
    std::cout << "checked " << pack::Quoted(scriptPath) << ": " << findings.size() << " finding(s)\n";
  return 0;
}

#ifndef _WIN32
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
      if (!hasValue) return Usage("--keep needs a folder");
      options.keep = pack::PathFromUtf8(args[++i]);
    } else if (arg == "--pictures") {
      if (!hasValue) return Usage("--pictures needs a folder");
      pictures = pack::PathFromUtf8(args[++i]);
    } else if (arg == "--timeout") {
      if (!hasValue || !ParseCount(args[++i], number) || number == 0 || number > 86400)
        return Usage("--timeout needs a number of seconds from 1 to 86400");
      options.timeoutSeconds = static_cast<int>(number);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 1) return Usage("try needs PACKAGE");
  options.package = pack::PathFromUtf8(positional[0]);
  options.pictures = pictures ? *pictures : std::filesystem::path(options.package.stem().string() + ".try");
  options.helpers = quenlith_try::DefaultHelpers();
  try {
    return quenlith_try::TryPackage(options, std::cout, std::cerr);
  } catch (const std::exception& problem) {
    std::cerr << "quenlith-pack try: " << problem.what() << "\n";
    // Under --json a refusal is a document too, so that a reader of standard
    // output always gets one.
    if (options.json) {
      pack::JsonWriter json(std::cout);
      json.BeginObject();
      json.Field("error", problem.what());
      json.EndObject();
    }
    return pack::kTryNotRun;
  }
}
#endif

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("no command given");
  if (args[0] == "--version") return std::cout << kVersion, 0;
  if (WantsHelp(args)) return std::cout << kUsage, 0;
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "build") return Build(rest);
#ifndef _WIN32
  if (command == "try") return Try(rest);
#endif
  const std::map<std::string, std::pair<std::size_t, std::vector<std::string>>> commands = {
      {"check", {0, {"--strict", "--json"}}},
      {"inspect", {1, {"--json"}}},
      {"verify", {1, {"--json", "--quiet"}}},
      {"extract", {2, {"--quiet"}}},
      {"diff", {2, {"--json", "--quiet"}}},
      {"stamp", {1, {}}},
  };
  const auto found = commands.find(command);
  if (found == commands.end()) return Usage("unknown command or wrong arguments: " + command);
  Switches switches;
  if (const std::string problem = ParseSwitches(rest, found->second.second, switches); !problem.empty())
    return Usage(problem);
  if (command == "check") return Check(switches);
  if (switches.positional.size() != found->second.first)
    return Usage("unknown command or wrong arguments: " + command);
  auto path = [&switches](std::size_t i) { return pack::PathFromUtf8(switches.positional[i]); };
  const pack::CommandOptions options = Options(switches);
  if (command == "inspect") return pack::InspectPackage(path(0), std::cout, options), 0;
  if (command == "verify") return pack::VerifyPackage(path(0), std::cout, options), 0;
  if (command == "extract") return pack::ExtractPackage(path(0), path(1), std::cout, options), 0;
  if (command == "diff")
    return pack::DiffPackages(path(0), path(1), std::cout, options) ? pack::kDiffSame : pack::kDiffDiffers;
  return pack::StampInstaller(path(0)), 0;
}

// The arguments as UTF-8: on Windows from the wide command line, since
// argv holds them in the ANSI code page.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc, (void)argv;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) {
    const std::u8string text = std::filesystem::path(wide[i]).u8string();
    args.emplace_back(text.begin(), text.end());
  }
  if (wide) LocalFree(wide);
  return args;
#else
  return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  try {
    pack::InstallInterruptCleanup();
    args = Arguments(argc, argv);
    return Run(args);
  } catch (const std::exception& error) {
    std::cerr << "quenlith-pack: " << error.what() << "\n";
    // Under --json the fault is a document too, so that a reader of standard
    // output always gets one.
    if (std::find(args.begin(), args.end(), "--json") != args.end()) {
      std::ostringstream report;
      pack::JsonWriter json(report);
      json.BeginObject();
      json.Field("error", error.what());
      json.EndObject();
      std::cout << report.str();
    }
    return !args.empty() && args[0] == "diff" ? static_cast<int>(pack::kDiffFault) : pack::kExitFault;
  }
}
