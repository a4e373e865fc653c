// `quenlith-pack check`: its usage and arguments.

#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "pack/cli.h"
#include "pack/exit_codes.h"
#include "pack/files.h"
#include "pack/json.h"
#include "pack/package.h"
#include "pack/payload_facts.h"
#include "pack/script.h"
#include "pack/script_check.h"

namespace pack::cli {
namespace {

// A Windows executable (a setup package, if anything) rather than script text.
bool StartsLikeAProgram(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  char head[2] = {};
  return file.read(head, 2) && head[0] == 'M' && head[1] == 'Z';
}

// The script section of a package and what its payload holds.
std::string ReadPackage(const std::filesystem::path& path, std::optional<PayloadFacts>& payload) {
  InputFile package(path);
  const PackageLayout layout = ReadPackageLayout(package, path);
  payload = PayloadFactsOfPackage(package, layout);
  return package.ReadString(layout.scriptStart, layout.scriptLength);
}

void WriteJson(const std::filesystem::path& path, bool strict, bool failed,
               const std::vector<ScriptFinding>& findings) {
  std::ostringstream report;
  JsonWriter json(report);
  json.BeginObject();
  json.Field("script", PathToUtf8(path));
  json.Field("strict", strict);
  json.Field("ok", !failed);
  json.Key("findings");
  json.BeginArray();
  for (const ScriptFinding& finding : findings) {
    json.BeginObject();
    json.Field("line", finding.line);
    json.Field("text", finding.text);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  std::cout << report.str();
}

int Check(const std::vector<std::string>& args) {
  const Switches switches = ParseSwitches(args, {"--strict", "--json"});
  const std::vector<std::string>& positional = switches.positional;
  if (positional.empty() || positional.size() > 2)
    throw UsageError("check needs SCRIPT and optionally PAYLOAD_DIR or PACKAGE, or a PACKAGE alone");
  const std::filesystem::path path = PathFromUtf8(positional[0]);
  std::optional<PayloadFacts> payload;
  std::string text;
  if (StartsLikeAProgram(path)) {
    if (positional.size() == 2) throw UsageError("check takes a PACKAGE alone: its own script and payload");
    text = ReadPackage(path, payload);
  } else {
    text = ReadWholeFile(path);
    if (positional.size() == 2) {
      const std::filesystem::path against = PathFromUtf8(positional[1]);
      std::error_code error;
      if (std::filesystem::is_directory(against, error))
        payload = PayloadFactsOfFolder(against);
      else
        ReadPackage(against, payload);
    }
  }
  const PreparedScript script = PrepareScript(text);
  if (!script.error.empty()) throw Failure(Quoted(path) + ": " + script.error);
  const std::vector<ScriptFinding> findings = CheckScript(script.text, payload ? &*payload : nullptr);
  const bool failed = switches.strict && !findings.empty();
  if (switches.json) {
    WriteJson(path, switches.strict, failed, findings);
  } else {
    for (const ScriptFinding& finding : findings)
      std::cout << (switches.strict ? "error: " : "warning: ") << Quoted(path) << ": " << finding.text << "\n";
  }
  if (failed) {
    std::cerr << "quenlith-pack: the script has " << findings.size() << " problem(s) (--strict)\n";
    return kExitFault;
  }
  if (!switches.json) std::cout << "checked " << Quoted(path) << ": " << findings.size() << " finding(s)\n";
  return kExitDone;
}

}  // namespace

const Command kCheck = {
    "check",
    "  quenlith-pack check SCRIPT [PAYLOAD_DIR | PACKAGE] [--strict] [--json]\n"
    "  quenlith-pack check PACKAGE [--strict] [--json]\n"
    "      check the script against the installer's keys (quenlith-pack keys) and, when\n"
    "      given, the payload's files and its program's version: of a folder, of a\n"
    "      package's payload, or a package's own script against its own payload\n"
    "  --strict  findings are errors (exit code 1)\n" +
        std::string(kJsonOption),
    kExitCodesHelp,
    kExitFault,
    Check,
};

}  // namespace pack::cli
