// Smoke tests of the Wine harness itself: exit codes, message boxes, the
// registry, path mapping.

#include <gtest/gtest.h>

#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;

TEST(WineHarness, ReportsFullSignedExitCodesOfGuiPrograms) {
  Wine& wine = Wine::Get();
  for (int code : {0, -3, -1, 2, 258, -2147483647}) {
    const harness::RunResult result = wine.Run({wine.Program("exitwith.exe").string(), std::to_string(code)});
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, code);
  }
}

TEST(WineHarness, ACrashInAnyThreadFailsTheRunAtOnce) {
  Wine& wine = Wine::Get();
  const harness::RunResult result = wine.Run({wine.Program("wintool.exe").string(), "crash"}, 60);
  EXPECT_FALSE(result.timedOut) << "no crash dialog may wait for a click";
  EXPECT_TRUE(result.crashed) << result.output;
  EXPECT_EQ(result.exitCode, harness::kCrashedExitCode);
}

TEST(WineHarness, AnswersAMessageBoxByCaptionAndButton) {
  Wine& wine = Wine::Get();
  const struct {
    const char* button;
    int expectedExit;  // the id MessageBox returns
  } cases[] = {{"retry", 4}, {"cancel", 2}};
  for (const auto& c : cases) {
    harness::Process box =
        wine.Start({wine.Program("wintool.exe").string(), "msgbox", "Harness: caption", "Line one of the text",
                    "retrycancel"});
    const auto text = wine.AnswerMessageBox("Harness: caption", c.button);
    ASSERT_TRUE(text.has_value()) << c.button;
    EXPECT_EQ(*text, "Line one of the text");
    EXPECT_EQ(Wine::ExitCodeOf(box.Wait(30)), c.expectedExit);
  }
}

TEST(WineHarness, MissingMessageBoxIsReportedAfterTheTimeOut) {
  EXPECT_EQ(Wine::Get().AnswerMessageBox("No such caption", "ok", 300), std::nullopt);
}

TEST(WineHarness, ReadsRegistryValuesAWindowsProgramWrote) {
  Wine& wine = Wine::Get();
  ASSERT_EQ(wine.Run({wine.Program("wintool.exe").string(), "regset", "Software\\QuenlithHarness", "Number", "dword",
                      "7"}).exitCode, 0);
  ASSERT_EQ(wine.Run({wine.Program("wintool.exe").string(), "regset", "Software\\QuenlithHarness", "Text", "sz",
                      "hello there"}).exitCode, 0);
  EXPECT_EQ(wine.RegistryValue("HKCU\\Software\\QuenlithHarness", "Number"), "0x7");
  EXPECT_EQ(wine.RegistryValue("HKCU\\Software\\QuenlithHarness", "Text"), "hello there");
  EXPECT_EQ(wine.RegistryValue("HKCU\\Software\\QuenlithHarness", "Missing"), std::nullopt);
  EXPECT_EQ(wine.RegistryValue("HKCU\\Software\\NoSuchKeyAnywhere", "Number"), std::nullopt);
}

TEST(WineHarness, MapsWindowsPathsToLinuxPaths) {
  Wine& wine = Wine::Get();
  EXPECT_TRUE(std::filesystem::is_directory(wine.LinuxPath("C:\\windows\\system32")));
  EXPECT_EQ(wine.LinuxPath("Z:\\tmp\\x.txt"), std::filesystem::path("/tmp/x.txt"));
  EXPECT_EQ(Wine::WindowsPath("/tmp/a/../b.txt"), "Z:\\tmp\\b.txt");

  // A file written by a Windows program appears where LinuxPath says.
  testing_support::ScratchDir dir;
  const std::string target = Wine::WindowsPath(dir / "written.txt");
  const harness::RunResult result = wine.Run({"cmd.exe", "/c", "echo made by cmd> " + target});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(testing_support::ReadFile(wine.LinuxPath(target)).find("made by cmd"), std::string::npos);
}

}  // namespace
