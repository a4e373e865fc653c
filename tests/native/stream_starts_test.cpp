#include "formats/stream_starts.h"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Compress(const std::string& text, int blockSize) {
  std::vector<char> out(text.size() + text.size() / 100 + 700);
  unsigned int size = static_cast<unsigned int>(out.size());
  std::string copy = text;
  EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &size, copy.data(), static_cast<unsigned int>(copy.size()),
                                     blockSize, 0, 0),
            BZ_OK);
  return {out.begin(), out.begin() + size};
}

// Feeds `bytes` in pieces of `piece` bytes and returns the starts found.
std::vector<std::int64_t> Scan(const std::vector<unsigned char>& bytes, std::size_t piece) {
  StreamStartScanner scanner;
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    scanner.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
  EXPECT_EQ(scanner.Size(), static_cast<std::int64_t>(bytes.size()));
  return scanner.Starts();
}

TEST(StreamStartScanner, FindsEveryStreamOfAConcatenationWhateverTheFeedSizes) {
  // Three streams: text, an empty one (end-of-stream magic right after the
  // header) and one with a different block size.
  std::vector<unsigned char> bytes;
  std::vector<std::int64_t> expected;
  for (const auto& [text, blockSize] : std::vector<std::pair<std::string, int>>{
           {std::string(20000, 'a') + "quenlith", 9}, {"", 9}, {"BZh9 inside the text", 1}}) {
    expected.push_back(static_cast<std::int64_t>(bytes.size()));
    const std::vector<unsigned char> stream = Compress(text, blockSize);
    bytes.insert(bytes.end(), stream.begin(), stream.end());
  }
  for (std::size_t piece : {1u, 3u, 9u, 10u, 11u, 64u, 100000u}) EXPECT_EQ(Scan(bytes, piece), expected) << piece;
}

TEST(StreamStartScanner, TakesOnlyWholeHeaders) {
  const std::vector<unsigned char> block = {'B', 'Z', 'h', '9', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
  const std::vector<unsigned char> end = {'B', 'Z', 'h', '1', 0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::vector<std::int64_t> starts;
  } cases[] = {
      {"block header after junk", [&] { auto b = std::vector<unsigned char>{'x', 'B', 'Z'}; b.insert(b.end(), block.begin(), block.end()); return b; }(), {3}},
      {"end-of-stream header", end, {0}},
      {"header cut short at the end", {block.begin(), block.end() - 1}, {}},
      {"block size digit 0", [&] { auto b = block; b[3] = '0'; return b; }(), {}},
      {"wrong magic", [&] { auto b = block; b[9] = 0x58; return b; }(), {}},
      {"empty input", {}, {}},
  };
  for (const Case& c : cases)
    for (std::size_t piece : {1u, 4u, 1000u})
      if (!c.bytes.empty() || piece == 1000u) EXPECT_EQ(Scan(c.bytes, piece), c.starts) << c.name << ", pieces of " << piece;
}

}  // namespace
