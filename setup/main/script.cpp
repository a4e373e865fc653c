#include "main/script.h"

#include <cstdio>

#include "files.h"
#include "main/ini.h"

InstallerConfig ReadInstallerScript(const std::string& scriptPath, const CommandLine& commandLine) {
  std::string text;
  if (std::FILE* file = OpenFileUtf8(scriptPath, "rb")) {
    char buffer[4096];
    while (std::size_t count = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, count);
    std::fclose(file);
  }
  InstallerConfig config;
  FillInstallerConfig(IniDocument(text), commandLine, config);
  return config;
}
