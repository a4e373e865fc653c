#include "split/split.h"

#include <cstdio>

#include "platform/files.h"
#include "log/setup_log.h"
#include "formats/layout.h"
#include "formats/split_core.h"

namespace {

class FileInput : public split::Input {
 public:
  explicit FileInput(std::FILE* file) : file_(file) {}
  bool Seek(std::uint64_t offset) override { return _fseeki64(file_, static_cast<__int64>(offset), SEEK_SET) == 0; }
  std::size_t Read(void* buffer, std::size_t size) override { return std::fread(buffer, 1, size, file_); }

 private:
  std::FILE* file_;
};

// Unbuffered, so each write's result says whether its bytes reached the file.
class HandleOutput : public split::Output {
 public:
  explicit HandleOutput(HANDLE file) : file_(file) {}
  bool Write(const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      DWORD done = 0;
      if (!WriteFile(file_, bytes, static_cast<DWORD>(size), &done, nullptr) || done == 0) return false;
      bytes += done;
      size -= done;
    }
    return true;
  }

 private:
  HANDLE file_;
};

}  // namespace

SplitResult SplitSetupFile(const std::string& inputPath, HANDLE output, std::uint32_t expectedOffset, bool checkOffset,
                           std::uint32_t sectionIndex) {
  SplitResult failure;
  const FileStream package{OpenFileUtf8(inputPath, "rb")};
  if (!package) {
    failure.status = SplitStatus::kOpenFailed;
    failure.output = output;
    return failure;
  }
  std::FILE* input = package.get();
  const std::uint64_t fileSize = DirectoryEntrySize(inputPath).value_or(0);
  LOG_NORMAL("Digital signatures enabled.");

  FileInput in(input);
  HandleOutput out(output);
  const split::Result result = split::SplitSection(in, fileSize, out, expectedOffset, checkOffset, sectionIndex);

  switch (result.outcome) {
    case split::Outcome::kNoEndMarker:
      failure.status = SplitStatus::kNoEndMarker;
      return failure;
    case split::Outcome::kOffsetMismatch:
    case split::Outcome::kBrokenChain:
      LOG_NORMAL("Signature size is {} bytes.", result.signatureSize);
      failure.status = SplitStatus::kOffsetMismatch;
      failure.readOffset = result.readOffset;
      failure.failedIndex = result.failedIndex;
      return failure;
    case split::Outcome::kCopied:
      LOG_NORMAL("Signature size is {} bytes.", result.signatureSize);
      if (result.writeFailed) {
        failure.status = SplitStatus::kWriteFailed;
        failure.written = result.copied;
        return failure;
      }
      return {};
  }
  return {};
}
