#include "report_server.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "test_paths.h"

extern char** environ;

namespace harness {

ReportServer::ReportServer(const std::vector<std::string>& heldStates) {
  record_ = std::filesystem::temp_directory_path() / ("quenlith-reports-" + std::to_string(getpid()) + ".txt");
  release_ = record_.string() + ".release";
  std::filesystem::remove(record_);
  std::filesystem::remove(release_);
  std::string held;
  for (const std::string& state : heldStates) held += (held.empty() ? "" : ",") + state;
  const std::filesystem::path ready = record_.string() + ".ready";
  std::filesystem::remove(ready);
  const std::string signing = test_paths::kSigningDir;
  const std::string script = "exec python3 \"$0\" \"$1\" \"$2\" \"$3\" \"$4\" \"$6\" \"$7\" > \"$5\"";
  const std::vector<std::string> args = {"/bin/sh", "-c", script, test_paths::kReportServerScript,
                                         std::to_string(test_paths::kReportPort), signing + "/server.crt",
                                         signing + "/server.key", record_.string(), ready.string(),
                                         held, release_.string()};
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start the report server");
  for (int i = 0; i < 100; ++i) {
    std::ifstream status(ready);
    std::string line;
    if (std::getline(status, line) && line == "ready") return;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  throw std::runtime_error("the report server did not start (is port " + std::to_string(test_paths::kReportPort) +
                           " free?)");
}

ReportServer::~ReportServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::filesystem::remove(record_);
  std::filesystem::remove(record_.string() + ".ready");
  std::filesystem::remove(release_);
}

void ReportServer::Release() { std::ofstream(release_).put('\n'); }

std::vector<ReportServer::Request> ReportServer::Requests() const {
  std::vector<Request> requests;
  std::ifstream in(record_);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab = line.find('\t');
    requests.push_back({line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1)});
  }
  return requests;
}

std::vector<std::string> ReportServer::States() const {
  std::vector<std::string> states;
  for (const Request& request : Requests()) {
    const std::size_t at = request.path.find("state=");
    states.push_back(at == std::string::npos ? "" : request.path.substr(at + 6));
  }
  return states;
}

}  // namespace harness
