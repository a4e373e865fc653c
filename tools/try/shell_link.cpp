#include "try/shell_link.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "formats/utf8.h"
#include "try/text.h"

namespace quenlith_try {
namespace {

class LinkReader {
 public:
  explicit LinkReader(const std::string& bytes) : bytes_(bytes) {}
  bool Has(std::size_t at, std::size_t count) const { return at <= bytes_.size() && count <= bytes_.size() - at; }
  std::uint32_t U16(std::size_t at) const {
    return static_cast<unsigned char>(bytes_[at]) | static_cast<unsigned char>(bytes_[at + 1]) << 8;
  }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
  // A NUL-terminated narrow string at `at` (read as Latin-1: Wine writes the ANSI code page).
  std::string Narrow(std::size_t at) const {
    std::string out;
    for (; at < bytes_.size() && bytes_[at] != '\0'; ++at)
      utf8::AppendCodePoint(out, static_cast<unsigned char>(bytes_[at]));
    return out;
  }
  // A NUL-terminated UTF-16 string at `at`.
  std::string Wide(std::size_t at) const {
    std::vector<std::uint16_t> units;
    for (; Has(at, 2) && U16(at) != 0; at += 2) units.push_back(static_cast<std::uint16_t>(U16(at)));
    return Utf8FromUnits(units);
  }
  // A counted string of StringData: its character count, then the characters.
  std::optional<std::string> Counted(std::size_t& at, bool unicode) const {
    if (!Has(at, 2)) return std::nullopt;
    const std::size_t count = U16(at);
    at += 2;
    const std::size_t size = count * (unicode ? 2 : 1);
    if (!Has(at, size)) return std::nullopt;
    std::string out;
    if (unicode) {
      std::vector<std::uint16_t> units;
      for (std::size_t i = 0; i < count; ++i) units.push_back(static_cast<std::uint16_t>(U16(at + 2 * i)));
      out = Utf8FromUnits(units);
    } else {
      for (std::size_t i = 0; i < count; ++i) utf8::AppendCodePoint(out, static_cast<unsigned char>(bytes_[at + i]));
    }
    at += size;
    return out;
  }

 private:
  const std::string& bytes_;
};

constexpr std::uint32_t kHasIdList = 0x1, kHasLinkInfo = 0x2, kHasName = 0x4, kHasRelativePath = 0x8,
                        kHasWorkingDir = 0x10, kHasArguments = 0x20, kHasIconLocation = 0x40, kIsUnicode = 0x80;
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace

std::optional<ShellLink> ParseShellLink(const std::string& bytes) {
  const LinkReader read(bytes);
  if (!read.Has(0, 76) || read.U32(0) != 76 || std::memcmp(bytes.data() + 4, kLinkClsid, 16) != 0) return std::nullopt;
  const std::uint32_t flags = read.U32(20);
  std::size_t at = 76;
  if (flags & kHasIdList) {
    if (!read.Has(at, 2)) return std::nullopt;
    at += 2 + read.U16(at);
  }
  ShellLink link;
  if (flags & kHasLinkInfo) {
    if (!read.Has(at, 28)) return std::nullopt;
    const std::uint32_t size = read.U32(at), headerSize = read.U32(at + 4), infoFlags = read.U32(at + 8);
    if (size < 28 || !read.Has(at, size)) return std::nullopt;
    const std::uint32_t localBase = read.U32(at + 16), suffix = read.U32(at + 24);
    if (headerSize >= 0x24 && read.Has(at, 0x24) && (infoFlags & 1) && read.U32(at + 28) != 0) {
      link.target = read.Wide(at + read.U32(at + 28)) + read.Wide(at + read.U32(at + 32));
    } else if (infoFlags & 1) {
      if (localBase < size) link.target = read.Narrow(at + localBase);
      if (suffix != 0 && suffix < size) link.target += read.Narrow(at + suffix);
    }
    at += size;
  }
  const bool unicode = (flags & kIsUnicode) != 0;
  std::string relativePath;
  const struct {
    std::uint32_t flag;
    std::string* field;
  } kStrings[] = {{kHasName, &link.description},
                  {kHasRelativePath, &relativePath},
                  {kHasWorkingDir, &link.workingDirectory},
                  {kHasArguments, &link.arguments},
                  {kHasIconLocation, &link.iconLocation}};
  for (const auto& item : kStrings) {
    if (!(flags & item.flag)) continue;
    std::optional<std::string> text = read.Counted(at, unicode);
    if (!text) return std::nullopt;
    // Some writers count the terminator too.
    while (!text->empty() && text->back() == '\0') text->pop_back();
    *item.field = *text;
  }
  if (link.target.empty()) link.target = relativePath;
  return link;
}

}  // namespace quenlith_try
