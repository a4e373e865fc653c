// The built installer executable: its stamped image size, and what it links.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "split/image_size.h"
#include "test_support.h"

namespace {

using testing_support::ReadFile;

TEST(InstallerImage, CompiledImageSizeEqualsTheFileAndItsLastSectionEnd) {
  const std::string file = ReadFile(std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup.exe");
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  const auto mark = image_size::FindMark(bytes, file.size());
  ASSERT_TRUE(mark.offset.has_value()) << mark.error;
  EXPECT_EQ(image_size::MarkValue(bytes, *mark.offset), file.size());
  EXPECT_EQ(image_size::PeImageEnd(bytes, file.size()), file.size());
}

TEST(InstallerImage, ImportsOnlySystemLibraries) {
  const std::string command = "i686-w64-mingw32-objdump -p " +
                              (std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup.exe").string();
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> imports;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    const std::string text = line;
    const std::size_t at = text.find("DLL Name: ");
    if (at != std::string::npos) imports.insert(text.substr(at + 10, text.find_last_not_of("\r\n") - at - 9));
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_FALSE(imports.empty());
  const std::set<std::string> system = {
      "KERNEL32.dll", "USER32.dll", "GDI32.dll", "ADVAPI32.dll", "SHELL32.dll", "ole32.dll", "OLEAUT32.dll",
      "COMCTL32.dll", "gdiplus.dll", "WININET.dll", "VERSION.dll", "WINTRUST.dll", "msvcrt.dll", "SHLWAPI.dll",
      "UxTheme.dll", "SHCORE.dll", "api-ms-win-crt-runtime-l1-1-0.dll"};
  for (const std::string& name : imports) EXPECT_EQ(system.count(name), 1u) << "imports " << name;
}

}  // namespace
