// The script check: findings on crafted scripts.

#include <gtest/gtest.h>

#include "pack/script_check.h"
#include "test_support.h"

namespace {

std::string AllFindings(const std::vector<pack::ScriptFinding>& findings) {
  std::string text;
  for (const auto& finding : findings) text += finding.text + "\n";
  return text;
}

TEST(CheckScript, FindsWhatTheInstallerWouldReadOtherwise) {
  const std::vector<std::string> payload = {"Quenlith.exe", "plugins\\chat.dll", "tools\\Uninstall.exe"};
  const struct {
    const char* what;
    std::string script;
    const char* findingPart;  // nullptr: no findings
  } cases[] = {
      {"sound script",
       "[Launch]\nLaunchTarget=quenlith.exe\n[Setup]\nSetupDesktopIconNum=1\nSetupDesktopIconLink0=Quenlith.exe\n"
       "SetupUninstallInformation=1\nSetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=Quenlith\n"
       "SetupUninstallInformationLink0=\"tools\\Uninstall.exe\" /x\n"
       "[Plugin]\nPluginAutoInstallNum=1\nPluginAutoInstallLink0=chat.dll\n[Delete]\nDeleteFilesNum=1\n"
       "DeleteFilenames0=old.dll\n",
       nullptr},
      {"misspelt key", "[Install]\nInstallerSilnet=1\n", "unknown key [Install] InstallerSilnet"},
      {"unknown section", "[Instal]\nInstallerSilent=1\n", "unknown section [Instal]"},
      {"key in the wrong section", "[Product]\nInstallerSilent=1\n", "unknown key [Product] InstallerSilent"},
      {"integer with a tail", "[Install]\nInstallerSilent=1yes\n", "is not an integer; the installer reads it as 1"},
      {"integer without digits", "[Date]\nDateDay=first\n", "reads it as 0"},
      {"integer out of range", "[Date]\nDateYear=99999999999\n", "out of range"},
      {"index with a leading zero", "[Setup]\nSetupDesktopIconNum=1\nSetupDesktopIconLink00=Quenlith.exe\n",
       "unknown key"},
      {"count larger than the entries", "[Setup]\nSetupStartMenuNum=2\nSetupStartMenuLink0=Quenlith.exe\n",
       "setupStartMenuLink1 is missing"},
      {"entry beyond the count", "[Setup]\nSetupStartMenuNum=1\nSetupStartMenuLink0=Quenlith.exe\nSetupStartMenuTitle1=x\n",
       "setupStartMenuTitle1 is beyond setupStartMenuNum=1"},
      {"count too large", "[Delete]\nDeleteFilesNum=70000\n", "more than 65536"},
      {"launch target missing", "[Launch]\nLaunchTarget=Missing.exe\n", "names \"Missing.exe\""},
      {"shortcut link missing", "[Setup]\nSetupDesktopIconNum=1\nSetupDesktopIconLink0=Gone.exe\n", "Gone.exe"},
      {"uninstall program missing", "[Setup]\nSetupUninstallInformationNum=1\nSetupUninstallInformationLink0=un.exe /x\n",
       "runs \"un.exe\""},
      {"uninstall entry without any entry", "[Setup]\nSetupUninstallInformation=1\n",
       "line 2: [Setup] SetupUninstallInformation=1 but no SetupUninstallInformationTitle0"},
      {"uninstall entry with an empty title",
       "[Setup]\nSetupUninstallInformation=1\nSetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=\n",
       "but no SetupUninstallInformationTitle0"},
      {"uninstall entry whose title is beyond the count",
       "[Setup]\nsetupuninstallinformation=2\nSetupUninstallInformationNum=0\nSetupUninstallInformationTitle0=Q\n",
       "[Setup] setupuninstallinformation=2 but no SetupUninstallInformationTitle0"},
      {"uninstall entry switched off, without a title", "[Setup]\nSetupUninstallInformation=0\n", nullptr},
      {"plug-in missing", "[Plugin]\nPluginAutoInstallNum=1\nPluginAutoInstallLink0=other.dll\n",
       "plug-in \"plugins\\other.dll\""},
      {"deletes an installed file", "[Delete]\nDeleteFilesNum=1\nDeleteFilenames0=quenlith.EXE\n",
       "a file this package installs"},
      {"key set twice", "[Install]\nInstallerSilent=1\ninstallersilent=0\n", "reads only the first"},
      {"key before any section", "InstallerSilent=1\n", "before any section"},
  };
  for (const auto& c : cases) {
    const std::string findings = AllFindings(pack::CheckScript(c.script, &payload));
    if (c.findingPart)
      EXPECT_NE(findings.find(c.findingPart), std::string::npos) << c.what << ":\n" << findings;
    else
      EXPECT_EQ(findings, "") << c.what;
  }
}

TEST(CheckScript, ChecksNoFilesWithoutAPayload) {
  EXPECT_TRUE(pack::CheckScript("[Launch]\nLaunchTarget=Missing.exe\n", nullptr).empty());
}

}  // namespace
