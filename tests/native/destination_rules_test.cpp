// The destination choice's rules: folder prompt, browsed path, the default
// location test, the uninstall key and folder of an earlier installation,
// where that installation lies.

#include <gtest/gtest.h>

#include "destination/destination_rules.h"

namespace {

InstallerConfig With(int InstallerConfig::*flag) {
  InstallerConfig config;
  if (flag != nullptr) config.*flag = 1;
  return config;
}

TEST(DestinationRules, FolderPromptFollowsTheFirstMatchingFlag) {
  EXPECT_EQ(FolderPromptFor(With(&InstallerConfig::destinationProgramFiles)), "Please pick the Program Files directory.");
  EXPECT_EQ(FolderPromptFor(With(&InstallerConfig::destinationQuenlith)), "Please pick the Quenlith directory.");
  EXPECT_EQ(FolderPromptFor(With(&InstallerConfig::destinationProgramData)), "Please pick the Quenlith directory.");
  EXPECT_EQ(FolderPromptFor(With(&InstallerConfig::destinationQuenlithPlugins)),
            "Please pick the Quenlith plugin directory.");
  EXPECT_EQ(FolderPromptFor(With(&InstallerConfig::destinationQuenlithSkins)),
            "Please pick the Quenlith skins directory.");
  EXPECT_EQ(FolderPromptFor(With(nullptr)), "Please pick the Quenlith plugin directory.");
  InstallerConfig both = With(&InstallerConfig::destinationProgramFiles);
  both.destinationQuenlith = 1;
  EXPECT_EQ(FolderPromptFor(both), "Please pick the Program Files directory.");
}

TEST(DestinationRules, BrowsedFolderGetsTheProductOrTitleFolder) {
  InstallerConfig titled = With(&InstallerConfig::destinationDirectoryCreate);
  titled.destinationDirectoryTitle = "Skins";
  const struct {
    const char* what;
    InstallerConfig config;
    const char* current;
    std::optional<std::string> picked;
    const char* expected;
  } cases[] = {
      {"product folder", With(&InstallerConfig::destinationQuenlith), "C:\\old", "D:\\Apps", "D:\\Apps\\Quenlith\\"},
      {"title folder", titled, "C:\\old", "D:\\Apps\\", "D:\\Apps\\Skins\\"},
      {"as picked", With(nullptr), "C:\\old", "D:\\Apps", "D:\\Apps"},
      {"same folder, other case", With(&InstallerConfig::destinationQuenlith), "D:\\APPS", "d:\\apps", "D:\\APPS"},
      {"dialog cancelled", With(&InstallerConfig::destinationQuenlith), "C:\\old", std::nullopt, "C:\\old"},
      {"too long", With(&InstallerConfig::destinationQuenlith), "C:\\old", "D:\\" + std::string(252, 'p'), "C:\\old"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ComposeBrowsedDestinationFor(c.config, c.current, c.picked), c.expected) << c.what;
}

TEST(DestinationRules, DefaultLocationIsComparedWithoutRegardToCase) {
  const std::optional<std::string> programData = "C:\\ProgramData\\Quenlith\\bin\\";
  EXPECT_FALSE(IsOutsideLocation("C:\\ProgramData\\Quenlith\\bin\\", programData));
  EXPECT_FALSE(IsOutsideLocation("c:\\programdata\\quenlith\\BIN", programData));
  EXPECT_TRUE(IsOutsideLocation("C:\\ProgramData\\Quenlith", programData));
  EXPECT_TRUE(IsOutsideLocation("D:\\Quenlith\\bin\\", programData));
  EXPECT_TRUE(IsOutsideLocation("C:\\ProgramData\\Quenlith\\bin\\", std::nullopt));
}

TEST(DestinationRules, EarlierInstallationIsClassifiedByItsFolder) {
  const char* files = "C:\\Program Files\\Quenlith\\";
  const char* data = "C:\\ProgramData\\Quenlith\\bin\\";
  EXPECT_EQ(ClassifyPreviousInstallation("", files, data), PreviousInstallation::kNone);
  EXPECT_EQ(ClassifyPreviousInstallation("c:\\program files\\quenlith\\", files, data),
            PreviousInstallation::kProgramFiles);
  EXPECT_EQ(ClassifyPreviousInstallation("C:\\PROGRAMDATA\\Quenlith\\bin\\", files, data),
            PreviousInstallation::kProgramData);
  EXPECT_EQ(ClassifyPreviousInstallation("D:\\Tools\\Quenlith\\", files, data), PreviousInstallation::kElsewhere);
  EXPECT_EQ(ClassifyPreviousInstallation("D:\\Tools\\Quenlith\\", files, ""), PreviousInstallation::kElsewhere);
}

TEST(DestinationRules, AnUninstallKeyNeedsATitle) {
  EXPECT_EQ(UninstallKeyPath("Quenlith"), "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith");
  EXPECT_EQ(UninstallKeyPath("Quenlith Skins"),
            "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith Skins");
  EXPECT_EQ(UninstallKeyPath(""), "") << "the list of every program is no entry";
}

// The common commands are tried through the registry under Wine
// (tests/windows/destination_test.cpp); these are the rarer forms.
TEST(DestinationRules, EarlierFolderComesFromTheUninstallCommandsProgram) {
  const struct {
    const char* command;
    const char* folder;
  } cases[] = {
      {"  C:\\Apps\\Quenlith.exe /uninstall", "C:\\Apps\\"},
      {"c:\\apps\\quenlith.exe", "c:\\apps\\"},
      {"\"C:\\Apps\\Quenlith.exe /uninstall", "C:\\Apps\\"},  // no closing quote: the rest is the program
      {"\"\" C:\\Apps\\Quenlith.exe", ""},                      // an empty program
      {"C:\\\\Quenlith.exe", "C:\\"},
      {"\\\\?\\C:\\Apps\\Quenlith.exe", "\\\\?\\C:\\Apps\\"},
      {"\\\\Quenlith.exe", ""},
      {"\\\\\\Apps\\Quenlith.exe", ""},
      {"1:\\Apps\\Quenlith.exe", ""},
      {"   ", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PreviousInstallationFolder(c.command), c.folder) << c.command;
}

}  // namespace
