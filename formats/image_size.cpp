#include "formats/image_size.h"

#include <cstring>
#include <string_view>

#include "formats/layout.h"

namespace image_size {
namespace {

constexpr std::string_view kTag(QUENLITH_IMAGE_SIZE_TAG, sizeof(QUENLITH_IMAGE_SIZE_TAG));
static_assert(kTag.size() == sizeof(ImageSizeMark::tag));
constexpr std::size_t kValueOffset = offsetof(ImageSizeMark, size);

std::uint16_t ReadLe16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

std::optional<std::uint64_t> PeImageEnd(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kDosHeaderSize = 64, kFileHeaderSize = 20, kSectionHeaderSize = 40;
  if (size < kDosHeaderSize || data[0] != 'M' || data[1] != 'Z') return std::nullopt;
  const std::uint64_t peOffset = layout::ReadLe32(data + 0x3C);
  if (peOffset + 4 + kFileHeaderSize > size || std::memcmp(data + peOffset, "PE\0\0", 4) != 0)
    return std::nullopt;
  const unsigned char* fileHeader = data + peOffset + 4;
  const std::uint16_t sectionCount = ReadLe16(fileHeader + 2);
  const std::uint16_t optionalHeaderSize = ReadLe16(fileHeader + 16);
  const std::uint64_t sectionTable = peOffset + 4 + kFileHeaderSize + optionalHeaderSize;
  if (sectionCount == 0 || sectionTable + std::uint64_t{sectionCount} * kSectionHeaderSize > size)
    return std::nullopt;
  std::uint64_t end = sectionTable + std::uint64_t{sectionCount} * kSectionHeaderSize;
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    const unsigned char* section = data + sectionTable + std::uint64_t{i} * kSectionHeaderSize;
    const std::uint32_t rawSize = layout::ReadLe32(section + 16);
    const std::uint32_t rawPointer = layout::ReadLe32(section + 20);
    if (rawSize != 0 && std::uint64_t{rawPointer} + rawSize > end) end = std::uint64_t{rawPointer} + rawSize;
  }
  return end;
}

MarkLookup FindMark(const unsigned char* data, std::size_t size) {
  MarkLookup result;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t found = bytes.find(kTag);
  if (found == std::string_view::npos || found + sizeof(ImageSizeMark) > size) {
    result.error = "no image-size record (not a Quenlith installer)";
    return result;
  }
  if (bytes.find(kTag, found + 1) != std::string_view::npos) {
    result.error = "more than one image-size record";
    return result;
  }
  result.offset = found;
  return result;
}

std::uint32_t MarkValue(const unsigned char* data, std::size_t offset) {
  return layout::ReadLe32(data + offset + kValueOffset);
}

void StampMark(unsigned char* data, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) data[offset + kValueOffset + i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace image_size
