#include "formats/pe_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "formats/layout.h"

namespace pe {
namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::uint64_t kSignatureSize = 4, kFileHeaderSize = 20, kSectionHeaderSize = 40;
constexpr std::uint16_t kMagicPe32 = 0x10B, kMagicPe32Plus = 0x20B;

std::uint16_t ReadLe16(const unsigned char* bytes) { return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8); }

}  // namespace

std::optional<FileHeader> ReadFileHeader(const unsigned char* data, std::size_t size) {
  if (size < kDosHeaderSize || data[0] != 'M' || data[1] != 'Z') return std::nullopt;
  FileHeader header;
  header.signatureAt = layout::ReadLe32(data + 0x3C);
  if (std::uint64_t{header.signatureAt} + kSignatureSize + kFileHeaderSize > size ||
      std::memcmp(data + header.signatureAt, "PE\0\0", 4) != 0)
    return std::nullopt;
  const unsigned char* fields = data + header.signatureAt + kSignatureSize;
  header.machine = ReadLe16(fields);
  header.sectionCount = ReadLe16(fields + 2);
  header.timeDateStamp = layout::ReadLe32(fields + 4);
  header.optionalHeaderSize = ReadLe16(fields + 16);
  return header;
}

std::optional<OptionalHeader> ReadOptionalHeader(const unsigned char* data, std::size_t size, const FileHeader& file) {
  const std::uint64_t at = file.OptionalHeaderAt();
  if (at + 2 > size) return std::nullopt;
  const std::uint16_t magic = ReadLe16(data + at);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return std::nullopt;
  OptionalHeader header;
  header.plus = magic == kMagicPe32Plus;
  header.checksumAt = at + 64;
  // PE32+ has an 8-byte image base and 8-byte stack and heap sizes: 16 bytes more before the count.
  const std::uint64_t countAt = at + (header.plus ? 108 : 92);
  if (countAt + 4 > size) return std::nullopt;
  header.directoryCount = layout::ReadLe32(data + countAt);
  header.directoriesAt = countAt + 4;
  return header;
}

std::optional<DataDirectory> ReadDataDirectory(const unsigned char* data, std::size_t size,
                                               const OptionalHeader& optional, std::uint32_t index) {
  if (index >= optional.directoryCount) return std::nullopt;
  DataDirectory directory;
  directory.entryAt = optional.directoriesAt + std::uint64_t{index} * 8;
  if (directory.entryAt + 8 > size) return std::nullopt;
  directory.address = layout::ReadLe32(data + directory.entryAt);
  directory.size = layout::ReadLe32(data + directory.entryAt + 4);
  return directory;
}

std::optional<std::vector<Section>> ReadSections(const unsigned char* data, std::size_t size, const FileHeader& file) {
  const std::uint64_t table = file.SectionTableAt();
  if (table + std::uint64_t{file.sectionCount} * kSectionHeaderSize > size) return std::nullopt;
  std::vector<Section> sections(file.sectionCount);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const unsigned char* entry = data + table + i * kSectionHeaderSize;
    sections[i].virtualSize = layout::ReadLe32(entry + 8);
    sections[i].virtualAddress = layout::ReadLe32(entry + 12);
    sections[i].rawSize = layout::ReadLe32(entry + 16);
    sections[i].rawOffset = layout::ReadLe32(entry + 20);
  }
  return sections;
}

std::optional<std::uint64_t> FileOffsetOf(const std::vector<Section>& sections, std::uint32_t rva) {
  for (const Section& section : sections) {
    const std::uint32_t size = std::max(section.virtualSize, section.rawSize);
    if (rva < section.virtualAddress || rva - section.virtualAddress >= size) continue;
    if (rva - section.virtualAddress >= section.rawSize) return std::nullopt;
    return std::uint64_t{section.rawOffset} + (rva - section.virtualAddress);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> ImageEnd(const unsigned char* data, std::size_t size) {
  const std::optional<FileHeader> file = ReadFileHeader(data, size);
  if (!file || file->sectionCount == 0) return std::nullopt;
  const std::optional<std::vector<Section>> sections = ReadSections(data, size, *file);
  if (!sections) return std::nullopt;
  std::uint64_t end = file->SectionTableAt() + std::uint64_t{file->sectionCount} * kSectionHeaderSize;
  for (const Section& section : *sections)
    if (section.rawSize != 0 && std::uint64_t{section.rawOffset} + section.rawSize > end)
      end = std::uint64_t{section.rawOffset} + section.rawSize;
  return end;
}

std::string ArchitectureName(std::uint16_t machine) {
  if (machine == kMachineI386) return "i686";
  if (machine == kMachineAmd64) return "x86_64";
  char text[24];
  std::snprintf(text, sizeof text, "machine 0x%x", static_cast<unsigned>(machine));
  return text;
}

}  // namespace pe
