// The built installer executables: their stamped image size, and what they link.

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <vector>

#include "pe_imports.h"
#include "formats/image_size.h"
#include "formats/pe_image.h"
#include "test_support.h"

namespace {

using testing_support::ReadFile;

// The shipped installer and the tests' one, which differ only in the report host.
const char* const kInstallers[] = {"QuenlithSetup.exe", "QuenlithSetup-loopback.exe"};

TEST(InstallerImage, CompiledImageSizeEqualsTheFileAndItsLastSectionEnd) {
  for (const char* installer : kInstallers) {
    const std::string file = ReadFile(std::filesystem::path(test_paths::kWindowsBin) / installer);
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
    const auto mark = image_size::FindMark(bytes, file.size());
    ASSERT_TRUE(mark.offset.has_value()) << installer << ": " << mark.error;
    EXPECT_EQ(image_size::MarkValue(bytes, *mark.offset), file.size()) << installer;
    EXPECT_EQ(pe::ImageEnd(bytes, file.size()), file.size()) << installer;
  }
}

// The shipped installer is the 32-bit build; the one the harness runs is of
// the architecture it says.
TEST(InstallerImage, MachineIsTheBuildsArchitecture) {
  const struct {
    const char* folder;
    std::string architecture;
  } builds[] = {{test_paths::kWindowsBin, "i686"}, {test_paths::kRunBin, test_paths::kRunArch}};
  for (const auto& build : builds) {
    const std::string file = ReadFile(std::filesystem::path(build.folder) / kInstallers[0]);
    const auto header = pe::ReadFileHeader(reinterpret_cast<const unsigned char*>(file.data()), file.size());
    ASSERT_TRUE(header.has_value()) << build.folder;
    EXPECT_EQ(pe::ArchitectureName(header->machine), build.architecture) << build.folder;
  }
}

// Static imports are resolved before the entry point can restrict where
// libraries come from; only these are always taken from the system folder.
TEST(InstallerImage, ImportsOnlyLibrariesTheSystemAlwaysLoadsFromItsOwnFolder) {
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                        "shell32.dll",  "ole32.dll",  "msvcrt.dll"};
  // The shipped build and, where the tests run another, that one too.
  std::set<std::filesystem::path> folders = {test_paths::kWindowsBin, test_paths::kRunBin};
  for (const std::filesystem::path& folder : folders) {
    for (const char* installer : kInstallers) {
      const std::filesystem::path path = folder / installer;
      const testing_support::PeImports found = testing_support::ReadPeImports(ReadFile(path));
      std::set<std::string> imports;
      for (std::string name : found.imports) {
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imports.insert(name);
      }
      EXPECT_EQ(imports.count("kernel32.dll"), 1u) << path;
      for (const std::string& name : imports) EXPECT_EQ(system.count(name), 1u) << path << " imports " << name;
      // A delay-loaded library would be found by the usual search order.
      EXPECT_EQ(found.delayImports, std::vector<std::string>()) << path;
    }
  }
}

}  // namespace
