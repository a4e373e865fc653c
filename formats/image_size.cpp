#include "formats/image_size.h"

#include <string_view>

#include "formats/layout.h"

namespace image_size {
namespace {

constexpr std::string_view kTag(QUENLITH_IMAGE_SIZE_TAG, sizeof(QUENLITH_IMAGE_SIZE_TAG));
static_assert(kTag.size() == sizeof(ImageSizeMark::tag));
constexpr std::size_t kValueOffset = offsetof(ImageSizeMark, size);

}  // namespace

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
