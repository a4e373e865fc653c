// The blocks of one stream side by side. A payload that is a single stream
// (as other packing tools and older packages write it) is cut at its block
// magics; each block, re-wrapped as a stream of its own, is decompressed by
// a worker, and the results are written in order. Anything irregular (no
// block where the first one belongs, a block that does not decompress, a
// block too long, no end of stream, a combined CRC that disagrees) empties
// the sink again and hands the whole input to the sequential loop.

#include <bzlib.h>

#include <algorithm>
#include <deque>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "decode/ordered_pool.h"
#include "decode/paths.h"
#include "decode/work_memory.h"
#include "formats/bzip2_blocks.h"

namespace decode::paths {
namespace {

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

}  // namespace

Ahead DecodeBlocks(Source& source, Sink& sink, const Options& options) {
  return BlocksPath(source, sink, options).Run();
}

}  // namespace decode::paths
