#pragma once
// The command line of `quenlith-pack`: each command, with its usage and the
// parsing of its arguments, in a file of its own (cli_<command>.cpp), and
// the parsing the commands share. main.cpp picks the command and turns
// usage errors and faults into messages and exit codes.

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pack/commands.h"

namespace pack::cli {

struct Command {
  std::string name;
  std::string usage;      // synopsis, what it does and its options, each line ending with '\n'
  std::string exitCodes;  // its line from exit_codes.h
  int faultExit;          // the exit code of a fault it lets through (a Failure or another exception)
  // Runs the command with the arguments after its name; returns its exit
  // code. Throws UsageError for arguments it cannot take.
  int (*run)(const std::vector<std::string>& args);
};

// The commands, in the order the program's usage lists them (each in its
// cli_<command>.cpp; `try` only where it runs, not on Windows).
extern const Command kBuild, kCheck, kKeys, kInspect, kVerify, kExtract, kDiff, kStamp;
#ifndef _WIN32
extern const Command kTry;
#endif

// Arguments a command cannot take: main prints the message and that
// command's usage alone on standard error, and exits with kExitUsage.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Option lines the usages of several commands share.
inline constexpr char kJsonOption[] = "  --json    print one JSON document on standard output instead of the text\n";
inline constexpr char kQuietOption[] =
    "  --quiet   no progress line (one shows on a terminal when the work lasts a second)\n";

// A decimal count of at most six digits, nothing else.
bool ParseCount(const std::string& text, unsigned long& value);

// The switches of the reading commands and their other arguments.
struct Switches {
  bool json = false;
  bool quiet = false;
  bool strict = false;
  bool markdown = false;
  std::vector<std::string> positional;

  // The reading commands' options from these switches.
  CommandOptions Options() const;
};

// Sorts `args` into switches and other arguments; throws UsageError for an
// option that is not one of `allowed` ("--json", "--quiet", "--strict",
// "--markdown").
Switches ParseSwitches(const std::vector<std::string>& args, std::initializer_list<std::string_view> allowed);

// Throws UsageError("`command` needs `what`") unless exactly `count`
// arguments besides the switches were given.
void ExpectArguments(const Switches& switches, std::size_t count, const std::string& command, const std::string& what);

}  // namespace pack::cli
