// Writes the fuzzers' seeds: into the first folder small, sound packages
// with a stand-in image, one stream or two, unsigned or with a signature;
// into the second the decoder's inputs (a byte of options, then bzip2
// streams of one block or several, with bytes after them); into the third
// the headers of the installer executable named last (its first 4,096 bytes).

#include <bzlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "pack/compress.h"
#include "formats/archive.h"
#include "formats/layout.h"

namespace {

std::string Package(const std::string& payload, const std::string& signature) {
  std::string file = "MZ stand-in image";
  const auto imageSize = static_cast<std::uint32_t>(file.size());
  file += payload;
  layout::AppendLe32(file, imageSize);
  const auto scriptStart = static_cast<std::uint32_t>(file.size());
  file += "[install]\r\nInstallerSilent=1\r\n; End the file with this guid\r\n";
  file += std::string(layout::kEndMarker) + "\r\n";
  layout::AppendLe32(file, scriptStart);
  return file + signature;
}

// One bzip2 stream of `data` at `level`, from libbzip2 directly.
std::string Bzip2(const std::string& data, int level) {
  std::string in = data;
  std::string out(data.size() + data.size() / 100 + 700, '\0');
  unsigned int size = static_cast<unsigned int>(out.size());
  if (BZ2_bzBuffToBuffCompress(out.data(), &size, in.data(), static_cast<unsigned int>(in.size()), level, 0, 0) != BZ_OK)
    std::abort();
  return out.substr(0, size);
}

// Text of two words: blocks of 100 kB compress to a few kilobytes.
std::string Words(std::size_t size) {
  std::string text;
  for (unsigned state = 1; text.size() < size; state = state * 1103515245u + 12345u)
    text += (state >> 16) & 1 ? "buddy " : "chat ";
  return text.substr(0, size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const std::string archive =
      archive::EncodeTable({{"quenlith.exe", 6}, {"skins\\a.xml", 0}, {"users\\global\\plugins.ini", 9}}) +
      "binary[Plugins]";
  const std::string one = pack::CompressChunk(archive);
  const std::string two = pack::CompressChunk(archive.substr(0, 300)) + pack::CompressChunk(archive.substr(300));
  const struct {
    const char* name;
    std::string bytes;
  } seeds[] = {{"one-stream", Package(one, "")},
               {"two-streams", Package(two, "")},
               {"signed", Package(one, std::string(64, 's'))}};
  for (const auto& seed : seeds) std::ofstream(folder / seed.name, std::ios::binary) << seed.bytes;

  const std::filesystem::path decodeFolder = argv[2];
  std::filesystem::create_directories(decodeFolder);
  const std::string blocks = Bzip2(Words(250000), 1);
  const struct {
    const char* name;
    std::string bytes;
  } decodeSeeds[] = {{"blocks", "\x05" + blocks},
                     {"two-streams", "\x2a" + one + Bzip2("tail", 9)},
                     {"junk-after", "\x91" + Bzip2(Words(120000), 1) + "junk"},
                     {"empty-stream", std::string(1, '\0') + Bzip2("", 9)}};
  for (const auto& seed : decodeSeeds) std::ofstream(decodeFolder / seed.name, std::ios::binary) << seed.bytes;

  const std::filesystem::path peFolder = argv[3];
  std::filesystem::create_directories(peFolder);
  std::ifstream installer(argv[4], std::ios::binary);
  std::string headers(4096, '\0');
  installer.read(headers.data(), static_cast<std::streamsize>(headers.size()));
  if (installer.gcount() < 1024) return 1;
  headers.resize(static_cast<std::size_t>(installer.gcount()));
  std::ofstream(peFolder / "installer", std::ios::binary) << headers;
  return 0;
}
