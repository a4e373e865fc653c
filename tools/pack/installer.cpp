#include "pack/installer.h"

#include <fstream>

#include "pack/files.h"
#include "formats/image_size.h"
#include "formats/pe_image.h"

namespace pack {
namespace {

const unsigned char* Bytes(const std::string& bytes) { return reinterpret_cast<const unsigned char*>(bytes.data()); }

// The offset of the image-size record after checking that `bytes` hold a
// whole PE image and nothing after it.
std::size_t CheckedMark(const std::string& bytes, const std::filesystem::path& path) {
  const auto imageEnd = pe::ImageEnd(Bytes(bytes), bytes.size());
  if (!imageEnd) throw Failure(Quoted(path) + " is not a Windows executable");
  if (*imageEnd > bytes.size()) throw Failure(Quoted(path) + " is truncated: its sections end past the file");
  if (*imageEnd < bytes.size())
    throw Failure(Quoted(path) + " has " + std::to_string(bytes.size() - *imageEnd) +
                  " bytes after its image (is it already a package, or signed?); use the installer as built");
  const image_size::MarkLookup mark = image_size::FindMark(Bytes(bytes), bytes.size());
  if (!mark.offset) throw Failure(Quoted(path) + ": " + mark.error);
  return *mark.offset;
}

}  // namespace

std::uint32_t CheckInstallerImage(const std::string& bytes, const std::filesystem::path& path) {
  const std::size_t mark = CheckedMark(bytes, path);
  const std::uint32_t compiled = image_size::MarkValue(Bytes(bytes), mark);
  if (compiled != bytes.size())
    throw Failure(Quoted(path) + ": compiled SetupImageSize " + std::to_string(compiled) +
                  " differs from its image size " + std::to_string(bytes.size()) +
                  " (the build did not stamp it, or the file was changed after the build)");
  return compiled;
}

void StampInstaller(const std::filesystem::path& path) {
  std::string bytes = ReadWholeFile(path);
  if (bytes.size() > 0xFFFFFFFFu) throw Failure(Quoted(path) + " is larger than 4 GiB");
  const std::size_t mark = CheckedMark(bytes, path);
  image_size::StampMark(reinterpret_cast<unsigned char*>(bytes.data()), mark, static_cast<std::uint32_t>(bytes.size()));
  std::ofstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(mark));
  out.write(bytes.data() + mark, sizeof(ImageSizeMark));
  out.close();
  if (!out) throw Failure("cannot write " + Quoted(path));
}

}  // namespace pack
