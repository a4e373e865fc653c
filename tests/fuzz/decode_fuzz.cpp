// Runs the decoder's every path over arbitrary input and compares each with
// libbzip2's sequential reading loop: the same verdict and the same bytes,
// or the target aborts. The first byte picks the workers and the limits, so
// that small inputs reach them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "decode/bzip2_decode.h"
#include "reference_bzip2.h"

namespace {

// Outputs past this are not compared: a few bytes of bzip2 can stand for
// tens of megabytes, which would only slow the search down.
constexpr std::size_t kMaxOutput = 8u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned choice = data[0];
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const testing_support::ReferenceResult expected = testing_support::ReadWithLibrary(input, kMaxOutput);
  if (expected.status == decode::Status::kIoError) return 0;
  for (const decode::Path path : {decode::Path::kSequential, decode::Path::kStreams, decode::Path::kBlocks}) {
    decode::Options options;
    options.path = path;
    options.workers = 1 + choice % 3;
    options.readPiece = std::size_t{64} << ((choice >> 2) % 8);
    options.maxBlockOutput = std::size_t{4096} << ((choice >> 5) % 8);
    options.maxBlockInput = std::size_t{1024} << ((choice >> 3) % 8);
    options.maxStreamBytes = std::size_t{8192} << ((choice >> 4) % 8);
    testing_support::StringSource source(input);
    testing_support::StringSink sink;
    const decode::Result result = decode::Decode(source, sink, options);
    if (result.status != expected.status || sink.Bytes() != expected.bytes) std::abort();
  }
  return 0;
}
