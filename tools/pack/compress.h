#pragma once
// Compresses the payload archive into concatenated bzip2 streams (block size
// 9) that threads compress side by side: the table is cut into streams of
// its own, and the file data into streams of kChunkSize bytes counted from
// the start of the data, so that file data can be compressed while the walk
// of the payload folder still runs. Boundaries depend only on the payload,
// not on the number of jobs: the output is the same for any --jobs.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pack/payload.h"

namespace pack {

inline constexpr std::size_t kChunkSize = 4 * 1024 * 1024;

// Receives each compressed stream in archive order.
using StreamSink = std::function<void(std::string_view compressed)>;
// Told how many archive bytes have been compressed so far, of how many.
using ProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Size of the archive: count, table and every file's data.
std::uint64_t ArchiveSize(const Payload& payload);

// Compresses an archive whose files are still being found: `jobs` threads
// compress, one more reads the files ahead of them in the order they are
// added.
class ArchiveCompressor {
 public:
  explicit ArchiveCompressor(unsigned jobs);
  // Stops and joins the threads; unfinished work is dropped.
  ~ArchiveCompressor();
  ArchiveCompressor(const ArchiveCompressor&) = delete;
  ArchiveCompressor& operator=(const ArchiveCompressor&) = delete;

  // Queues one file's data; files come in archive order, from one thread.
  void AddFile(const PayloadFile& file);

  // Compresses the table of `payload`, whose files were all added in its
  // order, and hands every stream to `sink` in archive order, on the calling
  // thread. Throws Failure when a file cannot be read or changed size.
  void Finish(const Payload& payload, const StreamSink& sink, const ProgressFn& progress);

 private:
  // What the reader needs of a file: lighter than a PayloadFile, of which
  // the walk may queue many while the reader waits for room.
  struct QueuedFile {
    std::filesystem::path::string_type source;
    std::uint32_t size;
  };
  struct State;
  void Publish();
  std::unique_ptr<State> state_;
  std::vector<QueuedFile> batch_;  // added, not yet handed to the reader
};

// One bzip2 stream of `data`, block size 9.
std::string CompressChunk(std::string_view data);

}  // namespace pack
