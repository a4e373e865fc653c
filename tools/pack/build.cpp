#include "pack/build.h"

#include <algorithm>
#include <string>

#include "pack/compress.h"
#include "pack/files.h"
#include "pack/installer.h"
#include "pack/payload_facts.h"
#include "pack/progress.h"
#include "pack/script.h"
#include "pack/script_check.h"
#include "formats/layout.h"

namespace pack {
namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n  " + line;
  return text;
}

// Refuses an output that would overwrite an input or be packed into itself.
void CheckOutputName(const BuildOptions& options) {
  std::error_code error;
  if (std::filesystem::is_directory(options.output, error))
    throw Failure("the output " + Quoted(options.output) + " is a folder; name the package file to write");
  const std::filesystem::path output = std::filesystem::weakly_canonical(options.output, error);
  if (error) throw Failure("cannot resolve the output " + Quoted(options.output) + ": " + error.message());
  for (const auto& [input, role] : {std::pair{options.installer, "installer"}, std::pair{options.script, "script"}}) {
    if (std::filesystem::weakly_canonical(input, error) == output ||
        std::filesystem::equivalent(input, options.output, error))
      throw Failure("the output " + Quoted(options.output) + " is the " + role + " it is built from");
  }
  const std::filesystem::path payload = std::filesystem::weakly_canonical(options.payload, error);
  if (!error) {
    const auto mismatch = std::mismatch(payload.begin(), payload.end(), output.begin(), output.end());
    if (mismatch.first == payload.end())
      throw Failure("the output " + Quoted(options.output) + " lies inside the payload folder " +
                    Quoted(options.payload) + "; it would be packed into the next package");
  }
}

}  // namespace

void BuildPackage(const BuildOptions& options, std::ostream& messages) {
  ProgressLine progress(messages, options.progress);
  CheckOutputName(options);
  const std::string installer = ReadWholeFile(options.installer);
  const std::uint32_t imageSize = CheckInstallerImage(installer, options.installer);

  const PreparedScript script = PrepareScript(ReadWholeFile(options.script));
  if (!script.error.empty()) throw Failure(Quoted(options.script) + ": " + script.error);
  for (const std::string& note : script.notes) messages << "note: " << note << "\n";

  // Compression of file data starts while the walk still finds files.
  ArchiveCompressor compressor(options.jobs);
  const Payload payload = CollectPayload(options.payload, options.destinationRoom, options.links,
                                         [&compressor](const PayloadFile& file) { compressor.AddFile(file); });
  for (const std::string& warning : payload.warnings) messages << "warning: " << warning << "\n";
  if (!payload.errors.empty())
    throw Failure("the payload cannot be packaged:" + JoinLines(payload.errors));

  const PayloadFacts facts = PayloadFactsOf(payload);
  const std::vector<ScriptFinding> findings = CheckScript(script.text, &facts);
  for (const ScriptFinding& finding : findings)
    messages << (options.strictScript ? "error: " : "warning: ") << Quoted(options.script) << ": " << finding.text
             << "\n";
  if (options.strictScript && !findings.empty())
    throw Failure("the script has " + std::to_string(findings.size()) + " problem(s) (--strict)");

  AtomicOutput output(options.output);
  output.Write(installer);
  compressor.Finish(payload, [&output](std::string_view stream) { output.Write(stream); },
                    [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); });
  progress.Clear();

  // Both trailers hold 32-bit offsets: the script must start below 4 GiB.
  if (output.Written() + 2 * layout::kTrailerSize + script.text.size() > 0xFFFFFFFFull)
    throw Failure("the package would be larger than 4 GiB");
  std::string trailer;
  layout::AppendLe32(trailer, imageSize);
  output.Write(trailer);
  const auto scriptStart = static_cast<std::uint32_t>(output.Written());
  output.Write(script.text);
  trailer.clear();
  layout::AppendLe32(trailer, scriptStart);
  output.Write(trailer);
  output.Commit();
  messages << "wrote " << Quoted(options.output) << ": " << payload.files.size() << " files, "
           << payload.totalBytes << " bytes, package " << output.Written() << " bytes\n";
}

}  // namespace pack
