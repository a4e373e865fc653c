#pragma once
// Joining installer paths, which hold at most 259 characters. A join that
// would not fit is refused, never cut into another valid path. Needs no
// Windows API.

#include <optional>
#include <string>
#include <string_view>

inline constexpr std::size_t kMaxPathLength = 259;

// `folder`, a backslash when it does not end in one, and `name`; none when
// the result would be longer than kMaxPathLength.
std::optional<std::string> JoinPath(std::string_view folder, std::string_view name);

// The same, ending in a backslash: a folder path.
std::optional<std::string> JoinFolder(std::string_view folder, std::string_view name);
