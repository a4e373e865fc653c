#pragma once
// The tests' report endpoint: an HTTPS server on localhost at the port the
// tests' installer reports to, with a certificate of the test authority
// that the prefix trusts. Runs while the object lives.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace harness {

class ReportServer {
 public:
  struct Request {
    std::string path;  // with its query
    std::string userAgent;
  };

  // Starts the server and waits until it listens; throws when it cannot.
  // Requests for `heldStates` are recorded at once but answered only after
  // Release(), as by an endpoint that is slow to answer.
  explicit ReportServer(const std::vector<std::string>& heldStates = {});
  ~ReportServer();
  ReportServer(const ReportServer&) = delete;
  ReportServer& operator=(const ReportServer&) = delete;

  // Answers the held requests, and from now on every request at once.
  void Release();

  std::vector<Request> Requests() const;
  // The "state" values of the requests, in order.
  std::vector<std::string> States() const;

 private:
  std::filesystem::path record_;
  std::filesystem::path release_;
  pid_t pid_ = -1;
};

}  // namespace harness
