#include "decode/bzip2_decode.h"

#include <bzlib.h>

#include <algorithm>
#include <deque>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "decode/ordered_pool.h"
#include "decode/work_memory.h"
#include "formats/bzip2_blocks.h"
#include "formats/stream_starts.h"

namespace decode {
namespace {

constexpr unsigned kReadSize = 5000;  // BZ2_bzRead's piece of output, and what a caller of it writes at once

// bzlib's functions are stdcall on Windows: a guard calls this, not them.
struct StreamGuard {
  bz_stream* stream;
  ~StreamGuard() { BZ2_bzDecompressEnd(stream); }
};

Result Failed(int libraryStatus, unsigned streams, std::uint64_t streamStart) {
  Result result;
  switch (libraryStatus) {
    case BZ_CONFIG_ERROR: result.status = Status::kLibraryConfig; break;
    case BZ_IO_ERROR: result.status = Status::kIoError; break;
    case BZ_DATA_ERROR: result.status = Status::kDataError; break;
    case BZ_MEM_ERROR: result.status = Status::kOutOfMemory; break;
    case BZ_UNEXPECTED_EOF: result.status = Status::kTruncated; break;
    default: result.status = Status::kInternalError; break;
  }
  result.libraryStatus = libraryStatus;
  result.streams = streams;
  result.streamStart = streamStart;
  return result;
}

// The sequential loop from `from`, a stream's start, after `streams` streams.
// It does what BZ2_bzReadOpen, BZ2_bzRead and BZ2_bzReadGetUnused do on a
// file, over the source: how the input is read does not change what the
// library returns, but the 5,000-byte pieces of output do (a damaged block
// leaves what came before it in whole pieces), so they are kept.
Result ReadSequentially(Source& source, Sink& sink, std::uint64_t from, unsigned streams, const Options& options) {
  const std::uint64_t size = source.Size();
  std::vector<char> input(std::max<std::size_t>(options.readPiece, kReadSize));
  char* next = input.data();
  unsigned left = 0;  // unread bytes at `next`: what the library read past a stream's end
  std::uint64_t offset = from;
  char out[kReadSize];
  WorkMemory memory;
  for (;;) {
    const std::uint64_t streamStart = offset - left;
    bz_stream stream = {};
    memory.Attach(stream);
    const int opened = BZ2_bzDecompressInit(&stream, 0, 0);
    if (opened != BZ_OK) return Failed(opened, streams, streamStart);
    const StreamGuard guard{&stream};
    stream.next_in = next;
    stream.avail_in = left;
    int status = BZ_OK;
    while (status == BZ_OK) {
      // One BZ2_bzRead: returns when its piece is full, at the stream's end, or with an error.
      stream.next_out = out;
      stream.avail_out = kReadSize;
      for (;;) {
        if (stream.avail_in == 0 && offset < size) {
          const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), size - offset));
          if (!source.ReadAt(offset, input.data(), count)) return Failed(BZ_IO_ERROR, streams, streamStart);
          offset += count;
          stream.next_in = input.data();
          stream.avail_in = static_cast<unsigned>(count);
        }
        status = BZ2_bzDecompress(&stream);
        if (status != BZ_OK && status != BZ_STREAM_END) break;
        if (status == BZ_OK && offset == size && stream.avail_in == 0 && stream.avail_out > 0) {
          status = BZ_UNEXPECTED_EOF;
          break;
        }
        if (status == BZ_STREAM_END || stream.avail_out == 0) break;
      }
      if (status == BZ_DATA_ERROR_MAGIC) {
        // Bytes after a complete stream that start no new one are ignored.
        if (streams == 0) {
          Result result;
          result.status = Status::kNotBzip2;
          result.libraryStatus = status;
          return result;
        }
        Result result;
        result.streams = streams;
        result.streamStart = streamStart;
        return result;
      }
      if (status != BZ_OK && status != BZ_STREAM_END) return Failed(status, streams, streamStart);
      const std::size_t count = kReadSize - stream.avail_out;
      if (count > 0) {
        if (!sink.Write(out, count)) return Failed(BZ_IO_ERROR, streams, streamStart);
        if (options.progress) options.progress(offset - stream.avail_in);
      }
    }
    ++streams;
    next = stream.next_in;
    left = stream.avail_in;
    if (left == 0 && offset == size) {
      Result result;
      result.streams = streams;
      result.streamStart = size;
      return result;
    }
  }
}

// Where a faster path leaves the input.
struct Ahead {
  std::uint64_t resume = 0;  // where the sequential loop goes on; the input's size when all is written
  unsigned streams = 0;      // streams written
  bool sinkFailed = false;
};

unsigned Workers(const Options& options) {
  if (options.workers > 0) return options.workers;
  return std::min(std::max(std::thread::hardware_concurrency(), 1u), 4u);
}

// --- Whole streams side by side ---------------------------------------
// A package holds many concatenated streams (the builder compresses the
// archive in chunks); each candidate span from one stream start to the next
// is decompressed on its own, and the complete ones are written in order.
// The first span that is not exactly one complete stream ends the path.

struct SpanResult {
  std::vector<char> bytes;
  bool complete = false;
};

// Decompresses `input`; complete only when it is exactly one stream whose output fits `limit`.
SpanResult DecodeSpan(std::vector<char>& input, WorkMemory& memory, std::size_t limit) {
  SpanResult result;
  bz_stream stream = {};
  memory.Attach(stream);
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return result;
  const StreamGuard guard{&stream};
  stream.next_in = input.data();
  stream.avail_in = static_cast<unsigned>(input.size());
  int status = BZ_OK;
  std::size_t filled = 0;
  // The builder's chunks hold 4 MiB: room for that at once.
  result.bytes.resize(std::min(limit, std::size_t{4u << 20} + kReadSize));
  while (status == BZ_OK) {
    if (filled == result.bytes.size()) {
      if (result.bytes.size() >= limit) break;
      result.bytes.resize(std::min(limit, result.bytes.size() * 2));
    }
    stream.next_out = result.bytes.data() + filled;
    stream.avail_out = static_cast<unsigned>(result.bytes.size() - filled);
    status = BZ2_bzDecompress(&stream);
    const std::size_t before = filled;
    filled = result.bytes.size() - stream.avail_out;
    if (status == BZ_OK && filled == before && stream.avail_in == 0) break;  // the input ended inside the stream
  }
  result.complete = status == BZ_STREAM_END && stream.avail_in == 0;
  if (result.complete)
    result.bytes.resize(filled);
  else
    std::vector<char>().swap(result.bytes);
  return result;
}

// The spans are found while they are decompressed: the input is scanned
// piece by piece only as far as the next span to queue needs, so the
// workers start on the first stream at once. With `blocksInstead`, an input
// that is one stream (a single candidate, or a first one too long to hold)
// is left to the block path: `useBlocks` says so, and nothing was written.
Ahead DecodeStreams(Source& source, Sink& sink, const Options& options, bool blocksInstead, bool& useBlocks) {
  Ahead ahead;
  useBlocks = false;
  const std::uint64_t size = source.Size();
  const std::size_t limit = options.maxStreamBytes;
  OrderedPool<std::vector<char>, SpanResult, WorkMemory> pool(
      Workers(options), options.streamsAhead,
      [limit](std::vector<char>& input, WorkMemory& memory) {
        try {
          return DecodeSpan(input, memory, limit);
        } catch (const std::bad_alloc&) {
          return SpanResult{};  // short of memory: the sequential loop needs far less
        }
      });
  StreamStartScanner scanner;
  std::vector<char> piece(options.readPiece);
  std::uint64_t scanned = 0;
  std::size_t pushed = 0;  // spans queued; span k runs from candidate k to candidate k + 1 or the end
  std::deque<std::uint64_t> ends;  // of the spans queued and not yet written
  std::uint64_t writtenEnd = 0;
  bool pushing = true;
  for (;;) {
    if (pushing && !pool.Full()) {
      const std::vector<std::int64_t>& starts = scanner.Starts();
      if (!starts.empty() && starts.front() != 0) {
        pushing = false;  // the input does not begin with a stream
        continue;
      }
      if (pushed < starts.size() && (pushed + 1 < starts.size() || scanned == size)) {
        const std::uint64_t start = static_cast<std::uint64_t>(starts[pushed]);
        const std::uint64_t end = pushed + 1 < starts.size() ? static_cast<std::uint64_t>(starts[pushed + 1]) : size;
        if (blocksInstead && pushed == 0 && starts.size() == 1) {
          useBlocks = true;
          return ahead;
        }
        std::vector<char> input(static_cast<std::size_t>(std::min<std::uint64_t>(end - start, limit)));
        if (end - start > limit || !source.ReadAt(start, input.data(), input.size())) {
          pushing = false;
          continue;
        }
        pool.Push(std::move(input));
        ends.push_back(end);
        ++pushed;
        continue;
      }
      if (scanned == size || (starts.empty() && scanned >= StreamStartScanner::kHeaderSize)) {
        pushing = false;  // nothing more to queue
        continue;
      }
      if (pushed < starts.size() && scanned - static_cast<std::uint64_t>(starts[pushed]) > limit) {
        // The next span is too long to hold; a first one, in a single stream, goes by blocks.
        useBlocks = blocksInstead && pushed == 0;
        pushing = false;
        if (useBlocks) return ahead;
        continue;
      }
      const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size - scanned));
      if (!source.ReadAt(scanned, piece.data(), count)) {
        pushing = false;  // the sequential loop meets the failure
        continue;
      }
      scanner.Feed(reinterpret_cast<const unsigned char*>(piece.data()), count);
      scanned += count;
      continue;
    }
    if (ends.empty()) break;
    const std::optional<SpanResult> done = pool.Pop();
    if (!done || !done->complete) break;
    if (!sink.Write(done->bytes.data(), done->bytes.size())) {
      ahead.sinkFailed = true;
      break;
    }
    ++ahead.streams;
    writtenEnd = ends.front();
    ends.pop_front();
    if (options.progress) options.progress(writtenEnd);
  }
  ahead.resume = writtenEnd;
  return ahead;
}

// --- The blocks of one stream side by side -----------------------------
// A payload that is a single stream (as other packing tools and older
// packages write it) is cut at its block magics; each block, re-wrapped as
// a stream of its own, is decompressed by a worker, and the results are
// written in order. Anything irregular (no block where the first one
// belongs, a block that does not decompress, a block too long, no end of
// stream, a combined CRC that disagrees) empties the sink again and hands
// the whole input to the sequential loop.

enum class BlockOutcome { kDone, kTooLarge, kFailed };

struct BlockResult {
  std::string wrapped;  // kept for the writer when the block is too large to hold
  std::vector<char> out;
  BlockOutcome outcome = BlockOutcome::kFailed;
};

// Decompresses a re-wrapped block into `out`, up to `cap` bytes; with
// `sink`, writes it there instead, whatever its size (kFailed also when a
// write fails; `sinkFailed` says so).
BlockOutcome DecodeBlock(const std::string& wrapped, WorkMemory& memory, std::size_t cap, std::vector<char>& out,
                         Sink* sink, bool& sinkFailed) {
  bz_stream stream = {};
  memory.Attach(stream);
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return BlockOutcome::kFailed;
  const StreamGuard guard{&stream};
  stream.next_in = const_cast<char*>(wrapped.data());
  stream.avail_in = static_cast<unsigned>(wrapped.size());
  std::vector<char> piece(sink != nullptr ? 1u << 16 : 0);
  for (;;) {
    char* target;
    std::size_t room;
    if (sink != nullptr) {
      target = piece.data();
      room = piece.size();
    } else {
      if (out.size() >= cap) return BlockOutcome::kTooLarge;
      const std::size_t filled = out.size();
      out.resize(std::min(cap, filled + (1u << 20)));
      target = out.data() + filled;
      room = out.size() - filled;
    }
    stream.next_out = target;
    stream.avail_out = static_cast<unsigned>(room);
    const int status = BZ2_bzDecompress(&stream);
    const std::size_t produced = room - stream.avail_out;
    if (sink != nullptr) {
      if (produced > 0 && !sink->Write(piece.data(), produced)) {
        sinkFailed = true;
        return BlockOutcome::kFailed;
      }
    } else {
      out.resize(out.size() - room + produced);
    }
    if (status == BZ_STREAM_END) return stream.avail_in == 0 ? BlockOutcome::kDone : BlockOutcome::kFailed;
    if (status != BZ_OK || (produced == 0 && stream.avail_in == 0)) return BlockOutcome::kFailed;
  }
}

// A worker's part: the block decompressed into memory, or why not.
BlockResult DecodeQueuedBlock(std::string& wrapped, WorkMemory& memory, std::size_t cap) {
  BlockResult result;
  bool unused = false;
  try {
    result.outcome = DecodeBlock(wrapped, memory, cap, result.out, nullptr, unused);
  } catch (const std::bad_alloc&) {
    result.outcome = BlockOutcome::kFailed;  // short of memory: the sequential loop needs far less
  }
  if (result.outcome != BlockOutcome::kDone) std::vector<char>().swap(result.out);
  if (result.outcome == BlockOutcome::kTooLarge) result.wrapped = std::move(wrapped);
  return result;
}

Ahead DecodeBlocks(Source& source, Sink& sink, const Options& options) {
  Ahead ahead;
  const std::uint64_t size = source.Size();
  const std::size_t cap = options.maxBlockOutput;
  const unsigned workers = Workers(options);
  OrderedPool<std::string, BlockResult, WorkMemory> pool(workers, workers + 1,
                                                         [cap](std::string& wrapped, WorkMemory& memory) {
                                                           return DecodeQueuedBlock(wrapped, memory, cap);
                                                         });
  bool irregular = false;
  WorkMemory writerMemory;
  std::uint64_t writtenThrough = 0;  // input byte up to which the blocks written reach
  std::deque<std::uint64_t> blockEnds;  // of the blocks pushed and not yet written
  // Writes the oldest block; false when it is irregular or the sink failed.
  auto writeOne = [&] {
    const std::optional<BlockResult> done = pool.Pop();
    if (!done) return false;
    std::vector<char> none;
    if (done->outcome == BlockOutcome::kTooLarge) {
      if (DecodeBlock(done->wrapped, writerMemory, 0, none, &sink, ahead.sinkFailed) != BlockOutcome::kDone)
        return false;
    } else if (done->outcome != BlockOutcome::kDone) {
      return false;
    } else if (!sink.Write(done->out.data(), done->out.size())) {
      ahead.sinkFailed = true;
      return false;
    }
    writtenThrough = blockEnds.front();
    blockEnds.pop_front();
    if (options.progress) options.progress(writtenThrough);
    return true;
  };

  bzip2_blocks::MarkerScanner scanner;
  std::vector<unsigned char> window;  // input bytes from `windowStart` on
  std::uint64_t windowStart = 0;
  std::uint64_t readOffset = 0;
  std::optional<std::uint64_t> blockStart;  // bit of the block being collected
  std::optional<std::uint64_t> endBit;      // bit of the end magic
  std::uint32_t combined = 0;
  char level = 0;
  std::vector<unsigned char> piece(options.readPiece);
  auto readMore = [&] {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size - readOffset));
    if (!source.ReadAt(readOffset, reinterpret_cast<char*>(piece.data()), count)) {
      irregular = true;  // the sequential loop meets the failure
      return;
    }
    readOffset += count;
    window.insert(window.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(count));
    scanner.Feed(piece.data(), count, readOffset == size);
  };
  // Bit positions in the input, as positions in the window.
  auto local = [&](std::uint64_t bit) { return bit - windowStart * 8; };

  while (!irregular && !ahead.sinkFailed && !endBit) {
    if (readOffset == size) {
      irregular = true;  // no end of stream: the data is truncated
      break;
    }
    readMore();
    if (irregular) break;
    if (level == 0) {
      if (window.size() < 4 || window[0] != 'B' || window[1] != 'Z' || window[2] != 'h' || window[3] < '1' ||
          window[3] > '9') {
        irregular = true;
        break;
      }
      level = static_cast<char>(window[3]);
    }
    std::vector<bzip2_blocks::Marker>& found = scanner.Found();
    std::size_t taken = 0;
    for (; taken < found.size() && !irregular && !ahead.sinkFailed && !endBit; ++taken) {
      const bzip2_blocks::Marker marker = found[taken];
      if (!blockStart) {
        if (marker.bit != 32 || marker.end) irregular = true;
        blockStart = marker.bit;
        continue;
      }
      if (marker.bit < *blockStart + 80) continue;  // inside the block's own magic and CRC
      // Room for the next block: write what is finished first.
      while (pool.Full() && !irregular && !ahead.sinkFailed) irregular = !writeOne();
      if (irregular || ahead.sinkFailed) break;
      const std::uint64_t begin = *blockStart;
      // The window holds the block whole: it reaches at least to the marker.
      std::string wrapped = bzip2_blocks::WrapBlock(window.data(), local(begin), local(marker.bit), level);
      combined = bzip2_blocks::CombineCrc(combined, bzip2_blocks::ReadBits(window.data(), local(begin) + 48, 32));
      blockEnds.push_back(marker.bit / 8);
      pool.Push(std::move(wrapped));
      if (marker.end)
        endBit = marker.bit;
      else
        blockStart = marker.bit;
    }
    found.erase(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(taken));
    // Keep the window from the block being collected on.
    if (blockStart && !endBit) {
      const std::uint64_t keepFrom = *blockStart / 8;
      if (keepFrom > windowStart) {
        window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(keepFrom - windowStart));
        windowStart = keepFrom;
      }
      if (window.size() > options.maxBlockInput + options.readPiece) irregular = true;
    }
  }
  // The stream's CRC follows its end magic.
  std::uint64_t streamEnd = 0;
  if (endBit && !irregular && !ahead.sinkFailed) {
    while ((*endBit + 80 + 7) / 8 > windowStart + window.size() && readOffset < size && !irregular) readMore();
    streamEnd = (*endBit + 80 + 7) / 8;
    if (streamEnd > windowStart + window.size())
      irregular = true;
    else if (bzip2_blocks::ReadBits(window.data(), local(*endBit) + 48, 32) != combined)
      irregular = true;
  }
  while (!blockEnds.empty() && !irregular && !ahead.sinkFailed) irregular = !writeOne();
  if (ahead.sinkFailed) return ahead;
  if (irregular) {
    ahead.resume = 0;
    return ahead;
  }
  if (options.progress) options.progress(streamEnd);
  ahead.streams = 1;
  ahead.resume = streamEnd;
  return ahead;
}

// The caller's sink, noting when it throws.
class WatchedSink : public Sink {
 public:
  WatchedSink(Sink& sink, bool& threw) : sink_(sink), threw_(threw) {}
  bool Write(const char* bytes, std::size_t size) override {
    try {
      return sink_.Write(bytes, size);
    } catch (...) {
      threw_ = true;
      throw;
    }
  }
  bool Empty() override { return sink_.Empty(); }

 private:
  Sink& sink_;
  bool& threw_;
};

}  // namespace

Result Decode(Source& source, Sink& sink, const Options& options) {
  Path path = options.path;
  if (path == Path::kAuto && Workers(options) < 2) path = Path::kSequential;
  Ahead ahead;
  bool emptied = false;
  if (path != Path::kSequential) {
    // Short of memory or of threads, the faster paths hand over to the
    // sequential loop, which needs far less and starts over. What the
    // caller's sink or progress callback throws is no such shortage: it
    // passes through, and nothing is written again.
    bool callerThrew = false;
    WatchedSink watched(sink, callerThrew);
    Options watchedOptions = options;
    if (options.progress)
      watchedOptions.progress = [&options, &callerThrew](std::uint64_t consumed) {
        try {
          options.progress(consumed);
        } catch (...) {
          callerThrew = true;
          throw;
        }
      };
    bool shortOfResources = false;
    try {
      if (path != Path::kBlocks) {
        // Several streams side by side; a single one block by block.
        bool useBlocks = false;
        ahead = DecodeStreams(source, watched, watchedOptions, path == Path::kAuto, useBlocks);
        if (useBlocks) path = Path::kBlocks;
      }
      if (path == Path::kBlocks) {
        ahead = DecodeBlocks(source, watched, watchedOptions);
        emptied = !ahead.sinkFailed && ahead.streams == 0;
      }
    } catch (const std::bad_alloc&) {
      if (callerThrew) throw;
      shortOfResources = true;
    } catch (const std::system_error&) {
      if (callerThrew) throw;
      shortOfResources = true;
    }
    if (shortOfResources) {
      ahead = Ahead{};
      emptied = true;
    }
  }
  if (ahead.sinkFailed) return Failed(BZ_IO_ERROR, ahead.streams, ahead.resume);
  if (emptied && !sink.Empty()) return Failed(BZ_IO_ERROR, 0, 0);
  if (ahead.streams > 0 && ahead.resume == source.Size()) {
    Result result;
    result.streams = ahead.streams;
    result.streamStart = ahead.resume;
    return result;
  }
  return ReadSequentially(source, sink, ahead.resume, ahead.streams, options);
}

}  // namespace decode
