#include "pack/commands.h"

#include <cstdint>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <vector>

#include "formats/layout.h"
#include "pack/json.h"
#include "pack/package.h"
#include "pack/progress.h"
#include "pack/signature.h"
#include "pack/staged_folder.h"

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

// What `inspect` reads of a package.
struct Inspection {
  PackageLayout layout;
  std::string imageFault;
  SignatureCheck signature;
  std::string script;
  std::vector<archive::Entry> entries;  // the table as far as it was read
  std::string damage;                   // what stops the payload's decoding, or empty
};

// What can be read before the file table is decoded, which helps with a
// package whose payload is damaged: the layout, the image and the
// signature, and the script's lines.
void PrintHead(const Inspection& package, std::ostream& out) {
  PrintLayout(package.layout, out);
  if (!package.imageFault.empty()) out << "image fault:       " << package.imageFault << "\n";
  out << "signature:         " << SignatureLine(package.signature, package.layout) << "\n";
  out << "\nscript:\n";
  const std::string& script = package.script;
  for (std::size_t start = 0; start < script.size();) {
    std::size_t end = script.find('\n', start);
    if (end == std::string::npos) end = script.size();
    std::string line = script.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out << "  " << line << "\n";
    start = end + 1;
  }
}

std::uint64_t TotalBytes(const std::vector<archive::Entry>& entries) {
  std::uint64_t total = 0;
  for (const archive::Entry& entry : entries) total += entry.size;
  return total;
}

void WriteInspectJson(const std::filesystem::path& path, const Inspection& package, std::ostream& out) {
  const PackageLayout& layout = package.layout;
  JsonWriter json(out);
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
  json.Field("text", package.script);
  json.EndObject();
  json.Field("signatureSize", layout.signatureSize);
  json.TextOrNull("imageFault", package.imageFault);
  json.Key("signature");
  WriteSignatureJson(json, package.signature);
  json.Key("files");
  json.BeginArray();
  for (const archive::Entry& entry : package.entries) {
    json.BeginObject();
    WriteName(json, "name", entry.name);
    json.Field("size", entry.size);
    json.EndObject();
  }
  json.EndArray();
  json.Field("totalBytes", TotalBytes(package.entries));
  json.TextOrNull("damage", package.damage);
  json.EndObject();
}

}  // namespace

std::string InspectPackage(const std::filesystem::path& path, std::ostream& out, const CommandOptions& options) {
  InputFile package(path);
  Inspection inspection;
  inspection.layout = ReadPackageLayout(package, path);
  inspection.imageFault = ImageFault(inspection.layout);
  inspection.signature = CheckSignature(package, inspection.layout);
  inspection.script = package.ReadString(inspection.layout.scriptStart, inspection.layout.scriptLength);
  if (!options.json) PrintHead(inspection, out);
  // The whole payload is decoded, as an installation decodes it, so that
  // damage anywhere in it shows; the table is kept as far as it was read.
  ArchiveParser parser(nullptr, nullptr, nullptr);
  ProgressLine progress(std::cerr, options.progress);
  std::string damage;
  try {
    DecompressArchive(package, inspection.layout, parser,
                      [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); });
  } catch (const Failure& failure) {
    damage = failure.what();
  }
  progress.Clear();
  inspection.entries = parser.Entries();
  inspection.damage = damage;
  // Composed whole before it is written.
  std::ostringstream report;
  if (options.json) {
    WriteInspectJson(path, inspection, report);
  } else {
    report << "\nfiles (" << inspection.entries.size() << "):\n";
    for (const archive::Entry& entry : inspection.entries)
      report << std::setw(12) << entry.size << "  " << entry.name << "\n";
    report << std::setw(12) << TotalBytes(inspection.entries) << "  bytes in all\n";
    if (!damage.empty()) report << "\ndamage:            " << damage << "\n";
  }
  out << report.str();
  return damage;
}

void VerifyPackage(const std::filesystem::path& path, std::ostream& out, const CommandOptions& options) {
  InputFile package(path);
  const PackageLayout layout = ReadPackageLayout(package, path);
  if (const std::string fault = ImageFault(layout); !fault.empty()) throw Failure(fault);
  if (const std::string fault = ScriptSectionFault(package.ReadString(layout.scriptStart, layout.scriptLength));
      !fault.empty())
    throw Failure(fault);
  ProgressLine progress(std::cerr, options.progress);
  const SignatureCheck signature = CheckSignature(package, layout);
  if (!signature.fault.empty()) throw Failure(signature.fault);
  std::uint64_t bytes = 0;
  ArchiveParser parser(nullptr, [&bytes](std::size_t, std::string_view data) { bytes += data.size(); }, nullptr);
  const unsigned streams = DecompressArchive(
      package, layout, parser, [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); });
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
    WriteSignatureJson(json, signature);
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
  const PackageLayout layout = ReadPackageLayout(package, path);
  StagedFolder staged(folder);
  ArchiveParser parser = staged.Parser();
  ProgressLine progress(std::cerr, options.progress);
  DecompressArchive(package, layout, parser, [&progress](std::uint64_t done, std::uint64_t total) {
    progress.Update(done, total);
  });
  progress.Clear();
  staged.MoveIntoPlace();
  out << "extracted " << parser.Entries().size() << " files into " << Quoted(folder) << "\n";
}

}  // namespace pack
