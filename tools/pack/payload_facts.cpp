#include "pack/payload_facts.h"

#include <optional>
#include <string>

#include "formats/pe_resources.h"
#include "pack/names.h"
#include "run/version.h"

namespace pack {
namespace {

bool IsVersionedProgram(const std::string& name) { return FoldedName(name) == FoldedName(kVersionedProgram); }

VersionedProgram ProgramOf(const std::string& name, const std::string& bytes) {
  return {name, pe::FileVersionText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())};
}

}  // namespace

PayloadFacts PayloadFactsOfFolder(const std::filesystem::path& folder) {
  return PayloadFactsOf(CollectPayload(folder, kDefaultDestinationRoom, LinkPolicy::kFollowAll));
}

PayloadFacts PayloadFactsOf(const Payload& payload) {
  PayloadFacts facts;
  for (const PayloadFile& file : payload.files) {
    facts.names.push_back(file.entry.name);
    if (IsVersionedProgram(file.entry.name)) facts.program = ProgramOf(file.entry.name, ReadWholeFile(file.source));
  }
  return facts;
}

PayloadFacts PayloadFactsOfPackage(ByteSource& package, const PackageLayout& layout) {
  std::optional<std::size_t> program;  // its index in the table
  std::string bytes;
  ArchiveParser parser(
      [&program](const std::vector<archive::Entry>& entries) {
        // A name met twice is installed twice: the later file stays.
        for (std::size_t i = 0; i < entries.size(); ++i)
          if (IsVersionedProgram(entries[i].name)) program = i;
      },
      [&](std::size_t index, std::string_view data) {
        if (index == program) bytes.append(data);
      },
      nullptr);
  DecompressArchive(package, layout, parser);
  PayloadFacts facts;
  for (const archive::Entry& entry : parser.Entries()) facts.names.push_back(entry.name);
  if (program) facts.program = ProgramOf(parser.Entries()[*program].name, bytes);
  return facts;
}

}  // namespace pack
