#include "report/report.h"

#include <windows.h>
#include <wininet.h>

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

}  // namespace

void ReportState(const std::string& state) {
  const std::string url = std::string("https://") + QUENLITH_REPORT_HOST + "/partner/install.php?state=" + state;
  LOG_NORMAL("State update to \"{}\".", url);
  const InternetHandle root(
      system_dll::InternetOpenA(kReportUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!root) return;
  // The answer is never read: the request is closed as soon as it was made, before the root.
  InternetHandle(system_dll::InternetOpenUrlA(root.get(), url.c_str(), nullptr, 0, 0, 0));
}
