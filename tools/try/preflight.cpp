#include "try/preflight.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>

#include "formats/pe_image.h"
#include "pack/files.h"
#include "pack/package.h"
#include "try/child_process.h"
#include "try/text.h"

namespace quenlith_try {
namespace fs = std::filesystem;

namespace {

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':'))
    if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0) return true;
  return false;
}

// The Windows architecture of a PE image, from its file header's machine field.
std::string ArchitectureOf(pack::ByteSource& file) {
  // The headers of the images Windows linkers write lie in their first 4 KiB,
  // where the builder's signature check reads them too.
  const std::string head = file.ReadString(0, std::min<std::uint64_t>(file.Size(), 4096));
  const std::optional<pe::FileHeader> header =
      pe::ReadFileHeader(reinterpret_cast<const unsigned char*>(head.data()), head.size());
  return header ? pe::ArchitectureName(header->machine) : std::string();
}

// The package is a file, a setup package, and a Windows program of an
// architecture Wine runs somewhere. Returns that architecture.
std::string CheckPackage(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error))
    throw NotRun("cannot read " + path.string() + ": " + (fs::exists(path, error) ? "not a file" : "no such file"));
  pack::InputFile package(path);
  try {
    pack::ReadLayout(package);
  } catch (const pack::Failure& failure) {
    throw NotRun(path.string() + " is not a setup package: " + failure.what());
  }
  const std::string architecture = ArchitectureOf(package);
  if (architecture != "i686" && architecture != "x86_64")
    throw NotRun(path.string() + " is not a Windows program Wine can run here (" +
                 (architecture.empty() ? std::string("no PE image") : architecture) + ")");
  return architecture;
}

void CheckTools(const TryOptions& options) {
  for (const char* helper : {"wine-env.sh", "wine-arch.sh", "runexit.exe", "pagewatch.exe", "desktopkeeper.exe"})
    if (!fs::exists(options.helpers / helper))
      throw NotRun(std::string("the helpers of try are missing: no ") + helper + " in " + options.helpers.string() +
                   " (build them with scripts/build.sh, or name their folder in QUENLITH_TRY_HELPERS)");
  if (!OnPath("wineboot") || !OnPath("wineserver") || !fs::exists("/usr/lib/wine/wine64"))
    throw NotRun("Wine is missing: install it, on Debian with `apt-get install wine wine64` "
                 "(and `dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386` "
                 "for 32-bit packages)");
  const char* display = std::getenv("DISPLAY");
  if ((display == nullptr || *display == '\0') && !OnPath("Xvfb"))
    throw NotRun("there is no display and Xvfb is missing: install it, on Debian with `apt-get install xvfb`");
  if (options.wizard && access("/usr/bin/convert", X_OK) != 0)
    throw NotRun("--wizard needs ImageMagick's convert for the page pictures: install it, on Debian with "
                 "`apt-get install imagemagick`");
}

// What wine-arch.sh says this machine's Wine runs: "i686" or "x86_64".
std::string RunnableArchitecture(const fs::path& helpers) {
  std::string name = (fs::temp_directory_path() / "quenlith-try-arch-XXXXXX").string();
  const int fd = mkstemp(name.data());
  if (fd < 0) throw NotRun("cannot make a temporary file: " + std::string(std::strerror(errno)));
  close(fd);
  Child probe({(helpers / "wine-arch.sh").string()}, name, "/dev/null");
  probe.WaitSeconds(kStepSeconds);
  const std::string runnable = FirstLine(ReadText(name));
  std::error_code error;
  fs::remove(name, error);
  return runnable;
}

}  // namespace

std::string CheckBeforeRunning(const TryOptions& options) {
  const std::string architecture = CheckPackage(options.package);
  CheckTools(options);
  // Debian's 32-bit loader cannot start where the machine offers no 32-bit execution.
  if (architecture == "i686" && RunnableArchitecture(options.helpers) != "i686")
    throw NotRun(options.package.string() +
                 " is a 32-bit (i686) program, and this machine's Wine runs only 64-bit (x86_64) programs: "
                 "its 32-bit loader /usr/lib/wine/wine does not start. Install the 32-bit Wine "
                 "(`dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386`); where the "
                 "processor or virtual machine offers no 32-bit execution at all, try the package on another "
                 "machine, or try a package made around the x86_64 build of the installer");
  return architecture;
}

}  // namespace quenlith_try
