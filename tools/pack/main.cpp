// quenlith-pack: builds, checks, inspects, verifies, unpacks, compares and
// tries setup packages. This entry picks the command (each in its
// cli_<command>.cpp) and turns usage errors and faults into messages and
// exit codes.

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/interrupt.h"
#include "pack/json.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using pack::cli::Command;

constexpr char kVersion[] = "quenlith-pack 6.6\n";

const std::vector<const Command*>& Commands() {
  static const std::vector<const Command*> commands = {
      &pack::cli::kBuild,  &pack::cli::kCheck,   &pack::cli::kKeys, &pack::cli::kInspect,
      &pack::cli::kVerify, &pack::cli::kExtract, &pack::cli::kDiff,
#ifndef _WIN32
      &pack::cli::kTry,
#endif
      &pack::cli::kStamp,
  };
  return commands;
}

// The program's usage: every command's, then the codes all share.
std::string ProgramUsage() {
  std::string usage = "usage:\n";
  for (const Command* command : Commands()) usage += command->usage;
  return usage + "  quenlith-pack --version\n  quenlith-pack COMMAND -h     that command's usage alone\n\n" +
         pack::kExitCodesHelp + "diff and try: see their usage; any command interrupted by signal N: 128 + N\n";
}

std::string CommandUsage(const Command& command) { return "usage:\n" + command.usage + command.exitCodes; }

// Asks for help: -h or --help among a command's own arguments (not among
// the installer's switches after try's "--").
bool WantsHelp(const std::vector<std::string>& args) {
  const auto end = std::find(args.begin(), args.end(), "--");
  return std::any_of(args.begin(), end, [](const std::string& arg) { return arg == "-h" || arg == "--help"; });
}

// Under --json a fault is a document too, so that a reader of standard
// output always gets one.
void WriteFaultDocument(const std::vector<std::string>& args, const std::string& message) {
  const auto end = std::find(args.begin(), args.end(), "--");
  if (std::find(args.begin(), end, "--json") == end) return;
  std::ostringstream report;
  pack::JsonWriter json(report);
  json.BeginObject();
  json.Field("error", message);
  json.EndObject();
  std::cout << report.str();
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return std::cerr << "quenlith-pack: no command given\n" << ProgramUsage(), pack::kExitUsage;
  if (args[0] == "--version") return std::cout << kVersion, pack::kExitDone;
  if (args[0] == "-h" || args[0] == "--help") return std::cout << ProgramUsage(), pack::kExitDone;
  const auto found = std::find_if(Commands().begin(), Commands().end(),
                                  [&](const Command* command) { return command->name == args[0]; });
  if (found == Commands().end())
    return std::cerr << "quenlith-pack: unknown command " << args[0] << "\n" << ProgramUsage(), pack::kExitUsage;
  const Command& command = **found;
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (WantsHelp(rest)) return std::cout << CommandUsage(command), pack::kExitDone;
  try {
    return command.run(rest);
  } catch (const pack::cli::UsageError& problem) {
    std::cerr << "quenlith-pack: " << problem.what() << "\n" << CommandUsage(command);
    return pack::kExitUsage;
  } catch (const std::exception& fault) {
    std::cerr << "quenlith-pack: " << fault.what() << "\n";
    WriteFaultDocument(rest, fault.what());
    return command.faultExit;
  }
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
  pack::InstallInterruptCleanup();
  try {
    return Run(Arguments(argc, argv));
  } catch (const std::exception& error) {
    std::cerr << "quenlith-pack: " << error.what() << "\n";
    return pack::kExitFault;
  }
}
