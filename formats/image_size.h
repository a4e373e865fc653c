#pragma once
// The installer's compiled image size (the expected start of its payload) is
// kept in a tagged record that the build stamps after linking, so the value
// always equals the linked file's size. These helpers find, read and stamp
// that record in an executable's bytes (where the image itself ends is the
// PE reader's answer, formats/pe_image.h). Needs no Windows API.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// 15 characters and the terminator fill the record's 16-byte tag.
#define QUENLITH_IMAGE_SIZE_TAG "QuenlithImgSize"

struct ImageSizeMark {
  char tag[16];
  std::uint32_t size;
};

namespace image_size {

struct MarkLookup {
  std::optional<std::size_t> offset;  // of the record's tag; none on failure
  std::string error;                  // why there is no offset
};

// Finds the one image-size record in an executable's bytes; a file with none
// or with several has no usable record.
MarkLookup FindMark(const unsigned char* data, std::size_t size);

// The size stored in the record found at `offset`.
std::uint32_t MarkValue(const unsigned char* data, std::size_t offset);

// Stores `value` in the record found at `offset`.
void StampMark(unsigned char* data, std::size_t offset, std::uint32_t value);

}  // namespace image_size
