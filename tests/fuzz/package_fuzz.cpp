// Reads arbitrary bytes as a setup package the way inspect and verify do:
// layout, image checks, the signature, script preparation, decompression
// and the archive table. Faults must surface as Failure, never as a crash
// or overrun.

#include <cstddef>
#include <cstdint>

#include "pack/files.h"
#include "pack/package.h"
#include "pack/script.h"
#include "pack/signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pack::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    const pack::PackageLayout layout = pack::ReadLayout(source);
    pack::ImageFault(layout);
    pack::CheckSignature(source, layout);
    pack::PrepareScript(source.ReadString(layout.scriptStart, layout.scriptLength));
    pack::ArchiveParser parser(nullptr, nullptr, nullptr);
    pack::DecompressArchive(source, layout, parser);
  } catch (const pack::Failure&) {
  }
  return 0;
}
