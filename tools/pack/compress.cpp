#include "compress.h"

#include <bzlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "formats/archive.h"
#include "files.h"

namespace pack {
namespace {

// Files handed to the reader at once: waking it for every file of a
// folder of small files would cost more than reading them.
constexpr std::size_t kBatchFiles = 256;

enum class Part { kTable, kData };

struct Piece {
  Part part;
  std::size_t index;  // within its part
  std::string bytes;  // raw until compressed
  std::size_t rawSize = 0;
};

// Appends exactly `size` bytes of the file at `source` to chunks of
// `chunkSize`, handing each full chunk to `emit`; returns false when `emit`
// does, to stop.
bool ReadFile(FolderCursor& folders, const FolderCursor::NativePath& source, std::uint32_t size, std::string& chunk,
              std::size_t chunkSize, const std::function<bool(std::string&)>& emit) {
  SequentialFile in(folders, source);
  const auto changed = [&source] {
    return Failure("cannot read " + Quoted(std::filesystem::path(source)) + " (did it change during the build?)");
  };
  const auto grew = [&source] { return Failure(Quoted(std::filesystem::path(source)) + " grew during the build"); };
  std::uint64_t left = size;
  for (;;) {
    const std::size_t before = chunk.size();
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunkSize - before));
    // With the file's last bytes, one more is asked for where the chunk has
    // room: its absence shows the end without another read.
    const bool probe = take == left && before + take < chunkSize;
    chunk.resize(before + take + probe);
    const std::size_t got = in.Read(chunk.data() + before, take + probe, take);
    if (got < take) throw changed();
    if (got > take) throw grew();
    chunk.resize(before + take);
    left -= take;
    if (chunk.size() == chunkSize && !emit(chunk)) return false;
    if (left > 0) continue;
    char extra;
    if (!probe && in.Read(&extra, 1, 0) != 0) throw grew();
    return true;
  }
}

// Keeps the compressor's work memory (about 7.6 MB at block size 9) for a
// thread's next stream: fresh memory for every stream would be thousands of
// page faults each time. Each compressing thread owns one as a local: a
// thread_local with a destructor crashes at thread exit in the Windows
// build, whose runtime may free its storage before the destructor runs.
class WorkMemory {
 public:
  WorkMemory() = default;
  WorkMemory(const WorkMemory&) = delete;
  WorkMemory& operator=(const WorkMemory&) = delete;
  ~WorkMemory() {
    for (const Block& block : blocks_) std::free(block.data);
  }

  static void* Allocate(void* self, int count, int size) {
    auto& blocks = static_cast<WorkMemory*>(self)->blocks_;
    const std::size_t bytes = static_cast<std::size_t>(count) * static_cast<std::size_t>(size);
    for (Block& block : blocks) {
      if (!block.used && block.size == bytes) {
        block.used = true;
        return block.data;
      }
    }
    void* data = std::malloc(bytes);
    if (data) blocks.push_back({data, bytes, true});
    return data;
  }

  static void Free(void* self, void* data) {
    for (Block& block : static_cast<WorkMemory*>(self)->blocks_)
      if (block.data == data) block.used = false;
  }

 private:
  struct Block {
    void* data;
    std::size_t size;
    bool used;
  };
  std::vector<Block> blocks_;
};

std::string CompressWith(WorkMemory& memory, std::string_view data) {
  bz_stream stream{};
  stream.bzalloc = &WorkMemory::Allocate;
  stream.bzfree = &WorkMemory::Free;
  stream.opaque = &memory;
  int status = BZ2_bzCompressInit(&stream, 9, 0, 0);
  if (status != BZ_OK) throw Failure("bzip2 compression failed (status " + std::to_string(status) + ")");
  // bzip2's documented worst case: 1% larger plus 600 bytes.
  const std::size_t capacity = data.size() + data.size() / 100 + 600;
  const std::unique_ptr<char[]> out(new char[capacity]);
  stream.next_in = const_cast<char*>(data.data());
  stream.avail_in = static_cast<unsigned int>(data.size());
  stream.next_out = out.get();
  stream.avail_out = static_cast<unsigned int>(capacity);
  status = BZ2_bzCompress(&stream, BZ_FINISH);
  const std::size_t written = capacity - stream.avail_out;
  BZ2_bzCompressEnd(&stream);
  if (status != BZ_STREAM_END) throw Failure("bzip2 compression failed (status " + std::to_string(status) + ")");
  return std::string(out.get(), written);
}

}  // namespace

std::string CompressChunk(std::string_view data) {
  WorkMemory memory;
  return CompressWith(memory, data);
}

std::uint64_t ArchiveSize(const Payload& payload) {
  return archive::kCountSize + payload.files.size() * archive::kEntrySize + payload.totalBytes;
}

// A pipeline: one thread reads the files' data into chunks in order, `jobs`
// threads compress table and data pieces, and Finish writes the results in
// order. File data is read and compressed while the walk still finds files,
// and while earlier chunks compress, so neither the walk nor the opening and
// reading of many small files costs compression time. At most 2 * jobs + 1
// data chunks are held at once.
struct ArchiveCompressor::State {
  std::mutex mutex;
  std::condition_variable readerWake, compressorWake, writerWake;
  std::deque<QueuedFile> files;  // to read, in order
  std::uint64_t filesAdded = 0;
  bool filesDone = false;
  std::deque<Piece> raw;  // waiting for a compressing thread; table pieces first
  std::vector<std::string> spare;  // data chunks' buffers, compressed, for the reader to fill again
  std::map<std::pair<Part, std::size_t>, Piece> compressed;
  std::size_t dataRead = 0, dataWritten = 0, limit = 0;
  bool readingDone = false, stop = false;
  std::exception_ptr failure;
  std::vector<std::thread> threads;

  void Fail(std::exception_ptr error) {
    const std::lock_guard lock(mutex);
    if (!failure) failure = error;
    stop = true;
    readerWake.notify_all();
    compressorWake.notify_all();
    writerWake.notify_all();
  }

  // Queues a full or last data chunk; false when stopped.
  bool EmitData(std::string& chunk) {
    std::unique_lock lock(mutex);
    readerWake.wait(lock, [&] { return stop || dataRead - dataWritten < limit; });
    if (stop) return false;
    const std::size_t size = chunk.size();
    raw.push_back({Part::kData, dataRead++, std::move(chunk), size});
    compressorWake.notify_one();
    if (spare.empty()) {
      lock.unlock();
      chunk = std::string();
      chunk.reserve(kChunkSize);
    } else {
      chunk = std::move(spare.back());
      spare.pop_back();
    }
    return true;
  }

  void Read() {
    const std::function<bool(std::string&)> emit = [this](std::string& chunk) { return EmitData(chunk); };
    std::string chunk;
    chunk.reserve(kChunkSize);
    FolderCursor folders;
    for (;;) {
      std::deque<QueuedFile> taken;
      {
        std::unique_lock lock(mutex);
        readerWake.wait(lock, [&] { return stop || !files.empty() || filesDone; });
        if (stop) return;
        if (files.empty()) break;
        taken.swap(files);
      }
      for (const QueuedFile& file : taken)
        if (!ReadFile(folders, file.source, file.size, chunk, kChunkSize, emit)) return;
    }
    if (!chunk.empty() && !EmitData(chunk)) return;
    const std::lock_guard lock(mutex);
    readingDone = true;
    writerWake.notify_all();
  }

  void Compress() {
    WorkMemory memory;
    for (;;) {
      Piece piece;
      {
        std::unique_lock lock(mutex);
        compressorWake.wait(lock, [&] { return stop || !raw.empty(); });
        if (stop) return;
        piece = std::move(raw.front());
        raw.pop_front();
      }
      std::string compressedBytes = CompressWith(memory, piece.bytes);
      std::swap(piece.bytes, compressedBytes);
      const std::lock_guard lock(mutex);
      if (piece.part == Part::kData) {
        compressedBytes.clear();
        spare.push_back(std::move(compressedBytes));
      }
      compressed.emplace(std::pair{piece.part, piece.index}, std::move(piece));
      writerWake.notify_all();
    }
  }

  // Waits for the compressed piece; nothing when the data ran out first.
  std::optional<Piece> Take(Part part, std::size_t index) {
    std::unique_lock lock(mutex);
    const std::pair key{part, index};
    writerWake.wait(lock, [&] {
      return failure || compressed.count(key) || (part == Part::kData && readingDone && index == dataRead);
    });
    if (failure) std::rethrow_exception(failure);
    const auto found = compressed.find(key);
    if (found == compressed.end()) return std::nullopt;
    Piece piece = std::move(found->second);
    compressed.erase(found);
    return piece;
  }
};

ArchiveCompressor::ArchiveCompressor(unsigned jobs) : state_(std::make_unique<State>()) {
  jobs = std::max(jobs, 1u);
  State& s = *state_;
  s.limit = 2 * static_cast<std::size_t>(jobs) + 1;
  auto guarded = [&s](void (State::*work)()) {
    return [&s, work] {
      try {
        (s.*work)();
      } catch (...) {
        s.Fail(std::current_exception());
      }
    };
  };
  s.threads.emplace_back(guarded(&State::Read));
  for (unsigned i = 0; i < jobs; ++i) s.threads.emplace_back(guarded(&State::Compress));
}

ArchiveCompressor::~ArchiveCompressor() {
  {
    const std::lock_guard lock(state_->mutex);
    state_->stop = true;
    state_->readerWake.notify_all();
    state_->compressorWake.notify_all();
    state_->writerWake.notify_all();
  }
  for (std::thread& thread : state_->threads) thread.join();
}

void ArchiveCompressor::AddFile(const PayloadFile& file) {
  batch_.push_back({file.source.native(), file.entry.size});
  if (batch_.size() >= kBatchFiles) Publish();
}

void ArchiveCompressor::Publish() {
  State& s = *state_;
  const std::lock_guard lock(s.mutex);
  s.filesAdded += batch_.size();
  s.files.insert(s.files.end(), std::make_move_iterator(batch_.begin()), std::make_move_iterator(batch_.end()));
  batch_.clear();
  s.readerWake.notify_all();
}

void ArchiveCompressor::Finish(const Payload& payload, const StreamSink& sink, const ProgressFn& progress) {
  State& s = *state_;
  Publish();
  {
    const std::lock_guard lock(s.mutex);
    if (s.filesAdded != payload.files.size())
      throw std::logic_error("the compressor was given other files than the payload's");
    s.filesDone = true;
    s.readerWake.notify_all();
  }

  std::vector<archive::Entry> entries;
  entries.reserve(payload.files.size());
  for (const PayloadFile& file : payload.files) entries.push_back(file.entry);
  const std::string table = archive::EncodeTable(entries);
  const std::size_t tablePieces = (table.size() + kChunkSize - 1) / kChunkSize;
  {
    // At the front, so that the first streams to write are compressed next.
    const std::lock_guard lock(s.mutex);
    for (std::size_t i = tablePieces; i-- > 0;) {
      std::string bytes = table.substr(i * kChunkSize, kChunkSize);
      const std::size_t size = bytes.size();
      s.raw.push_front({Part::kTable, i, std::move(bytes), size});
    }
    s.compressorWake.notify_all();
  }

  const std::uint64_t total = ArchiveSize(payload);
  std::uint64_t done = 0;
  auto write = [&](const Piece& piece) {
    sink(piece.bytes);
    done += piece.rawSize;
    if (progress) progress(done, total);
  };
  for (std::size_t i = 0; i < tablePieces; ++i) write(*s.Take(Part::kTable, i));
  for (std::size_t i = 0;; ++i) {
    const std::optional<Piece> piece = s.Take(Part::kData, i);
    if (!piece) break;
    write(*piece);
    const std::lock_guard lock(s.mutex);
    ++s.dataWritten;
    s.readerWake.notify_all();
  }
}

}  // namespace pack
