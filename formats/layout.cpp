#include "formats/layout.h"

namespace layout {
namespace {

unsigned char LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(static_cast<unsigned char>(a[i])) != LowerAscii(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::optional<std::size_t> FindEndMarkerLine(const unsigned char* data, std::size_t size) {
  if (size < kEndMarkerLineSize) return std::nullopt;
  for (std::size_t p = 0; p + kEndMarkerLineSize <= size; ++p) {
    const std::string_view candidate(reinterpret_cast<const char*>(data + p), kEndMarker.size());
    if (data[p + kEndMarker.size()] == '\r' && data[p + kEndMarker.size() + 1] == '\n' &&
        EqualsIgnoringCase(candidate, kEndMarker))
      return p;
  }
  return std::nullopt;
}

std::uint32_t SignatureSizeAt(std::size_t windowSize, std::size_t position) {
  return static_cast<std::uint32_t>(windowSize - kTrailerSize - position - kEndMarkerLineSize);
}

std::uint32_t ReadLe32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void AppendLe32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace layout
