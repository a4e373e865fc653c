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

class FileOutput : public split::Output {
 public:
  explicit FileOutput(std::FILE* file) : file_(file) {}
  bool Write(const void* data, std::size_t size) override { return std::fwrite(data, 1, size, file_) == size; }

 private:
  std::FILE* file_;
};

}  // namespace

SplitResult SplitSetupFile(const std::string& inputPath, const std::string& outputPath, std::uint32_t expectedOffset,
                           bool checkOffset, std::uint32_t sectionIndex) {
  SplitResult failure;
  const FileStream package{OpenFileUtf8(inputPath, "rb")};
  FileStream copy{OpenFileUtf8(outputPath, "wb")};
  if (!package || !copy) {
    failure.status = SplitStatus::kOpenFailed;
    failure.input = package.get();
    failure.output = copy.get();
    return failure;
  }
  std::FILE* input = package.get();
  const std::uint64_t fileSize = DirectoryEntrySize(inputPath).value_or(0);
  LOG_NORMAL("Digital signatures enabled.");

  FileInput in(input);
  FileOutput out(copy.get());
  const split::Result result = split::SplitSection(in, fileSize, out, expectedOffset, checkOffset, sectionIndex);
  // The copy's close says whether its last bytes reached the disk.
  const bool closed = std::fclose(copy.release()) == 0;

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
      if (result.writeFailed || !closed) {
        failure.status = SplitStatus::kWriteFailed;
        failure.written = result.copied;
        return failure;
      }
      return {};
  }
  return {};
}
