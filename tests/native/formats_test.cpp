// The package and archive formats: end-marker search, signature size, entry
// names, the entry table, and the installer's image-size record.

#include <gtest/gtest.h>

#include <string>

#include "formats/archive.h"
#include "formats/image_size.h"
#include "formats/layout.h"

namespace {

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

const std::string kMarkerLine = std::string(layout::kEndMarker) + "\r\n";

TEST(EndMarkerSearch, FindsTheFirstCompleteMarkerLineIgnoringCase) {
  std::string lower(layout::kEndMarker);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const struct {
    const char* what;
    std::string window;
    std::optional<std::size_t> expected;
  } cases[] = {
      {"at the start", kMarkerLine + "abcd", 0},
      {"after text", "x=1\r\n" + kMarkerLine + "abcd", 5},
      {"lower case", "ab" + lower + "\r\n", 2},
      {"LF alone", "ab" + std::string(layout::kEndMarker) + "\nabcd", std::nullopt},
      {"cut off before its LF", "ab" + std::string(layout::kEndMarker) + "\r", std::nullopt},
      {"twice: the first wins", "a" + kMarkerLine + kMarkerLine, 1},
      {"absent", std::string(200, 'x'), std::nullopt},
      {"empty window", "", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(layout::FindEndMarkerLine(Bytes(c.window), c.window.size()), c.expected) << c.what;
}

TEST(EndMarkerSearch, SignatureSizeIsWhatFollowsTheScriptTrailer) {
  // Marker at the end of the window but for the trailer: unsigned.
  EXPECT_EQ(layout::SignatureSizeAt(12288, 12288 - 44), 0u);
  // Marker at the very start of the window: the largest signature that fits.
  EXPECT_EQ(layout::SignatureSizeAt(12288, 0), layout::kMaxSignatureSize);
  EXPECT_EQ(layout::kMaxSignatureSize, 12244u);
}

TEST(EntryNames, PlainRelativeNamesAreAccepted) {
  for (const char* name : {"quenlith.exe", "skins\\windows6\\xml\\controls\\messageboxcontrols.xml",
                           "languages\\en\\buddy.xml", "a b\\c.d.e", ".hidden", "console\\x", "COM0", "x\\LPT"})
    EXPECT_EQ(archive::EntryNameProblem(name), nullptr) << name;
}

TEST(EntryNames, NamesThatWouldEscapeOrBreakTheDestinationAreRefused) {
  for (const char* name : {"", "C:\\Windows\\x.dll", "c:x", "\\root.txt", "a\\..\\..\\x", "..", ".\\x", "a\\\\b",
                           "dir\\", "file.txt:stream", "a/b", "x<y", "what?", "a*", "pipe|", "quote\"",
                           "tab\there", "ends.", "ends \\x", "CON", "nul.txt", "dir\\Com1.log", "LPT9"})
    EXPECT_NE(archive::EntryNameProblem(name), nullptr) << name;
  EXPECT_EQ(archive::EntryNameProblem(std::string(259, 'a')), nullptr);
  EXPECT_NE(archive::EntryNameProblem(std::string(260, 'a')), nullptr);
}

TEST(EntryTable, EncodesCountEntriesAndZeroFilledNames) {
  const std::string table = archive::EncodeTable({{"a.txt", 5}, {"dir\\b.bin", 0x01020304}});
  ASSERT_EQ(table.size(), 4u + 2 * 264);
  EXPECT_EQ(table.substr(0, 4), std::string("\x02\0\0\0", 4));
  EXPECT_EQ(table.substr(4, 6), std::string("a.txt\0", 6));
  EXPECT_EQ(table.substr(4 + 6, 254), std::string(254, '\0'));
  EXPECT_EQ(table.substr(4 + 260, 4), std::string("\x05\0\0\0", 4));
  EXPECT_EQ(table.substr(4 + 264 + 260, 4), "\x04\x03\x02\x01");

  archive::Entry entry;
  ASSERT_TRUE(archive::DecodeEntry(Bytes(table) + 4 + 264, entry));
  EXPECT_EQ(entry.name, "dir\\b.bin");
  EXPECT_EQ(entry.size, 0x01020304u);
}

TEST(EntryTable, AnEntryWithoutTerminatorIsNotDecoded) {
  const std::string field(264, 'x');
  archive::Entry entry{"unchanged", 7};
  EXPECT_FALSE(archive::DecodeEntry(Bytes(field), entry));
  EXPECT_EQ(entry.name, "unchanged");
}

TEST(EntryTable, TableSizeTreatsCountsBelowOneAsEmpty) {
  EXPECT_EQ(archive::TableSize(-5), 4u);
  EXPECT_EQ(archive::TableSize(0), 4u);
  EXPECT_EQ(archive::TableSize(777), 4u + 777u * 264u);
  EXPECT_EQ(archive::TableSize(0x7FFFFFFF), 4u + 0x7FFFFFFFull * 264u);
}

TEST(ImageSizeMark, IsFoundReadAndStamped) {
  std::string file = std::string(100, 'x') + QUENLITH_IMAGE_SIZE_TAG + std::string(1, '\0') + std::string("\x07\0\0\0", 4) + "tail";
  auto lookup = image_size::FindMark(Bytes(file), file.size());
  ASSERT_EQ(lookup.offset, 100u);
  EXPECT_EQ(image_size::MarkValue(Bytes(file), 100), 7u);
  image_size::StampMark(reinterpret_cast<unsigned char*>(file.data()), 100, 2156032);
  EXPECT_EQ(image_size::MarkValue(Bytes(file), 100), 2156032u);
  EXPECT_EQ(file.substr(file.size() - 4), "tail");
}

TEST(ImageSizeMark, MissingOrRepeatedRecordsAreRefused) {
  const std::string record = std::string(QUENLITH_IMAGE_SIZE_TAG) + std::string(1, '\0') + std::string(4, '\0');
  const std::string none(64, 'x');
  const std::string twice = record + "gap" + record;
  const std::string cut = std::string(8, 'x') + record.substr(0, 18);
  for (const std::string* file : {&none, &twice, &cut}) {
    const auto lookup = image_size::FindMark(Bytes(*file), file->size());
    EXPECT_FALSE(lookup.offset.has_value());
    EXPECT_FALSE(lookup.error.empty());
  }
}

}  // namespace
