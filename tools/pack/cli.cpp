#include "pack/cli.h"

#include <algorithm>

#include "pack/progress.h"

namespace pack::cli {

bool ParseCount(const std::string& text, unsigned long& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6) return false;
  value = std::stoul(text);
  return true;
}

CommandOptions Switches::Options() const { return {json, !quiet && StandardErrorIsTerminal()}; }

Switches ParseSwitches(const std::vector<std::string>& args, std::initializer_list<std::string_view> allowed) {
  Switches switches;
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-') {
      if (std::find(allowed.begin(), allowed.end(), arg) == allowed.end()) throw UsageError("unknown option " + arg);
      (arg == "--json"     ? switches.json
       : arg == "--quiet"  ? switches.quiet
       : arg == "--strict" ? switches.strict
                           : switches.markdown) = true;
    } else {
      switches.positional.push_back(arg);
    }
  }
  return switches;
}

void ExpectArguments(const Switches& switches, std::size_t count, const std::string& command, const std::string& what) {
  if (switches.positional.size() != count) throw UsageError(command + " needs " + what);
}

}  // namespace pack::cli
