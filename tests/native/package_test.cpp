// Building setup packages and reading them back: layout, round trip,
// determinism, parallel compression, and the faults verify must find.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "pack/build.h"
#include "pack/commands.h"
#include "pack/compress.h"
#include "pack/files.h"
#include "pack/package.h"
#include "formats/image_size.h"
#include "formats/layout.h"
#include "test_support.h"

namespace {

using testing_support::Pattern;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

std::filesystem::path Installer() { return std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup.exe"; }

const std::string kScript = "[install]\r\nInstallerSilent=1\r\n";
const std::string kScriptSection =
    kScript + "; End the file with this guid\r\n" + std::string(layout::kEndMarker) + "\r\n";

using testing_support::ArchiveOf;
using testing_support::Files;

Files SampleFiles() {
  return {{"quenlith.exe", Pattern(10000, 1)},
          {"empty.txt", ""},
          {"block.bin", Pattern(4096, 2)},
          {"two-blocks.bin", Pattern(8192, 3)},
          {"languages\\en\\buddy.xml", "<buddy/>"},
          {"skins\\windows6\\xml\\controls\\messageboxcontrols.xml", std::string(5000, 'x')},
          {"skins\\windows6\\xml\\controls\\zero.xml", ""}};
}

using testing_support::WritePayloadFolder;

struct Built {
  std::filesystem::path package;
  std::string messages;
};

Built BuildPackage(const ScratchDir& dir, const Files& files, unsigned jobs = 2, const std::string& name = "setup.exe") {
  WritePayloadFolder(dir / "payload", files);
  WriteFile(dir / "script.ini", kScript);
  pack::BuildOptions options;
  options.installer = Installer();
  options.payload = dir / "payload";
  options.script = dir / "script.ini";
  options.output = dir / name;
  options.jobs = jobs;
  std::ostringstream messages;
  pack::BuildPackage(options, messages);
  return {options.output, messages.str()};
}

std::string DecompressedArchive(const std::filesystem::path& package, unsigned* streams = nullptr) {
  pack::InputFile file(package);
  const pack::PackageLayout layout = pack::ReadLayout(file);
  std::string archive;
  const unsigned count = pack::DecompressPayload(file, layout, [&archive](std::string_view bytes) {
    archive.append(bytes);
    return true;
  });
  if (streams) *streams = count;
  return archive;
}

TEST(BuildPackage, WritesImagePayloadTrailerScriptTrailer) {
  ScratchDir dir;
  const Built built = BuildPackage(dir, SampleFiles());
  const std::string package = ReadFile(built.package);
  const std::string installer = ReadFile(Installer());

  ASSERT_GT(package.size(), installer.size());
  EXPECT_EQ(package.substr(0, installer.size()), installer);
  EXPECT_EQ(package.substr(installer.size(), 4), "BZh9");
  const auto* bytes = reinterpret_cast<const unsigned char*>(package.data());
  const std::uint32_t scriptStart = layout::ReadLe32(bytes + package.size() - 4);
  EXPECT_EQ(package.substr(scriptStart, package.size() - 4 - scriptStart), kScriptSection);
  EXPECT_EQ(layout::ReadLe32(bytes + scriptStart - 4), installer.size());

  pack::InputFile file(built.package);
  const pack::PackageLayout layout = pack::ReadLayout(file);
  EXPECT_EQ(layout.signatureSize, 0u);
  EXPECT_EQ(layout.payloadStart, installer.size());
  EXPECT_EQ(layout.scriptStart, scriptStart);
  EXPECT_EQ(pack::ImageFault(layout), "");
}

TEST(BuildPackage, PayloadDecompressesToTheArchiveOfTheFolder) {
  ScratchDir dir;
  const Files files = SampleFiles();
  EXPECT_EQ(DecompressedArchive(BuildPackage(dir, files).package), ArchiveOf(files));
}

TEST(BuildPackage, ExtractGivesBackEveryFileByteForByte) {
  ScratchDir dir;
  const Files files = SampleFiles();
  const Built built = BuildPackage(dir, files);
  std::ostringstream out;
  pack::ExtractPackage(built.package, dir / "extracted", out);
  std::size_t count = 0;
  for (const auto& item : std::filesystem::recursive_directory_iterator(dir / "extracted")) {
    if (!item.is_regular_file()) continue;
    std::string name = item.path().lexically_relative(dir / "extracted").string();
    for (char& c : name)
      if (c == '/') c = '\\';
    ASSERT_EQ(files.count(name), 1u) << name;
    EXPECT_EQ(ReadFile(item.path()), files.at(name)) << name;
    ++count;
  }
  EXPECT_EQ(count, files.size());
}

TEST(BuildPackage, SameInputsGiveTheSameBytesForAnyNumberOfJobs) {
  ScratchDir dir;
  Files files = SampleFiles();
  // Over two chunks, so that jobs really run side by side.
  files["big\\random.bin"] = Pattern(pack::kChunkSize + 12345, 9);
  files["big\\text.txt"] = std::string(pack::kChunkSize, 'q');
  const std::string first = ReadFile(BuildPackage(dir, files, 1, "one.exe").package);
  const std::string second = ReadFile(BuildPackage(dir, files, 1, "again.exe").package);
  const std::string parallel = ReadFile(BuildPackage(dir, files, 3, "three.exe").package);
  EXPECT_TRUE(first == second);
  EXPECT_TRUE(first == parallel);

  // The table is a stream of its own; the data, 2 * kChunkSize + 12345
  // bytes and the small files, makes three.
  unsigned streams = 0;
  EXPECT_TRUE(DecompressedArchive(dir / "three.exe", &streams) == ArchiveOf(files));
  EXPECT_EQ(streams, 1u + 3u);
}

// A file whose size changed between the walk and its reading is refused,
// whether its end falls inside a chunk (where the read asks for one byte
// more) or at a chunk's end (where it reads again).
TEST(ArchiveCompressor, RefusesAFileThatChangedSizeAfterTheWalk) {
  const struct {
    const char* what;
    std::size_t real, listed;
    const char* errorPart;  // nullptr when accepted
  } cases[] = {
      {"unchanged", 10, 10, nullptr},
      {"grew", 11, 10, "grew during the build"},
      {"shrank", 9, 10, "did it change during the build?"},
      {"emptied", 0, 10, "did it change during the build?"},
      {"grew from empty", 1, 0, "grew during the build"},
      {"unchanged, ending a chunk", pack::kChunkSize, pack::kChunkSize, nullptr},
      {"grew past a chunk's end", pack::kChunkSize + 1, pack::kChunkSize, "grew during the build"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string data = Pattern(c.real, 4);
    WriteFile(dir / "f.bin", data);
    pack::Payload payload;
    payload.files.push_back({{"f.bin", static_cast<std::uint32_t>(c.listed)}, dir / "f.bin"});
    payload.totalBytes = c.listed;
    std::string payloadSection;
    const auto run = [&] {
      pack::ArchiveCompressor compressor(2);
      compressor.AddFile(payload.files[0]);
      compressor.Finish(payload, [&](std::string_view stream) { payloadSection.append(stream); }, {});
    };
    if (c.errorPart) {
      try {
        run();
        ADD_FAILURE() << c.what << ": accepted";
      } catch (const pack::Failure& failure) {
        EXPECT_NE(std::string(failure.what()).find(c.errorPart), std::string::npos) << c.what << ": " << failure.what();
      }
      continue;
    }
    run();
    pack::MemorySource source(payloadSection);
    pack::PackageLayout layout;
    layout.payloadLength = static_cast<std::uint32_t>(payloadSection.size());
    std::string archive;
    pack::DecompressPayload(source, layout, [&archive](std::string_view bytes) {
      archive.append(bytes);
      return true;
    });
    EXPECT_TRUE(archive == ArchiveOf({{"f.bin", data}})) << c.what;
  }
}

TEST(BuildPackage, RefusesBadInputsAndLeavesNothingUnderTheOutputName) {
  ScratchDir dir;
  WritePayloadFolder(dir / "payload", {{"a.txt", "a"}});
  WriteFile(dir / "script.ini", kScript);
  WriteFile(dir / "marker-inside.ini", "[a]\nk=" + std::string(layout::kEndMarker) + "\n");
  std::filesystem::create_directories(dir / "empty");
  std::string installer = ReadFile(Installer());
  WriteFile(dir / "appended.exe", installer + "extra");
  WriteFile(dir / "not-pe.exe", std::string(4096, 'x'));
  std::string unstamped = installer;
  const auto mark = image_size::FindMark(reinterpret_cast<const unsigned char*>(installer.data()), installer.size());
  ASSERT_TRUE(mark.offset.has_value());
  image_size::StampMark(reinterpret_cast<unsigned char*>(unstamped.data()), *mark.offset, 0);
  WriteFile(dir / "unstamped.exe", unstamped);
  WriteFile(dir / "setup.exe", "an older package that must stay untouched");

  const struct {
    const char* what;
    std::filesystem::path installer, payload, script;
    const char* errorPart;
  } cases[] = {
      {"missing installer", dir / "none.exe", dir / "payload", dir / "script.ini", "not an existing file"},
      {"installer is a folder", dir / "empty", dir / "payload", dir / "script.ini", "not an existing file"},
      {"not a PE file", dir / "not-pe.exe", dir / "payload", dir / "script.ini", "not a Windows executable"},
      {"data after the image", dir / "appended.exe", dir / "payload", dir / "script.ini", "bytes after its image"},
      {"unstamped image size", dir / "unstamped.exe", dir / "payload", dir / "script.ini", "compiled SetupImageSize 0"},
      {"missing script", Installer(), dir / "payload", dir / "none.ini", "not an existing file"},
      {"marker inside the script", Installer(), dir / "payload", dir / "marker-inside.ini", "line 2"},
      {"missing payload", Installer(), dir / "none", dir / "script.ini", "does not exist"},
      {"empty payload", Installer(), dir / "empty", dir / "script.ini", "holds no files"},
  };
  for (const auto& c : cases) {
    pack::BuildOptions options{c.installer, c.payload, c.script, dir / "setup.exe"};
    std::ostringstream messages;
    try {
      pack::BuildPackage(options, messages);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const pack::Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find(c.errorPart), std::string::npos) << c.what << ": " << failure.what();
    }
    EXPECT_EQ(ReadFile(dir / "setup.exe"), "an older package that must stay untouched") << c.what;
  }
  for (const auto& item : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(item.path().filename().string().find(".partial"), std::string::npos) << item.path();
}

// Packages assembled by hand, for the faults the builder never writes.
struct Parts {
  std::string image = ReadFile(Installer());
  std::string payload;
  std::uint32_t payloadOffset = 0;  // 0: the image size
  std::string script = kScriptSection;
  std::string signature;
};

std::string Assemble(const Parts& parts) {
  return testing_support::AssemblePackage(parts.image, parts.payload, parts.payloadOffset, parts.script, parts.signature);
}

std::string VerifyFault(const ScratchDir& dir, const std::string& package) {
  WriteFile(dir / "crafted.exe", package);
  std::ostringstream out;
  try {
    pack::VerifyPackage(dir / "crafted.exe", out);
  } catch (const pack::Failure& failure) {
    return failure.what();
  }
  return "";
}

TEST(VerifyPackage, AcceptsSoundPackagesSignedOrNot) {
  ScratchDir dir;
  const Files files = {{"a.txt", "alpha"}, {"b\\c.bin", Pattern(9000, 4)}};
  const std::string stream = pack::CompressChunk(ArchiveOf(files));
  EXPECT_EQ(VerifyFault(dir, Assemble({.payload = stream})), "");
  // Two streams back to back decompress as one archive.
  const std::string archive = ArchiveOf(files);
  const std::string two = pack::CompressChunk(archive.substr(0, 700)) + pack::CompressChunk(archive.substr(700));
  EXPECT_EQ(VerifyFault(dir, Assemble({.payload = two})), "");
}

// The progress that DecompressArchive tells: bytes of the payload section,
// never fewer than before, of the section's length, up to its end, whether
// the decoder takes whole streams or the blocks of one.
TEST(DecompressArchive, ToldProgressRisesToTheEndOfTheSection) {
  const Files files = {{"a.bin", Pattern(350000, 5)}, {"b.bin", Pattern(200000, 6)}, {"c.txt", "gamma"}};
  const std::string archive = ArchiveOf(files);
  const struct {
    const char* what;
    std::string payload;
  } cases[] = {
      {"one stream of many blocks", testing_support::Bzip2Stream(archive, 1)},
      {"three streams", pack::CompressChunk(archive.substr(0, 1000)) +
                            pack::CompressChunk(archive.substr(1000, 300000)) +
                            pack::CompressChunk(archive.substr(301000))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string package = Assemble({.payload = c.payload});
    pack::MemorySource source(package);
    const pack::PackageLayout layout = pack::ReadLayout(source);
    pack::ArchiveParser parser(nullptr, nullptr, nullptr);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> told;
    pack::DecompressArchive(source, layout, parser,
                            [&told](std::uint64_t done, std::uint64_t total) { told.emplace_back(done, total); });
    EXPECT_EQ(parser.Entries().size(), files.size());
    ASSERT_FALSE(told.empty());
    for (std::size_t i = 0; i < told.size(); ++i) {
      EXPECT_EQ(told[i].second, layout.payloadLength);
      if (i > 0) EXPECT_LE(told[i - 1].first, told[i].first);
    }
    EXPECT_EQ(told.back().first, layout.payloadLength);
  }
}

TEST(VerifyPackage, FindsTheFirstFault) {
  ScratchDir dir;
  const Files files = {{"a.txt", "alpha"}, {"b\\c.bin", Pattern(9000, 4)}};
  const std::string archive = ArchiveOf(files);
  const std::string stream = pack::CompressChunk(archive);
  std::string damaged = stream;
  damaged[damaged.size() / 2] ^= 0x10;
  std::string lowerMarker = kScriptSection;
  const std::string sound = Assemble({.payload = stream});
  const std::uint32_t imageSize = static_cast<std::uint32_t>(ReadFile(Installer()).size());
  std::string lfOnly = kScript + std::string(layout::kEndMarker) + "\n";

  using testing_support::PayloadWithTable;

  const struct {
    const char* what;
    std::string package;
    const char* faultPart;
  } cases[] = {
      {"one flipped byte", Assemble({.payload = damaged}), "damaged"},
      {"truncated stream", Assemble({.payload = stream.substr(0, stream.size() - 20)}), "truncated"},
      {"truncated download", sound.substr(0, sound.size() - 30), "end marker not found"},
      {"marker with LF alone", Assemble({.payload = stream, .script = lfOnly}), "end marker not found"},
      {"8 bytes appended", sound + "junkjunk", "8 bytes after the end-marker line are not a signature"},
      {"12,244 bytes appended", Assemble({.payload = stream, .signature = std::string(12244, 's')}),
       "not a signature"},
      {"package appended to itself", sound + sound, "end markers (a package with another appended?)"},
      {"signature of 12,245 bytes", Assemble({.payload = stream, .signature = std::string(12245, 's')}),
       "end marker not found"},
      {"payload 92 bytes late", Assemble({.image = ReadFile(Installer()) + std::string(92, '\0'), .payload = stream}),
       "image ends at"},
      {"payload offset past its trailer", Assemble({.payload = stream, .payloadOffset = 0x7FFFFFF0}), "payload offset"},
      {"payload offset before the image end", Assemble({.payload = stream, .payloadOffset = imageSize - 16}),
       "image ends at"},
      {"not bzip2", Assemble({.payload = archive}), "does not start with a bzip2 stream"},
      {"junk after the last stream", Assemble({.payload = stream + "junk"}), "bytes after the last bzip2 stream"},
      {"data shorter than the table", Assemble({.payload = pack::CompressChunk(archive.substr(0, archive.size() - 1))}),
       "ends inside the data"},
      {"data longer than the table", Assemble({.payload = pack::CompressChunk(archive + "x")}), "after the last file"},
      {"table cut short", Assemble({.payload = pack::CompressChunk(archive.substr(0, 100))}), "inside its file table"},
      {"escaping entry name", Assemble({.payload = PayloadWithTable({{"..\\evil.dll", 1}}, "x")}), "\"..\\evil.dll\""},
      {"absolute entry name", Assemble({.payload = PayloadWithTable({{"C:\\Windows\\evil.dll", 1}}, "x")}), "colon"},
      {"name without terminator", Assemble({.payload = pack::CompressChunk(testing_support::UnterminatedTable() + "x")}),
       "no terminator"},
      {"count of zero", Assemble({.payload = PayloadWithTable({}, "")}), "declares 0 files"},
      {"negative count", Assemble({.payload = pack::CompressChunk(std::string("\xFF\xFF\xFF\xFF", 4))}),
       "declares -1 files"},
  };
  for (const auto& c : cases) {
    const std::string fault = VerifyFault(dir, c.package);
    EXPECT_NE(fault.find(c.faultPart), std::string::npos) << c.what << ": \"" << fault << "\"";
  }
}

// A signed package verifies while its signed bytes are unchanged: image and
// script bytes changed after signing, or a signature not where the image's
// certificate-table entry says, fail.
TEST(VerifyPackage, ChecksTheSignatureAgainstTheSignedBytes) {
  ScratchDir dir;
  const Built built = BuildPackage(dir, SampleFiles());
  const std::string signing = std::filesystem::path(test_paths::kSigningDir).string();
  for (const char* digest : {"sha256", "sha1"}) {
    const std::string signedPath = (dir / (std::string("signed-") + digest + ".exe")).string();
    const std::string command = "osslsigncode sign -certs " + signing + "/codesign.crt -key " + signing +
                                "/codesign.key -n Quenlith -h " + digest + " -in " + built.package.string() +
                                " -out " + signedPath + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string good = ReadFile(signedPath);
    std::ostringstream out;
    pack::VerifyPackage(signedPath, out);
    EXPECT_NE(out.str().find(std::string("signed (") ), std::string::npos) << out.str();
    EXPECT_NE(out.str().find(digest == std::string("sha1") ? "SHA-1 digest matches" : "SHA-256 digest matches"),
              std::string::npos) << out.str();

    pack::MemorySource source(good);
    const pack::PackageLayout layout = pack::ReadLayout(source);
    std::string image = good, script = good, moved = good;
    image[layout.payloadStart / 2] ^= 0x01;
    script[layout.scriptStart + 2] ^= 0x20;  // letter case of a section name
    moved += std::string(8, '\0');          // the table no longer ends the file
    const struct {
      const char* what;
      std::string package;
      const char* faultPart;
    } cases[] = {
        {"image byte changed", image, "changed after signing"},
        {"script byte changed", script, "changed after signing"},
        {"zeros appended after the signature", moved, "does not cover exactly"},
    };
    for (const auto& c : cases)
      EXPECT_NE(VerifyFault(dir, c.package).find(c.faultPart), std::string::npos)
          << digest << ", " << c.what << ": " << VerifyFault(dir, c.package);
  }
}

TEST(VerifyPackage, AcceptsAPackageSignedByOsslsigncode) {
  ScratchDir dir;
  const Built built = BuildPackage(dir, SampleFiles());
  const std::string command = std::filesystem::path(test_paths::kSignScript).string() + " " +
                              std::filesystem::path(test_paths::kSigningDir).string() + " " + built.package.string() + " " +
                              (dir / "signed.exe").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ostringstream out;
  pack::VerifyPackage(dir / "signed.exe", out);
  pack::InputFile file(dir / "signed.exe");
  const pack::PackageLayout layout = pack::ReadLayout(file);
  const std::uint64_t unsignedSize = std::filesystem::file_size(built.package);
  EXPECT_GT(layout.signatureSize, 1000u);
  // osslsigncode pads the unsigned part to 8 bytes, then appends the certificate table.
  EXPECT_EQ(layout.fileSize - layout.signatureSize, unsignedSize);
  EXPECT_TRUE(DecompressedArchive(dir / "signed.exe") == ArchiveOf(SampleFiles()));
}

}  // namespace
