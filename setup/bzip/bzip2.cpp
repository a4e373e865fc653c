#include "bzip/bzip2.h"

#include <bzlib.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "formats/bzip2_blocks.h"
#include "formats/stream_starts.h"

namespace {

constexpr int kBufferSize = 5000;  // output block and carry-over (BZ_MAX_UNUSED)

// The failure of the reading or writing call just made. A full disk is
// reported as such whatever errno the C runtime left.
DecompressResult IoFailure() {
  int error = errno;
  const DWORD windowsError = GetLastError();
  if (windowsError == ERROR_DISK_FULL || windowsError == ERROR_HANDLE_DISK_FULL) error = ENOSPC;
  DecompressResult result;
  result.status = DecompressStatus::kIoError;
  result.errorNumber = error;
  return result;
}

DecompressResult Internal(const char* where) {
  DecompressResult result;
  result.status = DecompressStatus::kInternalError;
  result.where = where;
  return result;
}

// Writes `size` bytes straight to the file under `output`, its buffer
// flushed first, past short writes; false when a write fails. The paths
// that decompress side by side write this way and, when it fails, hand the
// stream to the one-at-a-time loop, which meets the failure as it always has.
bool WriteDirect(std::FILE* output, const char* bytes, std::size_t size) {
  if (std::fflush(output) != 0) return false;
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output)));
  while (size > 0) {
    DWORD done = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &done, nullptr) ||
        done == 0)
      return false;
    bytes += done;
    size -= done;
  }
  return true;
}

// Cuts the output back to `size` bytes and goes on writing there.
bool CutOutput(std::FILE* output, std::int64_t size) {
  std::clearerr(output);
  if (std::fflush(output) != 0) return false;
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output)));
  LARGE_INTEGER at;
  at.QuadPart = size;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file) && _fseeki64(output, size, SEEK_SET) == 0;
}

// What a failing library status means; BZ_DATA_ERROR_MAGIC is the caller's to judge.
DecompressResult FromLibraryStatus(int status) {
  DecompressResult result;
  switch (status) {
    case BZ_CONFIG_ERROR: result.status = DecompressStatus::kLibraryConfig; break;
    case BZ_IO_ERROR: return IoFailure();
    case BZ_DATA_ERROR: result.status = DecompressStatus::kDataError; break;
    case BZ_MEM_ERROR: result.status = DecompressStatus::kOutOfMemory; break;
    case BZ_UNEXPECTED_EOF: result.status = DecompressStatus::kTruncated; break;
    default: return Internal("decompress:unexpected error");
  }
  return result;
}

// Decompressing streams side by side. A package holds many concatenated
// streams (the builder compresses the archive in chunks); each one can be
// decompressed on its own, from its own handle on the file, while the
// finished ones are written in order. Anything irregular (a candidate start
// that is no stream, a stream that does not end exactly where the next one
// starts, any library error, an output too large to hold) stops this path
// at that stream, and the one-stream-at-a-time loop takes over from there,
// so every failure is met exactly as that loop meets it.

constexpr std::size_t kMaxSpanOutput = 32u << 20;  // bounds memory whatever the payload
constexpr std::size_t kSpanOutputGuess = (4u << 20) + kBufferSize;  // the builder's chunks hold 4 MiB
constexpr std::size_t kSpansAhead = 3;             // spans decompressed before their turn to be written
constexpr std::size_t kScanBlock = 64u << 10;

struct Span {
  std::int64_t start;
  std::int64_t end;  // the next candidate's start, or the end of the file
};

// Candidate spans of the whole input; leaves the input at its start.
std::vector<Span> FindSpans(std::FILE* input) {
  StreamStartScanner scanner;
  std::vector<unsigned char> block(kScanBlock);
  std::size_t count;
  while ((count = std::fread(block.data(), 1, block.size(), input)) > 0) scanner.Feed(block.data(), count);
  std::vector<Span> spans;
  const bool readAll = !std::ferror(input);
  std::clearerr(input);
  if (_fseeki64(input, 0, SEEK_SET) != 0 || !readAll) return spans;
  const std::vector<std::int64_t>& starts = scanner.Starts();
  for (std::size_t i = 0; i < starts.size(); ++i)
    spans.push_back({starts[i], i + 1 < starts.size() ? starts[i + 1] : scanner.Size()});
  return spans;
}

// Keeps the decompressor's large tables between streams of one worker, so
// that each stream does not map and fault in fresh memory for them.
class TableCache {
 public:
  ~TableCache() {
    for (Block& block : blocks_) std::free(block.memory);
  }
  static void* Allocate(void* self, int count, int size) {
    return static_cast<TableCache*>(self)->Take(static_cast<std::size_t>(count) * static_cast<std::size_t>(size));
  }
  static void Release(void* self, void* memory) { static_cast<TableCache*>(self)->Give(memory); }

 private:
  struct Block {
    void* memory;
    std::size_t size;
    bool inUse;
  };
  void* Take(std::size_t size) {
    for (Block& block : blocks_)
      if (!block.inUse && block.size == size) {
        block.inUse = true;
        return block.memory;
      }
    void* memory = std::malloc(size);
    if (memory != nullptr) blocks_.push_back({memory, size, true});
    return memory;
  }
  void Give(void* memory) {
    for (Block& block : blocks_)
      if (block.memory == memory) block.inUse = false;
  }
  std::vector<Block> blocks_;
};

// Decompresses `span`, read through a handle of its own on `file`; true only
// when the span is exactly one complete stream whose output fits the bound.
bool DecompressSpan(HANDLE file, const Span& span, std::vector<char>& input, TableCache& tables,
                    std::vector<char>& bytes) {
  const std::int64_t length = span.end - span.start;
  if (length <= 0 || static_cast<std::uint64_t>(length) > kMaxSpanOutput) return false;
  try {
    input.resize(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const HANDLE own = ReOpenFile(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (own == INVALID_HANDLE_VALUE) return false;
  std::size_t got = 0;
  bool readFailed = false;
  while (got < input.size() && !readFailed) {
    OVERLAPPED at = {};
    const std::uint64_t offset = static_cast<std::uint64_t>(span.start) + got;
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    readFailed = !ReadFile(own, input.data() + got, static_cast<DWORD>(input.size() - got), &done, &at) || done == 0;
    got += done;
  }
  CloseHandle(own);
  if (readFailed) return false;

  bz_stream stream = {};
  stream.bzalloc = TableCache::Allocate;
  stream.bzfree = TableCache::Release;
  stream.opaque = &tables;
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return false;
  stream.next_in = input.data();
  stream.avail_in = static_cast<unsigned>(input.size());
  int status = BZ_OK;
  std::size_t filled = 0;
  try {
    bytes.resize(kSpanOutputGuess);
    while (status == BZ_OK) {
      if (filled == bytes.size()) {
        if (bytes.size() >= kMaxSpanOutput) break;
        bytes.resize(std::min(kMaxSpanOutput, bytes.size() * 2));
      }
      stream.next_out = bytes.data() + filled;
      stream.avail_out = static_cast<unsigned>(bytes.size() - filled);
      status = BZ2_bzDecompress(&stream);
      const std::size_t before = filled;
      filled = bytes.size() - stream.avail_out;
      if (status == BZ_OK && filled == before && stream.avail_in == 0) break;  // the input ended inside the stream
    }
  } catch (const std::bad_alloc&) {
    // Short of memory: the one-at-a-time loop, which needs far less, goes on from here.
    status = BZ_MEM_ERROR;
  }
  const bool complete = status == BZ_STREAM_END && stream.avail_in == 0;
  BZ2_bzDecompressEnd(&stream);
  if (complete)
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(filled), bytes.end());
  else
    std::vector<char>().swap(bytes);
  return complete;
}

// Decompressing one stream's blocks side by side. A payload that is a
// single stream (as other packing tools and older packages write it) is cut
// at its block magics; each block, re-wrapped as a stream of its own, is
// decompressed by a worker, and the results are written in order. A block
// whose output is too large to hold is decompressed by the writer itself,
// straight into the output, when its turn comes. Anything irregular (no
// block where the first one belongs, a block that does not decompress, a
// block too long, no end of stream, a combined CRC that disagrees) empties
// the output again and hands the whole input to the one-stream-at-a-time
// loop, so that every failure is met exactly as that loop meets it.

constexpr std::size_t kReadPiece = 1u << 20;
constexpr std::size_t kMaxBlockInput = 4u << 20;   // a block of level 9 compresses to about 1 MB at most
constexpr std::size_t kMaxBlockOutput = 4u << 20;  // more (long runs of one byte) goes straight to the file

enum class BlockOutcome { kDone, kTooLarge, kFailed };

// Decompresses a re-wrapped block into `out`, up to `cap` bytes; with
// `file`, writes it there instead, whatever its size (kFailed also when a
// write fails; `writeFailed` says so).
BlockOutcome DecodeBlock(const std::string& wrapped, std::vector<char>& out, std::size_t cap, std::FILE* file,
                         TableCache& tables, bool& writeFailed) {
  bz_stream stream = {};
  stream.bzalloc = TableCache::Allocate;
  stream.bzfree = TableCache::Release;
  stream.opaque = &tables;
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return BlockOutcome::kFailed;
  stream.next_in = const_cast<char*>(wrapped.data());
  stream.avail_in = static_cast<unsigned>(wrapped.size());
  BlockOutcome outcome = BlockOutcome::kFailed;
  std::vector<char> piece(file != nullptr ? 1u << 16 : 0);
  try {
    while (true) {
      char* target;
      std::size_t room;
      if (file != nullptr) {
        target = piece.data();
        room = piece.size();
      } else {
        if (out.size() >= cap) {
          outcome = BlockOutcome::kTooLarge;
          break;
        }
        const std::size_t filled = out.size();
        out.resize(std::min(cap, filled + (1u << 20)));
        target = out.data() + filled;
        room = out.size() - filled;
      }
      stream.next_out = target;
      stream.avail_out = static_cast<unsigned>(room);
      const int status = BZ2_bzDecompress(&stream);
      const std::size_t produced = room - stream.avail_out;
      if (file != nullptr) {
        if (produced > 0 && !WriteDirect(file, piece.data(), produced)) {
          writeFailed = true;
          break;
        }
      } else {
        out.resize(out.size() - room + produced);
      }
      if (status == BZ_STREAM_END) {
        if (stream.avail_in == 0) outcome = BlockOutcome::kDone;
        break;
      }
      if (status != BZ_OK || (produced == 0 && stream.avail_in == 0)) break;
    }
  } catch (const std::bad_alloc&) {
    std::vector<char>().swap(out);
  }
  BZ2_bzDecompressEnd(&stream);
  if (outcome != BlockOutcome::kDone) std::vector<char>().swap(out);
  return outcome;
}

// Decompresses the stream at the start of `input` block by block. Returns
// true when it was written whole; `resume` is then the offset of the bytes
// after it, or -1 when there are none. False when it was irregular: the
// output is empty again (or `failure` says why it could not be emptied).
bool DecompressBlocks(std::FILE* input, std::FILE* output, unsigned workerCount, std::int64_t& resume,
                      std::optional<DecompressResult>& failure) {
  struct Job {
    std::string wrapped;
    std::vector<char> out;
    bool done = false;
    BlockOutcome outcome = BlockOutcome::kFailed;
  };
  std::deque<std::shared_ptr<Job>> jobs;  // not yet written, in order
  std::deque<std::shared_ptr<Job>> queue;  // not yet taken by a worker
  std::mutex lock;
  std::condition_variable changed;
  bool stop = false;
  auto work = [&] {
    TableCache tables;
    std::unique_lock<std::mutex> guard(lock);
    while (true) {
      changed.wait(guard, [&] { return stop || !queue.empty(); });
      if (stop) return;
      const std::shared_ptr<Job> job = queue.front();
      queue.pop_front();
      guard.unlock();
      bool unused = false;
      job->outcome = DecodeBlock(job->wrapped, job->out, kMaxBlockOutput, nullptr, tables, unused);
      guard.lock();
      job->done = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < workerCount; ++i) workers.emplace_back(work);

  // Writes the finished jobs at the head (all of them with `all`); false when one is irregular.
  bool irregular = false;
  TableCache writerTables;
  auto writeFinished = [&](bool all) {
    while (!jobs.empty() && !irregular && !failure) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock<std::mutex> guard(lock);
        if (!all && !jobs.front()->done) return;
        changed.wait(guard, [&] { return jobs.front()->done; });
        job = jobs.front();
        jobs.pop_front();
      }
      bool writeFailed = false;
      if (job->outcome == BlockOutcome::kTooLarge)
        job->outcome = DecodeBlock(job->wrapped, job->out, 0, output, writerTables, writeFailed);
      else if (job->outcome == BlockOutcome::kDone && !WriteDirect(output, job->out.data(), job->out.size()))
        writeFailed = true;
      // A failed write would fail again one stream at a time: reported at once, with the system's reason.
      if (writeFailed)
        failure = IoFailure();
      else if (job->outcome != BlockOutcome::kDone)
        irregular = true;
    }
  };

  bzip2_blocks::MarkerScanner scanner;
  std::vector<unsigned char> window;  // input bytes from `windowStart` on
  std::uint64_t windowStart = 0;
  std::optional<std::uint64_t> blockStart;  // bit of the block being collected
  std::optional<std::uint64_t> endBit;      // bit of the end magic
  std::uint32_t combined = 0;
  char level = 0;
  bool atEnd = false;
  std::vector<unsigned char> piece(kReadPiece);
  auto readMore = [&] {
    const std::size_t count = std::fread(piece.data(), 1, piece.size(), input);
    atEnd = count < piece.size();
    if (std::ferror(input)) {
      irregular = true;
      return;
    }
    window.insert(window.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(count));
    scanner.Feed(piece.data(), count, atEnd);
  };
  // Bit positions in the input, as positions in the window.
  auto local = [&](std::uint64_t bit) { return bit - windowStart * 8; };

  if (_fseeki64(input, 0, SEEK_SET) != 0) irregular = true;
  while (!irregular && !failure && !endBit) {
    if (atEnd) {
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
    for (; taken < found.size() && !irregular && !endBit; ++taken) {
      const bzip2_blocks::Marker marker = found[taken];
      if (!blockStart) {
        if (marker.bit != 32 || marker.end) irregular = true;
        blockStart = marker.bit;
        continue;
      }
      if (marker.bit < *blockStart + 80) continue;  // inside the block's own magic and CRC
      const std::uint64_t begin = *blockStart;
      auto job = std::make_shared<Job>();
      // The window holds the block whole: it reaches at least to the marker.
      job->wrapped = bzip2_blocks::WrapBlock(window.data(), local(begin), local(marker.bit), level);
      combined = bzip2_blocks::CombineCrc(combined, bzip2_blocks::ReadBits(window.data(), local(begin) + 48, 32));
      {
        std::lock_guard<std::mutex> guard(lock);
        jobs.push_back(job);
        queue.push_back(job);
        changed.notify_all();
      }
      if (marker.end)
        endBit = marker.bit;
      else
        blockStart = marker.bit;
      // Room for the next block: write what is finished, and wait while too much is in flight.
      writeFinished(false);
      while (jobs.size() > workerCount + 1 && !irregular && !failure) {
        {
          std::unique_lock<std::mutex> guard(lock);
          changed.wait(guard, [&] { return jobs.front()->done; });
        }
        writeFinished(false);
      }
    }
    found.erase(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(taken));
    // Keep the window from the block being collected on.
    if (blockStart && !endBit) {
      const std::uint64_t keepFrom = *blockStart / 8;
      if (keepFrom > windowStart) {
        window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(keepFrom - windowStart));
        windowStart = keepFrom;
      }
      if (window.size() > kMaxBlockInput + kReadPiece) irregular = true;
    }
  }
  // The stream's CRC follows its end magic.
  std::uint64_t streamEnd = 0;
  if (endBit && !irregular && !failure) {
    while ((*endBit + 80 + 7) / 8 > windowStart + window.size() && !atEnd && !irregular) readMore();
    streamEnd = (*endBit + 80 + 7) / 8;
    if (streamEnd > windowStart + window.size()) irregular = true;
    else if (bzip2_blocks::ReadBits(window.data(), local(*endBit) + 48, 32) != combined) irregular = true;
  }
  if (!irregular && !failure) writeFinished(true);
  {
    std::lock_guard<std::mutex> guard(lock);
    stop = true;
    changed.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
  if (failure) return false;
  if (irregular) {
    resume = 0;
    if (!CutOutput(output, 0) || _fseeki64(input, 0, SEEK_SET) != 0) failure = IoFailure();
    return false;
  }
  _fseeki64(input, 0, SEEK_END);
  resume = static_cast<std::int64_t>(streamEnd) == _ftelli64(input) ? -1 : static_cast<std::int64_t>(streamEnd);
  return true;
}

// Writes the streams that decompress cleanly side by side; returns how many
// it wrote and sets `resume` to the offset where the one-at-a-time loop goes
// on, or to -1 when the whole input has been written. A failing write is
// left in `failure`.
int DecompressAhead(std::FILE* input, std::FILE* output, std::int64_t& resume,
                    std::optional<DecompressResult>& failure) {
  resume = 0;
  const unsigned processors = std::thread::hardware_concurrency();
  if (processors < 2) return 0;
  const std::vector<Span> spans = FindSpans(input);
  if (spans.empty() || spans.front().start != 0) return 0;
  if (spans.size() == 1) return DecompressBlocks(input, output, std::min(processors, 4u), resume, failure) ? 1 : 0;
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(input)));

  struct Result {
    std::vector<char> bytes;
    bool done = false;
    bool complete = false;
  };
  std::vector<Result> results(spans.size());
  std::mutex lock;
  std::condition_variable changed;
  std::size_t next = 0;
  std::size_t written = 0;
  bool stop = false;

  auto work = [&] {
    std::vector<char> input;
    TableCache tables;
    std::unique_lock<std::mutex> guard(lock);
    while (true) {
      changed.wait(guard, [&] { return stop || next == spans.size() || next < written + kSpansAhead; });
      if (stop || next == spans.size()) return;
      const std::size_t index = next++;
      guard.unlock();
      std::vector<char> bytes;
      const bool complete = DecompressSpan(file, spans[index], input, tables, bytes);
      guard.lock();
      results[index].bytes = std::move(bytes);
      results[index].complete = complete;
      results[index].done = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < std::min(processors, 4u); ++i) workers.emplace_back(work);

  std::size_t index = 0;
  for (; index < spans.size(); ++index) {
    std::vector<char> bytes;
    {
      std::unique_lock<std::mutex> guard(lock);
      changed.wait(guard, [&] { return results[index].done; });
      if (!results[index].complete) break;
      bytes = std::move(results[index].bytes);
    }
    // A write that fails here would fail the same way one stream at a time:
    // it is reported at once, with the system's reason still at hand.
    if (!WriteDirect(output, bytes.data(), bytes.size())) {
      failure = IoFailure();
      break;
    }
    std::lock_guard<std::mutex> guard(lock);
    ++written;
    changed.notify_all();
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    stop = true;
    changed.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
  resume = index == spans.size() ? -1 : spans[index].start;
  return static_cast<int>(index);
}

// Every stream, one at a time after those decompressed side by side; the
// streams stay open for the caller.
DecompressResult DecompressAll(std::FILE* input, std::FILE* output) {
  if (_setmode(_fileno(output), _O_BINARY) == -1 || _setmode(_fileno(input), _O_BINARY) == -1 || std::ferror(input) ||
      std::ferror(output))
    return IoFailure();

  std::int64_t resume = 0;
  std::optional<DecompressResult> failure;
  int streams = DecompressAhead(input, output, resume, failure);
  if (failure) return *failure;
  if (resume > 0 && _fseeki64(input, resume, SEEK_SET) != 0) return IoFailure();

  char block[kBufferSize];
  char unused[BZ_MAX_UNUSED];
  int unusedCount = 0;
  while (resume >= 0) {
    int status = BZ_OK;
    BZFILE* reader = BZ2_bzReadOpen(&status, input, 0, 0, unused, unusedCount);
    if (reader == nullptr || status != BZ_OK) {
      // Closing must not overwrite the status that tells what went wrong.
      int ignored = BZ_OK;
      BZ2_bzReadClose(&ignored, reader);
      if (status == BZ_DATA_ERROR_MAGIC && streams > 0) return {};
      if (status == BZ_DATA_ERROR_MAGIC) return {DecompressStatus::kNotBzip2, 0, {}};
      return FromLibraryStatus(status);
    }
    ++streams;
    while (status == BZ_OK) {
      const int count = BZ2_bzRead(&status, reader, block, kBufferSize);
      if (status == BZ_DATA_ERROR_MAGIC) break;
      if ((status == BZ_OK || status == BZ_STREAM_END) && count > 0 &&
          (std::fwrite(block, 1, static_cast<std::size_t>(count), output) != static_cast<std::size_t>(count) ||
           std::ferror(output))) {
        const DecompressResult io = IoFailure();
        int ignored = BZ_OK;
        BZ2_bzReadClose(&ignored, reader);
        return io;
      }
    }
    if (status != BZ_STREAM_END) {
      const DecompressResult failed = FromLibraryStatus(status);
      int ignored = BZ_OK;
      BZ2_bzReadClose(&ignored, reader);
      // Bytes after a complete stream that start no new one are ignored.
      if (status == BZ_DATA_ERROR_MAGIC) {
        if (streams > 1) return {};
        return {DecompressStatus::kNotBzip2, 0, {}};
      }
      return failed;
    }
    void* carried = nullptr;
    BZ2_bzReadGetUnused(&status, reader, &carried, &unusedCount);
    if (status != BZ_OK) {
      int ignored = BZ_OK;
      BZ2_bzReadClose(&ignored, reader);
      return Internal("decompress:bzReadGetUnused");
    }
    // The carried bytes live in the reader: copy them before closing it.
    std::memcpy(unused, carried, static_cast<std::size_t>(unusedCount));
    BZ2_bzReadClose(&status, reader);
    if (status != BZ_OK) return Internal("decompress:bzReadGetUnused");

    if (unusedCount == 0) {
      const int next = std::fgetc(input);
      if (next == EOF) break;
      std::ungetc(next, input);
    }
  }
  return {};
}

}  // namespace

DecompressResult DecompressStream(std::FILE* input, std::FILE* output) {
  const DecompressResult result = DecompressAll(input, output);
  if (result.status != DecompressStatus::kDone) {
    std::fclose(input);
    std::fclose(output);
    return result;
  }
  const bool inputFailed = std::ferror(input) != 0;
  if (std::fclose(input) != 0 || inputFailed) {
    const DecompressResult io = IoFailure();
    std::fclose(output);
    return io;
  }
  if (std::ferror(output) || std::fflush(output) != 0) {
    const DecompressResult io = IoFailure();
    std::fclose(output);
    return io;
  }
  if (std::fclose(output) != 0) return IoFailure();
  return {};
}
