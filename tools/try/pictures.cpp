#include "try/pictures.h"

#include <unistd.h>

#include "try/text.h"

namespace quenlith_try {
namespace fs = std::filesystem;

namespace {

constexpr char kWizardClass[] = "Quenlith: Setup";

// The pages' folder, made before the watcher starts so that it can write there.
fs::path PagesFolder(const fs::path& runFolder) {
  std::error_code error;
  fs::create_directories(runFolder / "pages", error);
  return runFolder / "pages";
}

}  // namespace

PageWatch::PageWatch(WineSession& session, int timeoutSeconds)
    : runFolder_(session.Folder()),
      ppms_(PagesFolder(runFolder_)),
      watcher_(session.StartProgram({session.Helper("pagewatch.exe").string(), kWizardClass, WindowsPathOf(ppms_),
                                     std::to_string(static_cast<long>(timeoutSeconds) * 1000)},
                                    runFolder_ / "pages.out")) {}

void PageWatch::Stop() {
  watcher_.WaitSeconds(5);
  watcher_.Kill();
}

std::vector<Page> PageWatch::Convert(const fs::path& folder) const {
  std::vector<Page> pages;
  for (const char* page : {"location", "installing", "complete"}) {
    const fs::path ppm = ppms_ / (std::string(page) + ".ppm");
    if (!fs::exists(ppm)) continue;
    const fs::path png = folder / (std::string(page) + ".png");
    Child convert({"/usr/bin/convert", ppm.string(), png.string()}, runFolder_ / "convert.out",
                  runFolder_ / "convert.out");
    if (convert.WaitSeconds(kStepSeconds) == 0) pages.push_back({page, png});
  }
  return pages;
}

void TakeHangScreenshot(const WineSession& session, Pictures& pictures) {
  std::error_code error;
  fs::create_directories(pictures.folder, error);
  const fs::path shot = pictures.folder / "hung.png";
  if (access("/usr/bin/import", X_OK) != 0) {
    pictures.problem = "no screenshot: ImageMagick's import is missing (`apt-get install imagemagick`)";
    return;
  }
  const fs::path output = session.Folder() / "import.out";
  Child import({"/usr/bin/import", "-display", session.Display(), "-window", "root", shot.string()}, output, output);
  if (import.WaitSeconds(kStepSeconds) == 0 && fs::exists(shot))
    pictures.hangScreenshot = shot;
  else
    pictures.problem = "no screenshot: " + WithoutCarriageReturns(ReadText(output));
}

}  // namespace quenlith_try
