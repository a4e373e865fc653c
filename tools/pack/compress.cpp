#include "compress.h"

#include <bzlib.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "formats/archive.h"
#include "files.h"

namespace pack {
namespace {

// Reads the archive's bytes in order: the table, then each file's data.
class ArchiveReader {
 public:
  explicit ArchiveReader(const Payload& payload) : payload_(payload) {
    std::vector<archive::Entry> entries;
    entries.reserve(payload.files.size());
    for (const PayloadFile& file : payload.files) entries.push_back(file.entry);
    table_ = archive::EncodeTable(entries);
  }

  bool AtEnd() const { return tableDone_ && fileIndex_ >= payload_.files.size(); }

  // Appends up to `count` archive bytes to `out`.
  void Read(std::size_t count, std::string& out) {
    while (count > 0 && !AtEnd()) {
      if (!tableDone_) {
        const std::size_t take = std::min(count, table_.size() - tableOffset_);
        out.append(table_, tableOffset_, take);
        tableOffset_ += take;
        count -= take;
        tableDone_ = tableOffset_ == table_.size();
        continue;
      }
      const PayloadFile& file = payload_.files[fileIndex_];
      if (!stream_.is_open()) {
        stream_.open(file.source, std::ios::binary);
        if (!stream_) throw Failure("cannot open " + Quoted(file.source) + ": " + LastErrorText());
        fileOffset_ = 0;
      }
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, file.entry.size - fileOffset_));
      const std::size_t before = out.size();
      out.resize(before + take);
      stream_.read(out.data() + before, static_cast<std::streamsize>(take));
      if (static_cast<std::size_t>(stream_.gcount()) != take)
        throw Failure("cannot read " + Quoted(file.source) + " (did it change during the build?)");
      fileOffset_ += take;
      count -= take;
      if (fileOffset_ == file.entry.size) {
        if (stream_.peek() != std::char_traits<char>::eof())
          throw Failure(Quoted(file.source) + " grew during the build");
        stream_.close();
        ++fileIndex_;
      }
    }
  }

 private:
  const Payload& payload_;
  std::string table_;
  std::size_t tableOffset_ = 0;
  bool tableDone_ = false;
  std::size_t fileIndex_ = 0;
  std::uint64_t fileOffset_ = 0;
  std::ifstream stream_;
};

}  // namespace

std::uint64_t ArchiveSize(const Payload& payload) {
  return archive::kCountSize + payload.files.size() * archive::kEntrySize + payload.totalBytes;
}

std::string CompressChunk(std::string_view data) {
  // bzip2's documented worst case: 1% larger plus 600 bytes.
  unsigned int capacity = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
  std::string out(capacity, '\0');
  const int status = BZ2_bzBuffToBuffCompress(out.data(), &capacity, const_cast<char*>(data.data()),
                                              static_cast<unsigned int>(data.size()), 9, 0, 0);
  if (status != BZ_OK) throw Failure("bzip2 compression failed (status " + std::to_string(status) + ")");
  out.resize(capacity);
  return out;
}

void CompressArchive(const Payload& payload, unsigned jobs, const StreamSink& sink, const ProgressFn& progress) {
  const std::uint64_t total = ArchiveSize(payload);
  ArchiveReader reader(payload);
  jobs = std::max(jobs, 1u);

  // A pipeline: one thread reads the archive's chunks in order, `jobs`
  // threads compress them, and this thread writes the results in order. The
  // files are read while earlier chunks compress, so for many small files
  // the opening and reading costs no compression time. At most 2 * jobs + 1
  // chunks are held at once.
  const std::size_t limit = 2 * static_cast<std::size_t>(jobs) + 1;
  struct Chunk {
    std::size_t rawSize = 0;
    std::string bytes;  // raw until compressed
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::pair<std::size_t, std::string>> raw;  // sequence number, bytes
  std::map<std::size_t, Chunk> compressed;
  std::size_t chunksRead = 0, chunksWritten = 0;
  bool readingDone = false, stop = false;
  std::exception_ptr failure;

  auto fail = [&](std::exception_ptr error) {
    const std::lock_guard lock(mutex);
    if (!failure) failure = error;
    stop = true;
    changed.notify_all();
  };
  std::vector<std::thread> threads;
  // Stops and joins the threads however this function is left.
  struct Joiner {
    std::function<void()> stopAll;
    std::vector<std::thread>& threads;
    ~Joiner() {
      stopAll();
      for (std::thread& thread : threads) thread.join();
    }
  } joiner{[&] {
             const std::lock_guard lock(mutex);
             stop = true;
             changed.notify_all();
           },
           threads};

  threads.emplace_back([&] {
    try {
      while (!reader.AtEnd()) {
        {
          std::unique_lock lock(mutex);
          changed.wait(lock, [&] { return stop || chunksRead - chunksWritten < limit; });
          if (stop) return;
        }
        std::string chunk;
        chunk.reserve(kChunkSize);
        reader.Read(kChunkSize, chunk);
        const std::lock_guard lock(mutex);
        raw.emplace_back(chunksRead++, std::move(chunk));
        changed.notify_all();
      }
      const std::lock_guard lock(mutex);
      readingDone = true;
      changed.notify_all();
    } catch (...) {
      fail(std::current_exception());
    }
  });
  for (unsigned i = 0; i < jobs; ++i) {
    threads.emplace_back([&] {
      try {
        for (;;) {
          std::pair<std::size_t, std::string> chunk;
          {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return stop || !raw.empty() || readingDone; });
            if (stop || raw.empty()) return;
            chunk = std::move(raw.front());
            raw.pop_front();
          }
          Chunk result{chunk.second.size(), CompressChunk(chunk.second)};
          const std::lock_guard lock(mutex);
          compressed.emplace(chunk.first, std::move(result));
          changed.notify_all();
        }
      } catch (...) {
        fail(std::current_exception());
      }
    });
  }

  std::uint64_t done = 0;
  for (;;) {
    Chunk next;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] {
        return failure || compressed.count(chunksWritten) || (readingDone && chunksWritten == chunksRead);
      });
      if (failure) std::rethrow_exception(failure);
      const auto found = compressed.find(chunksWritten);
      if (found == compressed.end()) break;
      next = std::move(found->second);
      compressed.erase(found);
    }
    sink(next.bytes);
    done += next.rawSize;
    if (progress) progress(done, total);
    const std::lock_guard lock(mutex);
    ++chunksWritten;
    changed.notify_all();
  }
}

}  // namespace pack
