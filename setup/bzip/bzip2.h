#pragma once
// The decompression stage: turns the compressed payload (one or more
// concatenated bzip2 streams) into the payload archive.

#include <cstdio>
#include <string>

#include "decode/bzip2_decode.h"

// The stage's verdict is the decoder's: kDone (every stream decompressed;
// here also both files flushed and closed), kNotBzip2, kIoError (reading or
// writing failed, a full disk say), kDataError (a CRC did not match: corrupt
// data), kTruncated, kOutOfMemory, kLibraryConfig, kInternalError.
using DecompressStatus = decode::Status;

struct DecompressResult {
  DecompressStatus status = DecompressStatus::kDone;
  int errorNumber = 0;   // kIoError: the C runtime's errno of the failing call
  std::string where;     // kInternalError: which step ("decompress:bzReadGetUnused", ...)
};

// Decompresses `input` into `output`, taking ownership of both streams:
// they are closed on every path. Bytes after the last complete stream are
// ignored. Shows nothing and ends nothing: the result says what happened.
DecompressResult DecompressStream(std::FILE* input, std::FILE* output);
