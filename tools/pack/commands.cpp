#include "commands.h"

#include <fstream>
#include <iomanip>

#include "package.h"

namespace pack {
namespace {

void PrintLayout(const PackageLayout& layout, std::ostream& out) {
  out << "package size:      " << layout.fileSize << "\n"
      << "image size:        " << layout.payloadStart << "\n"
      << "compiled image:    "
      << (layout.compiledImageSize ? std::to_string(*layout.compiledImageSize) : std::string("none")) << "\n"
      << "section 1 payload: offset " << layout.payloadStart << ", length " << layout.payloadLength << "\n"
      << "section 0 script:  offset " << layout.scriptStart << ", length " << layout.scriptLength << "\n"
      << "signature size:    " << layout.signatureSize << "\n";
}

}  // namespace

void InspectPackage(const std::filesystem::path& path, std::ostream& out) {
  InputFile package(path);
  const PackageLayout layout = ReadLayout(package);
  PrintLayout(layout, out);
  if (const std::string fault = ImageFault(layout); !fault.empty()) out << "image fault:       " << fault << "\n";

  out << "\nscript:\n";
  const std::string script = package.ReadString(layout.scriptStart, layout.scriptLength);
  for (std::size_t start = 0; start < script.size();) {
    std::size_t end = script.find('\n', start);
    if (end == std::string::npos) end = script.size();
    std::string line = script.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out << "  " << line << "\n";
    start = end + 1;
  }

  ArchiveParser parser(nullptr, nullptr, nullptr);
  DecompressPayload(package, layout, [&parser](std::string_view bytes) {
    parser.Feed(bytes);
    return !parser.TableComplete();
  });
  if (!parser.TableComplete()) parser.Finish();
  std::uint64_t total = 0;
  out << "\nfiles (" << parser.Entries().size() << "):\n";
  for (const archive::Entry& entry : parser.Entries()) {
    out << std::setw(12) << entry.size << "  " << entry.name << "\n";
    total += entry.size;
  }
  out << std::setw(12) << total << "  bytes in all\n";
}

void VerifyPackage(const std::filesystem::path& path, std::ostream& out) {
  InputFile package(path);
  const PackageLayout layout = ReadLayout(package);
  if (const std::string fault = ImageFault(layout); !fault.empty()) throw Failure(fault);
  std::uint64_t bytes = 0;
  ArchiveParser parser(nullptr, [&bytes](std::size_t, std::string_view data) { bytes += data.size(); }, nullptr);
  const unsigned streams = DecompressPayload(package, layout, [&parser](std::string_view data) {
    parser.Feed(data);
    return true;
  });
  parser.Finish();
  out << "ok: " << parser.Entries().size() << " files, " << bytes << " bytes in " << streams
      << " bzip2 stream(s), signature " << layout.signatureSize << " bytes\n";
}

void ExtractPackage(const std::filesystem::path& path, const std::filesystem::path& folder, std::ostream& out) {
  InputFile package(path);
  const PackageLayout layout = ReadLayout(package);
  std::ofstream file;
  std::filesystem::path current;
  std::vector<std::filesystem::path> targets;
  auto open = [&](std::size_t index) {
    if (file.is_open()) return;
    current = targets[index];
    std::filesystem::create_directories(current.parent_path());
    file.open(current, std::ios::binary | std::ios::trunc);
    if (!file) throw Failure("cannot create " + Quoted(current));
  };
  ArchiveParser parser(
      [&](const std::vector<archive::Entry>& entries) {
        for (const archive::Entry& entry : entries) {
          // Names were checked by the parser: relative, no "..", no drive.
          std::filesystem::path target = folder;
          std::size_t start = 0;
          for (std::size_t end; (end = entry.name.find('\\', start)) != std::string::npos; start = end + 1)
            target /= entry.name.substr(start, end - start);
          targets.push_back(target / entry.name.substr(start));
        }
      },
      [&](std::size_t index, std::string_view data) {
        open(index);
        file.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!file) throw Failure("cannot write " + Quoted(current));
      },
      [&](std::size_t index) {
        open(index);  // a file of 0 bytes has had no data
        file.close();
        if (!file) throw Failure("cannot write " + Quoted(current));
      });
  DecompressPayload(package, layout, [&parser](std::string_view data) {
    parser.Feed(data);
    return true;
  });
  parser.Finish();
  out << "extracted " << parser.Entries().size() << " files into " << Quoted(folder) << "\n";
}

}  // namespace pack
