#pragma once
// The decoder's three paths, for Decode to choose from (bzip2_decode.h):
// libbzip2's sequential reading loop, whole streams side by side, and the
// blocks of one stream side by side. Internal to decode/.

#include <bzlib.h>

#include <algorithm>
#include <cstdint>
#include <thread>

#include "decode/bzip2_decode.h"

namespace decode::paths {

inline constexpr unsigned kReadSize = 5000;  // BZ2_bzRead's piece of output, and what a caller of it writes at once

// bzlib's functions are stdcall on Windows: a guard calls this, not them.
struct StreamGuard {
  bz_stream* stream;
  ~StreamGuard() { BZ2_bzDecompressEnd(stream); }
};

// The verdict for libbzip2's `libraryStatus`, met in the stream that
// starts at `streamStart` after `streams` complete ones.
Result Failed(int libraryStatus, unsigned streams, std::uint64_t streamStart);

// The sequential loop from `from`, a stream's start, after `streams`
// streams: what BZ2_bzReadOpen, BZ2_bzRead and BZ2_bzReadGetUnused do on a
// file, over the source, with the same 5,000-byte pieces of output.
Result ReadSequentially(Source& source, Sink& sink, std::uint64_t from, unsigned streams, const Options& options);

// Where a faster path leaves the input.
struct Ahead {
  std::uint64_t resume = 0;  // where the sequential loop goes on; the input's size when all is written
  unsigned streams = 0;      // streams written
  bool sinkFailed = false;
};

// Threads of the faster paths: as the options say, else one per processor, at most 4.
inline unsigned Workers(const Options& options) {
  if (options.workers > 0) return options.workers;
  return std::min(std::max(std::thread::hardware_concurrency(), 1u), 4u);
}

// Whole streams side by side, written in order up to the first span that
// is not exactly one complete stream. With `blocksInstead`, an input that
// is one stream (a single candidate, or a first one too long to hold) is
// left to the block path: `useBlocks` says so, and nothing was written.
Ahead DecodeStreams(Source& source, Sink& sink, const Options& options, bool blocksInstead, bool& useBlocks);

// The blocks of the first stream side by side. At anything irregular the
// result has no stream and resumes at 0: the sink must be emptied and the
// sequential loop take the whole input.
Ahead DecodeBlocks(Source& source, Sink& sink, const Options& options);

}  // namespace decode::paths
