#include "pack/package.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "decode/bzip2_decode.h"
#include "formats/image_size.h"
#include "formats/layout.h"
#include "formats/pe_image.h"

namespace pack {
namespace {

// More entries than any real product ships; a larger count is damage, and
// believing it would only exhaust memory.
constexpr std::int32_t kMaxEntries = 1'000'000;

}  // namespace

PackageLayout ReadLayout(ByteSource& package) {
  PackageLayout result;
  result.fileSize = package.Size();
  if (result.fileSize > 0xFFFFFFFFull) throw Failure("the package is larger than 4 GiB");
  const std::size_t window =
      static_cast<std::size_t>(std::min<std::uint64_t>(result.fileSize, layout::kMarkerSearchWindow));
  const std::string tail = package.ReadString(result.fileSize - window, window);
  const auto marker = layout::FindEndMarkerLine(reinterpret_cast<const unsigned char*>(tail.data()), tail.size());
  if (!marker || *marker + layout::kEndMarkerLineSize + layout::kTrailerSize > window)
    throw Failure("end marker not found in the last 12,288 bytes (a truncated file, or a signature larger than "
                  "12,244 bytes)");
  result.signatureSize = layout::SignatureSizeAt(window, *marker);

  const std::uint64_t scriptTrailer = result.fileSize - result.signatureSize - layout::kTrailerSize;
  const std::uint64_t markerStart = scriptTrailer - layout::kEndMarkerLineSize;
  unsigned char trailer[layout::kTrailerSize];
  package.ReadAt(scriptTrailer, trailer, sizeof trailer);
  result.scriptStart = layout::ReadLe32(trailer);
  if (result.scriptStart < layout::kTrailerSize || result.scriptStart > markerStart)
    throw Failure("script offset " + std::to_string(result.scriptStart) + " lies outside the file's sections (the end "
                  "marker starts at " + std::to_string(markerStart) + ")");
  result.scriptLength = static_cast<std::uint32_t>(scriptTrailer - result.scriptStart);

  const std::uint64_t payloadTrailer = result.scriptStart - layout::kTrailerSize;
  package.ReadAt(payloadTrailer, trailer, sizeof trailer);
  result.payloadStart = layout::ReadLe32(trailer);
  if (result.payloadStart > payloadTrailer)
    throw Failure("payload offset " + std::to_string(result.payloadStart) + " lies after its own trailer at " +
                  std::to_string(payloadTrailer));
  result.payloadLength = static_cast<std::uint32_t>(payloadTrailer - result.payloadStart);

  const std::string image = package.ReadString(0, result.payloadStart);
  const auto* imageBytes = reinterpret_cast<const unsigned char*>(image.data());
  result.peImageEnd = pe::ImageEnd(imageBytes, image.size());
  const image_size::MarkLookup mark = image_size::FindMark(imageBytes, image.size());
  if (mark.offset) result.compiledImageSize = image_size::MarkValue(imageBytes, *mark.offset);
  return result;
}

PackageLayout ReadPackageLayout(ByteSource& package, const std::filesystem::path& path) {
  try {
    return ReadLayout(package);
  } catch (const Failure& failure) {
    throw Failure(Quoted(path) + " is not a setup package: " + failure.what());
  }
}

std::string ImageFault(const PackageLayout& layout) {
  if (!layout.peImageEnd) return "the image before the payload is not a Windows executable";
  if (*layout.peImageEnd != layout.payloadStart)
    return "the executable image ends at " + std::to_string(*layout.peImageEnd) + " but the payload starts at " +
           std::to_string(layout.payloadStart);
  if (!layout.compiledImageSize) return "the image holds no image-size record (not a Quenlith installer)";
  if (*layout.compiledImageSize != layout.payloadStart)
    return "the installer's compiled SetupImageSize is " + std::to_string(*layout.compiledImageSize) +
           " but the payload starts at " + std::to_string(layout.payloadStart);
  return {};
}

std::uint64_t ArchiveSize(const std::vector<archive::Entry>& entries) {
  std::uint64_t size = archive::kCountSize + entries.size() * std::uint64_t{archive::kEntrySize};
  for (const archive::Entry& entry : entries) size += entry.size;
  return size;
}

ArchiveParser::ArchiveParser(TableFn onTable, DataFn onData, FileEndFn onFileEnd)
    : onTable_(std::move(onTable)), onData_(std::move(onData)), onFileEnd_(std::move(onFileEnd)) {}

void ArchiveParser::Feed(std::string_view bytes) {
  while (!tableComplete_ && !bytes.empty()) {
    const std::size_t want = count_ < 0 ? archive::kCountSize : archive::kEntrySize;
    const std::size_t take = std::min(want - pending_.size(), bytes.size());
    pending_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (pending_.size() < want) return;
    const auto* field = reinterpret_cast<const unsigned char*>(pending_.data());
    if (count_ < 0) {
      count_ = static_cast<std::int32_t>(layout::ReadLe32(field));
      if (count_ <= 0) throw Failure("the archive declares " + std::to_string(count_) + " files");
      if (count_ > kMaxEntries)
        throw Failure("the archive declares " + std::to_string(count_) + " files, more than " +
                      std::to_string(kMaxEntries));
    } else {
      archive::Entry entry;
      if (!archive::DecodeEntry(field, entry))
        throw Failure("entry " + std::to_string(entries_.size()) + ": the name field holds no terminator");
      if (const char* problem = archive::EntryNameProblem(entry.name))
        throw Failure("entry " + std::to_string(entries_.size()) + " \"" + entry.name + "\": " + problem);
      entries_.push_back(std::move(entry));
    }
    pending_.clear();
    if (entries_.size() == static_cast<std::size_t>(count_)) BeginFiles();
  }
  while (!bytes.empty()) {
    if (fileIndex_ >= entries_.size())
      throw Failure(std::to_string(bytes.size()) + " or more bytes after the last file's data");
    const archive::Entry& entry = entries_[fileIndex_];
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), entry.size - fileOffset_));
    if (onData_) onData_(fileIndex_, bytes.substr(0, take));
    bytes.remove_prefix(take);
    fileOffset_ += take;
    if (fileOffset_ == entry.size) {
      if (onFileEnd_) onFileEnd_(fileIndex_);
      ++fileIndex_;
      fileOffset_ = 0;
      FinishFilesOfSizeZero();
    }
  }
}

void ArchiveParser::BeginFiles() {
  tableComplete_ = true;
  if (onTable_) onTable_(entries_);
  FinishFilesOfSizeZero();
}

void ArchiveParser::FinishFilesOfSizeZero() {
  while (fileIndex_ < entries_.size() && entries_[fileIndex_].size == 0) {
    if (onFileEnd_) onFileEnd_(fileIndex_);
    ++fileIndex_;
  }
}

void ArchiveParser::Finish() {
  if (!tableComplete_)
    throw Failure("the archive ends inside its file table (" + std::to_string(entries_.size()) + " of " +
                  (count_ < 0 ? std::string("?") : std::to_string(count_)) + " entries)");
  if (fileIndex_ < entries_.size())
    throw Failure("the archive ends inside the data of entry " + std::to_string(fileIndex_) + " \"" +
                  entries_[fileIndex_].name + "\" (" + std::to_string(fileOffset_) + " of " +
                  std::to_string(entries_[fileIndex_].size) + " bytes)");
}

namespace {

// The payload section as the decoder's source.
class SectionSource : public decode::Source {
 public:
  SectionSource(ByteSource& package, const PackageLayout& layout) : package_(package), layout_(layout) {}
  std::uint64_t Size() override { return layout_.payloadLength; }
  bool ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
    try {
      package_.ReadAt(layout_.payloadStart + offset, into, size);
      return true;
    } catch (const Failure&) {
      failure_ = std::current_exception();
      return false;
    }
  }
  std::exception_ptr failure_;

 private:
  ByteSource& package_;
  const PackageLayout& layout_;
};

// Hands the decoded bytes to `consume`. The consumer cannot take bytes
// back, so when the decoder starts over (a fall-back to the sequential
// loop), the bytes it already has are passed over, and they must come again
// the same: a hash of them is checked.
class ConsumerSink : public decode::Sink {
 public:
  explicit ConsumerSink(const ConsumeFn& consume) : consume_(consume) {}
  bool Write(const char* bytes, std::size_t size) override {
    if (replayLeft_ > 0) {
      const std::size_t again = static_cast<std::size_t>(std::min<std::uint64_t>(size, replayLeft_));
      replayHash_ = Hash(replayHash_, bytes, again);
      replayLeft_ -= again;
      bytes += again;
      size -= again;
      if (replayLeft_ == 0 && replayHash_ != handedHash_) {
        failure_ = std::make_exception_ptr(Failure("decompressing the payload twice gave different bytes"));
        return false;
      }
      if (size == 0) return true;
    }
    handedHash_ = Hash(handedHash_, bytes, size);
    handed_ += size;
    // After the consumer failed, decoding goes on, passing nothing, to
    // find out whether damaged data caused it: the damage is the verdict.
    if (consumerFailure_) return true;
    try {
      if (consume_(std::string_view(bytes, size))) return true;
      stopped_ = true;
      return false;
    } catch (...) {
      consumerFailure_ = std::current_exception();
      return true;
    }
  }
  bool Empty() override {
    replayLeft_ = handed_;
    replayHash_ = kHashBasis;
    return true;
  }
  std::exception_ptr failure_;          // the decoder's paths disagreed
  std::exception_ptr consumerFailure_;  // what `consume` threw
  bool stopped_ = false;

 private:
  static constexpr std::uint64_t kHashBasis = 14695981039346656037ull;
  // FNV-1a, 64 bits: a check that two decodings agree, not a defence against forgery.
  static std::uint64_t Hash(std::uint64_t hash, const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
    return hash;
  }

  const ConsumeFn& consume_;
  std::uint64_t handed_ = 0;
  std::uint64_t handedHash_ = kHashBasis;
  std::uint64_t replayLeft_ = 0;
  std::uint64_t replayHash_ = kHashBasis;
};

}  // namespace

unsigned DecompressPayload(ByteSource& package, const PackageLayout& layout, const ConsumeFn& consume,
                           const ConsumedFn& consumed) {
  SectionSource source(package, layout);
  ConsumerSink sink(consume);
  decode::Options options;
  // A path that hands the input back to the sequential loop starts counting again: the figure stays where it was.
  std::uint64_t told = 0;
  if (consumed)
    options.progress = [&](std::uint64_t done) {
      told = std::max(told, done);
      consumed(told, layout.payloadLength);
    };
  const decode::Result result = decode::Decode(source, sink, options);
  if (sink.failure_) std::rethrow_exception(sink.failure_);
  if (source.failure_) std::rethrow_exception(source.failure_);
  if (sink.stopped_) return result.streams + 1;
  if (sink.consumerFailure_ && result.status == decode::Status::kDone) std::rethrow_exception(sink.consumerFailure_);
  const std::string where = "bzip2 stream " + std::to_string(result.streams + 1) + " (at payload offset " +
                            std::to_string(result.streamStart) + ")";
  switch (result.status) {
    case decode::Status::kDone:
      if (result.streamStart < layout.payloadLength)
        throw Failure(std::to_string(layout.payloadLength - result.streamStart) +
                      " bytes after the last bzip2 stream, at payload offset " + std::to_string(result.streamStart));
      return result.streams;
    case decode::Status::kNotBzip2: throw Failure("the payload does not start with a bzip2 stream");
    case decode::Status::kDataError: throw Failure(where + " is damaged: CRC or data error");
    case decode::Status::kTruncated: throw Failure(where + " is truncated");
    default: throw Failure(where + " is damaged: status " + std::to_string(result.libraryStatus));
  }
}

unsigned DecompressArchive(ByteSource& package, const PackageLayout& layout, ArchiveParser& parser,
                           const ConsumedFn& consumed) {
  const unsigned streams = DecompressPayload(
      package, layout,
      [&parser](std::string_view bytes) {
        parser.Feed(bytes);
        return true;
      },
      consumed);
  parser.Finish();
  return streams;
}

}  // namespace pack
