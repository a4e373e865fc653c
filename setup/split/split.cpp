#include "split/split.h"

#include <cstdio>

#include "files.h"
#include "log/setup_log.h"
#include "main/messages.h"
#include "split/layout.h"
#include "split/split_core.h"

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

void ShowInvalidSetupFile(std::uint32_t first, std::uint32_t expected, std::uint32_t index) {
  char text[256];
  std::snprintf(text, sizeof text, "The setup file does not appear to be valid, please re-download (%d:%d:%d)",
                static_cast<int>(first), static_cast<int>(expected), static_cast<int>(index));
  SetupMessageBox(nullptr, text, kInvalidSetupCaption, MB_OK);
}

}  // namespace

bool SplitSetupFile(const std::string& inputPath, const std::string& outputPath, std::uint32_t expectedOffset,
                    bool checkOffset, std::uint32_t sectionIndex) {
  std::FILE* input = OpenFileUtf8(inputPath, "rb");
  std::FILE* output = OpenFileUtf8(outputPath, "wb");
  if (input == nullptr || output == nullptr) {
    LOG_ERROR("Input or output file failure ({}, {}) for \"{}\" and \"{}\".", input, output, inputPath, outputPath);
    if (input != nullptr) std::fclose(input);
    if (output != nullptr) std::fclose(output);
    return false;
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
      LOG_ERROR("Unable to locate signature size ({}:{}).", layout::kMarkerSearchWindow, 0);
      ShowInvalidSetupFile(0, expectedOffset, 0);
      return false;
    case split::Outcome::kOffsetMismatch:
    case split::Outcome::kBrokenChain:
      LOG_NORMAL("Signature size is {} bytes.", result.signatureSize);
      LOG_ERROR("Error during configuration check ({}:{}).", result.readOffset, expectedOffset);
      ShowInvalidSetupFile(result.readOffset, expectedOffset, result.failedIndex);
      return false;
    case split::Outcome::kCopied:
      LOG_NORMAL("Signature size is {} bytes.", result.signatureSize);
      if (result.writeFailed || !closed) {
        LOG_ERROR("Unable to write \"{}\" ({} bytes written).", outputPath, result.copied);
        SetupMessageBox(nullptr, kTemporaryFilesMessage, kSetupErrorCaption, MB_OK);
        return false;
      }
      return true;
  }
  return false;
}
