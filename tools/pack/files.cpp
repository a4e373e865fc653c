#include "files.h"

#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace pack {

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    throw Failure("cannot read " + Quoted(path) + ": not an existing file");
  std::ifstream stream(path, std::ios::binary);
  if (!stream) throw Failure("cannot open " + Quoted(path));
  std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  if (stream.bad()) throw Failure("cannot read " + Quoted(path));
  return bytes;
}

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    throw Failure("cannot read " + Quoted(path) + ": not an existing file");
  stream_.open(path, std::ios::binary);
  if (!stream_) throw Failure("cannot open " + Quoted(path));
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
  stream_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!stream_) throw Failure("cannot create " + Quoted(temporary_));
}

AtomicOutput::~AtomicOutput() {
  if (committed_) return;
  stream_.close();
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void AtomicOutput::Write(std::string_view bytes) {
  stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!stream_) throw Failure("cannot write " + Quoted(temporary_));
  written_ += bytes.size();
}

void AtomicOutput::Commit() {
  stream_.close();
  if (!stream_) throw Failure("cannot write " + Quoted(temporary_));
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
