#include "main/script.h"

#include <cstdio>

#include "files.h"
#include "main/ini.h"
#include "main/run_state.h"

void ReadInstallerScript(const std::string& scriptPath) {
  std::string text;
  if (std::FILE* file = OpenFileUtf8(scriptPath, "rb")) {
    char buffer[4096];
    while (std::size_t count = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, count);
    std::fclose(file);
  }
  installerConfig = InstallerConfig();
  FillInstallerConfig(IniDocument(text), setupCommandLine, installerConfig);
}
