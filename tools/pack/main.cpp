// quenlith-pack: builds, inspects, verifies and unpacks setup packages.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "build.h"
#include "commands.h"
#include "files.h"
#include "installer.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

constexpr int kExitFault = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage:\n"
    "  quenlith-pack build INSTALLER PAYLOAD_DIR SCRIPT -o OUTPUT [--jobs N] [--destination-room N]\n"
    "      write a setup package: the installer executable, its payload folder\n"
    "      compressed as a payload archive, and the installer script\n"
    "  quenlith-pack inspect PACKAGE       print the layout, the script and the file table\n"
    "  quenlith-pack verify PACKAGE        check offsets, image, bzip2 CRCs and the file table\n"
    "  quenlith-pack extract PACKAGE DIR   unpack the payload into DIR\n"
    "  quenlith-pack stamp INSTALLER       store the installer's image size in it (a build step)\n"
    "\n"
    "  --jobs N              compress with N threads (default: all processors); the\n"
    "                        package is the same for any N\n"
    "  --destination-room N  characters that entry paths leave for the destination\n"
    "                        folder (default 100)\n";

int Usage(const std::string& problem) {
  std::cerr << "quenlith-pack: " << problem << "\n" << kUsage;
  return kExitUsage;
}

bool ParseCount(const std::string& text, unsigned long& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6) return false;
  value = std::stoul(text);
  return true;
}

int Build(const std::vector<std::string>& args) {
  pack::BuildOptions options;
  options.jobs = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    unsigned long number = 0;
    if (arg == "-o" || arg == "--output") {
      if (!hasValue) return Usage(arg + " needs a file name");
      options.output = args[++i];
    } else if (arg == "--jobs") {
      if (!hasValue || !ParseCount(args[++i], number) || number == 0) return Usage("--jobs needs a number of 1 or more");
      options.jobs = static_cast<unsigned>(number);
    } else if (arg == "--destination-room") {
      if (!hasValue || !ParseCount(args[++i], number) || number > 250)
        return Usage("--destination-room needs a number from 0 to 250");
      options.destinationRoom = number;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 3) return Usage("build needs INSTALLER, PAYLOAD_DIR and SCRIPT");
  if (options.output.empty()) return Usage("build needs -o OUTPUT");
  options.installer = positional[0];
  options.payload = positional[1];
  options.script = positional[2];
  options.progress = isatty(2) != 0;
  pack::BuildPackage(options, std::cerr);
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "-h" || args[0] == "--help") {
    std::cout << kUsage;
    return args.empty() ? kExitUsage : 0;
  }
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "build") return Build(rest);
  if (command == "inspect" && rest.size() == 1) return pack::InspectPackage(rest[0], std::cout), 0;
  if (command == "verify" && rest.size() == 1) return pack::VerifyPackage(rest[0], std::cout), 0;
  if (command == "extract" && rest.size() == 2) return pack::ExtractPackage(rest[0], rest[1], std::cout), 0;
  if (command == "stamp" && rest.size() == 1) return pack::StampInstaller(rest[0]), 0;
  return Usage("unknown command or wrong arguments: " + command);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::cerr << "quenlith-pack: " << error.what() << "\n";
    return kExitFault;
  }
}
