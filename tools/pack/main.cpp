// quenlith-pack: builds, inspects, verifies and unpacks setup packages.

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "build.h"
#include "commands.h"
#include "files.h"
#include "installer.h"
#include "interrupt.h"
#include "json.h"
#include "script.h"
#include "script_check.h"
#ifndef _WIN32
#include "try.h"
#endif

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

constexpr int kExitFault = 1;
constexpr int kExitUsage = 2;
// More threads than this gain nothing and each holds about 20 MB.
constexpr unsigned long kMaxJobs = 64;
constexpr char kVersion[] = "quenlith-pack 6.6\n";

const char kUsage[] =
    "usage:\n"
    "  quenlith-pack build INSTALLER PAYLOAD_DIR SCRIPT -o OUTPUT [--jobs N] [--destination-room N]\n"
    "                    [--follow-links] [--strict]\n"
    "      write a setup package: the installer executable, its payload folder\n"
    "      compressed as a payload archive, and the installer script\n"
    "  quenlith-pack check SCRIPT [PAYLOAD_DIR] [--strict]\n"
    "      check the script against the installer's keys and the payload's files\n"
    "  quenlith-pack inspect PACKAGE       print the layout, the script and the file table\n"
    "  quenlith-pack verify PACKAGE        check offsets, image, bzip2 CRCs and the file table\n"
    "  quenlith-pack extract PACKAGE DIR   unpack the payload into DIR\n"
    "  quenlith-pack stamp INSTALLER       store the installer's image size in it (a build step)\n"
    "  quenlith-pack try PACKAGE [--wizard] [--keep DIR] [--timeout SECONDS] [--pictures DIR]\n"
    "                    [--json] [-- SWITCHES...]\n"
    "      run the package under Wine in a throw-away prefix (Linux only) and report what\n"
    "      it did: exit code, log, files, shortcuts, uninstall entry, settings, state\n"
    "      reports, temporary files left, time\n"
    "\n"
    "  quenlith-pack --version             print the version\n"
    "\n"
    "  --jobs N              compress with N threads, 1 to 64 (default: all processors,\n"
    "                        at most 64); the package is the same for any N\n"
    "  --destination-room N  characters that entry paths leave for the destination\n"
    "                        folder (default 100)\n"
    "  --follow-links        follow symbolic links that lead outside PAYLOAD_DIR\n"
    "                        (refused by default)\n"
    "  --strict              script findings are errors (default: warnings)\n"
    "  --wizard              try: start the package as a double-click, without switches,\n"
    "                        and keep a PNG of each wizard page (default: \"/silent\")\n"
    "  --keep DIR            try: keep the prefix in DIR (a new or empty folder)\n"
    "  --timeout SECONDS     try: end a run that takes longer and report it hung (default 120)\n"
    "  --pictures DIR        try: where page pictures and the hung run's screenshot go\n"
    "                        (default: PACKAGE-NAME.try in the current folder)\n"
    "  --json                try: print the report as one JSON document\n"
    "  -- SWITCHES...        try: passed to the package, after \"/silent\" unless --wizard\n"
    "\n"
    "exit codes: 0 done, 1 a fault, 2 a usage error;\n"
    "try: 0 the package ran and exited with 0, 1 it exited otherwise, crashed or hung,\n"
    "     2 it was not run (usage, not a package, Wine or Xvfb missing, an architecture\n"
    "     Wine cannot run here)\n";

int Usage(const std::string& problem) {
  std::cerr << "quenlith-pack: " << problem << "\n" << kUsage;
  return kExitUsage;
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
  options.progress = isatty(2) != 0;
  pack::BuildPackage(options, std::cerr);
  return 0;
}

int Check(const std::vector<std::string>& args) {
  bool strict = false;
  std::vector<std::string> positional;
  for (const std::string& arg : args) {
    if (arg == "--strict")
      strict = true;
    else if (arg.size() > 1 && arg[0] == '-')
      return Usage("unknown option " + arg);
    else
      positional.push_back(arg);
  }
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
  for (const pack::ScriptFinding& finding : findings)
    std::cout << (strict ? "error: " : "warning: ") << pack::Quoted(scriptPath) << ": " << finding.text << "\n";
  if (strict && !findings.empty()) {
    std::cerr << "quenlith-pack: the script has " << findings.size() << " problem(s) (--strict)\n";
    return kExitFault;
  }
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
    return quenlith_try::kTryNotRun;
  }
}
#endif

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("no command given");
  if (args[0] == "--version") return std::cout << kVersion, 0;
  if (WantsHelp(args)) return std::cout << kUsage, 0;
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  auto path = [&rest](std::size_t i) { return pack::PathFromUtf8(rest[i]); };
  if (command == "build") return Build(rest);
  if (command == "check") return Check(rest);
  if (command == "inspect" && rest.size() == 1) return pack::InspectPackage(path(0), std::cout), 0;
  if (command == "verify" && rest.size() == 1) return pack::VerifyPackage(path(0), std::cout), 0;
  if (command == "extract" && rest.size() == 2) return pack::ExtractPackage(path(0), path(1), std::cout), 0;
  if (command == "stamp" && rest.size() == 1) return pack::StampInstaller(path(0)), 0;
#ifndef _WIN32
  if (command == "try") return Try(rest);
#endif
  return Usage("unknown command or wrong arguments: " + command);
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
  try {
    pack::InstallInterruptCleanup();
    return Run(Arguments(argc, argv));
  } catch (const std::exception& error) {
    std::cerr << "quenlith-pack: " << error.what() << "\n";
    return kExitFault;
  }
}
