// The built installer executables: their stamped image size, and what they link.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <set>

#include "split/image_size.h"
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
    EXPECT_EQ(image_size::PeImageEnd(bytes, file.size()), file.size()) << installer;
  }
}

TEST(InstallerImage, ImportsOnlySystemLibraries) {
  const std::set<std::string> system = {"kernel32.dll", "user32.dll",  "gdi32.dll",    "advapi32.dll", "shell32.dll",
                                        "ole32.dll",    "oleaut32.dll", "comctl32.dll", "gdiplus.dll",  "wininet.dll",
                                        "version.dll",  "wintrust.dll", "msvcrt.dll",   "shlwapi.dll",  "uxtheme.dll",
                                        "shcore.dll"};
  for (const char* installer : kInstallers) {
    const std::string command =
        "i686-w64-mingw32-objdump -p " + (std::filesystem::path(test_paths::kWindowsBin) / installer).string();
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> imports;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
      std::string text = line;
      const std::size_t at = text.find("DLL Name: ");
      if (at == std::string::npos) continue;
      text = text.substr(at + 10, text.find_last_not_of("\r\n") - at - 9);
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      imports.insert(text);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_FALSE(imports.empty());
    for (const std::string& name : imports) EXPECT_EQ(system.count(name), 1u) << installer << " imports " << name;
  }
}

}  // namespace
