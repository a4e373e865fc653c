#pragma once
// File names as Windows holds them: UTF-8 checks, lengths in UTF-16 units,
// and the letter-case folding its file systems compare names with.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pack {

// The length of valid UTF-8 `text` in UTF-16 units (characters outside the
// Basic Multilingual Plane count twice); none when `text` is not valid UTF-8
// (overlong forms, surrogates and code points past U+10FFFF included).
std::optional<std::size_t> Utf16Length(std::string_view text);

// `text` with every byte that is not printable ASCII written as \xNN, so
// that invalid UTF-8 can be shown in a message.
std::string Escaped(std::string_view text);

// The upper-case form of one UTF-16 unit as Windows compares file names:
// the simple upper-case mapping per unit, as a file system's upcase table
// holds it. Units outside the covered ranges map to themselves.
char16_t UpcaseUnit(char16_t unit);

// Valid UTF-8 `name` with every UTF-16 unit upcased, re-encoded as UTF-8:
// two names collide on Windows exactly when their folded forms are equal.
std::string FoldedName(std::string_view name);

}  // namespace pack
