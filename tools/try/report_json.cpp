#include "pack/json.h"
#include "try/report_writers.h"
#include "try/text.h"

namespace quenlith_try {

namespace {

void StringArray(pack::JsonWriter& json, std::string_view name, const std::vector<std::string>& values) {
  json.Key(name);
  json.BeginArray();
  for (const std::string& value : values) json.String(value);
  json.EndArray();
}

// A text file's path and text, line ends '\n'.
void TextFileObject(pack::JsonWriter& json, const TextFile& file) {
  json.BeginObject();
  json.Field("path", file.path);
  json.Field("text", WithoutCarriageReturns(file.text));
  json.EndObject();
}

void TextFileOrNull(pack::JsonWriter& json, std::string_view name, const std::optional<TextFile>& file) {
  json.Key(name);
  if (!file) return json.Null();
  TextFileObject(json, *file);
}

void WriteRun(const Report& report, pack::JsonWriter& json) {
  json.Field("package", report.package);
  json.Field("architecture", report.architecture);
  json.Field("mode", report.mode);
  StringArray(json, "switches", report.switches);
  json.Field("outcome", report.run.outcome);
  json.Key("exitCode");
  if (report.run.exitCode) json.Number(*report.run.exitCode); else json.Null();
  json.Key("exitMeaning");
  if (report.run.exitCode) json.String(report.run.exitMeaning); else json.Null();
  json.Field("milliseconds", report.run.milliseconds);
}

void WriteFilesWritten(const RunFacts& facts, pack::JsonWriter& json) {
  json.Key("filesWritten");
  json.BeginObject();
  json.Field("count", facts.filesWritten);
  json.Field("bytes", facts.bytesWritten);
  json.Key("folders");
  json.BeginArray();
  for (const WrittenGroup& group : facts.groups) {
    json.BeginObject();
    json.Field("path", DriveCPath(group.folder));
    json.Field("new", group.newFolder);
    json.Field("files", group.files);
    json.Field("bytes", group.bytes);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteShortcuts(const RunFacts& facts, pack::JsonWriter& json) {
  json.Key("shortcuts");
  json.BeginArray();
  for (const Shortcut& shortcut : facts.shortcuts) {
    json.BeginObject();
    json.Field("path", shortcut.path);
    json.Field("target", shortcut.link.target);
    json.Field("arguments", shortcut.link.arguments);
    json.Field("workingDirectory", shortcut.link.workingDirectory);
    json.Field("description", shortcut.link.description);
    json.Field("iconLocation", shortcut.link.iconLocation);
    json.EndObject();
  }
  json.EndArray();
}

void WriteUninstallEntries(const RunFacts& facts, pack::JsonWriter& json) {
  json.Key("uninstallEntries");
  json.BeginArray();
  for (const UninstallEntry& entry : facts.uninstallEntries) {
    json.BeginObject();
    json.Field("key", "HKCU\\" + entry.key);
    json.Key("values");
    json.BeginArray();
    for (const RegistryValue& value : entry.values) {
      json.BeginObject();
      json.Field("name", value.name);
      json.Field("type", value.type);
      json.Field("data", value.data);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
}

void WriteOtherFacts(const Report& report, pack::JsonWriter& json) {
  const RunFacts& facts = report.facts;
  TextFileOrNull(json, "productSettings", facts.settings);
  json.Key("pluginLists");
  json.BeginArray();
  for (const TextFile& list : facts.pluginLists) TextFileObject(json, list);
  json.EndArray();
  StringArray(json, "stateReports", report.run.stateReports);
  StringArray(json, "tempLeft", facts.tempLeft);
  TextFileOrNull(json, "log", facts.log);
}

void WritePictures(const Pictures& pictures, pack::JsonWriter& json) {
  json.Key("pictures");
  json.BeginObject();
  json.Field("folder", pictures.folder.string());
  json.Key("pages");
  json.BeginArray();
  for (const Page& page : pictures.pages) {
    json.BeginObject();
    json.Field("page", page.name);
    json.Field("png", page.picture.string());
    json.EndObject();
  }
  json.EndArray();
  json.TextOrNull("hangScreenshot", pictures.hangScreenshot ? pictures.hangScreenshot->string() : std::string());
  json.EndObject();
}

}  // namespace

void PrintJson(const Report& report, std::ostream& out) {
  pack::JsonWriter json(out);
  json.BeginObject();
  WriteRun(report, json);
  WriteFilesWritten(report.facts, json);
  WriteShortcuts(report.facts, json);
  WriteUninstallEntries(report.facts, json);
  WriteOtherFacts(report, json);
  WritePictures(report.pictures, json);
  json.TextOrNull("prefix", report.prefix ? report.prefix->string() : std::string());
  json.EndObject();
}

}  // namespace quenlith_try
