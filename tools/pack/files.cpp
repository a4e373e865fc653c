#include "pack/files.h"

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
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pack {

std::string Quoted(const std::filesystem::path& path) { return "\"" + PathToUtf8(path) + "\""; }

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
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

#ifdef _WIN32
FolderCursor::~FolderCursor() = default;

int FolderCursor::OpenFile(const NativePath& path) { return _wopen(path.c_str(), _O_RDONLY | _O_BINARY); }

std::uint64_t FolderCursor::FileSize(const NativePath& path, std::error_code& error) {
  return std::filesystem::file_size(std::filesystem::path(path), error);
}
#else
FolderCursor::~FolderCursor() {
  if (descriptor_ >= 0) close(descriptor_);
}

int FolderCursor::Folder(const std::string& path, std::size_t& nameStart) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    nameStart = 0;
    return AT_FDCWD;
  }
  nameStart = slash + 1;
  if (descriptor_ >= 0 && path.compare(0, slash, folder_) == 0 && folder_.size() == slash) return descriptor_;
  if (descriptor_ >= 0) close(descriptor_);
  folder_.assign(path, 0, slash);
  descriptor_ = open(slash == 0 ? "/" : folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return descriptor_;
}

int FolderCursor::OpenFile(const NativePath& path) {
  std::size_t nameStart = 0;
  const int folder = Folder(path, nameStart);
  if (folder == -1) return open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return openat(folder, path.c_str() + nameStart, O_RDONLY | O_CLOEXEC);
}

std::uint64_t FolderCursor::FileSize(const NativePath& path, std::error_code& error) {
  std::size_t nameStart = 0;
  const int folder = Folder(path, nameStart);
  if (folder == -1) return std::filesystem::file_size(std::filesystem::path(path), error);
  struct stat status;
  if (fstatat(folder, path.c_str() + nameStart, &status, 0) != 0) {
    error.assign(errno, std::generic_category());
    return static_cast<std::uint64_t>(-1);
  }
  if (!S_ISREG(status.st_mode)) {
    error = std::make_error_code(std::errc::not_supported);
    return static_cast<std::uint64_t>(-1);
  }
  error.clear();
  return static_cast<std::uint64_t>(status.st_size);
}
#endif

SequentialFile::SequentialFile(FolderCursor& folders, const FolderCursor::NativePath& path)
    : path_(path), descriptor_(folders.OpenFile(path)) {
  if (descriptor_ < 0) throw Failure("cannot open " + Quoted(std::filesystem::path(path)) + ": " + LastErrorText());
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
    const unsigned int ask = static_cast<unsigned int>(std::min<std::size_t>(want - got, 1u << 30));
    const int count = _read(descriptor_, buffer + got, ask);
#else
    const ssize_t count = read(descriptor_, buffer + got, want - got);
#endif
    if (count < 0) {
      if (errno == EINTR) continue;
      throw Failure("cannot read " + Quoted(std::filesystem::path(path_)) + ": " + LastErrorText());
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
  // Registered and made in one step, so that an interruption never meets a
  // file it was not told of, or removes one that is made again after it.
  WritingStep step;
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
  WritingStep step;
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
