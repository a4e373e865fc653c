#include "report/report.h"

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <mutex>

#include "log/setup_log.h"
#include "platform/guards.h"
#include "platform/system_functions.h"

#ifndef QUENLITH_REPORT_HOST
#error "QUENLITH_REPORT_HOST must name the reporting host"
#endif

namespace {

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Release(Type handle) { system_dll::InternetCloseHandle(handle); }
};
using InternetHandle = Owned<InternetHandleTraits>;

std::string ReportUrl(const std::string& state) {
  return std::string("https://") + QUENLITH_REPORT_HOST + "/partner/install.php?state=" + state;
}

void Send(const std::string& url) {
  const InternetHandle root(
      system_dll::InternetOpenA(kReportUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!root) return;
  // The answer is never read: the request is closed as soon as it was made, before the root.
  InternetHandle(system_dll::InternetOpenUrlA(root.get(), url.c_str(), nullptr, 0, 0, 0));
}

// The background reports form a chain: each thread waits for the one
// started before it, so the endpoint sees them in the order they were made.
std::mutex gChainLock;
constexpr DWORD kFinishTimeoutMs = 30000;
HANDLE gLastReport = nullptr;  // the thread of the latest background report

struct ChainedReport {
  HANDLE previous;  // owned; null for the first
  std::string url;
};

DWORD WINAPI SendAfterPrevious(void* parameter) {
  const std::unique_ptr<ChainedReport> report(static_cast<ChainedReport*>(parameter));
  if (report->previous != nullptr) {
    WaitForSingleObject(report->previous, INFINITE);
    CloseHandle(report->previous);
  }
  Send(report->url);
  return 0;
}

}  // namespace

void ReportState(const std::string& state) {
  const std::string url = ReportUrl(state);
  LOG_NORMAL("State update to \"{}\".", url);
  Send(url);
}

void ReportStateInBackground(const std::string& state) {
  const std::string url = ReportUrl(state);
  LOG_NORMAL("State update to \"{}\".", url);
  const std::lock_guard<std::mutex> lock(gChainLock);
  HANDLE previous = nullptr;
  if (gLastReport != nullptr &&
      !DuplicateHandle(GetCurrentProcess(), gLastReport, GetCurrentProcess(), &previous, SYNCHRONIZE, FALSE, 0))
    previous = nullptr;
  auto* report = new ChainedReport{previous, url};
  const HANDLE thread = CreateThread(nullptr, 0, SendAfterPrevious, report, 0, nullptr);
  if (thread == nullptr) {
    // No thread to spare: send it here, as a report always was.
    delete report;
    if (previous != nullptr) {
      WaitForSingleObject(previous, INFINITE);
      CloseHandle(previous);
    }
    Send(url);
    return;
  }
  if (gLastReport != nullptr) CloseHandle(gLastReport);
  gLastReport = thread;
}

void FinishBackgroundReports() {
  HANDLE last = nullptr;
  {
    const std::lock_guard<std::mutex> lock(gChainLock);
    if (gLastReport == nullptr ||
        !DuplicateHandle(GetCurrentProcess(), gLastReport, GetCurrentProcess(), &last, SYNCHRONIZE, FALSE, 0))
      return;
  }
  // The last thread ends only after every earlier one.
  WaitForSingleObject(last, kFinishTimeoutMs);
  CloseHandle(last);
}
