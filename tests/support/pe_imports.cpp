#include "pe_imports.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace testing_support {
namespace {

class Image {
 public:
  explicit Image(std::string_view bytes) : bytes_(bytes) {}

  std::uint32_t Read(std::uint64_t offset, int size) const {
    if (offset + static_cast<std::uint64_t>(size) > bytes_.size())
      throw std::runtime_error("read past the end of the image");
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
      value = value << 8 | static_cast<unsigned char>(bytes_[offset + static_cast<std::uint64_t>(i)]);
    return value;
  }
  std::uint32_t U16(std::uint64_t offset) const { return Read(offset, 2); }
  std::uint32_t U32(std::uint64_t offset) const { return Read(offset, 4); }

  struct Section {
    std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
  };
  std::vector<Section> sections;

  // The file offset of `rva`, through the section that holds it.
  std::uint64_t Offset(std::uint32_t rva) const {
    for (const Section& section : sections) {
      const std::uint32_t size = std::max(section.virtualSize, section.rawSize);
      if (rva >= section.virtualAddress && rva - section.virtualAddress < size) {
        if (rva - section.virtualAddress >= section.rawSize) throw std::runtime_error("RVA in a section's zero fill");
        return std::uint64_t{section.rawOffset} + (rva - section.virtualAddress);
      }
    }
    throw std::runtime_error("RVA outside every section");
  }

  std::string String(std::uint32_t rva) const {
    const std::uint64_t start = Offset(rva);
    const std::size_t end = bytes_.find('\0', start);
    if (start >= bytes_.size() || end == std::string_view::npos) throw std::runtime_error("unterminated name");
    return std::string(bytes_.substr(start, end - start));
  }

 private:
  std::string_view bytes_;
};

// The names of a table of `entrySize`-byte descriptors at `rva` whose name
// RVA is at `nameField`; the table ends with a descriptor of zeros.
std::vector<std::string> Names(const Image& image, std::uint32_t rva, int entrySize, int nameField) {
  std::vector<std::string> names;
  if (rva == 0) return names;
  for (std::uint64_t at = image.Offset(rva);; at += static_cast<std::uint64_t>(entrySize)) {
    bool zero = true;
    for (int i = 0; i < entrySize; i += 4) zero = zero && image.U32(at + static_cast<std::uint64_t>(i)) == 0;
    if (zero) return names;
    if (names.size() > 4096) throw std::runtime_error("import table without end");
    names.push_back(image.String(image.U32(at + static_cast<std::uint64_t>(nameField))));
  }
}

}  // namespace

PeImports ReadPeImports(std::string_view bytes) {
  Image image(bytes);
  if (image.U16(0) != 0x5A4D) throw std::runtime_error("no MZ header");
  const std::uint32_t pe = image.U32(0x3C);
  if (image.U32(pe) != 0x00004550) throw std::runtime_error("no PE signature");
  const std::uint32_t sectionCount = image.U16(pe + 6);
  const std::uint32_t optionalSize = image.U16(pe + 20);
  const std::uint64_t optional = pe + 24;
  const std::uint32_t magic = image.U16(optional);
  if (magic != 0x10B && magic != 0x20B) throw std::runtime_error("neither PE32 nor PE32+");
  // PE32+ has an 8-byte image base and stack and heap sizes: 16 bytes more before the directories.
  const std::uint64_t directoryCountAt = optional + (magic == 0x10B ? 92 : 108);
  const std::uint32_t directoryCount = image.U32(directoryCountAt);
  auto directory = [&](std::uint32_t index) {
    return index < directoryCount ? image.U32(directoryCountAt + 4 + 8 * index) : 0u;
  };
  const std::uint64_t sectionTable = optional + optionalSize;
  for (std::uint32_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t at = sectionTable + 40 * i;
    image.sections.push_back({image.U32(at + 12), image.U32(at + 8), image.U32(at + 20), image.U32(at + 16)});
  }
  return {Names(image, directory(1), 20, 12), Names(image, directory(13), 32, 4)};
}

}  // namespace testing_support
