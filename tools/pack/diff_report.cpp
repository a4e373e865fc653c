#include "pack/diff_report.h"

#include <cstdio>
#include <string_view>

#include "pack/files.h"
#include "pack/json.h"
#include "pack/names.h"

namespace pack {
namespace {

// --- Text --------------------------------------------------------------

// Days since 1970-01-01 as a civil date (the proleptic Gregorian calendar).
std::string UtcTime(std::uint32_t seconds) {
  const std::int64_t days = seconds / 86400, rest = seconds % 86400;
  const std::int64_t z = days + 719468, era = z / 146097, doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

std::string ShortHash(const std::string& digest) { return HexBytes(digest).substr(0, 16); }

std::string Optional(const std::optional<std::uint32_t>& value) {
  return value ? std::to_string(*value) : std::string("none");
}

std::string Stamp(const std::optional<std::uint32_t>& stamp) {
  if (!stamp) return "none";
  // A reproducible build leaves the stamp 0.
  if (*stamp == 0) return "0 (not set)";
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(*stamp));
  return std::string(hex) + " (" + UtcTime(*stamp) + ")";
}

std::string SignatureText(const SignatureCheck& check) {
  if (!check.fault.empty()) return (check.signed_ ? "signed, fault: " : "fault: ") + check.fault;
  if (!check.signed_) return "not signed";
  return "signed, " + check.digestAlgorithm + " digest";
}

void WriteSideLine(std::ostream& out, const char* label, const DiffSide& side) {
  out << label << ": " << Quoted(side.path) << ", " << side.facts.entries << " files, " << side.facts.bytes
      << " bytes\n";
}

void WriteFileLines(std::ostream& out, const Changes<FileFacts>& files) {
  out << "files: " << files.added.size() << " added, " << files.removed.size() << " removed, "
      << files.changed.size() << " changed, " << files.unchanged << " unchanged\n";
  for (const auto& [sign, list] : {std::pair{'+', &files.added}, std::pair{'-', &files.removed}})
    for (const auto& [name, file] : *list)
      out << "  " << sign << " " << Escaped(*name) << "  (" << file->size << " bytes, sha256 "
          << ShortHash(file->sha256) << ")\n";
  for (const auto& [name, old, now] : files.changed)
    out << "  ~ " << Escaped(*name) << "  (" << old->size << " -> " << now->size << " bytes, sha256 "
        << ShortHash(old->sha256) << " -> " << ShortHash(now->sha256) << ")\n";
}

void WriteLeftBehindLines(std::ostream& out,
                          const std::vector<std::pair<const std::string*, const FileFacts*>>& leftBehind) {
  out << "left behind: " << leftBehind.size()
      << " file(s) the old package installs that the new one neither installs nor deletes ([Delete])\n";
  for (const auto& [name, file] : leftBehind)
    out << "  ! " << Escaped(*name) << "  (" << file->size << " bytes, sha256 " << ShortHash(file->sha256) << ")\n";
}

void WriteKeyLines(std::ostream& out, const Changes<ScriptValue>& keys) {
  out << "script: " << keys.added.size() << " keys added, " << keys.removed.size() << " removed, "
      << keys.changed.size() << " changed, " << keys.unchanged << " unchanged\n";
  for (const auto& [sign, list] : {std::pair{'+', &keys.added}, std::pair{'-', &keys.removed}})
    for (const auto& [folded, value] : *list)
      out << "  " << sign << " [" << Escaped(value->section) << "] " << Escaped(value->key) << "="
          << Escaped(value->value) << "\n";
  for (const auto& [folded, old, now] : keys.changed)
    out << "  ~ [" << Escaped(now->section) << "] " << Escaped(now->key) << ": \"" << Escaped(old->value) << "\" -> \""
        << Escaped(now->value) << "\"\n";
}

void WriteImageLine(std::ostream& out, const ImageFacts& before, const ImageFacts& after, bool same) {
  if (same) {
    out << "image: same (" << after.size << " bytes)\n";
    return;
  }
  out << "image: differs: " << before.size << " -> " << after.size << " bytes, SetupImageSize "
      << Optional(before.setupImageSize) << " -> " << Optional(after.setupImageSize) << ", build stamp "
      << Stamp(before.buildStamp) << " -> " << Stamp(after.buildStamp) << "\n";
}

// --- JSON --------------------------------------------------------------

void WriteSideJson(JsonWriter& json, const DiffSide& side) {
  json.BeginObject();
  json.Field("package", PathToUtf8(side.path));
  json.Field("files", side.facts.entries);
  json.Field("bytes", side.facts.bytes);
  json.EndObject();
}

// {added, removed, changed, unchanged}: `one` writes the fields of an added
// or removed value, `change` those of a changed one, each inside its object.
template <typename Value, typename WriteOne, typename WriteChange>
void WriteChangesJson(JsonWriter& json, const Changes<Value>& changes, WriteOne one, WriteChange change) {
  json.BeginObject();
  for (const auto& [key, list] : {std::pair{"added", &changes.added}, std::pair{"removed", &changes.removed}}) {
    json.Key(key);
    json.BeginArray();
    for (const auto& [name, value] : *list) {
      json.BeginObject();
      one(*name, *value);
      json.EndObject();
    }
    json.EndArray();
  }
  json.Key("changed");
  json.BeginArray();
  for (const auto& [name, old, now] : changes.changed) {
    json.BeginObject();
    change(*name, *old, *now);
    json.EndObject();
  }
  json.EndArray();
  json.Field("unchanged", changes.unchanged);
  json.EndObject();
}

// The fields of an added, removed or left file.
void WriteFileJson(JsonWriter& json, const std::string& name, const FileFacts& file) {
  WriteName(json, "name", name);
  json.Field("size", file.size);
  json.Field("sha256", HexBytes(file.sha256));
}

void WriteImageJson(JsonWriter& json, const ImageFacts& image) {
  json.BeginObject();
  json.Field("size", image.size);
  json.Key("setupImageSize");
  image.setupImageSize ? json.Number(*image.setupImageSize) : json.Null();
  json.Key("buildStamp");
  image.buildStamp ? json.Number(*image.buildStamp) : json.Null();
  json.Field("sha256", HexBytes(image.sha256));
  json.EndObject();
}

// {same, old, new}, each side written by `write`.
template <typename Facts, typename Write>
void WritePairJson(JsonWriter& json, bool same, const Facts& before, const Facts& after, Write write) {
  json.BeginObject();
  json.Field("same", same);
  json.Key("old");
  write(json, before);
  json.Key("new");
  write(json, after);
  json.EndObject();
}

}  // namespace

void WriteDiffText(std::ostream& out, const DiffSide& before, const DiffSide& after, const DiffFindings& findings) {
  WriteSideLine(out, "old", before);
  WriteSideLine(out, "new", after);
  WriteFileLines(out, findings.files);
  WriteLeftBehindLines(out, findings.leftBehind);
  WriteKeyLines(out, findings.keys);
  WriteImageLine(out, before.facts.image, after.facts.image, findings.sameImage);
  if (findings.sameSignature)
    out << "signature: same (" << SignatureText(after.facts.signature) << ")\n";
  else
    out << "signature: differs: " << SignatureText(before.facts.signature) << " -> "
        << SignatureText(after.facts.signature) << "\n";
  out << (!findings.InstallsTheSame() ? "result: the packages differ\n"
          : findings.sameSignature    ? "result: the packages install the same\n"
                                      : "result: the packages install the same (only the signature differs)\n");
}

void WriteDiffJson(std::ostream& out, const DiffSide& before, const DiffSide& after, const DiffFindings& findings) {
  JsonWriter json(out);
  json.BeginObject();
  json.Key("old");
  WriteSideJson(json, before);
  json.Key("new");
  WriteSideJson(json, after);
  json.Field("same", findings.InstallsTheSame());
  json.Key("files");
  WriteChangesJson(
      json, findings.files,
      [&json](const std::string& name, const FileFacts& file) { WriteFileJson(json, name, file); },
      [&json](const std::string& name, const FileFacts& old, const FileFacts& now) {
        WriteName(json, "name", name);
        json.Field("oldSize", old.size);
        json.Field("newSize", now.size);
        json.Field("oldSha256", HexBytes(old.sha256));
        json.Field("newSha256", HexBytes(now.sha256));
      });
  json.Key("leftBehind");
  json.BeginArray();
  for (const auto& [name, file] : findings.leftBehind) {
    json.BeginObject();
    WriteFileJson(json, *name, *file);
    json.EndObject();
  }
  json.EndArray();
  json.Key("script");
  WriteChangesJson(
      json, findings.keys,
      [&json](const std::string&, const ScriptValue& value) {
        json.Field("section", value.section);
        json.Field("key", value.key);
        json.Field("value", value.value);
      },
      [&json](const std::string&, const ScriptValue& old, const ScriptValue& now) {
        json.Field("section", now.section);
        json.Field("key", now.key);
        json.Field("oldValue", old.value);
        json.Field("newValue", now.value);
      });
  json.Key("image");
  WritePairJson(json, findings.sameImage, before.facts.image, after.facts.image, WriteImageJson);
  json.Key("signature");
  WritePairJson(json, findings.sameSignature, before.facts.signature, after.facts.signature, WriteSignatureJson);
  json.EndObject();
}

}  // namespace pack
