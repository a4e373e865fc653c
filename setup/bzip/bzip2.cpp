#include "bzip/bzip2.h"

#include <bzlib.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>

#include "exit_codes.h"
#include "log/setup_log.h"
#include "main/messages.h"
#include "main/startup.h"

namespace {

constexpr int kBufferSize = 5000;  // output block and carry-over (BZ_MAX_UNUSED)

[[noreturn]] void FailIo() {
  LOG_ERROR("I/O error while decompressing (errno {}).", errno);
  SetupMessageBox(nullptr, kTemporaryFilesMessage, kSetupErrorCaption, MB_OK);
  ExitSetup(kExitDecompressIo);
}

[[noreturn]] void FailInternal(const char* where) {
  LOG_ERROR("Internal decompression error: {}.", where);
  ExitSetup(kExitDecompressLibrary);
}

// Acts on a failing status; returns only for input that is not bzip2 data.
void Dispatch(int status) {
  switch (status) {
    case BZ_CONFIG_ERROR:
      LOG_ERROR("Decompression library configuration error.");
      ExitSetup(kExitDecompressLibrary);
    case BZ_IO_ERROR:
      FailIo();
    case BZ_DATA_ERROR:
      LOG_ERROR("Data integrity (CRC) error while decompressing - the setup file is corrupt.");
      SetupMessageBox(nullptr, kInvalidSetupMessage, kInvalidSetupCaption, MB_OK);
      ExitSetup(kExitDecompressData);
    case BZ_MEM_ERROR:
      LOG_ERROR("Out of memory while decompressing.");
      ExitSetup(kExitDecompressIo);
    case BZ_UNEXPECTED_EOF:
      LOG_ERROR("Compressed data ended unexpectedly - the setup file is truncated or corrupt.");
      SetupMessageBox(nullptr, kInvalidSetupMessage, kInvalidSetupCaption, MB_OK);
      ExitSetup(kExitDecompressData);
    case BZ_DATA_ERROR_MAGIC:
      return;
    default:
      FailInternal("decompress:unexpected error");
  }
}

}  // namespace

bool DecompressStream(std::FILE* input, std::FILE* output) {
  if (_setmode(_fileno(output), _O_BINARY) == -1 || _setmode(_fileno(input), _O_BINARY) == -1 || std::ferror(input) ||
      std::ferror(output))
    FailIo();

  char block[kBufferSize];
  char unused[BZ_MAX_UNUSED];
  int unusedCount = 0;
  int streams = 0;
  while (true) {
    int status = BZ_OK;
    BZFILE* reader = BZ2_bzReadOpen(&status, input, 0, 0, unused, unusedCount);
    if (reader == nullptr || status != BZ_OK) {
      BZ2_bzReadClose(&status, reader);
      Dispatch(status);
      std::fclose(input);
      std::fclose(output);
      return streams > 0;
    }
    ++streams;
    while (status == BZ_OK) {
      const int count = BZ2_bzRead(&status, reader, block, kBufferSize);
      if (status == BZ_DATA_ERROR_MAGIC) break;
      if ((status == BZ_OK || status == BZ_STREAM_END) && count > 0) {
        std::fwrite(block, 1, static_cast<std::size_t>(count), output);
        if (std::ferror(output)) FailIo();
      }
    }
    if (status != BZ_STREAM_END) {
      int ignored = BZ_OK;
      BZ2_bzReadClose(&ignored, reader);
      if (status == BZ_DATA_ERROR_MAGIC) {
        std::fclose(input);
        std::fclose(output);
        // Bytes after a complete stream that start no new one are ignored.
        return streams > 1;
      }
      Dispatch(status);
    }
    void* carried = nullptr;
    BZ2_bzReadGetUnused(&status, reader, &carried, &unusedCount);
    if (status != BZ_OK) FailInternal("decompress:bzReadGetUnused");
    // The carried bytes live in the reader: copy them before closing it.
    std::memcpy(unused, carried, static_cast<std::size_t>(unusedCount));
    BZ2_bzReadClose(&status, reader);
    if (status != BZ_OK) FailInternal("decompress:bzReadGetUnused");

    if (unusedCount == 0) {
      const int next = std::fgetc(input);
      if (next == EOF) break;
      std::ungetc(next, input);
    }
  }
  if (std::ferror(input) || std::fclose(input) != 0) {
    std::fclose(output);
    FailIo();
  }
  if (std::ferror(output) || std::fflush(output) != 0 || std::fclose(output) != 0) FailIo();
  return true;
}
