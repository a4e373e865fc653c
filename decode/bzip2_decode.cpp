#include "decode/bzip2_decode.h"

#include <bzlib.h>

#include <new>
#include <system_error>

#include "decode/paths.h"

namespace decode {
namespace {

using paths::Ahead;

// The caller's sink, noting when it throws.
class WatchedSink : public Sink {
 public:
  WatchedSink(Sink& sink, bool& threw) : sink_(sink), threw_(threw) {}
  bool Write(const char* bytes, std::size_t size) override {
    try {
      return sink_.Write(bytes, size);
    } catch (...) {
      threw_ = true;
      throw;
    }
  }
  bool Empty() override { return sink_.Empty(); }

 private:
  Sink& sink_;
  bool& threw_;
};

}  // namespace

Result Decode(Source& source, Sink& sink, const Options& options) {
  Path path = options.path;
  if (path == Path::kAuto && paths::Workers(options) < 2) path = Path::kSequential;
  Ahead ahead;
  bool emptied = false;
  if (path != Path::kSequential) {
    // Short of memory or of threads, the faster paths hand over to the
    // sequential loop, which needs far less and starts over. What the
    // caller's sink or progress callback throws is no such shortage: it
    // passes through, and nothing is written again.
    bool callerThrew = false;
    WatchedSink watched(sink, callerThrew);
    Options watchedOptions = options;
    if (options.progress)
      watchedOptions.progress = [&options, &callerThrew](std::uint64_t consumed) {
        try {
          options.progress(consumed);
        } catch (...) {
          callerThrew = true;
          throw;
        }
      };
    bool shortOfResources = false;
    try {
      if (path != Path::kBlocks) {
        // Several streams side by side; a single one block by block.
        bool useBlocks = false;
        ahead = paths::DecodeStreams(source, watched, watchedOptions, path == Path::kAuto, useBlocks);
        if (useBlocks) path = Path::kBlocks;
      }
      if (path == Path::kBlocks) {
        ahead = paths::DecodeBlocks(source, watched, watchedOptions);
        emptied = !ahead.sinkFailed && ahead.streams == 0;
      }
    } catch (const std::bad_alloc&) {
      if (callerThrew) throw;
      shortOfResources = true;
    } catch (const std::system_error&) {
      if (callerThrew) throw;
      shortOfResources = true;
    }
    if (shortOfResources) {
      ahead = Ahead{};
      emptied = true;
    }
  }
  if (ahead.sinkFailed) return paths::Failed(BZ_IO_ERROR, ahead.streams, ahead.resume);
  if (emptied && !sink.Empty()) return paths::Failed(BZ_IO_ERROR, 0, 0);
  if (ahead.streams > 0 && ahead.resume == source.Size()) {
    Result result;
    result.streams = ahead.streams;
    result.streamStart = ahead.resume;
    return result;
  }
  return paths::ReadSequentially(source, sink, ahead.resume, ahead.streams, options);
}
}  // namespace decode
