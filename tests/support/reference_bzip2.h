#pragma once
// The plain sequential reading loop over libbzip2's high-level interface,
// as the installer's decompression stage has always read its payload: one
// BZ2_bzReadOpen per stream with the bytes read past the previous one,
// BZ2_bzRead in 5,000-byte pieces, bytes after the last complete stream
// ignored. The decoder's every path is compared with it.

#include <bzlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "decode/bzip2_decode.h"

namespace testing_support {

struct ReferenceResult {
  decode::Status status = decode::Status::kDone;
  std::string bytes;  // what was written before the verdict
};

// Reads `compressed` with the loop; a write that would take the output past
// `failAt` bytes fails, as on a full disk.
inline ReferenceResult ReadWithLibrary(const std::string& compressed,
                                       std::size_t failAt = static_cast<std::size_t>(-1)) {
  ReferenceResult result;
  std::FILE* input = std::tmpfile();
  if (input == nullptr || std::fwrite(compressed.data(), 1, compressed.size(), input) != compressed.size()) {
    if (input != nullptr) std::fclose(input);
    result.status = decode::Status::kIoError;
    return result;
  }
  std::rewind(input);
  char block[5000];
  char unused[BZ_MAX_UNUSED];
  int unusedCount = 0;
  int streams = 0;
  auto fail = [&](int status) {
    switch (status) {
      case BZ_CONFIG_ERROR: return decode::Status::kLibraryConfig;
      case BZ_IO_ERROR: return decode::Status::kIoError;
      case BZ_DATA_ERROR: return decode::Status::kDataError;
      case BZ_MEM_ERROR: return decode::Status::kOutOfMemory;
      case BZ_UNEXPECTED_EOF: return decode::Status::kTruncated;
      case BZ_DATA_ERROR_MAGIC: return streams == 1 ? decode::Status::kNotBzip2 : decode::Status::kDone;
      default: return decode::Status::kInternalError;
    }
  };
  for (;;) {
    int status = BZ_OK;
    BZFILE* reader = BZ2_bzReadOpen(&status, input, 0, 0, unused, unusedCount);
    if (reader == nullptr || status != BZ_OK) {
      int ignored = BZ_OK;
      BZ2_bzReadClose(&ignored, reader);
      result.status = fail(status);
      break;
    }
    ++streams;
    while (status == BZ_OK) {
      const int count = BZ2_bzRead(&status, reader, block, sizeof block);
      if (status == BZ_DATA_ERROR_MAGIC) break;
      if ((status == BZ_OK || status == BZ_STREAM_END) && count > 0) {
        if (result.bytes.size() + static_cast<std::size_t>(count) > failAt) status = BZ_IO_ERROR;
        else result.bytes.append(block, static_cast<std::size_t>(count));
      }
    }
    if (status != BZ_STREAM_END) {
      int ignored = BZ_OK;
      BZ2_bzReadClose(&ignored, reader);
      result.status = fail(status);
      break;
    }
    void* carried = nullptr;
    BZ2_bzReadGetUnused(&status, reader, &carried, &unusedCount);
    if (status != BZ_OK) {
      result.status = decode::Status::kInternalError;
      int ignored = BZ_OK;
      BZ2_bzReadClose(&ignored, reader);
      break;
    }
    std::memcpy(unused, carried, static_cast<std::size_t>(unusedCount));
    BZ2_bzReadClose(&status, reader);
    if (status != BZ_OK) {
      result.status = decode::Status::kInternalError;
      break;
    }
    if (unusedCount == 0) {
      const int next = std::fgetc(input);
      if (next == EOF) break;
      std::ungetc(next, input);
    }
  }
  std::fclose(input);
  return result;
}

// The decoder's source over bytes in memory.
class StringSource : public decode::Source {
 public:
  explicit StringSource(const std::string& bytes) : bytes_(bytes) {}
  std::uint64_t Size() override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
    if (offset > bytes_.size() || size > bytes_.size() - offset) std::abort();  // the decoder read outside its input
    std::memcpy(into, bytes_.data() + offset, size);
    return true;
  }

 private:
  const std::string& bytes_;
};

// The decoder's sink into a string, failing when a write would take it past `failAt` bytes.
class StringSink : public decode::Sink {
 public:
  explicit StringSink(std::size_t failAt = static_cast<std::size_t>(-1)) : failAt_(failAt) {}
  bool Write(const char* bytes, std::size_t size) override {
    if (bytes_.size() + size > failAt_) return false;
    bytes_.append(bytes, size);
    return true;
  }
  bool Empty() override {
    bytes_.clear();
    return true;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::size_t failAt_;
  std::string bytes_;
};

}  // namespace testing_support
