#include "bzip/bzip2.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "decode/bzip2_decode.h"

namespace {

// The C runtime's errno for a failed system call: a full disk is reported
// as such, whatever the call.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_LOCK_VIOLATION:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return EIO;
  }
}

// The failure of the C runtime call just made.
DecompressResult IoFailure() {
  int error = errno;
  const DWORD windowsError = GetLastError();
  if (windowsError == ERROR_DISK_FULL || windowsError == ERROR_HANDLE_DISK_FULL) error = ENOSPC;
  return {DecompressStatus::kIoError, error, {}};
}

HANDLE HandleOf(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

// The compressed file, read at offsets through its handle.
class FileSource : public decode::Source {
 public:
  FileSource(HANDLE file, std::uint64_t size, int& error) : file_(file), size_(size), error_(error) {}
  std::uint64_t Size() override { return size_; }
  bool ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
    while (size > 0) {
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD done = 0;
      if (!ReadFile(file_, into, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &done, &at) || done == 0) {
        error_ = ErrnoOf(GetLastError());
        return false;
      }
      into += done;
      offset += done;
      size -= done;
    }
    return true;
  }

 private:
  HANDLE file_;
  std::uint64_t size_;
  int& error_;
};

// The archive file, written through its handle; small writes (the
// sequential loop's 5,000-byte pieces) are gathered first.
class FileSink : public decode::Sink {
 public:
  FileSink(HANDLE file, int& error) : file_(file), error_(error) { buffer_.reserve(kGather); }
  bool Write(const char* bytes, std::size_t size) override {
    if (buffer_.size() + size > kGather && !Flush()) return false;
    if (size >= kGather) return WriteThrough(bytes, size);
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
  }
  bool Empty() override {
    buffer_.clear();
    LARGE_INTEGER start = {};
    if (SetFilePointerEx(file_, start, nullptr, FILE_BEGIN) && SetEndOfFile(file_)) return true;
    error_ = ErrnoOf(GetLastError());
    return false;
  }
  // Writes what is gathered; false when that fails.
  bool Flush() {
    const bool written = WriteThrough(buffer_.data(), buffer_.size());
    buffer_.clear();
    return written;
  }

 private:
  static constexpr std::size_t kGather = 1u << 20;

  bool WriteThrough(const char* bytes, std::size_t size) {
    while (size > 0) {
      DWORD done = 0;
      if (!WriteFile(file_, bytes, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &done, nullptr) ||
          done == 0) {
        error_ = ErrnoOf(GetLastError());
        return false;
      }
      bytes += done;
      size -= done;
    }
    return true;
  }

  HANDLE file_;
  int& error_;
  std::vector<char> buffer_;
};

DecompressResult FromCore(const decode::Result& result, int ioError) {
  DecompressResult outcome{result.status, 0, {}};
  if (result.status == DecompressStatus::kIoError) outcome.errorNumber = ioError;
  if (result.status == DecompressStatus::kInternalError) outcome.where = "decompress:unexpected error";
  return outcome;
}

// Every stream into the output; the streams stay open for the caller.
DecompressResult DecompressAll(std::FILE* input, std::FILE* output) {
  if (_setmode(_fileno(output), _O_BINARY) == -1 || _setmode(_fileno(input), _O_BINARY) == -1 || std::ferror(input) ||
      std::ferror(output) || std::fflush(output) != 0)
    return IoFailure();
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(HandleOf(input), &size)) return {DecompressStatus::kIoError, ErrnoOf(GetLastError()), {}};
  int ioError = EIO;
  FileSource source(HandleOf(input), static_cast<std::uint64_t>(size.QuadPart), ioError);
  FileSink sink(HandleOf(output), ioError);
  const decode::Result result = decode::Decode(source, sink);
  if (result.status == decode::Status::kDone && !sink.Flush()) return {DecompressStatus::kIoError, ioError, {}};
  return FromCore(result, ioError);
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
