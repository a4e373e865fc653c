#pragma once
// The pictures of a run: one of each wizard page it passed, taken in the
// prefix by pagewatch.exe, and one of the whole screen when it hung.

#include <filesystem>
#include <string>

#include "try/report.h"
#include "try/session.h"

namespace quenlith_try {

// Watches the wizard window while the installer runs: pagewatch.exe keeps a
// PPM of each page it sees in a folder of the run folder, for at most
// `timeoutSeconds`.
class PageWatch {
 public:
  PageWatch(WineSession& session, int timeoutSeconds);
  // Gives the watcher 5 s to finish (it ends with the window), then ends it.
  void Stop();
  // The pages kept, as PNGs in `folder` (which must exist), in the order
  // location, installing, complete; a page not seen or not converted is left out.
  std::vector<Page> Convert(const std::filesystem::path& folder) const;

 private:
  std::filesystem::path runFolder_;
  std::filesystem::path ppms_;
  Child watcher_;
};

// A picture of the session's whole screen into `pictures.folder`/hung.png,
// made with ImageMagick's import: sets `pictures.hangScreenshot`, or
// `pictures.problem` saying why there is none.
void TakeHangScreenshot(const WineSession& session, Pictures& pictures);

}  // namespace quenlith_try
