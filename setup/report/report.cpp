#include "report/report.h"

#include <windows.h>
#include <wininet.h>

#include "log/setup_log.h"
#include "platform/system_functions.h"

#ifndef QUENLITH_REPORT_HOST
#error "QUENLITH_REPORT_HOST must name the reporting host"
#endif

void ReportState(const std::string& state) {
  const std::string url = std::string("https://") + QUENLITH_REPORT_HOST + "/partner/install.php?state=" + state;
  LOG_NORMAL("State update to \"{}\".", url);
  HINTERNET root = system_dll::InternetOpenA(kReportUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (root == nullptr) return;
  // The answer is never read: the request is closed as soon as it was made.
  if (HINTERNET request = system_dll::InternetOpenUrlA(root, url.c_str(), nullptr, 0, 0, 0))
    system_dll::InternetCloseHandle(request);
  system_dll::InternetCloseHandle(root);
}
