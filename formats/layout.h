#pragma once
// The setup package's appended layout, shared by the installer and the
// package builder: image, payload section, its trailer, script section
// ending in the end-marker line, its trailer, then an optional signature.
// Needs no Windows API.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace layout {

inline constexpr std::string_view kEndMarker = "{41D152BA-00FA-420E-B2A6-9FA134B51A18}";
inline constexpr std::string_view kEndMarkerComment = "; End the file with this guid";
// The marker with its CR LF: what the installer searches for.
inline constexpr std::size_t kEndMarkerLineSize = kEndMarker.size() + 2;
// The marker must lie within this many bytes at the end of the file.
inline constexpr std::size_t kMarkerSearchWindow = 12288;
inline constexpr std::size_t kTrailerSize = 4;
// Longest signature that still leaves the marker inside the search window.
inline constexpr std::uint32_t kMaxSignatureSize =
    kMarkerSearchWindow - kEndMarkerLineSize - kTrailerSize;
// Sections are numbered from the end of the file.
inline constexpr std::uint32_t kScriptSection = 0;
inline constexpr std::uint32_t kPayloadSection = 1;

// Position of the first end-marker line (marker and CR LF, letters compared
// without regard to case) that lies wholly inside data[0, size); none if absent.
std::optional<std::size_t> FindEndMarkerLine(const unsigned char* data, std::size_t size);

// Bytes after the trailer of the script section, for a marker line found at
// `position` in a window of `windowSize` bytes that ends where the file ends.
// Requires position + kEndMarkerLineSize + kTrailerSize <= windowSize.
std::uint32_t SignatureSizeAt(std::size_t windowSize, std::size_t position);

std::uint32_t ReadLe32(const unsigned char* bytes);
void AppendLe32(std::string& out, std::uint32_t value);

// Case-insensitive (ASCII) equality, as the marker search compares.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace layout
