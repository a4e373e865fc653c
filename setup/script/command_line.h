#pragma once
// The installer's command line and its switches, matched as substrings.
// Needs no Windows API.

#include <optional>
#include <string>
#include <string_view>

class CommandLine {
 public:
  // `full` is the command line after the program name, as the entry point gets it.
  explicit CommandLine(std::string full);

  const std::string& Full() const { return full_; }
  // The first 259 characters, which most switch tests search.
  const std::string& Copy() const { return copy_; }

  // Whether `option` is a substring of the first 259 characters, letter case significant.
  bool Has(std::string_view option) const { return copy_.find(option) != std::string::npos; }

  // "/debug" anywhere in the whole line, letter case ignored.
  bool Debug() const;
  // "/elevate" or "/noprogramfileselevation" anywhere in the whole line, letter case significant.
  bool ElevatedRelaunch() const;
  // "/silent" without "/nosilent".
  bool Silent() const { return Has("/silent") && !Has("/nosilent"); }
  // Everything after the first "/location " of the whole line, without the
  // quotes around it when the whole rest is quoted; none without it.
  std::optional<std::string> Location() const;

 private:
  std::string full_;
  std::string copy_;
};
