// SHA-1 and SHA-256: the published test vectors, and the same digest
// whatever pieces the bytes arrive in.

#include <gtest/gtest.h>

#include "pack/hash.h"
#include "pack/json.h"

namespace {

TEST(Hash, PublishedVectors) {
  const std::string longMessage = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string million(1'000'000, 'a');
  const struct {
    const std::string* bytes;
    const char* sha1;
    const char* sha256;
  } cases[] = {
      {nullptr, "da39a3ee5e6b4b0d3255bfef95601890afd80709",
       "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {&longMessage, "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {&million, "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    const std::string bytes = c.bytes ? *c.bytes : std::string();
    EXPECT_EQ(pack::HexBytes(pack::Sha1(bytes)), c.sha1) << bytes.size();
    EXPECT_EQ(pack::HexBytes(pack::Sha256(bytes)), c.sha256) << bytes.size();
  }
  EXPECT_EQ(pack::HexBytes(pack::Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Hash, PiecesGiveTheDigestOfTheWhole) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes += static_cast<char>(i * 7 + i / 13);
  for (const std::size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 127u, 1000u}) {
    pack::Sha1Hash sha1;
    pack::Sha256Hash sha256;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      sha1.Update(std::string_view(bytes).substr(at, piece));
      sha256.Update(std::string_view(bytes).substr(at, piece));
    }
    EXPECT_EQ(sha1.Finish(), pack::Sha1(bytes)) << piece;
    EXPECT_EQ(sha256.Finish(), pack::Sha256(bytes)) << piece;
  }
}

}  // namespace
