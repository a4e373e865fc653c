// Writes the fuzzer's seed packages into a folder: small, sound packages
// with a stand-in image, one stream or two, unsigned or with a signature.

#include <filesystem>
#include <fstream>
#include <string>

#include "compress.h"
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
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
  return 0;
}
