// Whole streams side by side. A package holds many concatenated streams (the
// builder compresses the archive in chunks); each candidate span from one
// stream start to the next is decompressed on its own, and the complete ones
// are written in order. The first span that is not exactly one complete
// stream ends the path.

#include <bzlib.h>

#include <algorithm>
#include <deque>
#include <new>
#include <optional>
#include <vector>

#include "decode/ordered_pool.h"
#include "decode/paths.h"
#include "decode/work_memory.h"
#include "formats/stream_starts.h"

namespace decode::paths {
namespace {

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

}  // namespace

Ahead DecodeStreams(Source& source, Sink& sink, const Options& options, bool blocksInstead, bool& useBlocks) {
  return StreamsPath(source, sink, options).Run(blocksInstead, useBlocks);
}

}  // namespace decode::paths
