#pragma once
// Joining installer paths, which hold at most 259 characters. A join that
// would not fit is refused, never cut into another valid path. Needs no
// Windows API.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The platform's limit on a path, in UTF-16 units: 259 and the terminator.
inline constexpr std::size_t kMaxPathLength = 259;

// How many UTF-16 units `text` (UTF-8) takes, the unit the platform's limits
// count in: a four-byte sequence is two, every other sequence (and every byte
// that starts none) one.
std::size_t Utf16Length(std::string_view text);

// `folder`, a backslash when it does not end in one, and `name`; none when
// the result would be longer than kMaxPathLength UTF-16 units.
std::optional<std::string> JoinPath(std::string_view folder, std::string_view name);

// The same, ending in a backslash: a folder path.
std::optional<std::string> JoinFolder(std::string_view folder, std::string_view name);

// Whether `path` names one folder whatever the working directory: a drive
// letter, a colon and a backslash ("D:\Apps"), or two backslashes and a
// name ("\\server\share").
bool IsFullyQualified(std::string_view path);

// The root a free-space query is made on: "D:\" for "D:\Apps\Quenlith\",
// "\\server\" for "\\server\share\dir", the path itself otherwise.
std::string DiskRootOf(std::string_view path);

// The folder above `path` (one trailing backslash ignored; a backslash in
// the first position does not count); empty when there is none.
std::string ParentFolderOf(std::string_view path);

// `path` without the blanks at its end.
std::string TrimTrailingBlanks(std::string_view path);

// Bytes the destination must have free: twice the installed size, or
// 60,000,000 when the script gives none.
std::uint64_t RequiredBytes(std::int32_t installedSize);
