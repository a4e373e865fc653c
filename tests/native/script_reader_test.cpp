// Reading the installer script into InstallerConfig, with the command line's
// overrides.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/config.h"
#include "script/ini.h"

namespace {

InstallerConfig Read(const std::string& script, const std::string& commandLine = "") {
  InstallerConfig config;
  FillInstallerConfig(IniDocument(script), CommandLine(commandLine), config);
  return config;
}

TEST(IniDocument, NamesIgnoreCaseAndTheFirstKeyWins) {
  const IniDocument ini(
      "[Setup]\r\nSetupDesktopIcon=1\r\nsetupdesktopicon=0\n[other]\rkey = spaced value \r\n[SETUP]\nLate=x\n");
  EXPECT_EQ(ini.Int("setup", "setupDesktopIcon", 7), 1);
  EXPECT_EQ(ini.String("OTHER", "KEY"), "spaced value");
  EXPECT_EQ(ini.String("setup", "late"), "x");
  EXPECT_EQ(ini.Find("setup", "missing"), std::nullopt);
  EXPECT_EQ(ini.Find("nosection", "key"), std::nullopt);
}

TEST(IniDocument, ValuesAreUnquotedAndKeysOutsideSectionsIgnored) {
  const IniDocument ini("stray=1\n[s]\nq=\"quoted value\"\nsingle='x'\nhalf=\"open\nempty=\n;comment=1\nnoequals\n");
  EXPECT_EQ(ini.Find("", "stray"), std::nullopt);
  EXPECT_EQ(ini.String("s", "q"), "quoted value");
  EXPECT_EQ(ini.String("s", "single"), "x");
  EXPECT_EQ(ini.String("s", "half"), "\"open");
  EXPECT_EQ(ini.Find("s", "empty"), "");
  EXPECT_EQ(ini.Find("s", ";comment"), std::nullopt);
}

TEST(IniDocument, IntegersAreTheirLeadingDigits) {
  const IniDocument ini("[s]\na=42\nb=-1\nc=12abc\nd=abc\ne=\nf=99999999999\ng=+7\nh= 8 \ni=-99999999999\n");
  const struct {
    const char* key;
    std::int32_t expected;
  } cases[] = {{"a", 42}, {"b", -1}, {"c", 12}, {"d", 0}, {"e", 5}, {"f", 2147483647},
               {"g", 7},  {"h", 8},  {"missing", 5}, {"i", -2147483647 - 1}};
  for (const auto& c : cases) EXPECT_EQ(ini.Int("s", c.key, 5), c.expected) << c.key;
}

TEST(IniDocument, LongValuesAreReadWhole) {
  const std::string value(5000, 'v');
  EXPECT_EQ(IniDocument("[s]\nk=" + value + "\r\n").String("s", "k"), value);
}

TEST(IniDocument, AnyBytesAreAcceptedWithoutHarm) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>((i * 7919) & 0xFF));
  const IniDocument ini(junk + "\n[s]\nk=v");
  EXPECT_EQ(ini.String("s", "k"), "v");
}

TEST(InstallerConfig, AnEmptyScriptGivesEveryDefault) {
  const InstallerConfig c = Read("");
  EXPECT_EQ(c.installerSilent, 0);
  EXPECT_EQ(c.dateMonth, -1);
  EXPECT_EQ(c.dateYear, -1900);
  EXPECT_EQ(c.setupDesktopIconNum, 0);
  EXPECT_TRUE(c.setupDesktopIconLink.empty());
  EXPECT_EQ(c.launchParameters, std::nullopt);
  EXPECT_EQ(c.launchTarget, "");
}

TEST(InstallerConfig, ReadsKeysOfEverySection) {
  const InstallerConfig c = Read(
      "[Install]\nInstallerName=Quenlith Setup\n[Product]\nProductLocationNotice=Notice\n"
      "[Destination]\nDestinationAuto=1\nDestinationProgramData=1\nDestinationDirectoryTitle=Dir\n"
      "[Date]\nDateMonth=8\nDateDay=28\nDateYear=2026\n"
      "[Setup]\nSetupDesktopIcon=1\nSetupStartMenuDirectory=Menu\nSetupCheckVersionMax=6.6.0.18\n"
      "[Plugin]\nPluginAutoInstall=1\nPluginAutoInstallNum=1\nPluginAutoInstallLink0=p.dll\nPluginAutoInstallGuid0={G}\n"
      "[Launch]\nLaunchAuto=1\nLaunchTarget=Quenlith.exe\nLaunchParameters=/runnormal\n"
      "[Delete]\nDeleteFiles=1\nDeleteFilesNum=2\nDeleteFilenames0=plugins\\msn.dll\nDeleteFilenames1=old.txt\n");
  EXPECT_EQ(c.installerName, "Quenlith Setup");
  EXPECT_EQ(c.productLocationNotice, "Notice");
  EXPECT_EQ(c.destinationAuto, 1);
  EXPECT_EQ(c.destinationProgramData, 1);
  EXPECT_EQ(c.destinationDirectoryTitle, "Dir");
  EXPECT_EQ(c.dateMonth, 7);
  EXPECT_EQ(c.dateDay, 28);
  EXPECT_EQ(c.dateYear, 126);
  EXPECT_EQ(c.setupDesktopIcon, 1);
  EXPECT_EQ(c.setupStartMenuDirectory, "Menu");
  EXPECT_EQ(c.setupCheckVersionMax, "6.6.0.18");
  EXPECT_EQ(c.pluginAutoInstallLink, std::vector<std::string>{"p.dll"});
  EXPECT_EQ(c.pluginAutoInstallGuid, std::vector<std::string>{"{G}"});
  EXPECT_EQ(c.launchAuto, 1);
  EXPECT_EQ(c.launchTarget, "Quenlith.exe");
  EXPECT_EQ(c.launchParameters, "/runnormal");
  EXPECT_EQ(c.deleteFilenames, (std::vector<std::string>{"plugins\\msn.dll", "old.txt"}));
}

TEST(InstallerConfig, IndexedFamiliesHaveTheirCountsEntries) {
  const InstallerConfig c = Read(
      "[setup]\nsetupDesktopIconNum=2\nsetupDesktopIconLink0=Quenlith.exe\nsetupDesktopIconTitle0=Quenlith\n"
      "setupDesktopIconResource0=0\nsetupUninstallInformationNum=1\nsetupUninstallInformationEstimatedSize0=66775654\n"
      "setupStartMenuNum=-3\n");
  ASSERT_EQ(c.setupDesktopIconLink.size(), 2u);
  EXPECT_EQ(c.setupDesktopIconLink[0], "Quenlith.exe");
  EXPECT_EQ(c.setupDesktopIconTitle[0], "Quenlith");
  EXPECT_EQ(c.setupDesktopIconResource[0], 0);
  EXPECT_EQ(c.setupDesktopIconLink[1], "");
  EXPECT_EQ(c.setupDesktopIconDescription[1], "");
  EXPECT_EQ(c.setupDesktopIconArguments[1], "");
  EXPECT_EQ(c.setupDesktopIconResource[1], -1);
  EXPECT_EQ(c.setupUninstallInformationEstimatedSize, std::vector<std::int32_t>{66775654});
  EXPECT_TRUE(c.setupStartMenuLink.empty());
}

TEST(InstallerConfig, ACountTooLargeMeansNoEntries) {
  const InstallerConfig c = Read("[setup]\nsetupDesktopIconNum=2147483647\n[delete]\ndeleteFilesNum=900000\n");
  EXPECT_TRUE(c.setupDesktopIconLink.empty());
  EXPECT_TRUE(c.setupDesktopIconResource.empty());
  EXPECT_EQ(c.setupDesktopIconNum, 0);
  EXPECT_TRUE(c.deleteFilenames.empty());
  EXPECT_EQ(c.deleteFilesNum, 0);
}

TEST(InstallerConfig, WhatTheInstallerCannotUseIsReportedByKey) {
  const struct {
    const char* script;
    std::vector<std::string> problems;
  } cases[] = {
      {"[setup]\nsetupDesktopIconNum=70000\n",
       {"SetupDesktopIconNum = 70000 is more than 65536 entries; the family has none"}},
      {"[delete]\ndeleteFilesNum=900000\n[plugin]\npluginAutoInstallNum=65536\n",
       {"DeleteFilesNum = 900000 is more than 65536 entries; the family has none"}},
      {"[destination]\ndestinationDirectoryTitle=caf\xE9\n",
       {"the value of DestinationDirectoryTitle is not valid UTF-8"}},
      {"[setup]\nsetupStartMenuNum=1\nsetupStartMenuTitle0=\xC0\xAF\n",  // an overlong slash
       {"the value of SetupStartMenuTitle0 is not valid UTF-8"}},
      {"[setup]\nsetupStartMenuDirectory=\xED\xA0\x80\n",  // a surrogate
       {"the value of SetupStartMenuDirectory is not valid UTF-8"}},
      // Lead bytes F5 to FF begin no UTF-8 sequence, whatever follows them.
      {"[destination]\ndestinationDirectoryTitle=\xF8\x80\x80\n",
       {"the value of DestinationDirectoryTitle is not valid UTF-8"}},
      {"[launch]\nlaunchTarget=Quenlith\xF5\x80\x80\x80.exe\n", {"the value of LaunchTarget is not valid UTF-8"}},
      {"[setup]\nsetupStartMenuDirectory=\xFE\x80\x80\n",
       {"the value of SetupStartMenuDirectory is not valid UTF-8"}},
      {"[destination]\ndestinationDirectoryTitle=Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\n", {}},
      {"[setup]\nsetupDesktopIconNum=65536\n", {}},
  };
  for (const auto& c : cases) {
    InstallerConfig config;
    EXPECT_EQ(FillInstallerConfig(IniDocument(c.script), CommandLine(""), config), c.problems) << c.script;
  }
}

// The stored conventions subtract from the value read; the smallest value
// must wrap as 32-bit arithmetic does, not overflow.
TEST(InstallerConfig, ShiftedDatesWrapAtTheEdgesOfTheRange) {
  const struct {
    const char* script;
    std::int32_t month, year;
  } cases[] = {
      {"[date]\nDateMonth=-2147483648\nDateYear=-2147483648\n", 2147483647, 2147481748},
      {"[date]\nDateMonth=-99999999999\nDateYear=2147483647\n", 2147483647, 2147481747},
  };
  for (const auto& c : cases) {
    const InstallerConfig config = Read(c.script);
    EXPECT_EQ(config.dateMonth, c.month) << c.script;
    EXPECT_EQ(config.dateYear, c.year) << c.script;
  }
}

TEST(InstallerConfig, EmptyLaunchParametersAreNone) {
  EXPECT_EQ(Read("[launch]\nLaunchParameters=\n").launchParameters, std::nullopt);
  EXPECT_EQ(Read("[launch]\nLaunchParameters=/runnormal\n").launchParameters, "/runnormal");
}

TEST(InstallerConfig, SwitchesOverrideTheScript) {
  const std::string script =
      "[install]\nInstallerSilent=0\n[destination]\nDestinationAuto=1\n[setup]\nSetupCheckIfQuenlithLoaded=1\n"
      "SetupCheckIfQuenlithExiting=0\nSetupDesktopIcon=1\nSetupStartup=1\nSetupStartMenu=1\n";
  const struct {
    const char* commandLine;
    int InstallerConfig::*field;
    int expected;
  } cases[] = {
      {"/silent", &InstallerConfig::installerSilent, 1},
      {"/silentXYZ", &InstallerConfig::installerSilent, 1},
      {"/silent /nosilent", &InstallerConfig::installerSilent, 0},
      {"/nosilent /silent", &InstallerConfig::installerSilent, 0},
      {"/SILENT", &InstallerConfig::installerSilent, 0},
      {"/prompt", &InstallerConfig::destinationAuto, 0},
      {"/wait", &InstallerConfig::setupCheckIfQuenlithLoaded, 0},
      {"/wait", &InstallerConfig::setupCheckIfQuenlithExiting, 1},
      {"/nodesktop", &InstallerConfig::setupDesktopIcon, 0},
      {"/nostartup", &InstallerConfig::setupStartup, 0},
      {"/nostartmenu", &InstallerConfig::setupStartMenu, 0},
      {"", &InstallerConfig::setupStartMenu, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(script, c.commandLine).*c.field, c.expected) << c.commandLine;
  EXPECT_EQ(Read("[install]\nInstallerSilent=1\n", "/nosilent").installerSilent, 0);
  EXPECT_EQ(Read(script, std::string(260, ' ') + "/silent").installerSilent, 0) << "beyond 259 characters";
}

TEST(InstallerConfig, CheckVersionNeedsAVersionToCompareWith) {
  EXPECT_EQ(Read("[setup]\nSetupCheckVersion=0\nSetupCheckVersionMax=6.6.0.18\n", "/checkversion").setupCheckVersion, 1);
  EXPECT_EQ(Read("[setup]\nSetupCheckVersion=0\n", "/checkversion").setupCheckVersion, 0);
  EXPECT_EQ(Read("[setup]\nSetupCheckVersion=1\n", "/checkversion").setupCheckVersion, 1);
}

}  // namespace
