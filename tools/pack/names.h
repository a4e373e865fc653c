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

// `text` as it is written, for a message or a report: valid UTF-8 stays as
// it is (a backslash too), and only what a terminal cannot show as written
// is escaped as \xNN: control characters (below U+0020, U+007F to U+009F) and each
// byte that is not part of valid UTF-8.
std::string Escaped(std::string_view text);

// The upper-case form of one UTF-16 unit as Windows compares file names:
// the simple upper-case mapping per unit, as a file system's upcase table
// holds it. Units outside the covered ranges map to themselves.
char16_t UpcaseUnit(char16_t unit);

// Valid UTF-8 `name` with every UTF-16 unit upcased, re-encoded as UTF-8:
// two names collide on Windows exactly when their folded forms are equal.
std::string FoldedName(std::string_view name);

// A file name relative to the destination folder, as a script names one
// (a link, a file to delete), in the form FoldedName gives the package's
// entry names: '/' read as Windows reads it, as '\', and leading ".\"
// dropped, so that the two compare as Windows would find the file.
std::string DestinationNameKey(std::string_view name);

}  // namespace pack
