#include "compress.h"

#include <bzlib.h>

#include <deque>
#include <fstream>
#include <future>

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
  std::uint64_t done = 0;
  auto nextChunk = [&reader] {
    std::string chunk;
    chunk.reserve(kChunkSize);
    reader.Read(kChunkSize, chunk);
    return chunk;
  };
  auto emit = [&](const std::string& compressed, std::size_t rawSize) {
    sink(compressed);
    done += rawSize;
    if (progress) progress(done, total);
  };

  if (jobs <= 1) {
    while (!reader.AtEnd()) {
      const std::string chunk = nextChunk();
      emit(CompressChunk(chunk), chunk.size());
    }
    return;
  }
  // At most `jobs` chunks in flight; results are written in archive order.
  struct Pending {
    std::size_t rawSize;
    std::future<std::string> compressed;
  };
  std::deque<Pending> pending;
  while (!reader.AtEnd() || !pending.empty()) {
    while (pending.size() < jobs && !reader.AtEnd()) {
      auto chunk = std::make_shared<std::string>(nextChunk());
      pending.push_back({chunk->size(), std::async(std::launch::async, [chunk] { return CompressChunk(*chunk); })});
    }
    Pending front = std::move(pending.front());
    pending.pop_front();
    emit(front.compressed.get(), front.rawSize);
  }
}

}  // namespace pack
