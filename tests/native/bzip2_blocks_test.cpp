#include "formats/bzip2_blocks.h"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using bzip2_blocks::Marker;

// Text-like bytes that compress to several blocks at block size 1.
std::string Text(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  const char* words[] = {"buddy ", "chat ", "skin ", "<xml/> ", "message ", "\r\n", "quenlith "};
  std::string text;
  while (text.size() < size) text += words[random() % 7];
  text.resize(size);
  return text;
}


// Decompresses one whole stream; the library's status.
int Decompress(const std::string& stream, std::string& out) {
  std::vector<char> buffer(4 << 20);
  unsigned int size = static_cast<unsigned int>(buffer.size());
  std::string copy = stream;
  const int status =
      BZ2_bzBuffToBuffDecompress(buffer.data(), &size, copy.data(), static_cast<unsigned int>(copy.size()), 0, 0);
  out.assign(buffer.data(), status == BZ_OK ? size : 0);
  return status;
}

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// The markers of `bytes`, fed in pieces of `piece` bytes.
std::vector<Marker> Markers(const std::string& bytes, std::size_t piece) {
  bzip2_blocks::MarkerScanner scanner;
  if (bytes.empty()) scanner.Feed(nullptr, 0, true);
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    const std::size_t size = std::min(piece, bytes.size() - at);
    scanner.Feed(Bytes(bytes) + at, size, at + size == bytes.size());
  }
  return scanner.Found();
}

const std::size_t kPieces[] = {1, 3, 7, 8, 13, 4096, 1u << 30};

TEST(Bzip2BlocksTest, EveryBlockReWrappedDecompressesAndTheCrcsCombineToTheStreams) {
  const std::string text = Text(450000, 1);
  const std::string stream = testing_support::Bzip2Stream(text, 1);
  for (std::size_t piece : kPieces) {
    SCOPED_TRACE(piece);
    const std::vector<Marker> markers = Markers(stream, piece);
    ASSERT_GE(markers.size(), 5u) << "several blocks and the end";
    EXPECT_EQ(markers.front().bit, 32u);
    ASSERT_TRUE(markers.back().end);
    std::string joined;
    std::uint32_t combined = 0;
    for (std::size_t i = 0; i + 1 < markers.size(); ++i) {
      ASSERT_FALSE(markers[i].end);
      const std::string block = bzip2_blocks::WrapBlock(Bytes(stream), markers[i].bit, markers[i + 1].bit, '1');
      std::string out;
      ASSERT_EQ(Decompress(block, out), BZ_OK) << "block " << i;
      joined += out;
      combined = bzip2_blocks::CombineCrc(combined, bzip2_blocks::ReadBits(Bytes(stream), markers[i].bit + 48, 32));
    }
    EXPECT_TRUE(joined == text);
    EXPECT_EQ(combined, bzip2_blocks::ReadBits(Bytes(stream), markers.back().bit + 48, 32));
  }
}

TEST(Bzip2BlocksTest, FaultsAreCaughtByTheBlocksOwnChecks) {
  const std::string stream = testing_support::Bzip2Stream(Text(250000, 2), 1);
  const std::vector<Marker> markers = Markers(stream, 4096);
  ASSERT_GE(markers.size(), 4u);
  const std::uint64_t second = markers[1].bit, third = markers[2].bit;

  // A wrong block CRC.
  std::string badCrc = stream;
  badCrc[(second + 60) / 8] ^= static_cast<char>(0x80 >> ((second + 60) % 8));
  std::string out;
  EXPECT_EQ(Decompress(bzip2_blocks::WrapBlock(Bytes(badCrc), second, third, '1'), out), BZ_DATA_ERROR);

  // A magic that occurs in the data by chance, 13 bits into a block: the
  // piece before it is no block of its own.
  std::string coincidence = stream;
  const std::uint64_t at = second + 48 + 32 + 13 * 8 + 5;
  for (unsigned i = 0; i < 48; ++i) {
    const bool set = (0x314159265359ULL >> (47 - i)) & 1;
    char& byte = coincidence[(at + i) / 8];
    const char bit = static_cast<char>(0x80 >> ((at + i) % 8));
    byte = static_cast<char>(set ? (byte | bit) : (byte & ~bit));
  }
  const std::vector<Marker> found = Markers(coincidence, 7);
  bool seen = false;
  for (const Marker& m : found) seen = seen || m.bit == at;
  EXPECT_TRUE(seen);
  EXPECT_NE(Decompress(bzip2_blocks::WrapBlock(Bytes(coincidence), second, at, '1'), out), BZ_OK);

  // A stream cut short has no end marker.
  for (std::size_t piece : kPieces) {
    const std::vector<Marker> cut = Markers(stream.substr(0, stream.size() - 6), piece);
    ASSERT_FALSE(cut.empty());
    EXPECT_FALSE(cut.back().end) << piece;
  }
}

TEST(Bzip2BlocksTest, ConcatenatedStreamsShowEachEnd) {
  const std::string first = testing_support::Bzip2Stream(Text(150000, 3), 1);
  const std::string second = testing_support::Bzip2Stream(Text(10, 4), 9);
  for (std::size_t piece : kPieces) {
    const std::vector<Marker> markers = Markers(first + second, piece);
    std::vector<std::uint64_t> ends;
    for (const Marker& m : markers)
      if (m.end) ends.push_back(m.bit);
    ASSERT_EQ(ends.size(), 2u) << piece;
    // Each stream's end marker is followed by its CRC and at most 7 bits of padding.
    EXPECT_EQ((ends[0] + 80 + 7) / 8, first.size()) << piece;
    EXPECT_EQ((ends[1] + 80 + 7) / 8, first.size() + second.size()) << piece;
  }
}

TEST(Bzip2BlocksTest, ShortAndEmptyInputs) {
  for (const std::string& bytes : {std::string(), std::string("BZh9"), std::string("\x31\x41\x59\x26\x53", 5)})
    for (std::size_t piece : kPieces) EXPECT_TRUE(Markers(bytes, piece).empty()) << bytes.size();
  const std::string magic("\x31\x41\x59\x26\x53\x59", 6);
  for (std::size_t piece : kPieces) {
    const std::vector<Marker> markers = Markers(magic, piece);
    ASSERT_EQ(markers.size(), 1u) << piece;
    EXPECT_EQ(markers[0].bit, 0u);
  }
}

}  // namespace
