#pragma once
// Compresses the payload archive into concatenated bzip2 streams (block size
// 9), one per fixed-size chunk of the archive, so that chunks can be
// compressed in parallel. Chunk boundaries do not depend on the number of
// jobs: the output is the same for any --jobs.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "payload.h"

namespace pack {

inline constexpr std::size_t kChunkSize = 4 * 1024 * 1024;

// Receives each compressed stream in archive order.
using StreamSink = std::function<void(std::string_view compressed)>;
// Told how many archive bytes have been compressed so far, of how many.
using ProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Size of the archive: count, table and every file's data.
std::uint64_t ArchiveSize(const Payload& payload);

// Builds the archive of `payload` and compresses it with `jobs` threads,
// while one more thread reads the files ahead of them; streams reach
// `sink` in archive order, on the calling thread. Throws Failure when a
// file cannot be read or changed size.
void CompressArchive(const Payload& payload, unsigned jobs, const StreamSink& sink, const ProgressFn& progress);

// One bzip2 stream of `data`, block size 9.
std::string CompressChunk(std::string_view data);

}  // namespace pack
