#pragma once
// Prepares an installer script for the package: CR LF line ends and the end
// marker as its last line.

#include <string>
#include <string_view>
#include <vector>

namespace pack {

struct PreparedScript {
  std::string text;                 // the script section's bytes; empty on error
  std::string error;                // why the script is refused
  std::vector<std::string> notes;   // changes worth telling the user
};

// Turns every line end (CR LF, LF or CR) into CR LF and makes the end-marker
// line the last line, appending it after the comment line "; End the file
// with this guid" when missing. Refuses a script that holds the marker
// anywhere but on its last line, UTF-16 text and NUL bytes; drops a UTF-8
// byte-order mark, which would hide the first section from the installer.
PreparedScript PrepareScript(std::string_view raw);

}  // namespace pack
