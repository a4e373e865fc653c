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
// workers start on the first stream at once.
class StreamsPath {
 public:
  StreamsPath(Source& source, Sink& sink, const Options& options)
      : source_(source),
        sink_(sink),
        options_(options),
        size_(source.Size()),
        pool_(Workers(options), options.streamsAhead,
              [limit = options.maxStreamBytes](std::vector<char>& input, WorkMemory& memory) {
                try {
                  return DecodeSpan(input, memory, limit);
                } catch (const std::bad_alloc&) {
                  return SpanResult{};  // short of memory: the sequential loop needs far less
                }
              }),
        piece_(options.readPiece) {}

  // With `blocksInstead`, an input that is one stream (a single candidate,
  // or a first one too long to hold) is left to the block path: `useBlocks`
  // says so, and nothing was written.
  Ahead Run(bool blocksInstead, bool& useBlocks) {
    useBlocks = false;
    for (;;) {
      if (queueing_ && !pool_.Full()) {
        if (QueueNext(blocksInstead)) {
          useBlocks = true;
          return ahead_;
        }
      } else if (ends_.empty() || !WriteOldest()) {
        break;
      }
    }
    ahead_.resume = writtenEnd_;
    return ahead_;
  }

 private:
  // One step towards the next span to queue: queues it, scans more input,
  // or ends the queueing. True when the block path should take the input.
  bool QueueNext(bool blocksInstead) {
    const std::vector<std::int64_t>& starts = scanner_.Starts();
    if (!starts.empty() && starts.front() != 0) {
      queueing_ = false;  // the input does not begin with a stream
      return false;
    }
    // Span k runs from candidate k to candidate k + 1 or the end.
    if (queued_ < starts.size() && (queued_ + 1 < starts.size() || scanned_ == size_)) {
      if (blocksInstead && queued_ == 0 && starts.size() == 1) return true;
      const std::uint64_t start = static_cast<std::uint64_t>(starts[queued_]);
      Queue(start, queued_ + 1 < starts.size() ? static_cast<std::uint64_t>(starts[queued_ + 1]) : size_);
      return false;
    }
    if (scanned_ == size_ || (starts.empty() && scanned_ >= StreamStartScanner::kHeaderSize)) {
      queueing_ = false;  // nothing more to queue
      return false;
    }
    if (queued_ < starts.size() && scanned_ - static_cast<std::uint64_t>(starts[queued_]) > options_.maxStreamBytes) {
      // The next span is too long to hold; a first one, in a single stream, goes by blocks.
      queueing_ = false;
      return blocksInstead && queued_ == 0;
    }
    ScanMore();
    return false;
  }

  void Queue(std::uint64_t start, std::uint64_t end) {
    const std::size_t limit = options_.maxStreamBytes;
    std::vector<char> input(static_cast<std::size_t>(std::min<std::uint64_t>(end - start, limit)));
    if (end - start > limit || !source_.ReadAt(start, input.data(), input.size())) {
      queueing_ = false;
      return;
    }
    pool_.Push(std::move(input));
    ends_.push_back(end);
    ++queued_;
  }

  void ScanMore() {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(piece_.size(), size_ - scanned_));
    if (!source_.ReadAt(scanned_, piece_.data(), count)) {
      queueing_ = false;  // the sequential loop meets the failure
      return;
    }
    scanner_.Feed(reinterpret_cast<const unsigned char*>(piece_.data()), count);
    scanned_ += count;
  }

  // Writes the oldest span; false when it is not one complete stream or the sink failed.
  bool WriteOldest() {
    const std::optional<SpanResult> done = pool_.Pop();
    if (!done || !done->complete) return false;
    if (!sink_.Write(done->bytes.data(), done->bytes.size())) {
      ahead_.sinkFailed = true;
      return false;
    }
    ++ahead_.streams;
    writtenEnd_ = ends_.front();
    ends_.pop_front();
    if (options_.progress) options_.progress(writtenEnd_);
    return true;
  }

  Source& source_;
  Sink& sink_;
  const Options& options_;
  const std::uint64_t size_;
  OrderedPool<std::vector<char>, SpanResult, WorkMemory> pool_;
  StreamStartScanner scanner_;
  std::vector<char> piece_;
  std::uint64_t scanned_ = 0;
  std::size_t queued_ = 0;          // spans queued
  std::deque<std::uint64_t> ends_;  // of the spans queued and not yet written
  std::uint64_t writtenEnd_ = 0;
  bool queueing_ = true;
  Ahead ahead_;
};

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

// The block path over one stream: reads the input, queues each block for
// the workers as soon as the next marker closes it, and writes the results
// in order.
class BlocksPath {
 public:
  BlocksPath(Source& source, Sink& sink, const Options& options)
      : source_(source),
        sink_(sink),
        options_(options),
        size_(source.Size()),
        pool_(Workers(options), Workers(options) + 1,
              [cap = options.maxBlockOutput](std::string& wrapped, WorkMemory& memory) {
                return DecodeQueuedBlock(wrapped, memory, cap);
              }),
        piece_(options.readPiece) {}

  Ahead Run() {
    while (Going() && !endBit_) {
      if (readOffset_ == size_) {
        irregular_ = true;  // no end of stream: the data is truncated
        break;
      }
      ReadMore();
      if (!Going() || !ReadHeader()) break;
      QueueClosedBlocks();
      if (blockStart_ && !endBit_) KeepWindowFromBlock();
    }
    const std::uint64_t streamEnd = endBit_ && Going() ? CheckStreamCrc() : 0;
    while (!blockEnds_.empty() && Going()) irregular_ = !WriteOldest();
    if (ahead_.sinkFailed) return ahead_;
    if (irregular_) {
      ahead_.resume = 0;
      return ahead_;
    }
    if (options_.progress) options_.progress(streamEnd);
    ahead_.streams = 1;
    ahead_.resume = streamEnd;
    return ahead_;
  }

 private:
  bool Going() const { return !irregular_ && !ahead_.sinkFailed; }

  // Bit positions in the input, as positions in the window.
  std::uint64_t Local(std::uint64_t bit) const { return bit - windowStart_ * 8; }

  void ReadMore() {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(piece_.size(), size_ - readOffset_));
    if (!source_.ReadAt(readOffset_, reinterpret_cast<char*>(piece_.data()), count)) {
      irregular_ = true;  // the sequential loop meets the failure
      return;
    }
    readOffset_ += count;
    window_.insert(window_.end(), piece_.begin(), piece_.begin() + static_cast<std::ptrdiff_t>(count));
    scanner_.Feed(piece_.data(), count, readOffset_ == size_);
  }

  // The stream header's block size, once; false (irregular) when there is none.
  bool ReadHeader() {
    if (level_ != 0) return true;
    if (window_.size() < 4 || window_[0] != 'B' || window_[1] != 'Z' || window_[2] != 'h' || window_[3] < '1' ||
        window_[3] > '9') {
      irregular_ = true;
      return false;
    }
    level_ = static_cast<char>(window_[3]);
    return true;
  }

  // Queues each block that a marker found since closes: the first marker
  // opens the first block, each later one (past the block's own magic and
  // CRC) ends the block before it, the end magic the last.
  void QueueClosedBlocks() {
    std::vector<bzip2_blocks::Marker>& found = scanner_.Found();
    std::size_t taken = 0;
    for (; taken < found.size() && Going() && !endBit_; ++taken) {
      const bzip2_blocks::Marker marker = found[taken];
      if (!blockStart_) {
        if (marker.bit != 32 || marker.end) irregular_ = true;
        blockStart_ = marker.bit;
        continue;
      }
      if (marker.bit < *blockStart_ + 80) continue;  // inside the block's own magic and CRC
      // Room for the next block: write what is finished first.
      while (pool_.Full() && Going()) irregular_ = !WriteOldest();
      if (!Going()) break;
      const std::uint64_t begin = *blockStart_;
      // The window holds the block whole: it reaches at least to the marker.
      std::string wrapped = bzip2_blocks::WrapBlock(window_.data(), Local(begin), Local(marker.bit), level_);
      combined_ = bzip2_blocks::CombineCrc(combined_, bzip2_blocks::ReadBits(window_.data(), Local(begin) + 48, 32));
      blockEnds_.push_back(marker.bit / 8);
      pool_.Push(std::move(wrapped));
      if (marker.end)
        endBit_ = marker.bit;
      else
        blockStart_ = marker.bit;
    }
    found.erase(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(taken));
  }

  // Drops the input before the block being collected; a block longer than
  // the limit is irregular.
  void KeepWindowFromBlock() {
    const std::uint64_t keepFrom = *blockStart_ / 8;
    if (keepFrom > windowStart_) {
      window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(keepFrom - windowStart_));
      windowStart_ = keepFrom;
    }
    if (window_.size() > options_.maxBlockInput + options_.readPiece) irregular_ = true;
  }

  // The stream's CRC follows its end magic: it must combine the blocks'.
  // Returns the input offset after it.
  std::uint64_t CheckStreamCrc() {
    while ((*endBit_ + 80 + 7) / 8 > windowStart_ + window_.size() && readOffset_ < size_ && !irregular_) ReadMore();
    const std::uint64_t streamEnd = (*endBit_ + 80 + 7) / 8;
    if (streamEnd > windowStart_ + window_.size())
      irregular_ = true;
    else if (bzip2_blocks::ReadBits(window_.data(), Local(*endBit_) + 48, 32) != combined_)
      irregular_ = true;
    return streamEnd;
  }

  // Writes the oldest block; false when it is irregular or the sink failed.
  bool WriteOldest() {
    const std::optional<BlockResult> done = pool_.Pop();
    if (!done) return false;
    std::vector<char> none;
    if (done->outcome == BlockOutcome::kTooLarge) {
      if (DecodeBlock(done->wrapped, writerMemory_, 0, none, &sink_, ahead_.sinkFailed) != BlockOutcome::kDone)
        return false;
    } else if (done->outcome != BlockOutcome::kDone) {
      return false;
    } else if (!sink_.Write(done->out.data(), done->out.size())) {
      ahead_.sinkFailed = true;
      return false;
    }
    const std::uint64_t writtenThrough = blockEnds_.front();  // input byte up to which the blocks written reach
    blockEnds_.pop_front();
    if (options_.progress) options_.progress(writtenThrough);
    return true;
  }

  Source& source_;
  Sink& sink_;
  const Options& options_;
  const std::uint64_t size_;
  OrderedPool<std::string, BlockResult, WorkMemory> pool_;
  WorkMemory writerMemory_;            // for a block too large to hold, decompressed by the writer
  std::deque<std::uint64_t> blockEnds_;  // of the blocks queued and not yet written
  bzip2_blocks::MarkerScanner scanner_;
  std::vector<unsigned char> piece_;
  std::vector<unsigned char> window_;  // input bytes from `windowStart_` on
  std::uint64_t windowStart_ = 0;
  std::uint64_t readOffset_ = 0;
  std::optional<std::uint64_t> blockStart_;  // bit of the block being collected
  std::optional<std::uint64_t> endBit_;      // bit of the end magic
  std::uint32_t combined_ = 0;
  char level_ = 0;
  bool irregular_ = false;
  Ahead ahead_;
};

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
        ahead = StreamsPath(source, watched, watchedOptions).Run(path == Path::kAuto, useBlocks);
        if (useBlocks) path = Path::kBlocks;
      }
      if (path == Path::kBlocks) {
        ahead = BlocksPath(source, watched, watchedOptions).Run();
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
