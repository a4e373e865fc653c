// Reads arbitrary bytes with the PE and resource readers: every answer must lie within the
// bytes it was given (or be none), a cut of them must give each answer
// whole or none, and nothing may be read outside the buffer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "formats/pe_image.h"
#include "formats/pe_resources.h"

namespace {

// Every answer for data[0, size), checked against the bounds it promises.
struct Answers {
  std::optional<pe::FileHeader> file;
  std::optional<pe::OptionalHeader> optional;
  std::vector<std::optional<pe::DataDirectory>> directories;
  std::optional<std::vector<pe::Section>> sections;
  std::optional<std::uint64_t> imageEnd;
  std::optional<pe::ResourceData> version;
  std::optional<std::string> fileVersion;
};

Answers Read(const std::uint8_t* data, std::size_t size) {
  Answers answers;
  answers.file = pe::ReadFileHeader(data, size);
  answers.imageEnd = pe::ImageEnd(data, size);
  if (!answers.file) {
    if (answers.imageEnd) std::abort();
    return answers;
  }
  if (answers.file->OptionalHeaderAt() > size) std::abort();
  answers.optional = pe::ReadOptionalHeader(data, size, *answers.file);
  if (answers.optional) {
    if (answers.optional->directoriesAt > size) std::abort();
    for (std::uint32_t index = 0; index < 16; ++index) {
      answers.directories.push_back(pe::ReadDataDirectory(data, size, *answers.optional, index));
      if (answers.directories.back() && answers.directories.back()->entryAt + 8 > size) std::abort();
    }
  }
  answers.sections = pe::ReadSections(data, size, *answers.file);
  if (answers.sections && answers.sections->size() != answers.file->sectionCount) std::abort();
  if (answers.imageEnd && (!answers.sections || answers.sections->empty() ||
                           *answers.imageEnd < answers.file->SectionTableAt() + 40 * answers.sections->size()))
    std::abort();
  pe::ArchitectureName(answers.file->machine);
  answers.version = pe::FindResource(data, size, pe::kVersionResourceType, pe::kVersionResourceId);
  if (answers.version && answers.version->offset + answers.version->size > size) std::abort();
  answers.fileVersion = pe::FileVersionText(data, size);
  if (answers.fileVersion && !answers.version) std::abort();
  return answers;
}

template <typename T>
void WholeOrNone(const std::optional<T>& cut, const std::optional<T>& whole) {
  if (cut && !(whole && *cut == *whole)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Answers whole = Read(data, size);
  // The same bytes cut in half, in a buffer of their own so that a read past the cut is caught.
  const std::vector<std::uint8_t> half(data, data + size / 2);
  const Answers cut = Read(half.data(), half.size());
  WholeOrNone(cut.file, whole.file);
  WholeOrNone(cut.optional, whole.optional);
  WholeOrNone(cut.sections, whole.sections);
  WholeOrNone(cut.version, whole.version);
  WholeOrNone(cut.fileVersion, whole.fileVersion);
  for (std::size_t i = 0; i < cut.directories.size(); ++i) WholeOrNone(cut.directories[i], whole.directories[i]);
  return 0;
}
