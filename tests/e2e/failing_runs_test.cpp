// Runs that end early, side by side: each ends with its exit code, says why
// in an ERROR line so that the log's closing line agrees with the code, and
// leaves no temporary folder behind.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

#include "pack/compress.h"
#include "e2e_support.h"
#include "formats/archive.h"
#include "formats/layout.h"
#include "test_support.h"
#include "wine.h"

namespace {

using testing_support::Pattern;
using testing_support::ReadFile;
using testing_support::WriteFile;

const char kUserEntry[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith";

// A silent package installing into `destination` (given as an earlier
// installation's folder), with `installedSize` bytes declared.
std::string ScriptFor(const std::string& destination, int installedSize) {
  return "[install]\nInstallerSilent=1\n[destination]\nDestinationAuto=1\nDestinationQuenlith=1\n"
         "[setup]\nSetupUninstallInformation=1\nSetupUninstallInformationNum=1\n"
         "SetupUninstallInformationTitle0=Quenlith\nSetupUninstallInformationEstimatedSize0=" +
         std::to_string(installedSize) + "\n; " + destination + "\n";
}

class FailingRunsTest : public e2e::E2eTest {
 protected:
  FailingRunsTest() : E2eTest({"C:\\QuenlithRuns"}, {kUserEntry}) {}
  void Clean() override {
    E2eTest::Clean();
    // Each case's package holds its own files only.
    std::filesystem::remove_all(dir_ / "payload");
  }

  // Registers `destination` as the earlier installation the script installs over.
  void InstallInto(const std::string& destination) {
    wine_.RunInEnvironment({"wine", "reg", "add", kUserEntry, "/v", "UninstallString", "/d",
                            destination + "Quenlith.exe /uninstall", "/f"});
  }

  std::filesystem::path Package(const testing_support::Files& files, const std::string& script) {
    return e2e::BuildTestPackage(dir_.path(), files, script);
  }

  // The temporary folder a program started now sees.
  std::string TemporaryFolder() {
    const harness::RunResult temp = wine_.RunInEnvironment({"wine", "cmd", "/c", "echo %TEMP%"});
    return temp.output.substr(0, temp.output.find_first_of("\r\n"));
  }
};

TEST_F(FailingRunsTest, EachEndsWithItsCodeAClosingLineThatAgreesAndNoTemporaryFolder) {
  const std::string kFolder = "C:\\QuenlithRuns\\";
  struct Case {
    const char* what;
    int exitCode;
    // Prepares the machine and returns the package to run.
    std::function<std::filesystem::path()> prepare;
    const char* errorLine;  // a part of the ERROR line that says why
  };
  std::unique_ptr<e2e::SmallDrive> drive;
  std::optional<harness::Process> holder;
  std::unique_ptr<e2e::TemporaryFolderOverride> temporary;
  const std::string prefixTemporary = TemporaryFolder();
  const Case cases[] = {
      {"success", 0, [&] { InstallInto(kFolder); return Package({{"a.txt", "alpha"}}, ScriptFor(kFolder, 1000)); },
       nullptr},
      {"damaged payload", 2,
       [&] {
         InstallInto(kFolder);
         const std::filesystem::path package = Package({{"a.txt", Pattern(20000, 4)}}, ScriptFor(kFolder, 1000));
         std::string bytes = ReadFile(package);
         bytes[std::filesystem::file_size(e2e::TestInstaller()) + 200] ^= 0x55;
         WriteFile(package, bytes);
         return package;
       },
       "Data integrity (CRC) error while decompressing"},
      {"refused table", -1,
       [&] {
         InstallInto(kFolder);
         std::string script;
         for (char c : ScriptFor(kFolder, 1000)) script += c == '\n' ? std::string("\r\n") : std::string(1, c);
         const std::string payload = pack::CompressChunk(archive::EncodeTable({{"..\\escaped.txt", 1}}) + "x");
         WriteFile(dir_ / "refused.exe",
                   testing_support::AssemblePackage(ReadFile(e2e::TestInstaller()), payload, 0,
                                                    script + std::string(layout::kEndMarker) + "\r\n", ""));
         return dir_ / "refused.exe";
       },
       "The payload archive cannot be installed: "},
      {"locked file", -1,
       [&] {
         InstallInto(kFolder);
         const std::filesystem::path package = Package({{"plugin.dll", "new"}}, ScriptFor(kFolder, 1000));
         EXPECT_EQ(Install(package).exitCode, 0);
         wine_.RemoveSetupLogs();
         holder.emplace(wine_.Start({wine_.Program("wintool.exe").string(), "hold", kFolder + "plugin.dll", "none", "30"}));
         EXPECT_TRUE(holder->WaitForOutput("held"));
         return package;
       },
       "Exiting, unable to create file \"C:\\QuenlithRuns\\plugin.dll\"."},
      {"full disk while extracting", -1,
       [&] {
         drive = std::make_unique<e2e::SmallDrive>("1m");
         EXPECT_TRUE(drive->ok()) << "mounting a tmpfs needs root";
         InstallInto("D:\\Quenlith\\");
         return Package({{"a.txt", "alpha"}, {"big.bin", Pattern(3 << 20, 5)}}, ScriptFor("D:\\Quenlith\\", 1000));
       },
       "Writing file \"D:\\Quenlith\\big.bin\" failed.  Error code 112."},
      {"full disk while decompressing", 1,
       [&] {
         drive = std::make_unique<e2e::SmallDrive>("1m");
         EXPECT_TRUE(drive->ok()) << "mounting a tmpfs needs root";
         temporary = std::make_unique<e2e::TemporaryFolderOverride>(wine_, "D:\\");
         EXPECT_EQ(TemporaryFolder(), "D:\\");
         InstallInto(kFolder);
         // Compressed, the zeros fit on the drive; decompressed, they do not.
         return Package({{"zeros.bin", std::string(3 << 20, '\0')}}, ScriptFor(kFolder, 1000));
       },
       "I/O error while decompressing (errno 28)."},
      {"full disk while decompressing streams side by side", 1,
       [&] {
         drive = std::make_unique<e2e::SmallDrive>("1m");
         EXPECT_TRUE(drive->ok()) << "mounting a tmpfs needs root";
         temporary = std::make_unique<e2e::TemporaryFolderOverride>(wine_, "D:\\");
         InstallInto(kFolder);
         // The builder writes one stream per 4 MiB of the archive: three here.
         return Package({{"zeros.bin", std::string(9 << 20, '\0')}}, ScriptFor(kFolder, 1000));
       },
       "I/O error while decompressing (errno 28)."},
      {"no space", -4,
       [&] {
         drive = std::make_unique<e2e::SmallDrive>("1m");
         InstallInto("D:\\Quenlith\\");
         return Package({{"a.txt", "alpha"}}, ScriptFor("D:\\Quenlith\\", 1000000));
       },
       "Setup is exiting with code -4: not enough disk space at the destination."},
      {"unwritable destination", -3,
       [&] {
         drive = std::make_unique<e2e::SmallDrive>("1m");
         std::filesystem::create_directories(drive->path() / "Quenlith");
         EXPECT_TRUE(drive->MakeReadOnly());
         InstallInto("D:\\Quenlith\\");
         return Package({{"a.txt", "alpha"}}, ScriptFor("D:\\Quenlith\\", 1000));
       },
       "Setup is exiting with code -3: the destination cannot be created or written."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    const std::filesystem::path package = c.prepare();
    const harness::RunResult result = Install(package);
    EXPECT_FALSE(result.timedOut) << "no message box may wait in a silent run";
    EXPECT_EQ(result.exitCode, c.exitCode) << result.output;
    const std::string log = e2e::OnlySetupLog(wine_);
    if (c.errorLine == nullptr) {
      EXPECT_EQ(log.find("ERROR: "), std::string::npos) << log;
      EXPECT_NE(log.find("Quenlith setup exited successfully"), std::string::npos) << log;
    } else {
      const std::size_t why = log.find(c.errorLine);
      ASSERT_NE(why, std::string::npos) << log;
      EXPECT_GT(log.rfind("ERROR: ", why), log.rfind('\n', why)) << "logged as an ERROR";
      EXPECT_NE(log.find("Quenlith setup exited with errors"), std::string::npos) << log;
    }
    EXPECT_TRUE(e2e::LeftTemporaryFiles(wine_).empty());
    if (std::string(c.what) == "full disk while extracting") {
      // The uninstall list holds the files written whole, and only those.
      const std::string list = ReadFile(drive->path() / "Quenlith" / "uninstall.ini");
      EXPECT_NE(list.find("File000=D:\\Quenlith\\a.txt"), std::string::npos) << list;
      EXPECT_EQ(list.find("File001="), std::string::npos) << list;
    }
    holder.reset();
    temporary.reset();
    drive.reset();
    EXPECT_EQ(TemporaryFolder(), prefixTemporary) << "the prefix's own temporary folder again";
  }
}

}  // namespace
