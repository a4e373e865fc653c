#include "try/session.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "try/options.h"
#include "try/text.h"

namespace quenlith_try {
namespace fs = std::filesystem;

namespace {

// Time for prefix set-up: wineboot takes 15-20 s.
constexpr int kSetupSeconds = 300;

// Ends every program of the prefix in `folder`, waits until the server is
// gone (it saves the registry into the prefix as it goes, so the prefix is
// whole, or may be removed, only then), and stops Xvfb. `output` names where
// each step's output goes.
void EndPrefix(const fs::path& script, const fs::path& folder, const std::function<fs::path(const char*)>& output) {
  for (const auto& [step, command] : std::initializer_list<std::pair<const char*, std::vector<std::string>>>{
           {"end", {"exec", "wineserver", "-k"}}, {"end-wait", {"exec", "wineserver", "-w"}}, {"down", {"down"}}}) {
    std::vector<std::string> argv = {script.string(), command[0], folder.string()};
    argv.insert(argv.end(), command.begin() + 1, command.end());
    Child child(argv, output(step), output(step));
    child.WaitSeconds(kStepSeconds);
  }
}

}  // namespace

RunFolder::RunFolder(const std::optional<fs::path>& keep) : kept_(keep.has_value()) {
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
  if (mkdtemp(pattern.data()) == nullptr)
    throw NotRun("cannot make a temporary folder: " + std::string(std::strerror(errno)));
  path_ = pattern;
  removeOnInterrupt_.emplace(path_);
}

RunFolder::~RunFolder() {
  if (kept_) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string WindowsPathOf(const fs::path& path) {
  std::string text = fs::absolute(path).lexically_normal().string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return "Z:" + text;
}

WineSession::WineSession(const fs::path& helpers, const fs::path& folder, std::ostream& progress)
    : helpers_(helpers),
      folder_(folder),
      progress_(progress),
      stopOnInterrupt_([script = helpers / "wine-env.sh", folder] {
        try {
          EndPrefix(script, folder, [](const char*) { return fs::path("/dev/null"); });
        } catch (...) {
        }
      }) {
  // Wine leaves folders of its own in the temporary folder: keep them in the run's.
  std::error_code error;
  fs::create_directories(folder_ / "tmp", error);
  setenv("TMPDIR", (folder_ / "tmp").c_str(), 1);
}

WineSession::~WineSession() {
  try {
    Down();
  } catch (...) {
  }
}

void WineSession::Up() {
  progress_ << "quenlith-pack try: making a Wine prefix in " << folder_.string() << "\n";
  const fs::path script = Helper("wine-env.sh");
  std::vector<std::string> argv = {"env"};
  if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0')
    argv.push_back(std::string("WINE_ENV_DISPLAY=") + display);
  argv.insert(argv.end(), {script.string(), "up", folder_.string(), helpers_.string()});
  Child child(argv, folder_ / "setup.out", folder_ / "setup.out");
  const std::optional<int> status = child.WaitSeconds(kSetupSeconds);
  up_ = true;
  if (status != 0)
    throw NotRun("the Wine prefix could not be made in " + folder_.string() + ":\n" +
                 WithoutCarriageReturns(ReadText(folder_ / "setup.out")));
}

void WineSession::Down() {
  if (!up_) return;
  up_ = false;
  EndPrefix(Helper("wine-env.sh"), folder_, [this](const char* step) { return folder_ / (std::string(step) + ".out"); });
}

int WineSession::Exec(const std::vector<std::string>& command, int timeoutSeconds, const std::string& name) {
  Child child = Start(command, folder_ / (name + ".out"), folder_ / (name + ".out"));
  return child.WaitSeconds(timeoutSeconds).value_or(-1);
}

Child WineSession::Start(const std::vector<std::string>& command, const fs::path& output, const fs::path& errors) {
  std::vector<std::string> argv = {Helper("wine-env.sh").string(), "exec", folder_.string()};
  argv.insert(argv.end(), command.begin(), command.end());
  return Child(argv, output, errors);
}

Child WineSession::StartProgram(const std::vector<std::string>& command, const fs::path& output) {
  std::vector<std::string> argv = {Helper("wine-env.sh").string(), "run", folder_.string()};
  argv.insert(argv.end(), command.begin(), command.end());
  return Child(argv, output, output);
}

std::string WineSession::Display() const { return FirstLine(ReadText(folder_ / "display")); }

}  // namespace quenlith_try
