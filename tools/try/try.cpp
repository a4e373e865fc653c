#include "try/try.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <set>
#include <sstream>
#include <thread>

#include "pack/files.h"
#include "pack/interrupt.h"
#include "pack/json.h"
#include "pack/package.h"
#include "try/prefix_facts.h"

extern char** environ;

namespace quenlith_try {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kWizardClass[] = "Quenlith: Setup";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Time for prefix set-up (wineboot takes 15-20 s) and for the steps around the run.
constexpr int kSetupSeconds = 300;
constexpr int kStepSeconds = 60;

// A Linux program run in a process group of its own, with its output in files.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const fs::path& output, const fs::path& errors) {
    pack::HoldIfInterrupted();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The builder blocks the interrupting signals in every thread; children start with none blocked.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int status = posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (status != 0) throw NotRun("cannot start " + argv[0] + ": " + std::strerror(status));
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { Kill(); }

  // The exit status (0 to 255, or 128 + signal), or none at the deadline.
  std::optional<int> Wait(Clock::time_point deadline) {
    while (pid_ > 0) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (Clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':'))
    if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0) return true;
  return false;
}

// "Z:\..." for a Linux path, as Windows programs in the prefix see it.
std::string WindowsPathOf(const fs::path& path) {
  std::string text = fs::absolute(path).lexically_normal().string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return "Z:" + text;
}

// "C:\..." for a path relative to drive_c.
std::string DriveCPath(const std::string& relative) {
  std::string text = "C:\\" + relative;
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// The Windows architecture of a PE image, from its file header's machine field.
std::string ArchitectureOf(pack::ByteSource& file) {
  if (file.Size() < 0x40) return {};
  const std::string dos = file.ReadString(0, 0x40);
  if (dos.compare(0, 2, "MZ") != 0) return {};
  const std::uint32_t peAt = static_cast<unsigned char>(dos[0x3C]) | static_cast<unsigned char>(dos[0x3D]) << 8 |
                             static_cast<unsigned char>(dos[0x3E]) << 16 |
                             static_cast<std::uint32_t>(static_cast<unsigned char>(dos[0x3F])) << 24;
  if (peAt > file.Size() || file.Size() - peAt < 6) return {};
  const std::string header = file.ReadString(peAt, 6);
  if (header.compare(0, 4, std::string("PE\0\0", 4)) != 0) return {};
  const unsigned machine = static_cast<unsigned char>(header[4]) | static_cast<unsigned char>(header[5]) << 8;
  if (machine == 0x14C) return "i686";
  if (machine == 0x8664) return "x86_64";
  return "machine 0x" + [machine] {
    std::ostringstream hex;
    hex << std::hex << machine;
    return hex.str();
  }();
}

struct TextFile {
  std::string path;  // as Windows names it
  std::string text;
};

struct Shortcut {
  std::string path;
  ShellLink link;
};

struct UninstallEntry {
  std::string key;
  std::vector<RegistryValue> values;
};

struct Page {
  std::string name;
  fs::path picture;
};

// What the run did, read from the prefix afterwards.
struct Report {
  std::string package;
  std::string architecture;
  std::string mode;
  std::vector<std::string> switches;
  std::string outcome;  // "exited", "hung", "crashed", "not_started"
  std::optional<int> exitCode;
  std::string exitMeaning;
  std::string startError;
  std::int64_t milliseconds = 0;
  std::uint64_t filesWritten = 0;
  std::uint64_t bytesWritten = 0;
  std::vector<WrittenGroup> groups;
  std::vector<Shortcut> shortcuts;
  std::vector<UninstallEntry> uninstallEntries;
  std::optional<TextFile> settings;
  std::vector<TextFile> pluginLists;
  std::vector<std::string> stateReports;
  std::vector<std::string> tempLeft;
  std::optional<TextFile> log;
  std::vector<Page> pages;
  std::optional<fs::path> hangScreenshot;
  std::string screenshotProblem;
  fs::path pictures;
  std::optional<fs::path> prefix;
};

// The URLs the run opened through WinINet, from Wine's trace of that library
// (every InternetOpenUrl call names its URL first).
std::vector<std::string> OpenedUrls(const std::string& trace) {
  std::vector<std::string> urls;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) {
    // The public entry's line, not the inner function's that repeats the URL.
    const std::size_t call = line.find(":trace:wininet:InternetOpenUrlW (");
    if (call == std::string::npos) continue;
    const std::size_t open = line.find("L\"", call);
    if (open == std::string::npos) continue;
    const std::size_t close = line.find('"', open + 2);
    if (close == std::string::npos) continue;
    urls.push_back(line.substr(open + 2, close - open - 2));
  }
  return urls;
}

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

void PrintText(const Report& report, std::ostream& out) {
  out << "package:          " << report.package << " (" << report.architecture << ")\n";
  out << "run:              " << report.mode;
  for (const std::string& switch_ : report.switches) out << " " << switch_;
  out << "\n";
  if (report.outcome == "hung") {
    out << "exit code:        none: hung, ended after the time limit\n";
  } else if (report.outcome == "not_started") {
    out << "exit code:        none: the package did not start (" << report.startError << ")\n";
  } else {
    out << "exit code:        " << *report.exitCode << " (" << report.exitMeaning << ")\n";
    if (report.outcome == "crashed") out << "                  the program crashed (Wine reported an unhandled exception)\n";
  }
  out << "time:             " << Seconds(report.milliseconds) << "\n";
  out << "files written:    " << Thousands(report.filesWritten) << " file(s), " << Thousands(report.bytesWritten)
      << " bytes\n";
  for (const WrittenGroup& group : report.groups)
    out << "    " << DriveCPath(group.folder.empty() ? group.folder : group.folder + "/")
        << (group.newFolder ? " (new)" : "") << ": " << Thousands(group.files) << " file(s), "
        << Thousands(group.bytes) << " bytes\n";
  Heading(out, "shortcuts:", report.shortcuts.empty(), "none");
  for (const Shortcut& shortcut : report.shortcuts) {
    out << "    " << shortcut.path << "\n        -> " << shortcut.link.target
        << (shortcut.link.arguments.empty() ? "" : " " + shortcut.link.arguments) << "\n";
  }
  Heading(out, "uninstall entry:", report.uninstallEntries.empty(), "none");
  for (const UninstallEntry& entry : report.uninstallEntries) {
    out << "    HKCU\\" << entry.key << "\n";
    for (const RegistryValue& value : entry.values)
      out << "        " << std::left << std::setw(16) << (value.name.empty() ? "(Default)" : value.name) << " "
          << std::setw(10) << value.type << " " << value.data << "\n";
  }
  out << "product settings: " << (report.settings ? report.settings->path : "none") << "\n";
  if (report.settings) PrintIndented(out, report.settings->text);
  Heading(out, "plug-in lists:", report.pluginLists.empty(), "none");
  for (const TextFile& list : report.pluginLists) {
    out << "    " << list.path << "\n";
    PrintIndented(out, list.text);
  }
  Heading(out, "state reports:", report.stateReports.empty(), "none tried");
  for (const std::string& url : report.stateReports) out << "    " << url << "\n";
  Heading(out, "left in %TEMP%:", report.tempLeft.empty(), "nothing");
  for (const std::string& path : report.tempLeft) out << "    " << path << "\n";
  out << "setup log:        " << (report.log ? report.log->path : "none") << "\n";
  if (report.log) PrintIndented(out, report.log->text);
  if (!report.pages.empty() || report.hangScreenshot || !report.screenshotProblem.empty()) {
    out << "pictures:         " << report.pictures.string() << "\n";
    for (const Page& page : report.pages) out << "    page " << page.name << ": " << page.picture.string() << "\n";
    if (report.hangScreenshot) out << "    screen when ended: " << report.hangScreenshot->string() << "\n";
    if (!report.screenshotProblem.empty()) out << "    " << report.screenshotProblem << "\n";
  }
  out << "prefix:           " << (report.prefix ? "kept in " + report.prefix->string() : "removed") << "\n";
}

void TextField(pack::JsonWriter& json, std::string_view name, const std::optional<TextFile>& file) {
  json.Key(name);
  if (!file) return json.Null();
  json.BeginObject();
  json.Field("path", file->path);
  json.Field("text", WithoutCarriageReturns(file->text));
  json.EndObject();
}

void PrintJson(const Report& report, std::ostream& out) {
  pack::JsonWriter json(out);
  json.BeginObject();
  json.Field("package", report.package);
  json.Field("architecture", report.architecture);
  json.Field("mode", report.mode);
  json.Key("switches");
  json.BeginArray();
  for (const std::string& switch_ : report.switches) json.String(switch_);
  json.EndArray();
  json.Field("outcome", report.outcome);
  json.Key("exitCode");
  if (report.exitCode) json.Number(*report.exitCode); else json.Null();
  json.Key("exitMeaning");
  if (report.exitCode) json.String(report.exitMeaning); else json.Null();
  json.Field("milliseconds", report.milliseconds);
  json.Key("filesWritten");
  json.BeginObject();
  json.Field("count", report.filesWritten);
  json.Field("bytes", report.bytesWritten);
  json.Key("folders");
  json.BeginArray();
  for (const WrittenGroup& group : report.groups) {
    json.BeginObject();
    json.Field("path", DriveCPath(group.folder));
    json.Field("new", group.newFolder);
    json.Field("files", group.files);
    json.Field("bytes", group.bytes);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  json.Key("shortcuts");
  json.BeginArray();
  for (const Shortcut& shortcut : report.shortcuts) {
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
  json.Key("uninstallEntries");
  json.BeginArray();
  for (const UninstallEntry& entry : report.uninstallEntries) {
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
  TextField(json, "productSettings", report.settings);
  json.Key("pluginLists");
  json.BeginArray();
  for (const TextFile& list : report.pluginLists) {
    json.BeginObject();
    json.Field("path", list.path);
    json.Field("text", WithoutCarriageReturns(list.text));
    json.EndObject();
  }
  json.EndArray();
  json.Key("stateReports");
  json.BeginArray();
  for (const std::string& url : report.stateReports) json.String(url);
  json.EndArray();
  json.Key("tempLeft");
  json.BeginArray();
  for (const std::string& path : report.tempLeft) json.String(path);
  json.EndArray();
  TextField(json, "log", report.log);
  json.Key("pictures");
  json.BeginObject();
  json.Field("folder", report.pictures.string());
  json.Key("pages");
  json.BeginArray();
  for (const Page& page : report.pages) {
    json.BeginObject();
    json.Field("page", page.name);
    json.Field("png", page.picture.string());
    json.EndObject();
  }
  json.EndArray();
  json.Key("hangScreenshot");
  if (report.hangScreenshot) json.String(report.hangScreenshot->string()); else json.Null();
  json.EndObject();
  json.Key("prefix");
  if (report.prefix) json.String(report.prefix->string()); else json.Null();
  json.EndObject();
}

// The run's own folder: the prefix, HOME, Xvfb's state, the outputs of the
// programs run there. Removed at the end unless kept.
class RunFolder {
 public:
  explicit RunFolder(const std::optional<fs::path>& keep) : kept_(keep.has_value()) {
    std::error_code error;
    if (keep) {
      if (fs::exists(*keep) && (!fs::is_directory(*keep) || !fs::is_empty(*keep, error)))
        throw NotRun("--keep needs a new or empty folder: " + keep->string() + " is not one");
      fs::create_directories(*keep, error);
      if (error) throw NotRun("cannot make " + keep->string() + ": " + error.message());
      path_ = fs::absolute(*keep);
      return;
    }
    std::string pattern = (fs::temp_directory_path() / "quenlith-try-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw NotRun("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    path_ = pattern;
  }
  ~RunFolder() {
    if (kept_) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  bool kept() const { return kept_; }

 private:
  fs::path path_;
  bool kept_;
};

class Session {
 public:
  Session(const TryOptions& options, const fs::path& folder, std::ostream& progress)
      : folder_(folder), progress_(progress), script_(options.helpers / "wine-env.sh") {}

  // Runs a command inside the prefix's environment to its end.
  int Exec(const std::vector<std::string>& command, int timeoutSeconds, const std::string& name) {
    std::vector<std::string> argv = {script_.string(), "exec", folder_.string()};
    argv.insert(argv.end(), command.begin(), command.end());
    Child child(argv, folder_ / (name + ".out"), folder_ / (name + ".out"));
    const std::optional<int> status = child.Wait(Clock::now() + std::chrono::seconds(timeoutSeconds));
    return status ? *status : -1;
  }

  void Up() {
    progress_ << "quenlith-pack try: making a Wine prefix in " << folder_.string() << "\n";
    std::vector<std::string> argv = {"env"};
    if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0')
      argv.push_back(std::string("WINE_ENV_DISPLAY=") + display);
    argv.insert(argv.end(), {script_.string(), "up", folder_.string(), script_.parent_path().string()});
    Child child(argv, folder_ / "setup.out", folder_ / "setup.out");
    const std::optional<int> status = child.Wait(Clock::now() + std::chrono::seconds(kSetupSeconds));
    up_ = true;
    if (status != 0)
      throw NotRun("the Wine prefix could not be made in " + folder_.string() + ":\n" +
                   WithoutCarriageReturns(ReadText(folder_ / "setup.out")));
    // Logging on without changing the package's switches.
    if (Exec({"wine", "reg", "add", "HKCU\\Software\\Quenlith", "/v", "InstallationLogging", "/t", "REG_DWORD", "/d",
              "1", "/f"},
             kStepSeconds, "logging") != 0)
      throw NotRun("cannot switch the setup log on in the prefix: " + ReadText(folder_ / "logging.out"));
  }

  // Ends every program of the prefix (the server saves the registry as it
  // goes) and stops Xvfb.
  void Down() {
    if (!up_) return;
    up_ = false;
    Exec({"wineserver", "-k"}, kStepSeconds, "end");
    Exec({"wineserver", "-w"}, kStepSeconds, "end-wait");
    Child child({script_.string(), "down", folder_.string()}, folder_ / "down.out", folder_ / "down.out");
    child.Wait(Clock::now() + std::chrono::seconds(kStepSeconds));
  }

  ~Session() {
    try {
      Down();
    } catch (...) {
    }
  }

  std::string Display() const {
    const std::string text = ReadText(folder_ / "display");
    return text.substr(0, text.find('\n'));
  }

 private:
  fs::path folder_;
  std::ostream& progress_;
  fs::path script_;
  bool up_ = false;
};

// The names directly in a folder; a folder's name ends in '/'.
std::set<std::string> EntriesOf(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    names.insert(entry.path().filename().string() + (entry.is_directory(error) ? "/" : ""));
  return names;
}

fs::path PrefixDriveC(const fs::path& folder) { return folder / "prefix" / "drive_c"; }

// The prefix's own user: the folder under users with a desktop, not Public.
std::string PrefixUser(const fs::path& folder) {
  std::error_code error;
  for (const auto& user : fs::directory_iterator(PrefixDriveC(folder) / "users", error))
    if (user.path().filename() != "Public" && fs::is_directory(user.path() / "Desktop"))
      return user.path().filename().string();
  throw NotRun("the prefix has no user with a desktop");
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  return std::equal(end.rbegin(), end.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

void Check(const TryOptions& options, Report& report) {
  std::error_code error;
  if (!fs::is_regular_file(options.package, error))
    throw NotRun("cannot read " + options.package.string() + ": " +
                 (fs::exists(options.package, error) ? "not a file" : "no such file"));
  pack::InputFile package(options.package);
  try {
    pack::ReadLayout(package);
  } catch (const pack::Failure& failure) {
    throw NotRun(options.package.string() + " is not a setup package: " + failure.what());
  }
  report.architecture = ArchitectureOf(package);
  if (report.architecture != "i686" && report.architecture != "x86_64")
    throw NotRun(options.package.string() + " is not a Windows program Wine can run here (" +
                 (report.architecture.empty() ? std::string("no PE image") : report.architecture) + ")");

  for (const char* helper : {"wine-env.sh", "wine-arch.sh", "runexit.exe", "pagewatch.exe", "desktopkeeper.exe"})
    if (!fs::exists(options.helpers / helper))
      throw NotRun(std::string("the helpers of try are missing: no ") + helper + " in " + options.helpers.string() +
                   " (build them with scripts/build.sh, or name their folder in QUENLITH_TRY_HELPERS)");
  if (!OnPath("wineboot") || !OnPath("wineserver") || !fs::exists("/usr/lib/wine/wine64"))
    throw NotRun("Wine is missing: install it, on Debian with `apt-get install wine wine64` "
                 "(and `dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386` "
                 "for 32-bit packages)");
  const char* display = std::getenv("DISPLAY");
  if ((display == nullptr || *display == '\0') && !OnPath("Xvfb"))
    throw NotRun("there is no display and Xvfb is missing: install it, on Debian with `apt-get install xvfb`");
  if (options.wizard && access("/usr/bin/convert", X_OK) != 0)
    throw NotRun("--wizard needs ImageMagick's convert for the page pictures: install it, on Debian with "
                 "`apt-get install imagemagick`");

  // Debian's 32-bit loader cannot start where the machine offers no 32-bit execution.
  std::string runnable;
  {
    std::string name = (fs::temp_directory_path() / "quenlith-try-arch-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd < 0) throw NotRun("cannot make a temporary file: " + std::string(std::strerror(errno)));
    close(fd);
    Child probe({(options.helpers / "wine-arch.sh").string()}, name, "/dev/null");
    probe.Wait(Clock::now() + std::chrono::seconds(kStepSeconds));
    runnable = ReadText(name);
    fs::remove(name, error);
    runnable = runnable.substr(0, runnable.find('\n'));
  }
  if (report.architecture == "i686" && runnable != "i686")
    throw NotRun(options.package.string() +
                 " is a 32-bit (i686) program, and this machine's Wine runs only 64-bit (x86_64) programs: "
                 "its 32-bit loader /usr/lib/wine/wine does not start. Install the 32-bit Wine "
                 "(`dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386`); where the "
                 "processor or virtual machine offers no 32-bit execution at all, try the package on another "
                 "machine, or try a package made around the x86_64 build of the installer");
}

}  // namespace

std::string ExitCodeMeaning(int code) {
  switch (code) {
    case 0: return "wizard ended, elevated restart started, silent installation complete, or an up-to-date copy launched";
    case -1: return "script missing or damaged, system too old, policy forbids, product running, installation failed, or user cancelled";
    case 1: return "decompression failed: input/output or memory";
    case 2: return "decompression failed: corrupt or truncated data";
    case 3: return "decompression failed: library error";
    case -2: return "silent: the installed copy is as new or newer; nothing launched";
    case -3: return "silent: the destination cannot be created or written";
    case -4: return "silent: not enough disk space";
    default: return "not an exit code of the installer";
  }
}

fs::path DefaultHelpers() {
  if (const char* folder = std::getenv("QUENLITH_TRY_HELPERS"); folder != nullptr && *folder != '\0') return folder;
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return (error ? fs::current_path() : self.parent_path()) / "quenlith-try";
}

TryExit TryPackage(const TryOptions& options, std::ostream& out, std::ostream& progress) {
  Report report;
  report.package = fs::absolute(options.package).lexically_normal().string();
  report.mode = options.wizard ? "wizard" : "silent";
  if (!options.wizard) report.switches.push_back("/silent");
  report.switches.insert(report.switches.end(), options.switches.begin(), options.switches.end());
  report.pictures = fs::absolute(options.pictures);
  Check(options, report);

  RunFolder folder(options.keep);
  // Wine leaves folders of its own in the temporary folder: keep them in the run's.
  std::error_code error;
  fs::create_directories(folder.path() / "tmp", error);
  setenv("TMPDIR", (folder.path() / "tmp").c_str(), 1);
  Session session(options, folder.path(), progress);
  // Interrupted, the prefix's programs and Xvfb (in process groups of their
  // own, so the terminal's signal misses them) are ended before the folder goes.
  const pack::RunOnInterrupt stopPrefix([script = options.helpers / "wine-env.sh", run = folder.path()] {
    try {
      Child end({script.string(), "exec", run.string(), "wineserver", "-k"}, "/dev/null", "/dev/null");
      end.Wait(Clock::now() + std::chrono::seconds(kStepSeconds));
      // The server saves the registry into the prefix as it goes: the folder
      // is removed only once it is gone.
      Child gone({script.string(), "exec", run.string(), "wineserver", "-w"}, "/dev/null", "/dev/null");
      gone.Wait(Clock::now() + std::chrono::seconds(kStepSeconds));
      Child down({script.string(), "down", run.string()}, "/dev/null", "/dev/null");
      down.Wait(Clock::now() + std::chrono::seconds(kStepSeconds));
    } catch (...) {
    }
  });
  std::optional<pack::RemoveOnInterrupt> removeRun;
  if (!folder.kept()) removeRun.emplace(folder.path());
  session.Up();

  const fs::path driveC = PrefixDriveC(folder.path());
  const std::string user = PrefixUser(folder.path());
  const std::string profile = "users/" + user;
  const std::string temp = profile + "/AppData/Local/Temp";
  // Wine's own folder changes with every program it starts, and the
  // platform's WinINet cookies and cache with every state report; the
  // temporary folder is reported on its own.
  const std::vector<std::string> skip = {"windows", temp, profile + "/AppData/Local/Microsoft/Windows"};
  const TreeSnapshot before = SnapshotTree(driveC, skip, folder.path());
  const std::set<std::string> tempBefore = EntriesOf(driveC / temp);

  if (options.wizard) fs::create_directories(report.pictures, error);
  const fs::path pages = folder.path() / "pages";
  fs::create_directories(pages, error);

  const fs::path script = options.helpers / "wine-env.sh";
  std::vector<std::string> run = {script.string(), "exec", folder.path().string(), "env",
                                  "WINEDEBUG=+wininet", "wine", (options.helpers / "runexit.exe").string(),
                                  WindowsPathOf(options.package)};
  run.insert(run.end(), report.switches.begin(), report.switches.end());
  progress << "quenlith-pack try: running " << report.package << " " << report.mode << "\n";

  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(options.timeoutSeconds);
  Child installer(run, folder.path() / "run.out", folder.path() / "trace.log");
  std::optional<Child> watcher;
  if (options.wizard)
    watcher.emplace(std::vector<std::string>{script.string(), "run", folder.path().string(),
                                             (options.helpers / "pagewatch.exe").string(), kWizardClass,
                                             WindowsPathOf(pages),
                                             std::to_string(static_cast<long>(options.timeoutSeconds) * 1000)},
                    folder.path() / "pages.out", folder.path() / "pages.out");
  const std::optional<int> status = installer.Wait(deadline);
  report.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();

  if (!status) {
    report.outcome = "hung";
    fs::create_directories(report.pictures, error);
    const fs::path shot = report.pictures / "hung.png";
    if (access("/usr/bin/import", X_OK) == 0) {
      Child import({"/usr/bin/import", "-display", session.Display(), "-window", "root", shot.string()},
                   folder.path() / "import.out", folder.path() / "import.out");
      if (import.Wait(Clock::now() + std::chrono::seconds(kStepSeconds)) == 0 && fs::exists(shot))
        report.hangScreenshot = shot;
      else
        report.screenshotProblem = "no screenshot: " + WithoutCarriageReturns(ReadText(folder.path() / "import.out"));
    } else {
      report.screenshotProblem = "no screenshot: ImageMagick's import is missing (`apt-get install imagemagick`)";
    }
    progress << "quenlith-pack try: no end after " << options.timeoutSeconds << " s: ending the run\n";
  }
  // Ends whatever the package left running (a launched product, a hung
  // installer) and lets the server write the registry out.
  session.Down();
  installer.Kill();
  if (watcher) {
    watcher->Wait(Clock::now() + std::chrono::seconds(5));
    watcher->Kill();
  }

  const std::string output = WithoutCarriageReturns(ReadText(folder.path() / "run.out"));
  const std::string trace = ReadText(folder.path() / "trace.log");
  if (status) {
    const std::size_t mark = output.rfind("exit=");
    if (mark != std::string::npos) {
      report.exitCode = static_cast<int>(std::strtol(output.c_str() + mark + 5, nullptr, 10));
      report.exitMeaning = ExitCodeMeaning(*report.exitCode);
      report.outcome = trace.find("wine: Unhandled ") != std::string::npos ? "crashed" : "exited";
    } else {
      report.outcome = "not_started";
      report.startError = output.empty() ? "the launcher printed nothing" : output.substr(0, output.find('\n'));
    }
  }

  // Facts from the prefix.
  const TreeSnapshot after = SnapshotTree(driveC, skip, folder.path());
  const std::vector<std::string> written = WrittenFiles(before, after);
  report.filesWritten = written.size();
  for (const std::string& path : written) report.bytesWritten += after.at(path).size;
  report.groups = GroupWrittenFiles(before, after, written);
  for (const std::string& path : written) {
    const std::string name = fs::path(path).filename().string();
    if (EndsWithIgnoringCase(name, ".lnk")) {
      if (std::optional<ShellLink> link = ParseShellLink(ReadText(driveC / path)))
        report.shortcuts.push_back({DriveCPath(path), *link});
    } else if (EndsWithIgnoringCase(path, "users/global/plugins.ini")) {
      report.pluginLists.push_back({DriveCPath(path), ReadText(driveC / path)});
    } else if (path == profile + "/AppData/Roaming/Quenlith/users/global/quenlith.ini") {
      report.settings = TextFile{DriveCPath(path), ReadText(driveC / path)};
    } else if (path.rfind(profile + "/Desktop/Quenlith-setup-", 0) == 0 && EndsWithIgnoringCase(path, ".log")) {
      report.log = TextFile{DriveCPath(path), ReadText(driveC / path)};
    }
  }
  const RegistryFile registry = ReadRegistryFile(folder.path() / "prefix" / "user.reg");
  const std::string uninstallPrefix = std::string(kUninstallKey) + "\\";
  for (const auto& [key, values] : registry)
    if (key.rfind(uninstallPrefix, 0) == 0 && key.find('\\', uninstallPrefix.size()) == std::string::npos)
      report.uninstallEntries.push_back({key, values});
  report.stateReports = OpenedUrls(trace);
  for (const std::string& name : EntriesOf(driveC / temp))
    if (!tempBefore.count(name)) report.tempLeft.push_back(DriveCPath(temp + "/" + name));

  // Page pictures as PNG.
  if (options.wizard) {
    for (const char* page : {"location", "installing", "complete"}) {
      const fs::path ppm = pages / (std::string(page) + ".ppm");
      if (!fs::exists(ppm)) continue;
      const fs::path png = report.pictures / (std::string(page) + ".png");
      Child convert({"/usr/bin/convert", ppm.string(), png.string()}, folder.path() / "convert.out",
                    folder.path() / "convert.out");
      if (convert.Wait(Clock::now() + std::chrono::seconds(kStepSeconds)) == 0) report.pages.push_back({page, png});
    }
  }
  if (folder.kept()) report.prefix = folder.path();

  if (options.json)
    PrintJson(report, out);
  else
    PrintText(report, out);
  return report.outcome == "exited" && report.exitCode == 0 ? kTryRanClean : kTryRanFailed;
}

}  // namespace quenlith_try
