#include "main/report.h"

#include <windows.h>
#include <wininet.h>

#include "log/setup_log.h"

#ifndef QUENLITH_REPORT_HOST
#error "QUENLITH_REPORT_HOST must name the reporting host"
#endif

void ReportState(const std::string& state) {
  const std::string url = std::string("https://") + QUENLITH_REPORT_HOST + "/partner/install.php?state=" + state;
  LOG_NORMAL("State update to \"{}\".", url);
  HINTERNET root = InternetOpenA(kReportUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (root == nullptr) return;
  // The answer is never read: the request is closed as soon as it was made.
  if (HINTERNET request = InternetOpenUrlA(root, url.c_str(), nullptr, 0, 0, 0)) InternetCloseHandle(request);
  InternetCloseHandle(root);
}
