#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace pack {

std::string Quoted(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return "\"" + std::string(text.begin(), text.end()) + "\"";
}

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string LastErrorText() { return std::strerror(errno); }

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    throw Failure("cannot read " + Quoted(path) + ": not an existing file");
  std::ifstream stream(path, std::ios::binary);
  if (!stream) throw Failure("cannot open " + Quoted(path) + ": " + LastErrorText());
  std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  if (stream.bad()) throw Failure("cannot read " + Quoted(path));
  return bytes;
}

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    throw Failure("cannot read " + Quoted(path) + ": not an existing file");
  stream_.open(path, std::ios::binary);
  if (!stream_) throw Failure("cannot open " + Quoted(path) + ": " + LastErrorText());
  size_ = std::filesystem::file_size(path);
}

void InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset > size_ || count > size_ - offset)
    throw Failure("read past the end of " + Quoted(path_));
  stream_.clear();
  stream_.seekg(static_cast<std::streamoff>(offset));
  stream_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
  if (static_cast<std::size_t>(stream_.gcount()) != count) throw Failure("cannot read " + Quoted(path_));
}

SequentialFile::SequentialFile(const std::filesystem::path& path) : path_(path) {
#ifdef _WIN32
  descriptor_ = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
#else
  descriptor_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (descriptor_ < 0) throw Failure("cannot open " + Quoted(path) + ": " + LastErrorText());
}

SequentialFile::~SequentialFile() {
#ifdef _WIN32
  _close(descriptor_);
#else
  close(descriptor_);
#endif
}

std::size_t SequentialFile::Read(char* buffer, std::size_t want, std::size_t need) {
  std::size_t got = 0;
  do {
#ifdef _WIN32
    const int count = _read(descriptor_, buffer + got, static_cast<unsigned int>(std::min<std::size_t>(want - got, 1u << 30)));
#else
    const ssize_t count = read(descriptor_, buffer + got, want - got);
#endif
    if (count < 0) {
      if (errno == EINTR) continue;
      throw Failure("cannot read " + Quoted(path_) + ": " + LastErrorText());
    }
    if (count == 0) break;
    got += static_cast<std::size_t>(count);
  } while (got < need);
  return got;
}

std::string ByteSource::ReadString(std::uint64_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  ReadAt(offset, bytes.data(), count);
  return bytes;
}

void MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset > bytes_.size() || count > bytes_.size() - offset) throw Failure("read past the end of the data");
  std::memcpy(buffer, bytes_.data() + offset, count);
}

AtomicOutput::AtomicOutput(std::filesystem::path path) : path_(std::move(path)) {
  temporary_ = path_;
  temporary_ += ".partial-" + std::to_string(getpid());
  removal_ = std::make_unique<RemoveOnInterrupt>(temporary_);
#ifdef _WIN32
  file_ = _wfopen(temporary_.c_str(), L"wb");
#else
  file_ = std::fopen(temporary_.c_str(), "wb");
#endif
  if (!file_) throw Failure("cannot create " + Quoted(path_) + ": " + LastErrorText());
}

AtomicOutput::~AtomicOutput() {
  if (committed_) return;
  if (file_) std::fclose(file_);
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void AtomicOutput::Write(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
    throw Failure("cannot write " + Quoted(path_) + ": " + LastErrorText());
  written_ += bytes.size();
}

void AtomicOutput::Commit() {
  const bool flushed = std::fflush(file_) == 0;
  const std::string reason = flushed ? std::string() : LastErrorText();
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed)
    throw Failure("cannot write " + Quoted(path_) + ": " + (flushed ? LastErrorText() : reason));
  std::error_code error;
  std::filesystem::rename(temporary_, path_, error);
  if (error) {
    // Windows refuses to rename over an existing file.
    std::filesystem::remove(path_, error);
    std::filesystem::rename(temporary_, path_, error);
  }
  if (error) throw Failure("cannot create " + Quoted(path_) + ": " + error.message());
  committed_ = true;
}

}  // namespace pack
