// The resource reader: version resources written here block by block, in
// PE files crafted around them, every cut of them (answered whole or not at
// all, never read past), and the product double as the Windows toolchain
// built it.

#include "formats/pe_resources.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formats/pe_image.h"
#include "run/version.h"
#include "script/ini.h"
#include "test_support.h"

namespace {

using testing_support::Bytes;
using testing_support::PutLe16;
using testing_support::PutLe32;
void Append16(std::string& bytes, std::uint16_t value) {
  bytes += static_cast<char>(value & 0xFF);
  bytes += static_cast<char>(value >> 8);
}
void Align(std::string& bytes) {
  while (bytes.size() % 4) bytes += '\0';
}

// A version-resource block as resource compilers write it: length, value
// length, type, key, value and children, each aligned to 4 bytes from the
// resource's start.
struct VersionBlock {
  std::u16string key;
  std::uint16_t type = 1;  // 1 text, 0 binary
  std::u16string text;     // a text value, written with its terminator
  std::string binary;      // a binary value
  std::vector<VersionBlock> children;

  // Appends the block to `out`; `starts`, when given, receives where each block begins.
  void WriteTo(std::string& out, std::vector<std::size_t>* starts = nullptr) const {
    Align(out);
    const std::size_t start = out.size();
    if (starts) starts->push_back(start);
    out.append(6, '\0');
    for (const char16_t unit : key) Append16(out, unit);
    Append16(out, 0);
    Align(out);
    std::uint16_t valueLength = 0;
    if (type == 1 && !text.empty()) {
      for (const char16_t unit : text) Append16(out, unit);
      Append16(out, 0);
      valueLength = static_cast<std::uint16_t>(text.size() + 1);
    } else if (type == 0) {
      out += binary;
      valueLength = static_cast<std::uint16_t>(binary.size());
    }
    for (const VersionBlock& child : children) child.WriteTo(out, starts);
    PutLe16(out, start, static_cast<std::uint16_t>(out.size() - start));
    PutLe16(out, start + 2, valueLength);
    PutLe16(out, start + 4, type);
  }
};

std::string Translation(std::uint16_t language, std::uint16_t codePage) {
  std::string value;
  Append16(value, language);
  Append16(value, codePage);
  return value;
}

VersionBlock StringTable(std::u16string key, std::vector<std::pair<std::u16string, std::u16string>> strings) {
  VersionBlock table{.key = std::move(key)};
  for (auto& [name, text] : strings) table.children.push_back({.key = name, .text = text});
  return table;
}

// VS_VERSIONINFO with a fixed-info value, the string tables and the
// translations listed (none: no VarFileInfo at all).
std::string VersionResource(std::vector<VersionBlock> tables, const std::vector<std::string>& translations,
                            std::vector<std::size_t>* starts = nullptr) {
  VersionBlock root{.key = u"VS_VERSION_INFO", .type = 0, .binary = std::string(52, '\x01')};
  root.children.push_back({.key = u"StringFileInfo", .children = std::move(tables)});
  if (!translations.empty()) {
    std::string value;
    for (const std::string& translation : translations) value += translation;
    root.children.push_back({.key = u"VarFileInfo", .children = {{.key = u"Translation", .type = 0, .binary = value}}});
  }
  std::string out;
  root.WriteTo(out, starts);
  return out;
}

VersionBlock EnglishTable(std::u16string fileVersion) {
  return StringTable(u"040904B0", {{u"CompanyName", u"Quenlith"}, {u"FileVersion", std::move(fileVersion)}});
}

// A PE32 file with one section, ".rsrc", at RVA 0x1000 and file offset
// 0x200, holding a resource directory of type 16 with the entries given
// (named entries come first, as the format orders them), each with one
// language whose data is `resource`.
struct CraftedResources {
  std::vector<std::uint16_t> versionIds = {1};
  std::vector<std::uint16_t> languages = {0x409};
  bool namedTypeFirst = false;  // a type named by a string before the numbered ones
  std::string resource;
};

std::string CraftPe(const CraftedResources& c) {
  constexpr std::uint32_t kSignatureAt = 0x80, kSectionRva = 0x1000, kSectionOffset = 0x200;
  std::string directory;
  // The tree, written top down; offsets are from its start.
  auto header = [&](std::uint16_t named, std::uint16_t numbered) {
    const std::size_t at = directory.size();
    directory.append(16, '\0');
    PutLe16(directory, at + 12, named);
    PutLe16(directory, at + 14, numbered);
  };
  header(c.namedTypeFirst ? 1 : 0, 1);
  const std::size_t typeEntries = directory.size();
  directory.append((c.namedTypeFirst ? 2 : 1) * 8, '\0');
  const std::size_t idDirectory = directory.size();
  header(0, static_cast<std::uint16_t>(c.versionIds.size()));
  const std::size_t idEntries = directory.size();
  directory.append(c.versionIds.size() * 8, '\0');
  std::size_t typeEntry = typeEntries;
  if (c.namedTypeFirst) {
    PutLe32(directory, typeEntry, 0x80000000u | 0x7F0);  // a name string elsewhere: never followed
    PutLe32(directory, typeEntry + 4, 0x80000000u | static_cast<std::uint32_t>(idDirectory));
    typeEntry += 8;
  }
  PutLe32(directory, typeEntry, pe::kVersionResourceType);
  PutLe32(directory, typeEntry + 4, 0x80000000u | static_cast<std::uint32_t>(idDirectory));
  std::vector<std::size_t> dataEntryFields;
  for (std::size_t i = 0; i < c.versionIds.size(); ++i) {
    const std::size_t languageDirectory = directory.size();
    PutLe32(directory, idEntries + i * 8, c.versionIds[i]);
    PutLe32(directory, idEntries + i * 8 + 4, 0x80000000u | static_cast<std::uint32_t>(languageDirectory));
    header(0, static_cast<std::uint16_t>(c.languages.size()));
    const std::size_t languageEntries = directory.size();
    directory.append(c.languages.size() * 8, '\0');
    for (std::size_t l = 0; l < c.languages.size(); ++l) {
      PutLe32(directory, languageEntries + l * 8, c.languages[l]);
      dataEntryFields.push_back(languageEntries + l * 8 + 4);
    }
  }
  const std::size_t dataEntry = directory.size();
  directory.append(16, '\0');
  for (const std::size_t field : dataEntryFields) PutLe32(directory, field, static_cast<std::uint32_t>(dataEntry));
  Align(directory);
  PutLe32(directory, dataEntry, kSectionRva + static_cast<std::uint32_t>(directory.size()));
  PutLe32(directory, dataEntry + 4, static_cast<std::uint32_t>(c.resource.size()));
  const std::string section = directory + c.resource;

  std::string file(kSectionOffset, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  PutLe32(file, 0x3C, kSignatureAt);
  file.replace(kSignatureAt, 4, std::string("PE\0\0", 4));
  const std::size_t fileHeader = kSignatureAt + 4, optional = fileHeader + 20;
  PutLe16(file, fileHeader, pe::kMachineI386);
  PutLe16(file, fileHeader + 2, 1);
  PutLe16(file, fileHeader + 16, 96 + 16 * 8);
  PutLe16(file, optional, 0x10B);
  PutLe32(file, optional + 92, 16);
  PutLe32(file, optional + 96 + pe::kResourceDirectory * 8, kSectionRva);
  PutLe32(file, optional + 96 + pe::kResourceDirectory * 8 + 4, static_cast<std::uint32_t>(section.size()));
  const std::size_t sectionHeader = optional + 96 + 16 * 8;
  file.replace(sectionHeader, 5, ".rsrc");
  PutLe32(file, sectionHeader + 8, static_cast<std::uint32_t>(section.size()));
  PutLe32(file, sectionHeader + 12, kSectionRva);
  PutLe32(file, sectionHeader + 16, static_cast<std::uint32_t>(section.size()));
  PutLe32(file, sectionHeader + 20, kSectionOffset);
  return file + section;
}

std::optional<std::string> FileVersion(const std::string& file) {
  return pe::FileVersionText(Bytes(file), file.size());
}

TEST(PeResources, FileVersionOfTheFirstTranslationListed) {
  const std::string english = Translation(0x409, 0x4B0), german = Translation(0x407, 0x4B0);
  const VersionBlock germanTable = StringTable(u"040704b0", {{u"FileVersion", u"7, 0"}});
  const struct {
    const char* what;
    CraftedResources pe;
    std::optional<std::string> expected;
  } cases[] = {
      {"one table", {.resource = VersionResource({EnglishTable(u"6, 6, 0, 18")}, {english})}, "6, 6, 0, 18"},
      {"the first translation's table, wherever it stands",
       {.resource = VersionResource({EnglishTable(u"6.6"), germanTable}, {german, english})},
       "7, 0"},
      {"a table key written in capitals, a string name in small letters",
       {.resource = VersionResource({StringTable(u"040904B0", {{u"fileversion", u"1.2"}})}, {english})},
       "1.2"},
      {"text beyond ASCII, a character outside the BMP",
       {.resource = VersionResource({EnglishTable(u"6.6 \u03b2 \U0001F600")}, {english})},
       "6.6 \xce\xb2 \xf0\x9f\x98\x80"},
      {"a lone surrogate", {.resource = VersionResource({EnglishTable(u"6.6\xD800")}, {english})}, "6.6\xef\xbf\xbd"},
      {"a type named by a string before the numbered ones",
       {.namedTypeFirst = true, .resource = VersionResource({EnglishTable(u"6.6")}, {english})},
       "6.6"},
      {"two languages: the first listed",
       {.languages = {0x407, 0x409}, .resource = VersionResource({EnglishTable(u"6.6")}, {english})},
       "6.6"},
      {"version id 1 after another id",
       {.versionIds = {2, 1}, .resource = VersionResource({EnglishTable(u"6.6")}, {english})},
       "6.6"},
      {"no translation listed", {.resource = VersionResource({EnglishTable(u"6.6")}, {})}, std::nullopt},
      {"no table for the translation", {.resource = VersionResource({EnglishTable(u"6.6")}, {german})}, std::nullopt},
      {"no FileVersion string",
       {.resource = VersionResource({StringTable(u"040904b0", {{u"ProductVersion", u"6.6"}})}, {english})},
       std::nullopt},
      {"a version resource under another id only",
       {.versionIds = {2}, .resource = VersionResource({EnglishTable(u"6.6")}, {english})},
       std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FileVersion(CraftPe(c.pe)), c.expected) << c.what;
}

TEST(PeResources, EveryCutAnswersWholeOrNotAtAll) {
  const std::string file =
      CraftPe({.resource = VersionResource({EnglishTable(u"6, 6, 0, 18")}, {Translation(0x409, 0x4B0)})});
  for (std::size_t size = 0; size < file.size(); ++size) {
    // A buffer of exactly the cut's size, so that a read past it is caught.
    const std::vector<unsigned char> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(pe::FileVersionText(cut.data(), cut.size()), std::nullopt) << size;
  }
  EXPECT_EQ(FileVersion(file), "6, 6, 0, 18");
}

TEST(PeResources, BlockLengthsThatLeaveTheirParentAreRefused) {
  std::vector<std::size_t> starts;
  const std::string resource = VersionResource({EnglishTable(u"6.6")}, {Translation(0x409, 0x4B0)}, &starts);
  const std::string file = CraftPe({.resource = resource});
  const std::size_t start = file.size() - resource.size();
  ASSERT_EQ(starts.size(), 7u);  // the root, StringFileInfo, its table and two strings, VarFileInfo, Translation
  // Each block's length made larger than what is left, or smaller than its
  // own header: no answer, or the same one, and no read past the end.
  for (const std::size_t at : starts) {
    for (const std::uint16_t length : {std::uint16_t{0xFFF0}, std::uint16_t{4}, std::uint16_t{0}}) {
      std::string damaged = file;
      PutLe16(damaged, start + at, length);
      const std::optional<std::string> version = FileVersion(damaged);
      if (version) EXPECT_EQ(*version, "6.6") << "a length of " << length << " at " << at << " changed the answer";
    }
  }
  // The root's length running past the resource: nothing is read.
  std::string rootTooLong = file;
  PutLe16(rootTooLong, start, static_cast<std::uint16_t>(resource.size() + 2));
  EXPECT_EQ(FileVersion(rootTooLong), std::nullopt);
}

TEST(PeResources, FileOffsetThroughTheSectionThatHoldsTheAddress) {
  const std::vector<pe::Section> sections = {
      {.virtualSize = 0x300, .virtualAddress = 0x1000, .rawSize = 0x200, .rawOffset = 0x400},
      {.virtualSize = 0x100, .virtualAddress = 0x2000, .rawSize = 0x200, .rawOffset = 0x600}};
  EXPECT_EQ(pe::FileOffsetOf(sections, 0x1000), 0x400u);
  EXPECT_EQ(pe::FileOffsetOf(sections, 0x11FF), 0x5FFu);
  EXPECT_EQ(pe::FileOffsetOf(sections, 0x1200), std::nullopt) << "the zero fill has no bytes in the file";
  EXPECT_EQ(pe::FileOffsetOf(sections, 0x21FF), 0x7FFu) << "raw data larger than the virtual size";
  EXPECT_EQ(pe::FileOffsetOf(sections, 0x0FFF), std::nullopt);
  EXPECT_EQ(pe::FileOffsetOf(sections, 0x2200), std::nullopt);
}

// The product double's resource, compiled by the Windows toolchain, read as
// the system's version functions read it: the version the sample package's
// script names for it.
TEST(PeResources, ReadsTheProductDoubleAsBuilt) {
  const std::string program =
      testing_support::ReadFile(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe");
  const std::optional<std::string> version = FileVersion(program);
  ASSERT_TRUE(version.has_value());
  const IniDocument script(
      testing_support::ReadFile(std::filesystem::path(test_paths::kSourceDir) / "sample/script.ini"));
  const std::string named = script.String("Setup", "SetupCheckVersionMax");
  ASSERT_FALSE(named.empty());
  const std::string read = NormaliseVersionText(*version);
  EXPECT_FALSE(CompareVersions(read, named) || CompareVersions(named, read)) << *version << " against " << named;
}

}  // namespace
