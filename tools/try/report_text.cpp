#include <iomanip>
#include <sstream>

#include "try/report_writers.h"
#include "try/text.h"

namespace quenlith_try {

namespace {

std::string Thousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
  return digits;
}

std::string Seconds(std::int64_t milliseconds) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(2) << static_cast<double>(milliseconds) / 1000.0 << " s";
  return text.str();
}

void PrintIndented(std::ostream& out, const std::string& text) {
  std::istringstream lines(WithoutCarriageReturns(text));
  std::string line;
  while (std::getline(lines, line)) out << "    " << line << "\n";
}

// A heading of the text report: followed by `emptyText` when it has no lines.
void Heading(std::ostream& out, const std::string& name, bool empty, const std::string& emptyText) {
  out << name;
  if (empty) out << std::string(18 - name.size(), ' ') << emptyText;
  out << "\n";
}

void PrintRun(const Report& report, std::ostream& out) {
  const RunResult& run = report.run;
  out << "package:          " << report.package << " (" << report.architecture << ")\n";
  out << "run:              " << report.mode;
  for (const std::string& switch_ : report.switches) out << " " << switch_;
  out << "\n";
  if (run.outcome == "hung") {
    out << "exit code:        none: hung, ended after the time limit\n";
  } else if (run.outcome == "not_started") {
    out << "exit code:        none: the package did not start (" << run.startError << ")\n";
  } else {
    out << "exit code:        " << *run.exitCode << " (" << run.exitMeaning << ")\n";
    if (run.outcome == "crashed") out << "                  the program crashed (Wine reported an unhandled exception)\n";
  }
  out << "time:             " << Seconds(run.milliseconds) << "\n";
}

void PrintFilesWritten(const RunFacts& facts, std::ostream& out) {
  out << "files written:    " << Thousands(facts.filesWritten) << " file(s), " << Thousands(facts.bytesWritten)
      << " bytes\n";
  for (const WrittenGroup& group : facts.groups)
    out << "    " << DriveCPath(group.folder.empty() ? group.folder : group.folder + "/")
        << (group.newFolder ? " (new)" : "") << ": " << Thousands(group.files) << " file(s), "
        << Thousands(group.bytes) << " bytes\n";
}

void PrintShortcutsAndEntries(const RunFacts& facts, std::ostream& out) {
  Heading(out, "shortcuts:", facts.shortcuts.empty(), "none");
  for (const Shortcut& shortcut : facts.shortcuts) {
    out << "    " << shortcut.path << "\n        -> " << shortcut.link.target
        << (shortcut.link.arguments.empty() ? "" : " " + shortcut.link.arguments) << "\n";
  }
  Heading(out, "uninstall entry:", facts.uninstallEntries.empty(), "none");
  for (const UninstallEntry& entry : facts.uninstallEntries) {
    out << "    HKCU\\" << entry.key << "\n";
    for (const RegistryValue& value : entry.values)
      out << "        " << std::left << std::setw(16) << (value.name.empty() ? "(Default)" : value.name) << " "
          << std::setw(10) << value.type << " " << value.data << "\n";
  }
}

// A text file under its heading, or "none".
void PrintTextFile(std::ostream& out, const std::string& heading, const std::optional<TextFile>& file) {
  out << heading << (file ? file->path : "none") << "\n";
  if (file) PrintIndented(out, file->text);
}

void PrintOtherFacts(const Report& report, std::ostream& out) {
  const RunFacts& facts = report.facts;
  PrintTextFile(out, "product settings: ", facts.settings);
  Heading(out, "plug-in lists:", facts.pluginLists.empty(), "none");
  for (const TextFile& list : facts.pluginLists) {
    out << "    " << list.path << "\n";
    PrintIndented(out, list.text);
  }
  Heading(out, "state reports:", report.run.stateReports.empty(), "none tried");
  for (const std::string& url : report.run.stateReports) out << "    " << url << "\n";
  Heading(out, "left in %TEMP%:", facts.tempLeft.empty(), "nothing");
  for (const std::string& path : facts.tempLeft) out << "    " << path << "\n";
  PrintTextFile(out, "setup log:        ", facts.log);
}

void PrintPictures(const Pictures& pictures, std::ostream& out) {
  if (pictures.pages.empty() && !pictures.hangScreenshot && pictures.problem.empty()) return;
  out << "pictures:         " << pictures.folder.string() << "\n";
  for (const Page& page : pictures.pages) out << "    page " << page.name << ": " << page.picture.string() << "\n";
  if (pictures.hangScreenshot) out << "    screen when ended: " << pictures.hangScreenshot->string() << "\n";
  if (!pictures.problem.empty()) out << "    " << pictures.problem << "\n";
}

}  // namespace

void PrintText(const Report& report, std::ostream& out) {
  PrintRun(report, out);
  PrintFilesWritten(report.facts, out);
  PrintShortcutsAndEntries(report.facts, out);
  PrintOtherFacts(report, out);
  PrintPictures(report.pictures, out);
  out << "prefix:           " << (report.prefix ? "kept in " + report.prefix->string() : "removed") << "\n";
}

}  // namespace quenlith_try
