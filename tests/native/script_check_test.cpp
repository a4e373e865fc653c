// The script check: findings on crafted scripts.

#include "pack/script_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::string AllFindings(const std::vector<pack::ScriptFinding>& findings) {
  std::string text;
  for (const auto& finding : findings) text += finding.text + "\n";
  return text;
}

TEST(CheckScript, FindsWhatTheInstallerWouldReadOtherwise) {
  const pack::PayloadFacts payload{{"Quenlith.exe", "plugins\\chat.dll", "tools\\Uninstall.exe"}, std::nullopt};
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
       "line 2: SetupStartMenuNum=2 but SetupStartMenuLink1 is missing"},
      {"entry beyond the count",
       "[Setup]\nSetupStartMenuNum=1\nSetupStartMenuLink0=Quenlith.exe\nSetupStartMenuTitle1=x\n",
       "line 4: SetupStartMenuTitle1 is beyond SetupStartMenuNum=1"},
      {"count too large", "[Delete]\nDeleteFilesNum=70000\n", "more than 65536"},
      {"launch target missing", "[Launch]\nLaunchTarget=Missing.exe\n", "names \"Missing.exe\""},
      {"shortcut link missing", "[Setup]\nSetupDesktopIconNum=1\nSetupDesktopIconLink0=Gone.exe\n", "Gone.exe"},
      {"uninstall program missing",
       "[Setup]\nSetupUninstallInformationNum=1\nSetupUninstallInformationLink0=un.exe /x\n", "runs \"un.exe\""},
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

// A misspelt key or section names the one meant: in its own section, or in
// the section that holds it; a family member keeps its index.
TEST(CheckScript, SuggestsTheKeyMeant) {
  const struct {
    const char* script;
    const char* finding;
  } cases[] = {
      {"[Install]\nInstallerSilnet=1\n",
       "line 2: unknown key [Install] InstallerSilnet; the installer ignores it "
       "(a misspelt key takes its default); did you mean InstallerSilent?"},
      {"[install]\ninstallersilnet=1\n", "did you mean InstallerSilent?"},
      {"[Product]\nInstallerSilent=1\n", "did you mean [Install] InstallerSilent?"},
      {"[Setup]\nSetupDesktopIconNum=3\nSetupDesktopIconLnk2=Quenlith.exe\n", "did you mean SetupDesktopIconLink2?"},
      {"[Setup]\nSetupDesktopIconNum=1\nSetupDesktopIconLink00=Quenlith.exe\n", "did you mean SetupDesktopIconLink0?"},
      {"[Setup]\nSetupDesktopIconLink=Quenlith.exe\n", "did you mean SetupDesktopIconLink0?"},
      {"[Delete]\nDeleteFilename0=old.dll\n", "did you mean DeleteFilenames0?"},
      {"[Lanch]\nLaunchAuto=1\n",
       "line 2: unknown section [Lanch]; the installer reads nothing from it; did you "
       "mean [Launch]?"},
  };
  for (const auto& c : cases) {
    const std::string findings = AllFindings(pack::CheckScript(c.script, nullptr));
    EXPECT_NE(findings.find(c.finding), std::string::npos) << c.script << ":\n" << findings;
  }
  // Nothing near enough: no guess.
  const std::string far = AllFindings(pack::CheckScript("[Install]\nColour=blue\n", nullptr));
  EXPECT_NE(far.find("unknown key [Install] Colour"), std::string::npos) << far;
  EXPECT_EQ(far.find("did you mean"), std::string::npos) << far;
}

// Values print as written (a backslash is a backslash), only control bytes
// and bytes outside UTF-8 escaped; keys the check names print as the table
// spells them; every finding has the line it is about.
TEST(CheckScript, ShowsValuesAsWrittenAndEveryLine) {
  const pack::PayloadFacts payload{{"Quenlith.exe"}, std::nullopt};
  const std::string script =
      "[Setup]\n"                                          // 1
      "setupdesktopiconnum=1\n"                            // 2
      "SetupDesktopIconLink0=bin\\Missing.exe\n"           // 3
      "SetupDesktopIconTitle4=far\n"                       // 4
      "[Launch]\n"                                         // 5
      "LaunchTarget=C:\\Program Files\\caf\xc3\xa9.exe\n"  // 6
      "LaunchAuto=1\x01\n"                                 // 7
      "[Delete]\n"                                         // 8
      "DeleteFilesNum=70000\n";                            // 9
  const std::vector<pack::ScriptFinding> findings = pack::CheckScript(script, &payload);
  const std::string text = AllFindings(findings);
  for (const char* part : {
           "line 3: [Setup] SetupDesktopIconLink0 names \"bin\\Missing.exe\", which the payload does not hold",
           "line 4: SetupDesktopIconTitle4 is beyond SetupDesktopIconNum=1",
           "line 6: [Launch] LaunchTarget names \"C:\\Program Files\\caf\xc3\xa9.exe\"",
           "line 7: [Launch] LaunchAuto=1\\x01 is not an integer",
           "line 9: DeleteFilesNum=70000 is more than 65536",
       })
    EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
  EXPECT_EQ(text.find("\\x5C"), std::string::npos) << text;
  for (const pack::ScriptFinding& finding : findings) {
    EXPECT_GT(finding.line, 0u) << finding.text;
    EXPECT_EQ(finding.text.rfind("line " + std::to_string(finding.line) + ": ", 0), 0u) << finding.text;
  }
}

// The versions the script states, against the FileVersion of the payload's
// program that /checkversion reads (quenlith.exe, letter case folded).
TEST(CheckScript, ComparesTheVersionsWithThePayloadsProgram) {
  const std::string script =
      "[Setup]\nSetupUninstallInformationNum=1\nSetupUninstallInformationLink0=Quenlith.exe\n"
      "SetupUninstallInformationDisplayVersion0=%s\nSetupCheckVersionMax=%s\n";
  auto scriptWith = [&](const std::string& display, const std::string& max) {
    std::string text = script;
    text.replace(text.find("%s"), 2, display);
    text.replace(text.find("%s"), 2, max);
    return text;
  };
  const struct {
    const char* what;
    std::string script;
    std::optional<pack::VersionedProgram> program;
    std::vector<std::string> findingParts;  // empty: no findings
  } cases[] = {
      {"both the program's",
       scriptWith("6.6.0.18", "6.6.0.18"),
       pack::VersionedProgram{"QUENLITH.EXE", "6, 6, 0, 18"},
       {}},
      {"trailing zeros compare equal",
       scriptWith("6.6", "6.6.0.0"),
       pack::VersionedProgram{"Quenlith.exe", "6.6.0.0"},
       {}},
      {"the maximum lower",
       scriptWith("6.6.0.18", "6.6.0.17"),
       pack::VersionedProgram{"Quenlith.exe", "6, 6, 0, 18"},
       {"line 5: [Setup] SetupCheckVersionMax=6.6.0.17 is lower than the FileVersion 6, 6, 0, 18 of the payload's "
        "Quenlith.exe"}},
      {"the maximum higher",
       scriptWith("6.6.0.18", "6.7"),
       pack::VersionedProgram{"Quenlith.exe", "6.6.0.18"},
       {"line 5: [Setup] SetupCheckVersionMax=6.7 is higher than", "installs this package again"}},
      {"the uninstall entry's version other",
       scriptWith("6.5", "6.6.0.18"),
       pack::VersionedProgram{"Quenlith.exe", "6.6.0.18"},
       {"line 4: [Setup] SetupUninstallInformationDisplayVersion0=6.5 differs from the FileVersion 6.6.0.18"}},
      {"a program without a version",
       scriptWith("6.6", "6.6"),
       pack::VersionedProgram{"Quenlith.exe", std::nullopt},
       {"line 5: [Setup] SetupCheckVersionMax=6.6 but the payload's Quenlith.exe has no FileVersion"}},
      {"no program: a plug-in package", scriptWith("1.0", "6.6"), std::nullopt, {}},
  };
  for (const auto& c : cases) {
    const pack::PayloadFacts payload{{"Quenlith.exe", "plugins\\chat.dll"}, c.program};
    const std::vector<pack::ScriptFinding> findings = pack::CheckScript(c.script, &payload);
    const std::string text = AllFindings(findings);
    EXPECT_EQ(findings.size(), c.findingParts.empty() ? 0u : 1u) << c.what << ":\n" << text;
    for (const std::string& part : c.findingParts)
      EXPECT_NE(text.find(part), std::string::npos) << c.what << ": " << part << " in\n" << text;
  }
}

TEST(CheckScript, ChecksNoFilesWithoutAPayload) {
  EXPECT_TRUE(pack::CheckScript("[Launch]\nLaunchTarget=Missing.exe\n", nullptr).empty());
}

}  // namespace
