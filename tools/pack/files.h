#pragma once
// File access for the package builder: whole-file reads, positioned reads on
// large files, and an output that appears under its final name only when it
// was written completely.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "pack/interrupt.h"

namespace pack {

// Thrown for any input or output failure; the text names the file.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string ReadWholeFile(const std::filesystem::path& path);

// Bytes read by position: a package on disk, or in memory for tests.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `count` bytes at `offset`; throws Failure past the end.
  virtual void ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
  std::string ReadString(std::uint64_t offset, std::size_t count);
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  void ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::string_view bytes_;
};

// A file opened for positioned reads.
class InputFile : public ByteSource {
 public:
  explicit InputFile(const std::filesystem::path& path);
  std::uint64_t Size() const override { return size_; }
  void ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::filesystem::path path_;
  std::ifstream stream_;
  std::uint64_t size_ = 0;
};

// Reaches each file by its name within the folder of the previous one,
// where the system allows: for many small files, looking up the whole path
// again for each costs more than reading them. Files met in folder order
// (as the walk and the archive give them) open each folder once.
class FolderCursor {
 public:
  FolderCursor() = default;
  ~FolderCursor();
  FolderCursor(const FolderCursor&) = delete;
  FolderCursor& operator=(const FolderCursor&) = delete;

  // Paths in the system's own form (std::filesystem::path::native()).
  using NativePath = std::filesystem::path::string_type;

  // Opens `path` for reading; the descriptor, or -1 with errno set.
  int OpenFile(const NativePath& path);
  // The size in bytes of the file at `path`, following links.
  std::uint64_t FileSize(const NativePath& path, std::error_code& error);

 private:
#ifndef _WIN32
  // The descriptor of the folder of `path` (or of the current folder), and
  // where the name in it starts; -1 when the folder cannot be opened.
  int Folder(const std::string& path, std::size_t& nameStart);
  std::string folder_;
  int descriptor_ = -1;
#endif
};

// A file read once, front to back, with plain system reads: for many small
// files the stream classes' buffers and extra calls cost more than the
// reads themselves.
class SequentialFile {
 public:
  // Throws Failure naming `path` and the system's reason.
  SequentialFile(FolderCursor& folders, const FolderCursor::NativePath& path);
  ~SequentialFile();
  SequentialFile(const SequentialFile&) = delete;
  SequentialFile& operator=(const SequentialFile&) = delete;

  // Reads into `buffer` until at least `need` of `want` bytes have come or
  // the file ends, with at least one read; returns how many came. A short
  // read from a regular file is its end, so asking for a byte more than
  // needed tells whether the file goes on, without a further call.
  std::size_t Read(char* buffer, std::size_t want, std::size_t need);

 private:
  FolderCursor::NativePath path_;
  int descriptor_ = -1;
};

// Writes to a temporary file beside `path`; Commit() renames it into place.
// Destroyed without a commit, or interrupted by a signal, it removes the
// temporary file, so a failed build leaves nothing (an interruption during
// the rename lets it finish: the output is then whole). Messages name
// `path` and the system's reason.
class AtomicOutput {
 public:
  explicit AtomicOutput(std::filesystem::path path);
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  void Write(std::string_view bytes);
  std::uint64_t Written() const { return written_; }
  void Commit();

 private:
  std::filesystem::path path_;
  std::filesystem::path temporary_;
  std::unique_ptr<RemoveOnInterrupt> removal_;
  std::FILE* file_ = nullptr;
  std::uint64_t written_ = 0;
  bool committed_ = false;
};

// `path` in quotes, as UTF-8.
std::string Quoted(const std::filesystem::path& path);

// `path` as UTF-8 text (on POSIX, its bytes as they are).
std::string PathToUtf8(const std::filesystem::path& path);

// The path of UTF-8 text, on Windows too (where a narrow string would be
// read in the ANSI code page).
std::filesystem::path PathFromUtf8(std::string_view text);

// The system's reason for the last failed C library call.
std::string LastErrorText();

}  // namespace pack
