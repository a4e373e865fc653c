// Finds bzip2 block magics in arbitrary bytes fed in arbitrary pieces and
// re-wraps and decompresses the spans between them, as the installer does
// with a single-stream payload. Every marker must be a magic where it is
// reported, the pieces must not change what is found, and nothing may be
// read or written outside the buffers.

#include <bzlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/bzip2_blocks.h"

namespace {

std::vector<bzip2_blocks::Marker> Markers(const std::uint8_t* data, std::size_t size, std::size_t piece) {
  bzip2_blocks::MarkerScanner scanner;
  if (size == 0) scanner.Feed(data, 0, true);
  for (std::size_t at = 0; at < size; at += piece) {
    const std::size_t count = size - at < piece ? size - at : piece;
    scanner.Feed(data + at, count, at + count == size);
  }
  return scanner.Found();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = 1 + data[0] % 17;
  ++data;
  --size;
  const std::vector<bzip2_blocks::Marker> whole = Markers(data, size, size + 1);
  const std::vector<bzip2_blocks::Marker> pieces = Markers(data, size, piece);
  if (whole.size() != pieces.size()) std::abort();
  for (std::size_t i = 0; i < whole.size(); ++i) {
    const bzip2_blocks::Marker& m = whole[i];
    if (m.bit != pieces[i].bit || m.end != pieces[i].end || m.bit + 48 > size * 8) std::abort();
    const std::uint64_t magic = (static_cast<std::uint64_t>(bzip2_blocks::ReadBits(data, m.bit, 16)) << 32) |
                                bzip2_blocks::ReadBits(data, m.bit + 16, 32);
    if (magic != (m.end ? 0x177245385090ULL : 0x314159265359ULL)) std::abort();
    if (i > 0 && m.bit <= whole[i - 1].bit) std::abort();
  }
  for (std::size_t i = 0; i + 1 < whole.size(); ++i) {
    if (whole[i].end || whole[i + 1].bit < whole[i].bit + 80) continue;
    std::string wrapped = bzip2_blocks::WrapBlock(data, whole[i].bit, whole[i + 1].bit, '1');
    std::vector<char> out(1 << 16);
    unsigned int outSize = static_cast<unsigned int>(out.size());
    BZ2_bzBuffToBuffDecompress(out.data(), &outSize, wrapped.data(), static_cast<unsigned int>(wrapped.size()), 0, 0);
  }
  return 0;
}
