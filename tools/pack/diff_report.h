#pragma once
// What `diff` finds out about two packages, and its two reports of it: the
// text for a person and the JSON document for a pipeline.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "pack/signature.h"

namespace pack {

struct FileFacts {
  std::uint32_t size = 0;
  std::string sha256;  // raw digest
};

struct ImageFacts {
  std::uint32_t size = 0;                       // where the payload starts
  std::optional<std::uint32_t> setupImageSize;  // the compiled record
  std::optional<std::uint32_t> buildStamp;      // the PE header's TimeDateStamp
  std::string sha256;                           // without the two fields signing rewrites
};

struct ScriptValue {
  std::string section, key;  // as the script writes them
  std::string value;         // as the installer reads it
};

// One package as `diff` reads it.
struct PackageFacts {
  ImageFacts image;
  SignatureCheck signature;
  std::map<std::string, ScriptValue> keys;  // by folded section NUL folded key
  std::map<std::string, FileFacts> files;   // by name
  std::set<std::string> deletes;            // what its [Delete] list removes, by DestinationNameKey
  std::size_t entries = 0;
  std::uint64_t bytes = 0;  // of file data
};

// What differs between two maps of facts, in key order; the pointers lead
// into the maps compared, which must outlive this.
template <typename Value>
struct Changes {
  std::vector<std::pair<const std::string*, const Value*>> added, removed;
  struct Change {
    const std::string* key;
    const Value* old;
    const Value* now;
  };
  std::vector<Change> changed;
  std::size_t unchanged = 0;
  bool Empty() const { return added.empty() && removed.empty() && changed.empty(); }
};

// Everything the reports say about the difference.
struct DiffFindings {
  Changes<FileFacts> files;
  // Files the old package installs that the new one neither installs nor
  // deletes: an upgrade leaves them on disk, and out of the new uninstall
  // list. In name order; they do not count as a difference of their own
  // (each is a removed file already).
  std::vector<std::pair<const std::string*, const FileFacts*>> leftBehind;
  Changes<ScriptValue> keys;
  bool sameImage = false;
  bool sameSignature = false;
  // Same files, contents, script values and image; the signature does not count.
  bool InstallsTheSame() const { return files.Empty() && keys.Empty() && sameImage; }
};

// One side of the comparison: the path given and what was read from it.
struct DiffSide {
  const std::filesystem::path& path;
  const PackageFacts& facts;
};

// The text report, ending with its "result:" line.
void WriteDiffText(std::ostream& out, const DiffSide& before, const DiffSide& after, const DiffFindings& findings);

// The JSON document (fields as the README lists them).
void WriteDiffJson(std::ostream& out, const DiffSide& before, const DiffSide& after, const DiffFindings& findings);

}  // namespace pack
