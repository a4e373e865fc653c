#include "package.h"

#include <bzlib.h>

#include <algorithm>
#include <memory>

#include "formats/image_size.h"
#include "formats/layout.h"

namespace pack {
namespace {

// More entries than any real product ships; a larger count is damage, and
// believing it would only exhaust memory.
constexpr std::int32_t kMaxEntries = 1'000'000;

// bzlib's functions are stdcall on Windows: wrap the one a guard calls.
struct DecompressEnd {
  void operator()(bz_stream* stream) const { BZ2_bzDecompressEnd(stream); }
};

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
  result.peImageEnd = image_size::PeImageEnd(imageBytes, image.size());
  const image_size::MarkLookup mark = image_size::FindMark(imageBytes, image.size());
  if (mark.offset) result.compiledImageSize = image_size::MarkValue(imageBytes, *mark.offset);
  return result;
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

unsigned DecompressPayload(ByteSource& package, const PackageLayout& layout, const ConsumeFn& consume) {
  constexpr std::size_t kInputBlock = 64 * 1024, kOutputBlock = 256 * 1024;
  std::string input(kInputBlock, '\0'), output(kOutputBlock, '\0');
  std::uint64_t offset = 0;  // next unread byte of the payload section
  char* next = input.data();
  unsigned left = 0;         // unread bytes at `next`

  // Tops the buffer up whenever fewer than a stream header's 3 bytes are left.
  auto fill = [&] {
    if (left >= 3 || offset >= layout.payloadLength) return;
    std::copy(next, next + left, input.data());
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(input.size() - left, layout.payloadLength - offset));
    package.ReadAt(layout.payloadStart + offset, input.data() + left, count);
    offset += count;
    next = input.data();
    left += static_cast<unsigned>(count);
  };

  unsigned streams = 0;
  while (true) {
    fill();
    if (left == 0) return streams;
    const std::uint64_t streamStart = offset - left;  // for messages
    const std::string where = "bzip2 stream " + std::to_string(streams + 1) + " (at payload offset " +
                              std::to_string(streamStart) + ")";
    if (left < 3 || std::string_view(next, 3) != "BZh")
      throw Failure(streams == 0 ? "the payload does not start with a bzip2 stream"
                                 : std::to_string(layout.payloadLength - streamStart) +
                                       " bytes after the last bzip2 stream, at payload offset " +
                                       std::to_string(streamStart));
    ++streams;
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) throw Failure("cannot start bzip2 decompression");
    std::unique_ptr<bz_stream, DecompressEnd> guard(&stream);
    int status = BZ_OK;
    while (status != BZ_STREAM_END) {
      fill();
      const bool hadInput = left > 0;
      stream.next_in = next;
      stream.avail_in = left;
      stream.next_out = output.data();
      stream.avail_out = static_cast<unsigned>(output.size());
      status = BZ2_bzDecompress(&stream);
      next = stream.next_in;
      left = stream.avail_in;
      if (status != BZ_OK && status != BZ_STREAM_END)
        throw Failure(where + " is damaged: " +
                      (status == BZ_DATA_ERROR ? std::string("CRC or data error") : "status " + std::to_string(status)));
      const std::size_t produced = output.size() - stream.avail_out;
      if (produced > 0 && !consume(std::string_view(output.data(), produced))) return streams;
      if (status == BZ_OK && !hadInput && produced == 0) throw Failure(where + " is truncated");
    }
  }
}

}  // namespace pack
