#include "pack/commands.h"

#include <cstdint>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "pack/interrupt.h"
#include "pack/json.h"
#include "pack/package.h"
#include "pack/progress.h"
#include "pack/signature.h"
#include "formats/layout.h"

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

std::string SignatureLine(const SignatureCheck& check, const PackageLayout& layout) {
  if (!check.fault.empty()) return "fault: " + check.fault;
  if (!check.signed_) return "none";
  return std::to_string(layout.signatureSize) + " bytes, " + std::to_string(check.certificates) +
         " certificate record(s), " + check.digestAlgorithm + " digest " +
         (check.digestMatches ? "matches the package" : "does not match the package");
}

// A script section holds one end marker, on its last line, and no NUL: more
// means other bytes (say, a second package) were taken for the script.
std::string ScriptSectionFault(const std::string& script) {
  std::size_t markers = 0;
  for (std::size_t at = 0; (at = script.find(layout::kEndMarker, at)) != std::string::npos; at += 1) ++markers;
  if (markers != 1)
    return "the script section holds " + std::to_string(markers) +
           " end markers (a package with another appended?)";
  if (script.find('\0') != std::string::npos) return "the script section holds NUL bytes";
  return {};
}

void WriteSignature(JsonWriter& json, const SignatureCheck& check) {
  json.BeginObject();
  json.Field("signed", check.signed_);
  json.TextOrNull("fault", check.fault);
  json.TextOrNull("digestAlgorithm", check.digestAlgorithm);
  json.Field("digestMatches", check.digestMatches);
  json.Field("certificates", check.certificates);
  json.EndObject();
}

}  // namespace

void InspectPackage(const std::filesystem::path& path, std::ostream& out, const CommandOptions& options) {
  InputFile package(path);
  const PackageLayout layout = ReadLayout(package);
  const std::string imageFault = ImageFault(layout);
  const SignatureCheck signature = CheckSignature(package, layout);
  const std::string script = package.ReadString(layout.scriptStart, layout.scriptLength);
  if (!options.json) {
    // The text shows what could be read before the file table is decoded,
    // which helps with a package whose payload is damaged.
    PrintLayout(layout, out);
    if (!imageFault.empty()) out << "image fault:       " << imageFault << "\n";
    out << "signature:         " << SignatureLine(signature, layout) << "\n";
    out << "\nscript:\n";
    for (std::size_t start = 0; start < script.size();) {
      std::size_t end = script.find('\n', start);
      if (end == std::string::npos) end = script.size();
      std::string line = script.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      out << "  " << line << "\n";
      start = end + 1;
    }
  }
  ArchiveParser parser(nullptr, nullptr, nullptr);
  DecompressPayload(package, layout, [&parser](std::string_view bytes) {
    parser.Feed(bytes);
    return !parser.TableComplete();
  });
  if (!parser.TableComplete()) parser.Finish();
  std::uint64_t total = 0;
  for (const archive::Entry& entry : parser.Entries()) total += entry.size;

  std::ostringstream report;
  if (options.json) {
    // Composed whole before it is written: a fault leaves no half document.
    JsonWriter json(report);
    json.BeginObject();
    json.Field("package", PathToUtf8(path));
    json.Field("packageSize", layout.fileSize);
    json.Field("imageSize", layout.payloadStart);
    json.Key("compiledImageSize");
    layout.compiledImageSize ? json.Number(*layout.compiledImageSize) : json.Null();
    json.Key("payload");
    json.BeginObject();
    json.Field("offset", layout.payloadStart);
    json.Field("length", layout.payloadLength);
    json.EndObject();
    json.Key("script");
    json.BeginObject();
    json.Field("offset", layout.scriptStart);
    json.Field("length", layout.scriptLength);
    json.Field("text", script);
    json.EndObject();
    json.Field("signatureSize", layout.signatureSize);
    json.TextOrNull("imageFault", imageFault);
    json.Key("signature");
    WriteSignature(json, signature);
    json.Key("files");
    json.BeginArray();
    for (const archive::Entry& entry : parser.Entries()) {
      json.BeginObject();
      WriteName(json, "name", entry.name);
      json.Field("size", entry.size);
      json.EndObject();
    }
    json.EndArray();
    json.Field("totalBytes", total);
    json.EndObject();
    out << report.str();
    return;
  }

  report << "\nfiles (" << parser.Entries().size() << "):\n";
  for (const archive::Entry& entry : parser.Entries()) report << std::setw(12) << entry.size << "  " << entry.name << "\n";
  report << std::setw(12) << total << "  bytes in all\n";
  out << report.str();
}

void VerifyPackage(const std::filesystem::path& path, std::ostream& out, const CommandOptions& options) {
  InputFile package(path);
  const PackageLayout layout = ReadLayout(package);
  if (const std::string fault = ImageFault(layout); !fault.empty()) throw Failure(fault);
  if (const std::string fault = ScriptSectionFault(package.ReadString(layout.scriptStart, layout.scriptLength));
      !fault.empty())
    throw Failure(fault);
  ProgressLine progress(std::cerr, options.progress);
  const SignatureCheck signature = CheckSignature(package, layout);
  if (!signature.fault.empty()) throw Failure(signature.fault);
  std::uint64_t bytes = 0, decoded = 0, archiveSize = 0;
  ArchiveParser parser([&archiveSize](const std::vector<archive::Entry>& entries) { archiveSize = ArchiveSize(entries); },
                       [&bytes](std::size_t, std::string_view data) { bytes += data.size(); }, nullptr);
  const unsigned streams = DecompressPayload(package, layout, [&](std::string_view data) {
    parser.Feed(data);
    decoded += data.size();
    progress.Update(decoded, archiveSize);
    return true;
  });
  parser.Finish();
  progress.Clear();
  if (options.json) {
    std::ostringstream report;
    JsonWriter json(report);
    json.BeginObject();
    json.Field("package", PathToUtf8(path));
    json.Field("ok", true);
    json.Field("files", parser.Entries().size());
    json.Field("bytes", bytes);
    json.Field("streams", streams);
    json.Key("signature");
    WriteSignature(json, signature);
    json.EndObject();
    out << report.str();
    return;
  }
  out << "ok: " << parser.Entries().size() << " files, " << bytes << " bytes in " << streams
      << " bzip2 stream(s), "
      << (signature.signed_ ? "signed (" + std::to_string(layout.signatureSize) + " bytes, " +
                                  signature.digestAlgorithm + " digest matches)"
                            : std::string("not signed"))
      << "\n";
}

void ExtractPackage(const std::filesystem::path& path, const std::filesystem::path& folder, std::ostream& out,
                    const CommandOptions& options) {
  InputFile package(path);
  const PackageLayout layout = ReadLayout(package);
  // Files are written below a staging folder inside `folder` and moved into
  // place only when the whole payload has been read and checked; a damaged
  // package or an interruption leaves nothing but what was there before.
  std::error_code error;
  const bool folderExisted = std::filesystem::exists(folder, error);
  std::filesystem::create_directories(folder, error);
  if (error) throw Failure("cannot create " + Quoted(folder) + ": " + error.message());
  const std::filesystem::path staging = folder / ".quenlith-extract.partial";
  struct Cleanup {
    std::filesystem::path staging, folder;
    bool removeFolder;
    bool done = false;
    ~Cleanup() {
      std::error_code ignored;
      std::filesystem::remove_all(staging, ignored);
      if (!done && removeFolder) std::filesystem::remove(folder, ignored);
    }
  } cleanup{staging, folder, !folderExisted};
  const RemoveOnInterrupt removeStaging(staging);
  const std::unique_ptr<RemoveOnInterrupt> removeFolder =
      folderExisted ? nullptr : std::make_unique<RemoveOnInterrupt>(folder);

  std::ofstream file;
  std::filesystem::path current;
  std::vector<std::filesystem::path> relatives;
  ProgressLine progress(std::cerr, options.progress);
  std::uint64_t decoded = 0, archiveSize = 0;
  auto open = [&](std::size_t index) {
    if (file.is_open()) return;
    current = staging / relatives[index];
    std::filesystem::create_directories(current.parent_path());
    file.open(current, std::ios::binary | std::ios::trunc);
    if (!file) throw Failure("cannot create " + Quoted(folder / relatives[index]) + ": " + LastErrorText());
  };
  ArchiveParser parser(
      [&](const std::vector<archive::Entry>& entries) {
        archiveSize = ArchiveSize(entries);
        for (const archive::Entry& entry : entries) {
          // Names were checked by the parser: relative, no "..", no drive.
          std::filesystem::path relative;
          std::size_t start = 0;
          for (std::size_t end; (end = entry.name.find('\\', start)) != std::string::npos; start = end + 1)
            relative /= PathFromUtf8(entry.name.substr(start, end - start));
          relatives.push_back(relative / PathFromUtf8(entry.name.substr(start)));
        }
      },
      [&](std::size_t index, std::string_view data) {
        open(index);
        file.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!file) throw Failure("cannot write " + Quoted(folder / relatives[index]) + ": " + LastErrorText());
      },
      [&](std::size_t index) {
        open(index);  // a file of 0 bytes has had no data
        file.close();
        if (!file) throw Failure("cannot write " + Quoted(folder / relatives[index]) + ": " + LastErrorText());
      });
  DecompressPayload(package, layout, [&](std::string_view data) {
    parser.Feed(data);
    decoded += data.size();
    progress.Update(decoded, archiveSize);
    return true;
  });
  parser.Finish();
  progress.Clear();
  for (const std::filesystem::path& relative : relatives) {
    const std::filesystem::path target = folder / relative;
    std::filesystem::create_directories(target.parent_path(), error);
    if (!error) std::filesystem::rename(staging / relative, target, error);
    if (error) throw Failure("cannot create " + Quoted(target) + ": " + error.message());
  }
  cleanup.done = true;
  out << "extracted " << parser.Entries().size() << " files into " << Quoted(folder) << "\n";
}

}  // namespace pack
