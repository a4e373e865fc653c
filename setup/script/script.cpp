#include "script/script.h"

#include "log/setup_log.h"
#include "script/ini.h"

InstallerConfig ReadInstallerScript(std::string_view text, const CommandLine& commandLine) {
  InstallerConfig config;
  for (const std::string& problem : FillInstallerConfig(IniDocument(text), commandLine, config))
    LOG_WARNING("Installer script: {}.", problem);
  return config;
}
