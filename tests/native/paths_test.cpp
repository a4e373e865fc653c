// Joining installer paths and the elevated user's key path.

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "user/user_key_path.h"

namespace {

TEST(JoinPath, AddsABackslashOnlyWhenMissing) {
  EXPECT_EQ(JoinPath("C:\\Temp\\", "quenlith_setup_text"), "C:\\Temp\\quenlith_setup_text");
  EXPECT_EQ(JoinPath("C:\\Temp", "x.dat"), "C:\\Temp\\x.dat");
  EXPECT_EQ(JoinFolder("C:\\ProgramData", "Quenlith"), "C:\\ProgramData\\Quenlith\\");
}

TEST(JoinPath, RefusesWhatWouldNotFitInsteadOfCuttingIt) {
  const std::string folder = "C:\\" + std::string(250, 'f');  // 253 characters
  EXPECT_EQ(JoinPath(folder, "12345")->size(), 259u);
  EXPECT_EQ(JoinPath(folder, "123456"), std::nullopt);
  EXPECT_EQ(JoinFolder(folder, "12345"), std::nullopt);
  EXPECT_EQ(JoinFolder(folder, "1234")->size(), 259u);
}

TEST(UserKeyPath, PrefixesTheShellUsersIdentifierOnlyWhenKnown) {
  EXPECT_EQ(UserKeyPathFor("", "Software\\Quenlith\\"), "Software\\Quenlith\\");
  EXPECT_EQ(UserKeyPathFor("S-1-5-21-1004336348-1177238915-682003330-512", "Software\\Quenlith\\"),
            "S-1-5-21-1004336348-1177238915-682003330-512\\Software\\Quenlith\\");
}

}  // namespace

namespace {

TEST(DestinationPaths, FreeSpaceIsMeasuredAtTheRoot) {
  EXPECT_EQ(DiskRootOf("D:\\Apps\\Quenlith\\"), "D:\\");
  EXPECT_EQ(DiskRootOf("\\\\server\\share\\Quenlith"), "\\\\server\\");
  EXPECT_EQ(DiskRootOf("\\\\server"), "\\\\server");
  EXPECT_EQ(DiskRootOf("relative"), "relative");
  EXPECT_EQ(DiskRootOf("C:"), "C:");
}

TEST(DestinationPaths, ParentFolderIgnoresOneTrailingBackslash) {
  EXPECT_EQ(ParentFolderOf("D:\\a\\b\\c"), "D:\\a\\b");
  EXPECT_EQ(ParentFolderOf("D:\\a\\b\\c\\"), "D:\\a\\b");
  EXPECT_EQ(ParentFolderOf("D:\\a"), "D:");
  EXPECT_EQ(ParentFolderOf("\\top"), "");
  EXPECT_EQ(ParentFolderOf("nofolder"), "");
  EXPECT_EQ(ParentFolderOf(""), "");
}

TEST(DestinationPaths, TrailingBlanksAreTrimmed) {
  EXPECT_EQ(TrimTrailingBlanks("C:\\Quenlith   "), "C:\\Quenlith");
  EXPECT_EQ(TrimTrailingBlanks("C:\\Que nlith\t "), "C:\\Que nlith\t");
  EXPECT_EQ(TrimTrailingBlanks("   "), "");
}

TEST(DestinationPaths, RequiredSpaceIsTwiceTheInstalledSize) {
  EXPECT_EQ(RequiredBytes(0), 60000000u);
  EXPECT_EQ(RequiredBytes(66775654), 133551308u);
  EXPECT_EQ(RequiredBytes(-1), 2u * 0xFFFFFFFFull);  // the size is taken as unsigned
}

}  // namespace

namespace {

TEST(DestinationPaths, OnlyADriveRootOrAShareMakesAPathFull) {
  const struct {
    const char* path;
    bool full;
  } cases[] = {
      {"D:\\Apps\\Quenlith", true},
      {"d:\\", true},
      {"\\\\server\\share\\Quenlith", true},
      {"Apps\\Quenlith", false},       // below the working directory
      {"Quenlith", false},
      {"\\Apps\\Quenlith", false},     // from the working drive's root
      {"D:Apps", false},               // from the drive's own working directory
      {"D:", false},
      {"1:\\Apps", false},
      {"\\\\\\server", false},
      {"\\\\", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsFullyQualified(c.path), c.full) << c.path;
}

}  // namespace
