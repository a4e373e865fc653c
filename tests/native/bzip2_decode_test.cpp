// Every path of the decoder against libbzip2's sequential reading loop on
// generated inputs: the same verdict and the same bytes, or the test fails.

#include "decode/bzip2_decode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/bzip2_blocks.h"
#include "reference_bzip2.h"
#include "test_support.h"

namespace {

using testing_support::Bzip2Stream;

// Text-like bytes: blocks of every size fill up with them.
std::string Text(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  const char* words[] = {"buddy ", "chat ", "skin ", "<xml/> ", "message ", "\r\n", "quenlith ", "Z"};
  std::string text;
  while (text.size() < size) text += words[random() % 8];
  text.resize(size);
  return text;
}

// Byte offsets of the block and end magics of a stream.
std::vector<bzip2_blocks::Marker> Markers(const std::string& stream) {
  bzip2_blocks::MarkerScanner scanner;
  scanner.Feed(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), true);
  return scanner.Found();
}

struct Case {
  std::string what;
  std::string input;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (int level = 1; level <= 9; ++level) {
    const std::string text = Text(static_cast<std::size_t>(level) * 100000 + 30000, static_cast<unsigned>(level));
    cases.push_back({"two blocks of size " + std::to_string(level), Bzip2Stream(text, level)});
  }
  const std::string many = Bzip2Stream(Text(450000, 20), 1);  // five blocks
  const std::string one = Bzip2Stream("one small block", 9);
  const std::string second = Bzip2Stream(Text(150000, 21), 2);
  cases.push_back({"one small block", one});
  cases.push_back({"many blocks", many});
  cases.push_back({"several streams", one + many + second + one});
  cases.push_back({"bytes after the last stream", many + "junk after"});
  cases.push_back({"a partial header after the last stream", second + "BZ"});
  cases.push_back({"a header and junk after the last stream", second + "BZh9junk"});
  cases.push_back({"junk between streams", one + "junk" + second});
  cases.push_back({"an empty stream", Bzip2Stream("", 9)});
  cases.push_back({"empty streams around one", Bzip2Stream("", 1) + second + Bzip2Stream("", 5)});
  cases.push_back({"no input", ""});
  cases.push_back({"not bzip2", Text(3000, 22)});
  cases.push_back({"output far larger than the input", Bzip2Stream(std::string(5u << 20, '\0'), 9)});
  cases.push_back({"large output in a middle block",
                   Bzip2Stream(Text(250000, 23) + std::string(3u << 19, 'q') + Text(250000, 24), 1)});
  std::string smaller = Bzip2Stream(Text(600000, 25), 9);
  smaller[3] = '1';
  cases.push_back({"a header whose block size is smaller than its blocks", smaller});

  const std::vector<bzip2_blocks::Marker> markers = Markers(many);
  for (std::size_t i = 0; i < markers.size(); ++i) {
    const std::size_t at = static_cast<std::size_t>(markers[i].bit / 8);
    if (!markers[i].end) {
      std::string flipped = many;
      flipped[(at + static_cast<std::size_t>(markers[i + 1].bit / 8)) / 2 + 6] ^= 0x04;
      cases.push_back({"a flipped byte in block " + std::to_string(i), flipped});
      std::string crc = many;
      crc[at + 7] ^= 0x01;
      cases.push_back({"a flipped block CRC in block " + std::to_string(i), crc});
    }
    cases.push_back({"cut at boundary " + std::to_string(i), many.substr(0, at)});
    if (i == 2) cases.push_back({"cut at boundary 2 of the second stream", one + many.substr(0, at)});
  }
  std::string streamCrc = many;
  streamCrc[streamCrc.size() - 3] ^= 0x10;
  cases.push_back({"a flipped stream CRC", streamCrc});
  cases.push_back({"a flipped stream CRC in the second of three", one + streamCrc + second});
  cases.push_back({"cut inside the stream CRC", many.substr(0, many.size() - 2)});
  return cases;
}

struct Way {
  const char* name;
  decode::Path path;
  unsigned workers;
};

// Small limits, so that short inputs reach them: pieces that cut blocks
// and headers, outputs too large to hold.
decode::Options OptionsFor(const Way& way) {
  decode::Options options;
  options.path = way.path;
  options.workers = way.workers;
  options.maxStreamBytes = 2u << 20;
  options.maxBlockOutput = 1u << 20;
  options.maxBlockInput = 256u << 10;
  options.readPiece = 64u << 10;
  return options;
}

const Way kWays[] = {
    {"sequential", decode::Path::kSequential, 1},
    {"whole streams", decode::Path::kStreams, 2},
    {"blocks", decode::Path::kBlocks, 2},
    {"blocks, 3 workers", decode::Path::kBlocks, 3},
    {"chosen", decode::Path::kAuto, 2},
    {"chosen, 1 worker", decode::Path::kAuto, 1},
};

TEST(Bzip2DecodeTest, EveryPathGivesTheSequentialLoopsVerdictAndBytes) {
  for (const Case& c : Cases()) {
    const testing_support::ReferenceResult expected = testing_support::ReadWithLibrary(c.input);
    for (const Way& way : kWays) {
      SCOPED_TRACE(c.what + ", " + way.name);
      testing_support::StringSource source(c.input);
      testing_support::StringSink sink;
      const decode::Result result = decode::Decode(source, sink, OptionsFor(way));
      EXPECT_EQ(static_cast<int>(result.status), static_cast<int>(expected.status));
      EXPECT_EQ(sink.Bytes().size(), expected.bytes.size());
      EXPECT_TRUE(sink.Bytes() == expected.bytes);
    }
  }
}

TEST(Bzip2DecodeTest, ASinkThatFailsMidwayIsAnIoErrorOnEveryPath) {
  const std::string many = Bzip2Stream(Text(900000, 30), 1);
  const std::string input = many + Bzip2Stream(Text(300000, 31), 3) + many;
  for (const Way& way : kWays) {
    for (std::size_t failAt : {std::size_t{0}, std::size_t{4999}, std::size_t{450000}, std::size_t{1500000}}) {
      SCOPED_TRACE(std::string(way.name) + ", failing at " + std::to_string(failAt));
      testing_support::StringSource source(input);
      testing_support::StringSink sink(failAt);
      const decode::Result result = decode::Decode(source, sink, OptionsFor(way));
      EXPECT_EQ(result.status, decode::Status::kIoError);
      EXPECT_EQ(testing_support::ReadWithLibrary(input, failAt).status, decode::Status::kIoError);
    }
  }
}

TEST(Bzip2DecodeTest, ProgressReachesTheEndOfTheLastStream) {
  const std::string input = Bzip2Stream(Text(400000, 40), 1) + Bzip2Stream(Text(400000, 41), 2) + "junk";
  for (const Way& way : kWays) {
    SCOPED_TRACE(way.name);
    testing_support::StringSource source(input);
    testing_support::StringSink sink;
    decode::Options options = OptionsFor(way);
    std::vector<std::uint64_t> seen;
    options.progress = [&seen](std::uint64_t consumed) { seen.push_back(consumed); };
    const decode::Result result = decode::Decode(source, sink, options);
    EXPECT_EQ(result.status, decode::Status::kDone);
    EXPECT_EQ(result.streams, 2u);
    EXPECT_EQ(result.streamStart, input.size() - 4) << "where the junk starts";
    ASSERT_FALSE(seen.empty());
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]);
    EXPECT_LE(seen.back(), input.size());
    EXPECT_GE(seen.back(), input.size() - 4 - 10);
  }
}

}  // namespace
