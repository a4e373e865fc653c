#pragma once
// The payload archive format: a 32-bit entry count, a table of 264-byte
// entries (a 260-byte NUL-terminated name relative to the destination, with
// backslashes between folders, and a 32-bit size), then the files' data in
// table order. All integers little-endian. Needs no Windows API.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

inline constexpr std::size_t kCountSize = 4;
inline constexpr std::size_t kNameFieldSize = 260;
inline constexpr std::size_t kEntrySize = kNameFieldSize + 4;
// Longest name in bytes: the field keeps room for its terminator.
inline constexpr std::size_t kMaxNameLength = kNameFieldSize - 1;

struct Entry {
  std::string name;  // backslash-separated, relative to the destination
  std::uint32_t size = 0;
};

// Why `name` must not be installed below a destination, or nullptr when it
// is a plain relative path: no drive, no leading backslash, no "." or ".."
// or empty component, no colon or other character a Windows file name
// cannot hold, no component ending in a dot or blank, no device name, and
// short enough for the name field.
const char* EntryNameProblem(std::string_view name);

// The count and entry table for `entries`, 4 + 264 × count bytes, the name
// fields zero-filled after each terminator. Names must fit the field.
std::string EncodeTable(const std::vector<Entry>& entries);

// Reads one 264-byte table entry. Returns false when the name field holds no
// terminator; `entry` is then left unchanged.
bool DecodeEntry(const unsigned char* field, Entry& entry);

// Bytes of count and table for `count` entries; 0 for a count of 0 or less.
std::uint64_t TableSize(std::int32_t count);

}  // namespace archive

namespace archive {

// Why a payload archive's table must not be installed, or nullptr: a table
// that runs past the end of an archive of `archiveSize` bytes (`count`
// entries declared), or an entry whose name is unterminated (`terminated`
// false for it) or would write outside the destination. Checked on the whole
// table before any file is written.
const char* TableProblem(std::int32_t count, std::uint64_t archiveSize);
const char* EntryProblem(bool terminated, std::string_view name);

}  // namespace archive
