#pragma once
// Reads a setup package: its layout, its script and its payload archive.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/archive.h"
#include "pack/files.h"

namespace pack {

struct PackageLayout {
  std::uint64_t fileSize = 0;
  std::uint32_t signatureSize = 0;
  std::uint32_t payloadStart = 0;   // section 1; also the image size
  std::uint32_t payloadLength = 0;
  std::uint32_t scriptStart = 0;    // section 0, ending with the end-marker line
  std::uint32_t scriptLength = 0;
  std::optional<std::uint64_t> peImageEnd;          // none when the image is no PE file
  std::optional<std::uint32_t> compiledImageSize;   // none without an image-size record
};

// Finds the end marker in the last 12,288 bytes, derives the signature size
// and walks the chain of offsets back to the payload. Throws Failure with the
// first fault: no marker, an offset that points outside the file or does not
// leave room for the section after it.
PackageLayout ReadLayout(ByteSource& package);

// ReadLayout of the package at `path`, for the commands that read one: a
// layout fault is said as "\"PATH\" is not a setup package: " and the fault.
PackageLayout ReadPackageLayout(ByteSource& package, const std::filesystem::path& path);

// The image checks that installation depends on: the image ends where the
// payload starts and the installer's compiled image size says the same.
// Returns the first fault, or an empty string.
std::string ImageFault(const PackageLayout& layout);

// Bytes of an archive with `entries`: count, table and every file's data.
std::uint64_t ArchiveSize(const std::vector<archive::Entry>& entries);

// Incremental parser of the payload archive. Checks the table (positive
// count, terminated and installable names) and that the data holds exactly
// the bytes the table declares.
class ArchiveParser {
 public:
  using TableFn = std::function<void(const std::vector<archive::Entry>&)>;
  using DataFn = std::function<void(std::size_t index, std::string_view bytes)>;
  using FileEndFn = std::function<void(std::size_t index)>;

  ArchiveParser(TableFn onTable, DataFn onData, FileEndFn onFileEnd);
  // Throws Failure at the first fault.
  void Feed(std::string_view bytes);
  // Throws Failure when the archive stopped before its declared end.
  void Finish();
  bool TableComplete() const { return tableComplete_; }
  const std::vector<archive::Entry>& Entries() const { return entries_; }

 private:
  void BeginFiles();
  void FinishFilesOfSizeZero();

  TableFn onTable_;
  DataFn onData_;
  FileEndFn onFileEnd_;
  std::string pending_;
  std::int32_t count_ = -1;
  std::vector<archive::Entry> entries_;
  bool tableComplete_ = false;
  std::size_t fileIndex_ = 0;
  std::uint64_t fileOffset_ = 0;
};

// Decompresses the payload section, which may hold several concatenated
// bzip2 streams, with the installer's decoder, passing the decompressed
// bytes in order to `consume` until it returns false; every block and stream
// CRC up to there is checked. Throws Failure on damaged or truncated data
// and on bytes after the last stream, which the installer would ignore.
// What `consume` throws is rethrown once decoding has gone on to the end
// without it, unless the data then proves damaged: the damage is the fault
// reported. Returns the number of streams read, the one `consume` stopped
// in counted. `consumed`, when given, is told on this thread how many bytes
// of the section have been decompressed and consumed (never fewer than it
// was told before), of how many.
using ConsumeFn = std::function<bool(std::string_view bytes)>;
using ConsumedFn = std::function<void(std::uint64_t done, std::uint64_t total)>;
unsigned DecompressPayload(ByteSource& package, const PackageLayout& layout, const ConsumeFn& consume,
                           const ConsumedFn& consumed = nullptr);

// Decompresses the whole payload into `parser`, then checks that the archive
// ends where its table says (ArchiveParser::Finish). Returns the number of
// streams; throws as DecompressPayload and the parser do.
unsigned DecompressArchive(ByteSource& package, const PackageLayout& layout, ArchiveParser& parser,
                           const ConsumedFn& consumed = nullptr);

}  // namespace pack
