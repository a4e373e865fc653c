// Silent installations under Wine, from the command line to the exit code:
// the installed files, the log, and packages whose payload is damaged.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "build.h"
#include "compress.h"
#include "etar/archive.h"
#include "split/layout.h"
#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;
using testing_support::Pattern;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

const std::filesystem::path kInstaller = std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup-loopback.exe";
const char kDestination[] = "C:\\ProgramData\\Quenlith\\bin\\";
const std::string kScript =
    "[install]\nInstallerSilent=1\n[destination]\nDestinationAuto=1\nDestinationProgramData=1\n"
    "[date]\nDateMonth=8\nDateDay=28\nDateYear=2026\n"
    "[setup]\nSetupUninstallInformation=1\nSetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=Quenlith\n";

using testing_support::ArchiveOf;
using testing_support::Files;

class SilentInstallTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  void Clean() {
    wine_.RemoveSetupLogs();
    std::filesystem::remove_all(wine_.LinuxPath("C:\\ProgramData\\Quenlith"));
  }

  // A package of `files` and `script`, built by the package builder.
  std::filesystem::path Package(const Files& files, const std::string& script = kScript) {
    testing_support::WritePayloadFolder(dir_ / "payload", files);
    WriteFile(dir_ / "script.ini", script);
    pack::BuildOptions options{kInstaller, dir_ / "payload", dir_ / "script.ini", dir_ / "setup.exe"};
    std::ostringstream messages;
    pack::BuildPackage(options, messages);
    return options.output;
  }

  // A package assembled by hand around `payloadSection`, for payloads the builder never writes.
  std::filesystem::path Crafted(const std::string& payloadSection, const std::string& name) {
    std::string script;
    for (char c : kScript) script += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(dir_ / name, testing_support::AssemblePackage(ReadFile(kInstaller), payloadSection, 0,
                                                            script + std::string(layout::kEndMarker) + "\r\n", ""));
    return dir_ / name;
  }

  harness::RunResult Install(const std::filesystem::path& package) {
    return wine_.Run({package.string(), "/debug"}, 120);
  }

  std::string Log() {
    const auto logs = wine_.SetupLogs();
    return logs.size() == 1 ? ReadFile(logs.front()) : std::string();
  }

  std::filesystem::path Installed(const std::string& name) { return wine_.LinuxPath(kDestination + name); }

  Wine& wine_ = Wine::Get();
  ScratchDir dir_;
};

Files SampleFiles() {
  return {{"Quenlith.exe", Pattern(30000, 1)},
          {"empty.txt", ""},
          {"block.bin", Pattern(4096, 2)},
          {"two-blocks.bin", Pattern(8192, 3)},
          {"languages\\en\\buddy.xml", "<buddy/>"},
          {"languages\\en\\chat.xml", "<chat/>"},
          {"skins\\windows6\\xml\\controls\\messageboxcontrols.xml", std::string(5000, 'x')}};
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(SilentInstallTest, InstallsEveryFileByteForByteWithTheScriptsDate) {
  const Files files = SampleFiles();
  const harness::RunResult result = Install(Package(files));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  for (const auto& [name, bytes] : files) {
    std::string path = name;
    ASSERT_TRUE(std::filesystem::exists(Installed(path))) << name;
    EXPECT_TRUE(ReadFile(Installed(path)) == bytes) << name;
  }
  // 28 August 2026, 00:00 local time (the prefix runs in this machine's time zone).
  std::tm midnight = {};
  midnight.tm_year = 126;
  midnight.tm_mon = 7;
  midnight.tm_mday = 28;
  midnight.tm_isdst = -1;
  const std::time_t expected = std::mktime(&midnight);
  const auto written = std::filesystem::last_write_time(Installed("empty.txt"));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      written.time_since_epoch() - std::filesystem::file_time_type::clock::now().time_since_epoch() +
      std::chrono::system_clock::now().time_since_epoch());
  EXPECT_NEAR(static_cast<double>(seconds.count()), static_cast<double>(expected), 2.0);

  const std::string uninstall = ReadFile(Installed("uninstall.ini"));
  EXPECT_NE(uninstall.find("NumFiles=7"), std::string::npos) << uninstall;
  EXPECT_NE(uninstall.find("File000=C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe"), std::string::npos) << uninstall;
  EXPECT_NE(uninstall.find("File006=C:\\ProgramData\\Quenlith\\bin\\two-blocks.bin"), std::string::npos) << uninstall;
  EXPECT_NE(uninstall.find("Add Remove=yes"), std::string::npos) << uninstall;

  const std::string log = Log();
  std::size_t at = 0;
  for (const char* line : {"Starting silent installation.", "Destination directory is C:\\ProgramData\\Quenlith\\bin\\",
                           "Created tray icon (", "Installation is starting at C:\\ProgramData\\Quenlith\\bin\\",
                           "Splitting files.", "Decompressing files.", "Copying files to location.",
                           "Installing file \"C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe\".", "Installation finished.",
                           "Removed tray icon (", "Quenlith setup exited successfully"}) {
    const std::size_t found = log.find(line, at);
    EXPECT_NE(found, std::string::npos) << "missing or out of order: " << line;
    if (found != std::string::npos) at = found;
  }
  EXPECT_EQ(Count(log, "Creating directory \"C:\\ProgramData\\Quenlith\\bin\\languages\\en\\\"."), 1u);
  EXPECT_EQ(Count(log, "Setting directory permissions \"C:\\ProgramData\\Quenlith\\bin\\languages\\en\\\"."), 1u);
  // The temporary folder is gone.
  EXPECT_EQ(log.find("ERROR"), std::string::npos);
}

TEST_F(SilentInstallTest, PayloadStreamsAndTheirFaults) {
  const Files files = {{"a.txt", "alpha"}, {"dir\\b.bin", Pattern(20000, 4)}};
  const std::string archive = ArchiveOf(files);
  const std::string stream = pack::CompressChunk(archive);
  std::string damaged = stream;
  damaged[damaged.size() / 2] ^= 0x20;
  const struct {
    const char* what;
    std::string payload;
    int exitCode;
    const char* logPart;
    bool installed;
  } cases[] = {
      {"one stream", stream, 0, "Installation finished.", true},
      {"two streams", pack::CompressChunk(archive.substr(0, 900)) + pack::CompressChunk(archive.substr(900)), 0,
       "Installation finished.", true},
      {"junk after the stream", stream + "junk after", 0, "Installation finished.", true},
      {"one corrupted byte", damaged, 2, "Data integrity (CRC) error while decompressing - the setup file is corrupt.",
       false},
      {"truncated stream", stream.substr(0, stream.size() - 40), 2,
       "Compressed data ended unexpectedly - the setup file is truncated or corrupt.", false},
      {"not bzip2", archive, -1, "Decompression failed - the setup file does not appear to be valid.", false},
  };
  for (const auto& c : cases) {
    Clean();
    const harness::RunResult result = Install(Crafted(c.payload, "crafted.exe"));
    EXPECT_EQ(result.exitCode, c.exitCode) << c.what;
    EXPECT_NE(Log().find(c.logPart), std::string::npos) << c.what;
    EXPECT_EQ(std::filesystem::exists(Installed("dir\\b.bin")), c.installed) << c.what;
    if (c.installed) EXPECT_TRUE(ReadFile(Installed("dir\\b.bin")) == files.at("dir\\b.bin")) << c.what;
  }
}

TEST_F(SilentInstallTest, AnArchiveThatWouldWriteOutsideTheDestinationInstallsNothing) {
  auto withTable = [](const std::vector<archive::Entry>& entries, const std::string& data) {
    return pack::CompressChunk(archive::EncodeTable(entries) + data);
  };
  std::string unterminated = archive::EncodeTable({{"a", 1}});
  std::fill(unterminated.begin() + 4, unterminated.begin() + 4 + 260, 'n');
  const struct {
    const char* what;
    std::string payload;
  } cases[] = {
      {"parent folder", withTable({{"good.txt", 1}, {"..\\..\\escaped.txt", 1}}, "gx")},
      {"absolute path", withTable({{"good.txt", 1}, {"C:\\escaped.txt", 1}}, "gx")},
      {"leading backslash", withTable({{"good.txt", 1}, {"\\escaped.txt", 1}}, "gx")},
      {"stream name", withTable({{"good.txt:hidden", 1}}, "g")},
      {"no terminator", pack::CompressChunk(unterminated + "x")},
      {"table past the end", pack::CompressChunk(std::string("\x10\x27\0\0", 4) + archive::EncodeTable({{"a", 1}}))},
  };
  for (const auto& c : cases) {
    Clean();
    const harness::RunResult result = Install(Crafted(c.payload, "crafted.exe"));
    EXPECT_EQ(result.exitCode, -1) << c.what;
    EXPECT_NE(Log().find("ERROR: etar.cpp"), std::string::npos) << c.what;
    EXPECT_FALSE(std::filesystem::exists(Installed("good.txt"))) << c.what;
    EXPECT_FALSE(std::filesystem::exists(Installed("uninstall.ini"))) << c.what;
    EXPECT_FALSE(std::filesystem::exists(wine_.LinuxPath("C:\\ProgramData\\escaped.txt"))) << c.what;
    EXPECT_FALSE(std::filesystem::exists(wine_.LinuxPath("C:\\escaped.txt"))) << c.what;
  }
}

}  // namespace
