#include "pack/compress.h"

#include <bzlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "decode/ordered_pool.h"
#include "decode/work_memory.h"
#include "formats/archive.h"
#include "pack/files.h"

namespace pack {
namespace {

// Files handed to the reader at once: waking it for every file of a
// folder of small files would cost more than reading them.
constexpr std::size_t kBatchFiles = 256;

struct Compressed {
  std::string bytes;
  std::size_t rawSize;  // archive bytes it holds
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

std::string CompressWith(decode::WorkMemory& memory, std::string_view data) {
  bz_stream stream{};
  memory.Attach(stream);
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
  decode::WorkMemory memory;
  return CompressWith(memory, data);
}

std::uint64_t ArchiveSize(const Payload& payload) {
  return archive::kCountSize + payload.files.size() * archive::kEntrySize + payload.totalBytes;
}

// A pipeline: one thread reads the files' data into chunks in order, a pool
// of `jobs` threads compresses them, and Finish writes the results in
// order. File data is read and compressed while the walk still finds files,
// and while earlier chunks compress, so neither the walk nor the opening and
// reading of many small files costs compression time. At most 2 * jobs + 1
// data chunks are held at once.
struct ArchiveCompressor::State {
  using Pool = decode::OrderedPool<std::string, Compressed, decode::WorkMemory>;

  std::mutex mutex;
  std::condition_variable readerWake;
  std::deque<QueuedFile> files;  // to read, in order
  std::uint64_t filesAdded = 0;
  bool filesDone = false, stop = false;
  std::exception_ptr readerFailure;
  std::vector<std::string> spare;  // data chunks' buffers, compressed, for the reader to fill again
  unsigned jobs = 1;
  std::unique_ptr<Pool> data;
  std::thread reader;

  // Compresses a data chunk and hands its buffer back to the reader.
  Compressed CompressData(std::string& chunk, decode::WorkMemory& memory) {
    Compressed result{CompressWith(memory, chunk), chunk.size()};
    chunk.clear();
    const std::lock_guard lock(mutex);
    spare.push_back(std::move(chunk));
    return result;
  }

  // Queues a full or last data chunk and takes an empty buffer; false when stopped.
  bool EmitData(std::string& chunk) {
    if (!data->Push(std::move(chunk))) return false;
    std::unique_lock lock(mutex);
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
    data->Close();
  }
};

ArchiveCompressor::ArchiveCompressor(unsigned jobs) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.jobs = std::max(jobs, 1u);
  s.data = std::make_unique<State::Pool>(
      s.jobs, 2 * static_cast<std::size_t>(s.jobs) + 1,
      [&s](std::string& chunk, decode::WorkMemory& memory) { return s.CompressData(chunk, memory); });
  s.reader = std::thread([&s] {
    try {
      s.Read();
    } catch (...) {
      {
        const std::lock_guard lock(s.mutex);
        s.readerFailure = std::current_exception();
      }
      s.data->Stop();
    }
  });
}

ArchiveCompressor::~ArchiveCompressor() {
  {
    const std::lock_guard lock(state_->mutex);
    state_->stop = true;
    state_->readerWake.notify_all();
  }
  state_->data->Stop();
  state_->reader.join();
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

  const std::uint64_t total = ArchiveSize(payload);
  std::uint64_t done = 0;
  auto write = [&](const Compressed& piece) {
    sink(piece.bytes);
    done += piece.rawSize;
    if (progress) progress(done, total);
  };
  {
    // The table comes first but is known last: a pool of its own compresses
    // it beside the data chunks still in flight.
    State::Pool tablePool(s.jobs, std::max<std::size_t>(tablePieces, 1),
                          [](std::string& piece, decode::WorkMemory& memory) {
                            return Compressed{CompressWith(memory, piece), piece.size()};
                          });
    for (std::size_t i = 0; i < tablePieces; ++i) tablePool.Push(table.substr(i * kChunkSize, kChunkSize));
    tablePool.Close();
    while (const std::optional<Compressed> piece = tablePool.Pop()) write(*piece);
  }
  while (const std::optional<Compressed> piece = s.data->Pop()) write(*piece);
  const std::lock_guard lock(s.mutex);
  if (s.readerFailure) std::rethrow_exception(s.readerFailure);
}

}  // namespace pack
