// Reads arbitrary text as an installer script, with a command line taken
// from its first line: any text must be read without harm.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "script/config.h"
#include "script/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = text.find('\n');
  const CommandLine commandLine(std::string(text.substr(0, newline == std::string_view::npos ? 0 : newline)));
  InstallerConfig config;
  FillInstallerConfig(IniDocument(text), commandLine, config);
  return 0;
}
