// Every path of the decoder against libbzip2's sequential reading loop on
// generated inputs: the same verdict and the same bytes, or the test fails.

#include "decode/bzip2_decode.h"

#include <gtest/gtest.h>

#include <exception>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <typeinfo>
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

// A sink that throws `error` once a write would take it past `throwAt`
// bytes, and counts what the decoder asks of it afterwards.
class ThrowingSink : public decode::Sink {
 public:
  ThrowingSink(std::size_t throwAt, std::exception_ptr error) : throwAt_(throwAt), error_(std::move(error)) {}
  bool Write(const char*, std::size_t size) override {
    if (thrown) {
      ++writesAfterThrowing;
      return true;
    }
    if (written + size > throwAt_) {
      thrown = true;
      std::rethrow_exception(error_);
    }
    written += size;
    return true;
  }
  bool Empty() override {
    ++emptied;
    written = 0;
    return true;
  }
  std::size_t written = 0;
  bool thrown = false;
  int writesAfterThrowing = 0;
  int emptied = 0;

 private:
  std::size_t throwAt_;
  std::exception_ptr error_;
};

// The type and text of what `decode` throws; empty when it throws nothing.
template <typename Decode>
std::string Thrown(Decode decode) {
  try {
    decode();
  } catch (const std::exception& exception) {
    return std::string(typeid(exception).name()) + ": " + exception.what();
  }
  return {};
}

// What a sink or the progress callback throws ends decoding on every path:
// the same exception, and nothing written again from the start, even for
// the exceptions the faster paths take for a shortage of memory or threads.
TEST(Bzip2DecodeTest, WhatTheSinkOrProgressThrowsPassesThroughAndNothingIsWrittenAgain) {
  const std::string many = Bzip2Stream(Text(900000, 30), 1);
  const std::string input = many + Bzip2Stream(Text(300000, 31), 3) + many;
  const std::exception_ptr errors[] = {
      std::make_exception_ptr(std::bad_alloc()),
      std::make_exception_ptr(std::system_error(std::make_error_code(std::errc::no_space_on_device))),
      std::make_exception_ptr(std::runtime_error("disk full")),
  };
  for (const std::exception_ptr& error : errors) {
    const std::string expected = Thrown([&error] { std::rethrow_exception(error); });
    for (const Way& way : kWays) {
      for (const std::size_t throwAt : {std::size_t{4999}, std::size_t{450000}, std::size_t{1500000}}) {
        SCOPED_TRACE(expected + " from the sink, " + way.name + ", at " + std::to_string(throwAt));
        testing_support::StringSource source(input);
        ThrowingSink sink(throwAt, error);
        EXPECT_EQ(Thrown([&] { decode::Decode(source, sink, OptionsFor(way)); }), expected);
        EXPECT_EQ(sink.writesAfterThrowing, 0);
        EXPECT_EQ(sink.emptied, 0);
      }
      SCOPED_TRACE(expected + " from the progress callback, " + way.name);
      testing_support::StringSource source(input);
      ThrowingSink sink(static_cast<std::size_t>(-1), nullptr);
      decode::Options options = OptionsFor(way);
      int calls = 0, callsAfterThrowing = 0;
      options.progress = [&](std::uint64_t) {
        if (++calls == 2) std::rethrow_exception(error);
        if (calls > 2) ++callsAfterThrowing;
      };
      EXPECT_EQ(Thrown([&] { decode::Decode(source, sink, options); }), expected);
      EXPECT_EQ(callsAfterThrowing, 0);
      EXPECT_EQ(sink.emptied, 0);
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
