// Reading a Wine prefix's files for `quenlith-pack try`: tree differences,
// Wine's registry files, shell links.

#include <gtest/gtest.h>

#include <filesystem>

#include "try/shell_link.h"
#include "try/tree_snapshot.h"
#include "try/wine_registry.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using quenlith_try::ParseRegistryText;
using quenlith_try::ParseShellLink;
using quenlith_try::RegistryValue;
using testing_support::ScratchDir;
using testing_support::WriteFile;

TEST(PrefixRegistryFile, ReadsKeysAndValuesAsWineWritesThem) {
  const std::string text =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
      "\n"
      "#arch=win64\n"
      "\n"
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Quenlith] 1733900000\n"
      "#time=1db4b2f3c8a9e12\n"
      "@=\"default\"\n"
      "\"DisplayName\"=\"Qu\\\"en\\\\lith\"\n"
      "\"Caf\\x00e9\"=\"\\x00e9t\\x00e9\"\n"
      "\"Smile\"=\"\\xd83d\\xde00\"\n"
      "\"EstimatedSize\"=dword:0000fec2\n"
      "\"Path\"=str(2):\"%SystemRoot%\\\\x\"\n"
      "\"Bin\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
      "\n"
      "[Software\\\\Quenlith] 1733900001\n"
      "\"InstallationLogging\"=dword:00000001\n";
  const quenlith_try::RegistryFile file = ParseRegistryText(text);
  ASSERT_EQ(file.size(), 2u);
  const auto& entry = file.at("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith");
  const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
      {"", "REG_SZ", "default"},
      {"DisplayName", "REG_SZ", "Qu\"en\\lith"},
      {"Caf\xC3\xA9", "REG_SZ", "\xC3\xA9t\xC3\xA9"},
      {"Smile", "REG_SZ", "\xF0\x9F\x98\x80"},
      {"EstimatedSize", "REG_DWORD", "65218"},
      {"Path", "REG_EXPAND_SZ", "%SystemRoot%\\x"},
      {"Bin", "REG_BINARY", "01,02,03,04"},
      {"Big", "REG_QWORD", "01,00,00,00,00,00,00,00"},
  };
  ASSERT_EQ(entry.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(entry[i].name, std::get<0>(expected[i]));
    EXPECT_EQ(entry[i].type, std::get<1>(expected[i])) << entry[i].name;
    EXPECT_EQ(entry[i].data, std::get<2>(expected[i])) << entry[i].name;
  }
  ASSERT_EQ(file.at("Software\\Quenlith").size(), 1u);
  EXPECT_EQ(file.at("Software\\Quenlith")[0].data, "1");
}

// The Shell Link format's pieces, little-endian.
void Put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, unsigned value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
std::string Header(unsigned flags) {
  std::string out;
  Put32(out, 76);
  out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
  Put32(out, flags);
  return out + std::string(76 - 24, '\0');
}
// LinkInfo with a local base path and an empty suffix.
std::string LinkInfo(const std::string& localPath) {
  const unsigned header = 28, suffixAt = header + static_cast<unsigned>(localPath.size()) + 1;
  std::string out;
  Put32(out, suffixAt + 1);
  Put32(out, header);
  Put32(out, 1);  // volume id and local base path
  Put32(out, 0);
  Put32(out, header);
  Put32(out, 0);
  Put32(out, suffixAt);
  return out + localPath + '\0' + '\0';
}
std::string Counted(const std::string& ascii, bool withTerminator) {
  std::string out;
  const std::string text = withTerminator ? ascii + '\0' : ascii;
  Put16(out, static_cast<unsigned>(text.size()));
  for (char c : text) Put16(out, static_cast<unsigned char>(c));
  return out;
}

TEST(PrefixShellLink, ReadsTargetAndStrings) {
  constexpr unsigned kIdList = 0x1, kLinkInfo = 0x2, kName = 0x4, kWorkingDir = 0x10, kArguments = 0x20,
                     kUnicode = 0x80;
  std::string idList;
  Put16(idList, 4);
  idList += std::string("\x02\x00\x00\x00", 4);  // skipped whole
  const std::string link = Header(kIdList | kLinkInfo | kName | kWorkingDir | kArguments | kUnicode) + idList +
                           LinkInfo("C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe") + Counted("Chat.", true) +
                           Counted("C:\\ProgramData\\Quenlith\\bin\\", false) + Counted("/runnormal", true);
  const auto parsed = ParseShellLink(link);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->target, "C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe");
  EXPECT_EQ(parsed->description, "Chat.") << "a counted terminator is dropped";
  EXPECT_EQ(parsed->workingDirectory, "C:\\ProgramData\\Quenlith\\bin\\");
  EXPECT_EQ(parsed->arguments, "/runnormal");
  EXPECT_EQ(parsed->iconLocation, "");

  // Damaged or foreign bytes are no link, never a read past the end.
  EXPECT_FALSE(ParseShellLink("").has_value());
  EXPECT_FALSE(ParseShellLink(std::string(76, '\0')).has_value());
  for (std::size_t cut : {10u, 80u, 100u, 150u}) EXPECT_FALSE(ParseShellLink(link.substr(0, cut)).has_value()) << cut;
}

TEST(PrefixTree, GroupsWrittenFilesByWhereTheyAppeared) {
  ScratchDir dir;
  const fs::path root = dir / "drive_c";
  WriteFile(root / "a/existing.txt", "old");
  WriteFile(root / "a/unchanged.txt", "same");
  fs::create_directories(root / "d");           // empty before the run
  fs::create_directories(root / "windows");     // left out
  fs::create_directory_symlink(root / "d", root / "z_link");  // a second name of d, as Wine links the desktop
  const auto before = quenlith_try::SnapshotTree(root, {"windows"}, dir.path());

  WriteFile(root / "a/existing.txt", "changed");
  WriteFile(root / "a/new.txt", "12345");
  WriteFile(root / "d/f.txt", "1");
  WriteFile(root / "n/x/y.txt", "22");
  WriteFile(root / "n/z.txt", "333");
  WriteFile(root / "windows/churn.txt", "x");
  const auto after = quenlith_try::SnapshotTree(root, {"windows"}, dir.path());

  const auto written = quenlith_try::WrittenFiles(before, after);
  EXPECT_EQ(written, (std::vector<std::string>{"a/existing.txt", "a/new.txt", "d/f.txt", "n/x/y.txt", "n/z.txt"}));
  const auto groups = quenlith_try::GroupWrittenFiles(before, after, written);
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].folder, "a");
  EXPECT_FALSE(groups[0].newFolder);
  EXPECT_EQ(groups[0].files, 2u);
  EXPECT_EQ(groups[0].bytes, 12u);
  EXPECT_EQ(groups[1].folder, "d");
  EXPECT_FALSE(groups[1].newFolder) << "an empty folder existed too";
  EXPECT_EQ(groups[1].files, 1u);
  EXPECT_EQ(groups[2].folder, "n");
  EXPECT_TRUE(groups[2].newFolder);
  EXPECT_EQ(groups[2].files, 2u);
  EXPECT_EQ(groups[2].bytes, 5u);
}

}  // namespace
