#include "try/prefix_facts.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "formats/utf8.h"

namespace quenlith_try {
namespace fs = std::filesystem;

TreeSnapshot SnapshotTree(const fs::path& root, const std::vector<std::string>& skip, const fs::path& linksWithin) {
  TreeSnapshot snapshot;
  std::error_code error;
  if (!fs::is_directory(root, error)) return snapshot;
  const std::set<std::string> skipped(skip.begin(), skip.end());
  const fs::path within = linksWithin.empty() ? fs::path() : fs::weakly_canonical(linksWithin, error);
  std::set<fs::path> visited = {fs::weakly_canonical(root, error)};
  // Folders still to list, by their path relative to the root.
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string folder = pending.back();
    pending.pop_back();
    std::vector<fs::directory_entry> entries;
    for (const auto& entry : fs::directory_iterator(root / folder, fs::directory_options::skip_permission_denied, error))
      entries.push_back(entry);
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& entry : entries) {
      const std::string relative = folder.empty() ? entry.path().filename().string()
                                                  : folder + "/" + entry.path().filename().string();
      if (skipped.count(relative)) continue;
      std::error_code entryError;
      const fs::file_status status = entry.symlink_status(entryError);
      if (entryError) continue;
      FileState state;
      if (fs::is_symlink(status) && !within.empty()) {
        // A folder Wine links elsewhere (the user's desktop into HOME): walked
        // once, under the first name that leads there, when it lies inside `within`.
        const fs::path target = fs::weakly_canonical(entry.path(), entryError);
        const auto [inside, end] = std::mismatch(within.begin(), within.end(), target.begin(), target.end());
        if (!entryError && fs::is_directory(target, entryError) && inside == within.end() &&
            visited.insert(target).second) {
          state.folder = true;
          snapshot[relative] = state;
          pending.push_back(relative);
          continue;
        }
      }
      if (fs::is_directory(status)) {
        if (!visited.insert(fs::weakly_canonical(entry.path(), entryError)).second) continue;
        state.folder = true;
        pending.push_back(relative);
      } else if (fs::is_regular_file(status)) {
        state.size = entry.file_size(entryError);
        state.written = entry.last_write_time(entryError);
        if (entryError) continue;  // gone while we looked: not a file the run left
      }
      snapshot[relative] = state;
    }
    error.clear();
  }
  return snapshot;
}

std::vector<std::string> WrittenFiles(const TreeSnapshot& before, const TreeSnapshot& after) {
  std::vector<std::string> written;
  for (const auto& [path, state] : after) {
    if (state.folder) continue;
    const auto old = before.find(path);
    if (old == before.end() || old->second.size != state.size || old->second.written != state.written)
      written.push_back(path);
  }
  return written;
}

namespace {

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool FolderExisted(const TreeSnapshot& snapshot, const std::string& folder) {
  if (folder.empty()) return true;
  const auto it = snapshot.find(folder);
  return it != snapshot.end() && it->second.folder;
}

}  // namespace

std::vector<WrittenGroup> GroupWrittenFiles(const TreeSnapshot& before, const TreeSnapshot& after,
                                            const std::vector<std::string>& written) {
  std::map<std::string, WrittenGroup> groups;
  for (const std::string& path : written) {
    // Climb from the file's folder while the folder is new: the last new one is the tree's root.
    std::string folder = ParentOf(path);
    bool isNew = false;
    while (!folder.empty() && !FolderExisted(before, folder)) {
      isNew = true;
      const std::string parent = ParentOf(folder);
      if (!FolderExisted(before, parent)) {
        folder = parent;
        continue;
      }
      break;
    }
    WrittenGroup& group = groups[folder];
    group.folder = folder;
    group.newFolder = isNew;
    group.files += 1;
    group.bytes += after.at(path).size;
  }
  std::vector<WrittenGroup> result;
  for (auto& [folder, group] : groups) result.push_back(group);
  return result;
}

namespace {

// UTF-16 units to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromUnits(const std::vector<std::uint16_t>& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t code = units[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    utf8::AppendCodePoint(out, code);
  }
  return out;
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Reads a string Wine escaped, from just after its opening `quote` up to the
// closing one; `at` is left after the closing quote. Wine writes characters
// outside printable ASCII as \x and up to four hexadecimal digits (UTF-16
// units); any other byte stands for itself.
std::string ReadEscaped(const std::string& line, std::size_t& at, char quote) {
  std::string out;
  std::vector<std::uint16_t> units;  // escaped units not yet converted, so that surrogate pairs meet
  auto flush = [&] {
    out += Utf8FromUnits(units);
    units.clear();
  };
  while (at < line.size() && line[at] != quote) {
    char c = line[at++];
    if (c != '\\' || at >= line.size()) {
      flush();
      out += c;
      continue;
    }
    c = line[at++];
    switch (c) {
      case 'n': units.push_back('\n'); break;
      case 'r': units.push_back('\r'); break;
      case 't': units.push_back('\t'); break;
      case 'a': units.push_back('\a'); break;
      case 'b': units.push_back('\b'); break;
      case 'e': units.push_back(0x1B); break;
      case 'f': units.push_back('\f'); break;
      case 'v': units.push_back('\v'); break;
      case '0': units.push_back(0); break;
      case 'x': {
        std::uint16_t value = 0;
        for (int digits = 0; digits < 4 && at < line.size() && IsHex(line[at]); ++digits)
          value = static_cast<std::uint16_t>(value * 16 + std::stoi(std::string(1, line[at++]), nullptr, 16));
        units.push_back(value);
        break;
      }
      default: units.push_back(static_cast<unsigned char>(c)); break;
    }
  }
  flush();
  if (at < line.size()) ++at;  // the closing quote
  return out;
}

RegistryValue ParseValueData(std::string name, const std::string& data) {
  RegistryValue value;
  value.name = std::move(name);
  std::size_t at = 0;
  if (data.rfind("\"", 0) == 0 || data.rfind("str(2):\"", 0) == 0 || data.rfind("str(7):\"", 0) == 0) {
    value.type = data[0] == '"' ? "REG_SZ" : data[4] == '2' ? "REG_EXPAND_SZ" : "REG_MULTI_SZ";
    at = data.find('"') + 1;
    value.data = ReadEscaped(data, at, '"');
  } else if (data.rfind("dword:", 0) == 0) {
    value.type = "REG_DWORD";
    value.data = std::to_string(std::stoul(data.substr(6), nullptr, 16));
  } else if (data.rfind("hex:", 0) == 0) {
    value.type = "REG_BINARY";
    value.data = data.substr(4);
  } else if (data.rfind("hex(b):", 0) == 0) {
    value.type = "REG_QWORD";
    value.data = data.substr(7);
  } else {
    const std::size_t colon = data.find(':');
    value.type = colon == std::string::npos ? std::string("unknown") : data.substr(0, colon);
    value.data = colon == std::string::npos ? data : data.substr(colon + 1);
  }
  return value;
}

}  // namespace

RegistryFile ParseRegistryText(const std::string& text) {
  RegistryFile file;
  std::vector<RegistryValue>* current = nullptr;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Hexadecimal data goes on over lines that end in a backslash.
    while (!line.empty() && line.back() == '\\' && line.find('=') != std::string::npos &&
           line.find("=hex") != std::string::npos) {
      std::string next;
      if (!std::getline(lines, next)) break;
      line.pop_back();
      const std::size_t start = next.find_first_not_of(' ');
      line += start == std::string::npos ? std::string() : next.substr(start);
    }
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      std::size_t at = 1;
      const std::string key = ReadEscaped(line, at, ']');
      current = &file[key];
      continue;
    }
    if (current == nullptr) continue;
    std::string name;
    std::size_t at = 0;
    if (line[0] == '@') {
      at = 1;
    } else if (line[0] == '"') {
      at = 1;
      name = ReadEscaped(line, at, '"');
    } else {
      continue;
    }
    if (at >= line.size() || line[at] != '=') continue;
    current->push_back(ParseValueData(std::move(name), line.substr(at + 1)));
  }
  return file;
}

RegistryFile ReadRegistryFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return ParseRegistryText(text.str());
}

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
