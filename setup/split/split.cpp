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
  std::FILE* input = OpenFileUtf8(inputPath, "rb");
  std::FILE* output = OpenFileUtf8(outputPath, "wb");
  if (input == nullptr || output == nullptr) {
    failure.status = SplitStatus::kOpenFailed;
    failure.input = input;
    failure.output = output;
    if (input != nullptr) std::fclose(input);
    if (output != nullptr) std::fclose(output);
    return failure;
  }
  const std::uint64_t fileSize = DirectoryEntrySize(inputPath).value_or(0);
  LOG_NORMAL("Digital signatures enabled.");

  FileInput in(input);
  FileOutput out(output);
  const split::Result result = split::SplitSection(in, fileSize, out, expectedOffset, checkOffset, sectionIndex);
  const bool closed = std::fclose(output) == 0;
  std::fclose(input);

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
