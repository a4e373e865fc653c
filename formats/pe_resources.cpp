#include "formats/pe_resources.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "formats/ascii_case.h"
#include "formats/layout.h"
#include "formats/pe_image.h"
#include "formats/utf8.h"

namespace pe {
namespace {

constexpr std::uint64_t kDirectoryHeaderSize = 16, kDirectoryEntrySize = 8, kDataEntrySize = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;

std::uint16_t ReadLe16(const unsigned char* bytes) { return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8); }

// The field of the entry for integer `id` in the resource directory at
// `directory` (an offset from `root`): the offset of a subdirectory (high
// bit set) or of a data entry. With no `id`, the first entry, named or not.
std::optional<std::uint32_t> DirectoryEntry(const unsigned char* data, std::size_t size, std::uint64_t root,
                                            std::uint64_t directory, std::optional<std::uint16_t> id) {
  const std::uint64_t at = root + directory;
  if (at + kDirectoryHeaderSize > size) return std::nullopt;
  const std::uint32_t named = ReadLe16(data + at + 12), numbered = ReadLe16(data + at + 14);
  const std::uint64_t entries = at + kDirectoryHeaderSize;
  if (entries + (std::uint64_t{named} + numbered) * kDirectoryEntrySize > size) return std::nullopt;
  if (!id) {
    if (named + numbered == 0) return std::nullopt;
    return layout::ReadLe32(data + entries + 4);
  }
  // Entries named by a string come first; their name field has the high bit set.
  for (std::uint32_t i = named; i < named + numbered; ++i) {
    const unsigned char* entry = data + entries + i * kDirectoryEntrySize;
    if (layout::ReadLe32(entry) == *id) return layout::ReadLe32(entry + 4);
  }
  return std::nullopt;
}

// One block of a version resource: a length, a value length, a type, a
// UTF-16 key, then (each aligned to 4 bytes from the resource's start) the
// value and the child blocks, up to the length.
struct Block {
  std::size_t end = 0;            // offset past the block
  std::size_t valueAt = 0;        // offset of the value
  std::uint16_t valueLength = 0;  // in UTF-16 units for text (type 1), in bytes otherwise
  std::uint16_t type = 0;
  std::size_t childrenAt = 0;  // offset of the first child block
  std::u16string key;
};

std::size_t Aligned(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// The block at `at`, which must end by `limit`.
std::optional<Block> ReadBlock(const unsigned char* bytes, std::size_t at, std::size_t limit) {
  if (at + 6 > limit) return std::nullopt;
  const std::uint16_t length = ReadLe16(bytes + at);
  if (length < 6 || length > limit - at) return std::nullopt;
  Block block;
  block.end = at + length;
  block.valueLength = ReadLe16(bytes + at + 2);
  block.type = ReadLe16(bytes + at + 4);
  std::size_t cursor = at + 6;
  for (;; cursor += 2) {
    if (cursor + 2 > block.end) return std::nullopt;
    const std::uint16_t unit = ReadLe16(bytes + cursor);
    if (unit == 0) break;
    block.key += static_cast<char16_t>(unit);
  }
  block.valueAt = std::min(Aligned(cursor + 2), block.end);
  const std::size_t valueBytes = block.type == 1 ? std::size_t{block.valueLength} * 2 : block.valueLength;
  block.childrenAt = std::min(Aligned(std::min(block.valueAt + valueBytes, block.end)), block.end);
  return block;
}

bool KeyIs(const std::u16string& key, std::string_view name) {
  if (key.size() != name.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i)
    if (key[i] > 0x7F || !SameLetterIgnoringCase(static_cast<char>(key[i]), name[i])) return false;
  return true;
}

// The child of `parent` whose key is `name`, letter case ignored.
std::optional<Block> Child(const unsigned char* bytes, const Block& parent, std::string_view name) {
  for (std::size_t at = parent.childrenAt; at < parent.end;) {
    const std::optional<Block> child = ReadBlock(bytes, at, parent.end);
    if (!child) return std::nullopt;
    if (KeyIs(child->key, name)) return child;
    at = Aligned(child->end);
  }
  return std::nullopt;
}

// UTF-16 text from `at` to its terminator or `end`, as UTF-8.
std::string TextAt(const unsigned char* bytes, std::size_t at, std::size_t end) {
  std::string text;
  for (; at + 2 <= end; at += 2) {
    char32_t point = ReadLe16(bytes + at);
    if (point == 0) break;
    if (point >= 0xD800 && point <= 0xDBFF && at + 4 <= end) {
      const char32_t low = ReadLe16(bytes + at + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
        at += 2;
      }
    }
    if (point >= 0xD800 && point <= 0xDFFF) point = 0xFFFD;
    utf8::AppendCodePoint(text, point);
  }
  return text;
}

}  // namespace

std::optional<ResourceData> FindResource(const unsigned char* data, std::size_t size, std::uint16_t type,
                                         std::uint16_t id) {
  const std::optional<FileHeader> file = ReadFileHeader(data, size);
  if (!file) return std::nullopt;
  const std::optional<OptionalHeader> optional = ReadOptionalHeader(data, size, *file);
  const std::optional<std::vector<Section>> sections = ReadSections(data, size, *file);
  if (!optional || !sections) return std::nullopt;
  const std::optional<DataDirectory> directory = ReadDataDirectory(data, size, *optional, kResourceDirectory);
  if (!directory || directory->address == 0) return std::nullopt;
  const std::optional<std::uint64_t> root = FileOffsetOf(*sections, directory->address);
  if (!root) return std::nullopt;
  // Three levels: type, name, language; the first two lead to subdirectories.
  std::uint64_t next = 0;
  for (const std::optional<std::uint16_t> wanted : {std::optional<std::uint16_t>(type), std::optional(id)}) {
    const std::optional<std::uint32_t> entry = DirectoryEntry(data, size, *root, next, wanted);
    if (!entry || !(*entry & kHighBit)) return std::nullopt;
    next = *entry & ~kHighBit;
  }
  const std::optional<std::uint32_t> language = DirectoryEntry(data, size, *root, next, std::nullopt);
  if (!language || (*language & kHighBit) || *root + *language + kDataEntrySize > size) return std::nullopt;
  const unsigned char* dataEntry = data + *root + *language;
  ResourceData resource;
  resource.size = layout::ReadLe32(dataEntry + 4);
  const std::optional<std::uint64_t> offset = FileOffsetOf(*sections, layout::ReadLe32(dataEntry));
  if (!offset || *offset + resource.size > size) return std::nullopt;
  resource.offset = *offset;
  return resource;
}

std::optional<std::string> VersionString(const unsigned char* version, std::size_t size, std::string_view name) {
  const std::optional<Block> root = ReadBlock(version, 0, size);
  if (!root) return std::nullopt;
  const std::optional<Block> variables = Child(version, *root, "VarFileInfo");
  const std::optional<Block> translation = variables ? Child(version, *variables, "Translation") : std::nullopt;
  if (!translation || translation->valueLength < 4 || translation->valueAt + 4 > translation->end) return std::nullopt;
  char table[16];
  std::snprintf(table, sizeof table, "%04x%04x", static_cast<unsigned>(ReadLe16(version + translation->valueAt)),
                static_cast<unsigned>(ReadLe16(version + translation->valueAt + 2)));
  const std::optional<Block> strings = Child(version, *root, "StringFileInfo");
  const std::optional<Block> tableBlock = strings ? Child(version, *strings, table) : std::nullopt;
  const std::optional<Block> value = tableBlock ? Child(version, *tableBlock, name) : std::nullopt;
  if (!value) return std::nullopt;
  return TextAt(version, value->valueAt, value->end);
}

std::optional<std::string> FileVersionText(const unsigned char* data, std::size_t size) {
  const std::optional<ResourceData> resource = FindResource(data, size, kVersionResourceType, kVersionResourceId);
  if (!resource) return std::nullopt;
  return VersionString(data + resource->offset, resource->size, "FileVersion");
}

}  // namespace pe
