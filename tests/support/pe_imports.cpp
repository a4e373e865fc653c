#include "pe_imports.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

#include "formats/pe_image.h"

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
  std::uint32_t U32(std::uint64_t offset) const { return Read(offset, 4); }

  std::vector<pe::Section> sections;

  // The file offset of `rva`, through the section that holds it.
  std::uint64_t Offset(std::uint32_t rva) const {
    const std::optional<std::uint64_t> offset = pe::FileOffsetOf(sections, rva);
    if (!offset) throw std::runtime_error("RVA outside every section's raw data");
    return *offset;
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
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::optional<pe::FileHeader> file = pe::ReadFileHeader(data, bytes.size());
  if (!file) throw std::runtime_error("no MZ header and PE signature");
  const std::optional<pe::OptionalHeader> optional = pe::ReadOptionalHeader(data, bytes.size(), *file);
  if (!optional) throw std::runtime_error("neither PE32 nor PE32+");
  auto directory = [&](std::uint32_t index) {
    if (index >= optional->directoryCount) return 0u;
    const std::optional<pe::DataDirectory> entry = pe::ReadDataDirectory(data, bytes.size(), *optional, index);
    if (!entry) throw std::runtime_error("data directories past the end of the image");
    return entry->address;
  };
  std::optional<std::vector<pe::Section>> sections = pe::ReadSections(data, bytes.size(), *file);
  if (!sections) throw std::runtime_error("section table past the end of the image");
  image.sections = std::move(*sections);
  return {Names(image, directory(pe::kImportDirectory), 20, 12),
          Names(image, directory(pe::kDelayImportDirectory), 32, 4)};
}

}  // namespace testing_support
