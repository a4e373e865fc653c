// The PE reader: headers of PE32 and PE32+ files crafted here, every cut of
// them (answered or refused, never read past), and where an image ends.

#include "formats/pe_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testing_support::Bytes;
using testing_support::PutLe16;
using testing_support::PutLe32;

// A minimal PE file: DOS header, PE signature, file header, no optional
// header, and one section header per (raw pointer, raw size) pair.
std::string CraftPe(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& sections, std::size_t fileSize) {
  std::string file(fileSize, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  const std::uint32_t peOffset = 0x40;
  PutLe32(file, 0x3C, peOffset);
  file.replace(peOffset, 4, std::string("PE\0\0", 4));
  file[peOffset + 4 + 2] = static_cast<char>(sections.size());
  const std::size_t table = peOffset + 4 + 20;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    PutLe32(file, table + i * 40 + 16, sections[i].second);
    PutLe32(file, table + i * 40 + 20, sections[i].first);
  }
  return file;
}

TEST(PeImageEnd, IsTheEndOfTheSectionThatEndsLast) {
  const std::string file = CraftPe({{0x400, 0x200}, {0x1000, 0x600}, {0x600, 0x200}}, 0x2000);
  EXPECT_EQ(pe::ImageEnd(Bytes(file), file.size()), 0x1600u);
}

TEST(PeImageEnd, SectionsWithoutRawDataAreIgnored) {
  const std::string file = CraftPe({{0x400, 0x200}, {0x9000, 0}}, 0x800);
  EXPECT_EQ(pe::ImageEnd(Bytes(file), file.size()), 0x600u);
}

TEST(PeImageEnd, RefusesWhatIsNoPeFile) {
  std::string notMz = CraftPe({{0x400, 0x200}}, 0x800);
  notMz[0] = 'X';
  std::string notPe = CraftPe({{0x400, 0x200}}, 0x800);
  notPe[0x40] = 'X';
  std::string headerOutside = CraftPe({{0x400, 0x200}}, 0x800);
  headerOutside[0x3C] = '\xF0';
  headerOutside[0x3D] = '\x7F';
  const std::string truncated = CraftPe({{0x400, 0x200}}, 0x800).substr(0, 0x50);
  const std::string* files[] = {&notMz, &notPe, &headerOutside, &truncated};
  for (const std::string* file : files)
    EXPECT_EQ(pe::ImageEnd(Bytes(*file), file->size()), std::nullopt);
}

// A PE file with an optional header: its signature away from the DOS
// header's end, so that the pointer to it is followed, not assumed.
struct Crafted {
  std::uint16_t machine = pe::kMachineI386;
  std::uint16_t magic = 0x10B;  // 0x20B: PE32+
  std::uint32_t timeDateStamp = 0x5F3C1A2B;
  std::vector<pe::DataDirectory> directories;  // addresses and sizes
  std::vector<pe::Section> sections;
  std::size_t fileSize = 0x1000;
};

constexpr std::uint32_t kSignatureAt = 0x90;

std::string Craft(const Crafted& c) {
  std::string file(c.fileSize, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  PutLe32(file, 0x3C, kSignatureAt);
  file.replace(kSignatureAt, 4, std::string("PE\0\0", 4));
  const std::size_t header = kSignatureAt + 4;
  const std::size_t countAt = kSignatureAt + 24 + (c.magic == 0x20B ? 108 : 92);
  const std::size_t optionalSize = countAt + 4 + 8 * c.directories.size() - (kSignatureAt + 24);
  PutLe16(file, header, c.machine);
  PutLe16(file, header + 2, static_cast<std::uint16_t>(c.sections.size()));
  PutLe32(file, header + 4, c.timeDateStamp);
  PutLe16(file, header + 16, static_cast<std::uint16_t>(optionalSize));
  PutLe16(file, kSignatureAt + 24, c.magic);
  PutLe32(file, kSignatureAt + 24 + 64, 0xC4EC4500);  // a checksum
  PutLe32(file, countAt, static_cast<std::uint32_t>(c.directories.size()));
  for (std::size_t i = 0; i < c.directories.size(); ++i) {
    PutLe32(file, countAt + 4 + 8 * i, c.directories[i].address);
    PutLe32(file, countAt + 8 + 8 * i, c.directories[i].size);
  }
  const std::size_t table = kSignatureAt + 24 + optionalSize;
  for (std::size_t i = 0; i < c.sections.size(); ++i) {
    PutLe32(file, table + 40 * i + 8, c.sections[i].virtualSize);
    PutLe32(file, table + 40 * i + 12, c.sections[i].virtualAddress);
    PutLe32(file, table + 40 * i + 16, c.sections[i].rawSize);
    PutLe32(file, table + 40 * i + 20, c.sections[i].rawOffset);
  }
  return file;
}

Crafted Signed(std::uint16_t machine, std::uint16_t magic) {
  Crafted c;
  c.machine = machine;
  c.magic = magic;
  c.directories = {{0, 0, 0}, {0, 0x2000, 0x50}, {0, 0x3000, 0x400}, {0, 0, 0}, {0, 0x1000, 0x1808}};
  c.sections = {{0x1200, 0x1000, 0x400, 0x400}, {0x80, 0x2000, 0x200, 0x800}};
  return c;
}

TEST(PeHeaders, ReadsPe32AndPe32Plus) {
  const struct {
    std::uint16_t machine, magic;
    bool plus;
    const char* architecture;
  } cases[] = {{pe::kMachineI386, 0x10B, false, "i686"}, {pe::kMachineAmd64, 0x20B, true, "x86_64"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.architecture);
    const Crafted crafted = Signed(c.machine, c.magic);
    const std::string file = Craft(crafted);
    const auto header = pe::ReadFileHeader(Bytes(file), file.size());
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->signatureAt, kSignatureAt);
    EXPECT_EQ(pe::ArchitectureName(header->machine), c.architecture);
    EXPECT_EQ(header->sectionCount, 2u);
    EXPECT_EQ(header->timeDateStamp, 0x5F3C1A2Bu);

    const auto optional = pe::ReadOptionalHeader(Bytes(file), file.size(), *header);
    ASSERT_TRUE(optional.has_value());
    EXPECT_EQ(optional->plus, c.plus);
    EXPECT_EQ(optional->checksumAt, kSignatureAt + 24 + 64);
    EXPECT_EQ(optional->directoryCount, 5u);
    EXPECT_EQ(optional->directoriesAt, kSignatureAt + 24 + (c.plus ? 112u : 96u));

    const auto certificates = pe::ReadDataDirectory(Bytes(file), file.size(), *optional, pe::kCertificateDirectory);
    ASSERT_TRUE(certificates.has_value());
    EXPECT_EQ(certificates->entryAt, optional->directoriesAt + 32);
    EXPECT_EQ(certificates->address, 0x1000u);
    EXPECT_EQ(certificates->size, 0x1808u);
    EXPECT_EQ(pe::ReadDataDirectory(Bytes(file), file.size(), *optional, pe::kImportDirectory)->address, 0x2000u);
    EXPECT_EQ(pe::ReadDataDirectory(Bytes(file), file.size(), *optional, 5), std::nullopt) << "beyond the count";

    EXPECT_EQ(pe::ReadSections(Bytes(file), file.size(), *header), crafted.sections);
    EXPECT_EQ(pe::ImageEnd(Bytes(file), file.size()), 0xA00u);
  }
}

// Cut anywhere, the file gives each answer whole as soon as the bytes that
// hold it are there, and none before; the cut copy is exactly as long as
// the cut, so a read past it is a sanitizer's fault.
TEST(PeHeaders, EveryCutAnswersNoneUntilItsFieldsAreThere) {
  for (const std::uint16_t magic : {std::uint16_t{0x10B}, std::uint16_t{0x20B}}) {
    const std::string file = Craft(Signed(pe::kMachineAmd64, magic));
    const auto header = pe::ReadFileHeader(Bytes(file), file.size());
    const auto optional = pe::ReadOptionalHeader(Bytes(file), file.size(), *header);
    const auto directory = pe::ReadDataDirectory(Bytes(file), file.size(), *optional, pe::kCertificateDirectory);
    const auto sections = pe::ReadSections(Bytes(file), file.size(), *header);
    const std::uint64_t tableEnd = header->SectionTableAt() + 2 * 40;
    for (std::size_t cut = 0; cut <= tableEnd + 1; ++cut) {
      SCOPED_TRACE("magic " + std::to_string(magic) + ", cut at " + std::to_string(cut));
      const std::vector<unsigned char> bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
      const auto cutHeader = pe::ReadFileHeader(bytes.data(), bytes.size());
      EXPECT_EQ(cutHeader, cut >= kSignatureAt + 24 ? header : std::nullopt);
      if (!cutHeader) continue;
      const auto cutOptional = pe::ReadOptionalHeader(bytes.data(), bytes.size(), *cutHeader);
      EXPECT_EQ(cutOptional, cut >= optional->directoriesAt ? optional : std::nullopt);
      EXPECT_EQ(pe::ReadSections(bytes.data(), bytes.size(), *cutHeader),
                cut >= tableEnd ? sections : std::nullopt);
      if (!cutOptional) continue;
      EXPECT_EQ(pe::ReadDataDirectory(bytes.data(), bytes.size(), *cutOptional, pe::kCertificateDirectory),
                cut >= directory->entryAt + 8 ? directory : std::nullopt);
    }
  }
}

TEST(PeHeaders, RefusesWhatItCannotRead) {
  std::string pointerFar = Craft(Signed(pe::kMachineI386, 0x10B));
  PutLe32(pointerFar, 0x3C, 0xFFFFFFF0);  // sums past 32 bits
  EXPECT_EQ(pe::ReadFileHeader(Bytes(pointerFar), pointerFar.size()), std::nullopt);

  const struct {
    const char* what;
    std::uint16_t magic;
    std::size_t directories;
    bool optional, certificates;
  } cases[] = {
      {"a ROM image's magic", 0x107, 5, false, false},
      {"no magic at all", 0, 5, false, false},
      {"four directories", 0x10B, 4, true, false},
      {"no directories", 0x20B, 0, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Crafted crafted = Signed(pe::kMachineI386, c.magic == 0x20B ? 0x20B : 0x10B);
    crafted.directories.resize(c.directories);
    std::string file = Craft(crafted);
    PutLe16(file, kSignatureAt + 24, c.magic);
    const auto header = pe::ReadFileHeader(Bytes(file), file.size());
    ASSERT_TRUE(header.has_value());
    const auto optional = pe::ReadOptionalHeader(Bytes(file), file.size(), *header);
    EXPECT_EQ(optional.has_value(), c.optional);
    if (optional)
      EXPECT_EQ(pe::ReadDataDirectory(Bytes(file), file.size(), *optional, pe::kCertificateDirectory).has_value(),
                c.certificates);
  }
}

TEST(PeHeaders, ArchitectureNames) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0x014C, "i686"}, {0x8664, "x86_64"}, {0xAA64, "machine 0xaa64"}, {0, "machine 0x0"}};
  for (const auto& [machine, name] : cases) EXPECT_EQ(pe::ArchitectureName(machine), name);
}

}  // namespace
