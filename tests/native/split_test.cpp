// Copying a section out of a package: end-marker search, signature size,
// chain walk, offset check and exact copy lengths, on crafted packages.

#include <gtest/gtest.h>

#include <sstream>

#include "pack/build.h"
#include "memory_split.h"
#include "formats/layout.h"
#include "test_support.h"

namespace {

using testing_support::Pattern;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

const std::string kMarkerLine = std::string(layout::kEndMarker) + "\r\n";
const std::string kScript = "[install]\r\nInstallerSilent=1\r\n; End the file with this guid\r\n" + kMarkerLine;

struct Package {
  std::string image = std::string(2048, 'i');
  std::string payload = Pattern(1000, 1);
  std::uint32_t payloadOffset = 0;  // 0: right after the image
  std::string script = kScript;
  std::string signature;
};

std::string Assemble(const Package& p) {
  return testing_support::AssemblePackage(p.image, p.payload, p.payloadOffset, p.script, p.signature);
}

struct Split {
  split::Result result;
  std::string copied;
};

Split SplitOf(const std::string& package, std::uint32_t section, std::uint32_t expected = 0, bool check = false) {
  MemoryInput input(package);
  MemoryOutput output;
  Split split{split::SplitSection(input, package.size(), output, expected, check, section), {}};
  split.copied = output.bytes;
  return split;
}

TEST(SplitSection, CopiesEachSectionOfCraftedPackagesExactly) {
  std::string lower = kScript;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const struct {
    const char* what;
    Package package;
    std::uint32_t signatureSize;
  } cases[] = {
      {"unsigned", {}, 0},
      {"lower-case marker", {.script = lower}, 0},
      {"signature", {.signature = std::string(3000, 's')}, 3000},
      {"largest signature", {.signature = std::string(12244, 's')}, 12244},
      {"payload of two whole blocks", {.payload = Pattern(8192, 2)}, 0},
      {"payload of one byte more", {.payload = Pattern(4097, 3)}, 0},
      {"empty payload", {.payload = ""}, 0},
      {"large package", {.image = std::string(3 * 4096 + 17, 'i'), .payload = Pattern(70000, 4)}, 0},
  };
  for (const auto& c : cases) {
    const std::string package = Assemble(c.package);
    const Split script = SplitOf(package, 0);
    EXPECT_EQ(script.result.outcome, split::Outcome::kCopied) << c.what;
    EXPECT_EQ(script.result.signatureSize, c.signatureSize) << c.what;
    EXPECT_EQ(script.copied, c.package.script) << c.what << ": ends with the marker line, no trailer bytes";

    const Split payload = SplitOf(package, 1, static_cast<std::uint32_t>(c.package.image.size()), true);
    EXPECT_EQ(payload.result.outcome, split::Outcome::kCopied) << c.what;
    EXPECT_TRUE(payload.copied == c.package.payload) << c.what;
    EXPECT_EQ(payload.result.copied, c.package.payload.size()) << c.what;
  }
}

TEST(SplitSection, RejectsPackagesWithoutAnEndMarkerInTheLastWindow) {
  const struct {
    const char* what;
    std::string package;
  } cases[] = {
      {"marker followed by LF alone", Assemble({.script = "[a]\r\n" + std::string(layout::kEndMarker) + "\n"})},
      {"signature of 12,245 bytes", Assemble({.signature = std::string(12245, 's')})},
      {"truncated download", Assemble({}).substr(0, 1500)},
      {"marker without room for its trailer", std::string(100, 'x') + kMarkerLine + "ab"},
      {"empty file", ""},
  };
  for (const auto& c : cases) {
    const Split split = SplitOf(c.package, 0);
    EXPECT_EQ(split.result.outcome, split::Outcome::kNoEndMarker) << c.what;
    EXPECT_TRUE(split.copied.empty()) << c.what;
  }
}

TEST(SplitSection, PayloadNinetyTwoBytesLateFailsTheOffsetCheck) {
  constexpr std::uint32_t kShippedImageSize = 2156032;
  const std::string package =
      Assemble({.image = std::string(kShippedImageSize + 92, 'i'), .payloadOffset = kShippedImageSize + 92});
  const Split split = SplitOf(package, 1, kShippedImageSize, true);
  EXPECT_EQ(split.result.outcome, split::Outcome::kOffsetMismatch);
  EXPECT_EQ(split.result.readOffset, 2156124u);
  EXPECT_EQ(split.result.failedIndex, 1u);
  EXPECT_TRUE(split.copied.empty());
  // Without the check the same section is copied.
  EXPECT_EQ(SplitOf(package, 1, kShippedImageSize, false).result.outcome, split::Outcome::kCopied);
}

TEST(SplitSection, TrailersPointingOutsideTheirRoomBreakTheChain) {
  Package beyond;
  std::string package = Assemble(beyond);
  // The script's trailer points past its own position.
  const std::size_t trailer = package.size() - 4;
  package.replace(trailer, 4, std::string("\xF0\xFF\xFF\x7F", 4));
  EXPECT_EQ(SplitOf(package, 0).result.outcome, split::Outcome::kBrokenChain);

  // The payload's trailer points after the script section's start.
  const std::string late = Assemble({.payloadOffset = 0x7FFFFFF0});
  const Split split = SplitOf(late, 1);
  EXPECT_EQ(split.result.outcome, split::Outcome::kBrokenChain);
  EXPECT_EQ(split.result.failedIndex, 1u);
}

TEST(SplitSection, AnOutputThatRefusesBytesIsReported) {
  const std::string package = Assemble({.payload = Pattern(10000, 5)});
  MemoryInput input(package);
  MemoryOutput output(5000);
  const split::Result result = split::SplitSection(input, package.size(), output, 2048, true, 1);
  EXPECT_TRUE(result.writeFailed);
  EXPECT_EQ(result.copied, 4096u);
}

TEST(SplitSection, SplitsAPackageSignedByOsslsigncode) {
  ScratchDir dir;
  WriteFile(dir / "payload/Quenlith.exe", Pattern(5000, 6));
  WriteFile(dir / "script.ini", "[install]\r\nInstallerSilent=1\r\n");
  pack::BuildOptions options{std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup.exe", dir / "payload",
                             dir / "script.ini", dir / "setup.exe"};
  std::ostringstream messages;
  pack::BuildPackage(options, messages);
  const std::string command = std::string(test_paths::kSignScript) + " " + test_paths::kSigningDir + " " +
                              (dir / "setup.exe").string() + " " + (dir / "signed.exe").string();
  ASSERT_EQ(std::system(command.c_str()), 0);

  const std::string unsignedPackage = ReadFile(dir / "setup.exe");
  const std::string signedPackage = ReadFile(dir / "signed.exe");
  const std::uint32_t imageSize =
      static_cast<std::uint32_t>(std::filesystem::file_size(options.installer));
  for (std::uint32_t section : {0u, 1u}) {
    const Split plain = SplitOf(unsignedPackage, section, imageSize, section == 1);
    const Split signedSplit = SplitOf(signedPackage, section, imageSize, section == 1);
    ASSERT_EQ(signedSplit.result.outcome, split::Outcome::kCopied) << section;
    EXPECT_TRUE(signedSplit.copied == plain.copied) << section;
    EXPECT_EQ(signedSplit.result.signatureSize, signedPackage.size() - unsignedPackage.size()) << section;
  }
}

}  // namespace
