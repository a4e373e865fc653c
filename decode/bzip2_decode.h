#pragma once
// Decompresses one or more concatenated bzip2 streams exactly as libbzip2's
// sequential reading loop does (BZ2_bzRead in 5,000-byte pieces, stream
// after stream, bytes after the last complete stream ignored), with two
// faster paths that decompress side by side: whole streams (a payload the
// builder wrote in chunks) and the blocks of one stream. A faster path
// stops at anything irregular and the sequential loop takes over from a
// point where it gives the same bytes and the same verdict, so every
// failure is met as that loop meets it. The input and output sit behind a
// small source and sink, so the installer, the package builder and the
// tests run the same code.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace decode {

// Where the compressed bytes come from; called on the decoding thread only.
class Source {
 public:
  virtual ~Source() = default;
  // Size of the input in bytes.
  virtual std::uint64_t Size() = 0;
  // Reads exactly `size` bytes at `offset` (within Size()) into `into`; false when reading fails.
  virtual bool ReadAt(std::uint64_t offset, char* into, std::size_t size) = 0;
};

// Where the decompressed bytes go, in order; called on the decoding thread only.
class Sink {
 public:
  virtual ~Sink() = default;
  // Appends `size` bytes; false when writing fails (or the sink wants no
  // more), which ends decoding with kIoError.
  virtual bool Write(const char* bytes, std::size_t size) = 0;
  // Drops everything written so far, so that writing starts over from the
  // first byte; false when that fails. Called when a faster path hands the
  // input back to the sequential loop from its start: the block path at
  // anything irregular, either faster path when memory or threads run short.
  virtual bool Empty() = 0;
};

enum class Path {
  kAuto,        // whole streams when there are several, else the blocks; sequential with fewer than 2 workers
  kStreams,     // whole streams side by side, then the sequential loop from the first irregular one
  kBlocks,      // the first stream's blocks side by side, then the sequential loop
  kSequential,  // the sequential loop alone
};

struct Options {
  Path path = Path::kAuto;
  unsigned workers = 0;  // threads of the faster paths; 0: one per processor, at most 4
  // Whole streams: one longer than this (compressed or decompressed) goes to the sequential loop.
  std::size_t maxStreamBytes = 32u << 20;
  std::size_t streamsAhead = 3;  // streams decompressed before their turn to be written
  // Blocks: a block whose compressed bits span more bytes hands the stream to the sequential loop.
  std::size_t maxBlockInput = 4u << 20;
  // Blocks: a block that decompresses to more is decompressed again by the writer, straight into the sink.
  std::size_t maxBlockOutput = 4u << 20;
  std::size_t readPiece = 1u << 20;  // bytes read from the source at once
  // Told, on the decoding thread, how many input bytes have been decompressed and written.
  std::function<void(std::uint64_t consumed)> progress;
};

enum class Status {
  kDone,           // every stream decompressed; bytes after the last one ignored
  kNotBzip2,       // the input does not start with a bzip2 stream
  kIoError,        // the source or the sink failed
  kDataError,      // a CRC did not match, or the data cannot be bzip2
  kTruncated,      // the input ended inside a stream
  kOutOfMemory,
  kLibraryConfig,  // the library was built for another platform
  kInternalError,  // the library answered something it never should
};

struct Result {
  Status status = Status::kDone;
  int libraryStatus = 0;        // the libbzip2 status behind a failure, 0 when there was none
  unsigned streams = 0;         // streams decompressed to their end
  std::uint64_t streamStart = 0;  // input offset of the stream that failed, or of the end of the last one
};

// Decompresses all of `source` into `sink` along `options.path`. Throws
// nothing of its own; what the sink or the progress callback throws passes
// through at once, with every thread joined and nothing written again (the
// sink is not emptied, the sequential loop does not start over).
Result Decode(Source& source, Sink& sink, const Options& options = {});

}  // namespace decode
