// libbzip2's sequential reading loop over the decoder's source and sink.

#include <bzlib.h>

#include <algorithm>
#include <vector>

#include "decode/paths.h"
#include "decode/work_memory.h"

namespace decode::paths {

Result Failed(int libraryStatus, unsigned streams, std::uint64_t streamStart) {
  Result result;
  switch (libraryStatus) {
    case BZ_CONFIG_ERROR: result.status = Status::kLibraryConfig; break;
    case BZ_IO_ERROR: result.status = Status::kIoError; break;
    case BZ_DATA_ERROR: result.status = Status::kDataError; break;
    case BZ_MEM_ERROR: result.status = Status::kOutOfMemory; break;
    case BZ_UNEXPECTED_EOF: result.status = Status::kTruncated; break;
    default: result.status = Status::kInternalError; break;
  }
  result.libraryStatus = libraryStatus;
  result.streams = streams;
  result.streamStart = streamStart;
  return result;
}

// How the input is read does not change what the library returns, but the
// 5,000-byte pieces of output do (a damaged block leaves what came before
// it in whole pieces), so they are kept.
Result ReadSequentially(Source& source, Sink& sink, std::uint64_t from, unsigned streams, const Options& options) {
  const std::uint64_t size = source.Size();
  std::vector<char> input(std::max<std::size_t>(options.readPiece, kReadSize));
  char* next = input.data();
  unsigned left = 0;  // unread bytes at `next`: what the library read past a stream's end
  std::uint64_t offset = from;
  char out[kReadSize];
  WorkMemory memory;
  for (;;) {
    const std::uint64_t streamStart = offset - left;
    bz_stream stream = {};
    memory.Attach(stream);
    const int opened = BZ2_bzDecompressInit(&stream, 0, 0);
    if (opened != BZ_OK) return Failed(opened, streams, streamStart);
    const StreamGuard guard{&stream};
    stream.next_in = next;
    stream.avail_in = left;
    int status = BZ_OK;
    while (status == BZ_OK) {
      // One BZ2_bzRead: returns when its piece is full, at the stream's end, or with an error.
      stream.next_out = out;
      stream.avail_out = kReadSize;
      for (;;) {
        if (stream.avail_in == 0 && offset < size) {
          const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), size - offset));
          if (!source.ReadAt(offset, input.data(), count)) return Failed(BZ_IO_ERROR, streams, streamStart);
          offset += count;
          stream.next_in = input.data();
          stream.avail_in = static_cast<unsigned>(count);
        }
        status = BZ2_bzDecompress(&stream);
        if (status != BZ_OK && status != BZ_STREAM_END) break;
        if (status == BZ_OK && offset == size && stream.avail_in == 0 && stream.avail_out > 0) {
          status = BZ_UNEXPECTED_EOF;
          break;
        }
        if (status == BZ_STREAM_END || stream.avail_out == 0) break;
      }
      if (status == BZ_DATA_ERROR_MAGIC) {
        // Bytes after a complete stream that start no new one are ignored.
        if (streams == 0) {
          Result result;
          result.status = Status::kNotBzip2;
          result.libraryStatus = status;
          return result;
        }
        Result result;
        result.streams = streams;
        result.streamStart = streamStart;
        return result;
      }
      if (status != BZ_OK && status != BZ_STREAM_END) return Failed(status, streams, streamStart);
      const std::size_t count = kReadSize - stream.avail_out;
      if (count > 0) {
        if (!sink.Write(out, count)) return Failed(BZ_IO_ERROR, streams, streamStart);
        if (options.progress) options.progress(offset - stream.avail_in);
      }
    }
    ++streams;
    next = stream.next_in;
    left = stream.avail_in;
    if (left == 0 && offset == size) {
      Result result;
      result.streams = streams;
      result.streamStart = size;
      return result;
    }
  }
}

}  // namespace decode::paths
