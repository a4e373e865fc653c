#include "try/try.h"

#include <cstdlib>

#include "try/pictures.h"
#include "try/prefix_facts.h"
#include "try/preflight.h"
#include "try/report.h"
#include "try/report_writers.h"
#include "try/run_output.h"
#include "try/session.h"
#include "try/text.h"

namespace quenlith_try {
namespace fs = std::filesystem;

namespace {

// The run as asked for, before anything runs.
Report NewReport(const TryOptions& options) {
  Report report;
  report.package = fs::absolute(options.package).lexically_normal().string();
  report.mode = options.wizard ? "wizard" : "silent";
  if (!options.wizard) report.switches.push_back("/silent");
  report.switches.insert(report.switches.end(), options.switches.begin(), options.switches.end());
  report.pictures.folder = fs::absolute(options.pictures);
  return report;
}

// The setup log on for the run, without changing the package's switches.
void SwitchSetupLogOn(WineSession& session) {
  if (session.Exec({"wine", "reg", "add", "HKCU\\Software\\Quenlith", "/v", "InstallationLogging", "/t", "REG_DWORD",
                    "/d", "1", "/f"},
                   kStepSeconds, "logging") != 0)
    throw NotRun("cannot switch the setup log on in the prefix: " + ReadText(session.Folder() / "logging.out"));
}

// The package through runexit.exe, which prints its full exit code, with
// Wine tracing WinINet to see the state reports.
Child StartInstaller(WineSession& session, const TryOptions& options, const Report& report) {
  std::vector<std::string> command = {"env", "WINEDEBUG=+wininet", "wine", session.Helper("runexit.exe").string(),
                                      WindowsPathOf(options.package)};
  command.insert(command.end(), report.switches.begin(), report.switches.end());
  return session.Start(command, session.Folder() / "run.out", session.Folder() / "trace.log");
}

// Runs the package until it ends or the time limit, with the page watcher
// beside it in a wizard run, then takes the session down (ending whatever the
// package left running, a launched product or a hung installer, and letting
// the server write the registry out). Notes in `report` how the run ended,
// the state reports it tried and its pictures.
void RunPackage(WineSession& session, const TryOptions& options, Report& report, std::ostream& progress) {
  std::error_code error;
  if (options.wizard) fs::create_directories(report.pictures.folder, error);
  progress << "quenlith-pack try: running " << report.package << " " << report.mode << "\n";
  const auto start = Clock::now();
  Child installer = StartInstaller(session, options, report);
  std::optional<PageWatch> watch;
  if (options.wizard) watch.emplace(session, options.timeoutSeconds);
  const std::optional<int> status = installer.Wait(start + std::chrono::seconds(options.timeoutSeconds));
  report.run.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  if (!status) {
    report.run.outcome = "hung";
    TakeHangScreenshot(session, report.pictures);
    progress << "quenlith-pack try: no end after " << options.timeoutSeconds << " s: ending the run\n";
  }
  session.Down();
  installer.Kill();
  if (watch) watch->Stop();

  const std::string trace = ReadText(session.Folder() / "trace.log");
  if (status) ReadEnd(ReadText(session.Folder() / "run.out"), trace, report.run);
  report.run.stateReports = OpenedUrls(trace);
  if (watch) report.pictures.pages = watch->Convert(report.pictures.folder);
}

}  // namespace

fs::path DefaultHelpers() {
  if (const char* folder = std::getenv("QUENLITH_TRY_HELPERS"); folder != nullptr && *folder != '\0') return folder;
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return (error ? fs::current_path() : self.parent_path()) / "quenlith-try";
}

pack::TryExit TryPackage(const TryOptions& options, std::ostream& out, std::ostream& progress) {
  Report report = NewReport(options);
  report.architecture = CheckBeforeRunning(options);

  const RunFolder folder(options.keep);
  WineSession session(options.helpers, folder.path(), progress);
  session.Up();
  SwitchSetupLogOn(session);
  const Prefix prefix(folder.path());
  const PrefixSnapshot before = prefix.Snapshot();
  RunPackage(session, options, report, progress);
  report.facts = prefix.FactsBetween(before, prefix.Snapshot());
  if (folder.kept()) report.prefix = folder.path();

  if (options.json)
    PrintJson(report, out);
  else
    PrintText(report, out);
  return TryExitOf(report.run);
}

}  // namespace quenlith_try
