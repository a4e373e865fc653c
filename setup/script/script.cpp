#include "script/script.h"

#include <cstdio>

#include "platform/files.h"
#include "log/setup_log.h"
#include "script/ini.h"

InstallerConfig ReadInstallerScript(const std::string& scriptPath, const CommandLine& commandLine) {
  std::string text;
  if (const FileStream file{OpenFileUtf8(scriptPath, "rb")}) {
    char buffer[4096];
    while (std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get())) text.append(buffer, count);
  }
  InstallerConfig config;
  for (const std::string& problem : FillInstallerConfig(IniDocument(text), commandLine, config))
    LOG_WARNING("Installer script: {}.", problem);
  return config;
}
