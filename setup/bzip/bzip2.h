#pragma once
// The decompression stage: turns the compressed payload (one or more
// concatenated bzip2 streams) into the payload archive.

#include <cstdio>

// Decompresses `input` into `output`, taking ownership of both streams:
// they are closed on every path that returns. Bytes after the last complete
// stream are ignored. Returns false only when the input does not start with
// a bzip2 stream. Every other failure logs its ERROR line, shows its box
// unless the run is silent, and ends the process with exit code 1
// (input/output or memory), 2 (corrupt or truncated data) or 3 (library).
bool DecompressStream(std::FILE* input, std::FILE* output);
