#pragma once
// Helpers shared by the tests: scratch folders, files, and the locations of
// the build's programs.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "formats/archive.h"
#include "test_paths.h"

namespace testing_support {

// A fresh empty folder for the running test, removed when destroyed.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

// How many times `part` occurs in `text`, overlaps included.
std::size_t Count(const std::string& text, const std::string& part);

// Fails the test unless `text` holds each of `parts`, in that order.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts);

// Little-endian fields written over `bytes` at `at`, for crafted binary files.
void PutLe16(std::string& bytes, std::size_t at, std::uint16_t value);
void PutLe32(std::string& bytes, std::size_t at, std::uint32_t value);

// `text` as the bytes the format readers take.
inline const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// Bytes that do not repeat, so each file's content is its own.
std::string Pattern(std::size_t size, unsigned seed);

// One bzip2 stream of `data` with blocks of `blockSize` x 100 kB (1 to 9),
// made by libbzip2 directly rather than the package builder.
std::string Bzip2Stream(const std::string& data, int blockSize);

// Payload files by entry name (backslash-separated); a map keeps them in the
// builder's order.
using Files = std::map<std::string, std::string>;

// Writes `files` below `folder`, one file per entry.
void WritePayloadFolder(const std::filesystem::path& folder, const Files& files);

// The payload archive of `files` as the format defines it, built
// independently of the package builder.
std::string ArchiveOf(const Files& files);

// A payload section for archives the builder never writes: one bzip2
// stream of the table of `entries` followed by `data`, whatever the table
// declares.
std::string PayloadWithTable(const std::vector<archive::Entry>& entries, const std::string& data);

// The table of one entry whose 260-byte name field holds no terminator.
std::string UnterminatedTable();

// A package assembled by hand: image, payload section and its trailer
// (`payloadOffset`, or the image size when 0), script section and its
// trailer, then `signature`. For layouts the builder never writes.
std::string AssemblePackage(const std::string& image, const std::string& payload, std::uint32_t payloadOffset,
                            const std::string& script, const std::string& signature);

}  // namespace testing_support
