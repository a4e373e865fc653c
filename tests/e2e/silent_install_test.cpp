// Silent installations under Wine, from the command line to the exit code:
// the installed files, the log, and packages whose payload is damaged.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <thread>

#include "pack/build.h"
#include "pack/compress.h"
#include "e2e_support.h"
#include "formats/archive.h"
#include "formats/layout.h"
#include "report_server.h"
#include "test_support.h"
#include "wine.h"

namespace {

using harness::Wine;
using testing_support::Pattern;
using testing_support::Count;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

const std::filesystem::path& kInstaller = e2e::TestInstaller();
using e2e::kDestination;
const std::string kScript =
    e2e::kSilentProgramDataScript + "[date]\nDateMonth=8\nDateDay=28\nDateYear=2026\n"
    "[setup]\nSetupUninstallInformation=1\nSetupUninstallInformationNum=1\nSetupUninstallInformationTitle0=Quenlith\n";

using testing_support::ArchiveOf;
using testing_support::Files;

using e2e::BuildTestPackage;

class SilentInstallTest : public e2e::E2eTest {
 protected:
  // The script registers an uninstall entry, which later runs would take for an earlier installation.
  SilentInstallTest()
      : E2eTest({e2e::kProgramDataFolder},
                {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlith"}) {}

  // A package of `files` and `script`, built by the package builder.
  std::filesystem::path Package(const Files& files, const std::string& script = kScript) {
    return BuildTestPackage(dir_.path(), files, script);
  }

  // A package assembled by hand around `payloadSection`, for payloads the builder never writes.
  std::filesystem::path Crafted(const std::string& payloadSection, const std::string& name,
                                std::uint32_t payloadOffset = 0) {
    std::string script;
    for (char c : kScript) script += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(dir_ / name, testing_support::AssemblePackage(ReadFile(kInstaller), payloadSection, payloadOffset,
                                                            script + std::string(layout::kEndMarker) + "\r\n", ""));
    return dir_ / name;
  }

  std::filesystem::path Installed(const std::string& name) { return wine_.LinuxPath(kDestination + name); }
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
  testing_support::ExpectInOrder(
      log, {"Starting silent installation.", "Destination directory is C:\\ProgramData\\Quenlith\\bin\\",
            "Created tray icon (", "Installation is starting at C:\\ProgramData\\Quenlith\\bin\\", "Splitting files.",
            "Decompressing files.", "Copying files to location.",
            "Installing file \"C:\\ProgramData\\Quenlith\\bin\\Quenlith.exe\".", "Installation finished.",
            "Removed tray icon (", "Quenlith setup exited successfully"});
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
  // Five streams, decompressed side by side; faults in a late one must be
  // met exactly as in a single stream.
  std::vector<std::string> chunks;
  for (std::size_t at = 0; at < archive.size(); at += archive.size() / 5 + 1)
    chunks.push_back(pack::CompressChunk(archive.substr(at, archive.size() / 5 + 1)));
  auto joined = [&chunks](std::size_t damagedChunk, std::size_t cut) {
    std::string all;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      std::string chunk = chunks[i];
      if (i == damagedChunk) chunk[chunk.size() / 2] ^= 0x20;
      all += i + 1 == chunks.size() ? chunk.substr(0, chunk.size() - cut) : chunk;
    }
    return all;
  };
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
      {"five streams", joined(99, 0), 0, "Installation finished.", true},
      {"five streams and junk", joined(99, 0) + "junk after", 0, "Installation finished.", true},
      {"a corrupted byte in the fourth of five", joined(3, 0), 2,
       "Data integrity (CRC) error while decompressing - the setup file is corrupt.", false},
      {"the last of five truncated", joined(99, 40), 2,
       "Compressed data ended unexpectedly - the setup file is truncated or corrupt.", false},
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

TEST_F(SilentInstallTest, ASingleStreamOfManyBlocksAndItsFaults) {
  // Decompressed block by block side by side; every fault must be met
  // exactly as when the stream is read from start to end.
  const Files files = {{"a.txt", "alpha"}, {"dir\\b.bin", Pattern(700000, 6)}, {"zeros.bin", std::string(6 << 20, '\0')}};
  const std::string archive = ArchiveOf(files);
  const std::string blocks = testing_support::Bzip2Stream(archive, 1);
  auto flipped = [&blocks](std::size_t at) {
    std::string damaged = blocks;
    damaged[at] ^= 0x10;
    return damaged;
  };
  const struct {
    const char* what;
    std::string payload;
    int exitCode;
    const char* logPart;
  } cases[] = {
      {"many blocks, one holding 4 MiB and more of zeros", blocks, 0, "Installation finished."},
      {"many blocks and junk after", blocks + "junk after", 0, "Installation finished."},
      {"many blocks and a second stream", blocks + testing_support::Bzip2Stream("tail", 9), 0, "Installation finished."},
      {"a corrupted byte in a middle block", flipped(blocks.size() / 2), 2,
       "Data integrity (CRC) error while decompressing - the setup file is corrupt."},
      {"a corrupted stream CRC", flipped(blocks.size() - 3), 2,
       "Data integrity (CRC) error while decompressing - the setup file is corrupt."},
      {"cut short", blocks.substr(0, blocks.size() - 40), 2,
       "Compressed data ended unexpectedly - the setup file is truncated or corrupt."},
      {"cut inside a middle block", blocks.substr(0, blocks.size() / 2), 2,
       "Compressed data ended unexpectedly - the setup file is truncated or corrupt."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    const harness::RunResult result = Install(Crafted(c.payload, "crafted.exe"));
    EXPECT_EQ(result.exitCode, c.exitCode);
    const std::string log = Log();
    EXPECT_NE(log.find(c.logPart), std::string::npos) << log;
    EXPECT_EQ(Count(log, "ERROR: "), c.exitCode == 0 ? 0u : 1u) << log;
    const bool installed = c.exitCode == 0;
    EXPECT_EQ(std::filesystem::exists(Installed("a.txt")), installed);
    if (installed) {
      for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFile(Installed(name)) == bytes) << name;
    }
  }
}

TEST_F(SilentInstallTest, AnArchiveThatWouldWriteOutsideTheDestinationInstallsNothing) {
  using testing_support::PayloadWithTable;
  const struct {
    const char* what;
    std::string payload;
  } cases[] = {
      {"parent folder", PayloadWithTable({{"good.txt", 1}, {"..\\..\\escaped.txt", 1}}, "gx")},
      {"absolute path", PayloadWithTable({{"good.txt", 1}, {"C:\\escaped.txt", 1}}, "gx")},
      {"leading backslash", PayloadWithTable({{"good.txt", 1}, {"\\escaped.txt", 1}}, "gx")},
      {"stream name", PayloadWithTable({{"good.txt:hidden", 1}}, "g")},
      {"no terminator", pack::CompressChunk(testing_support::UnterminatedTable() + "x")},
      {"table past the end", pack::CompressChunk(std::string("\x10\x27\0\0", 4) + archive::EncodeTable({{"a", 1}}))},
      {"less data than the table declares", PayloadWithTable({{"good.txt", 1}, {"big.bin", 5000}}, "gpartial")},
  };
  for (const auto& c : cases) {
    Clean();
    const harness::RunResult result = Install(Crafted(c.payload, "crafted.exe"));
    EXPECT_EQ(result.exitCode, -1) << c.what;
    const std::string log = Log();
    const std::size_t refusal = log.find("The payload archive cannot be installed: ");
    ASSERT_NE(refusal, std::string::npos) << c.what << log;
    EXPECT_NE(log.rfind("ERROR: ", refusal), std::string::npos) << c.what;
    EXPECT_GT(log.rfind("ERROR: ", refusal), log.rfind('\n', refusal)) << "logged as an ERROR: " << c.what;
    EXPECT_FALSE(std::filesystem::exists(Installed("good.txt"))) << c.what;
    EXPECT_FALSE(std::filesystem::exists(Installed("uninstall.ini"))) << c.what;
    EXPECT_FALSE(std::filesystem::exists(wine_.LinuxPath("C:\\ProgramData\\escaped.txt"))) << c.what;
    EXPECT_FALSE(std::filesystem::exists(wine_.LinuxPath("C:\\escaped.txt"))) << c.what;
  }
}

TEST_F(SilentInstallTest, TheUninstallListHoldsWhatKeyByKeyWritesWouldHaveLeft) {
  // The files install in this order; the second one can be held open.
  const Files files = {{"a.txt", "alpha"}, {"b.txt", "beta"}, {"c\\d.txt", "delta"}};
  const std::vector<std::string> names = {"a.txt", "b.txt", "c\\d.txt"};
  const std::string older = "[Uninstall]\r\nNumFiles=5\r\nFile000=C:\\old\\0\r\nFile001=C:\\old\\1\r\n"
                            "File002=C:\\old\\2\r\nFile003=C:\\old\\3\r\nDesktop=yes\r\n[Other]\r\nKeep=1\r\n";
  const struct {
    const char* what;
    std::string before;  // the list already there; empty: none
    bool locked;         // b.txt is held open, so that the run stops there
  } cases[] = {
      {"a new list", "", false},
      {"over an older, longer list with another section", older, false},
      {"over a list the system rewrites its own way", "; kept?\r\n[Uninstall]\r\nNumFiles = 5\r\n\r\nDesktop=yes ", false},
      {"a file that cannot be replaced, the retry cancelled", "", true},
      {"the same over an older list", older, true},
  };
  const std::filesystem::path package = Package(files);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    std::filesystem::create_directories(Installed(""));
    if (!c.before.empty()) WriteFile(Installed("uninstall.ini"), c.before);
    std::optional<harness::Process> holder;
    if (c.locked) {
      WriteFile(Installed("b.txt"), "held");
      holder.emplace(wine_.Start({wine_.Program("wintool.exe").string(), "hold", kDestination + std::string("b.txt"),
                                  "none", "60"}));
      ASSERT_TRUE(holder->WaitForOutput("held"));
    }
    const harness::RunResult result = Install(package);
    holder.reset();
    EXPECT_EQ(result.exitCode, c.locked ? -1 : 0) << result.output;

    // The same writes, one call per key, on the same starting list.
    const std::string reference = "C:\\ProgramData\\Quenlith\\reference.ini";
    std::filesystem::remove(wine_.LinuxPath(reference));
    if (!c.before.empty()) WriteFile(wine_.LinuxPath(reference), c.before);
    std::vector<std::string> writes = {wine_.Program("wintool.exe").string(), "iniwrite", reference, "Uninstall",
                                       "NumFiles", std::to_string(names.size())};
    const std::size_t whole = c.locked ? 1 : names.size();
    for (std::size_t i = 0; i < whole; ++i) {
      char key[16];
      std::snprintf(key, sizeof key, "File%03zu", i);
      writes.insert(writes.end(), {key, kDestination + names[i]});
    }
    if (!c.locked) writes.insert(writes.end(), {"Desktop", "no", "Start Menu", "no", "Add Remove", "yes"});
    ASSERT_EQ(wine_.Run(writes).exitCode, 0);
    EXPECT_EQ(ReadFile(Installed("uninstall.ini")), ReadFile(wine_.LinuxPath(reference)));
  }
}

}  // namespace

namespace {

std::string ProductScript(const std::string& extra) {
  return kScript + "SetupCheckVersionMax=6.6.0.18\n" + extra;
}

Files ProductFiles(bool withComms = true, bool signedProgram = false) {
  const std::filesystem::path program =
      signedProgram ? std::filesystem::path(test_paths::kSigningDir) / "product" / "Quenlith.exe"
                    : std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe";
  Files files = {{"Quenlith.exe", ReadFile(program)}, {"readme.txt", "read me"}};
  if (withComms) files["comms.dll"] = ReadFile(std::filesystem::path(test_paths::kProductDir) / "comms.dll");
  return files;
}

TEST_F(SilentInstallTest, VersionCheckInstallsOnlyOverAnOlderCopy) {
  // A first installation puts version 6.6.0.18 in place.
  ASSERT_EQ(Install(Package(ProductFiles())).exitCode, 0);
  wine_.RemoveSetupLogs();
  std::filesystem::remove(Installed("readme.txt"));

  const struct {
    const char* what;
    std::string wanted;
    int exitCode;
    bool installs;
    const char* logPart;
  } cases[] = {
      {"equal", "6.6.0.18", -2, false, "Checked version is newer or equal, exiting."},
      {"installed is newer", "6.6.0.9", -2, false, "Checked version is newer or equal, exiting."},
      {"installed is older", "6.6.0.19", 0, true, "Version comparison 6.6.0.18 vs 6.6.0.19"},
      {"missing parts count as zero", "6.6.0.18.0", -2, false, "Checked version is newer or equal, exiting."},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    Files files = ProductFiles();
    files["readme.txt"] = "new";
    const std::filesystem::path package =
        BuildTestPackage(dir.path(), files, kScript + "SetupCheckVersionMax=" + c.wanted + "\n");
    const harness::RunResult result = wine_.Run({package.string(), "/checkversion", "/debug"}, 120);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.what;
    EXPECT_EQ(std::filesystem::exists(Installed("readme.txt")), c.installs) << c.what;
    EXPECT_NE(Log().find(c.logPart), std::string::npos) << c.what << "\n" << Log();
    // An installed copy as new or newer is no failure: no ERROR line, and the log ends as a successful run's does.
    EXPECT_EQ(Log().find("ERROR: "), std::string::npos) << c.what << "\n" << Log();
    EXPECT_NE(Log().find("Quenlith setup exited successfully"), std::string::npos) << c.what << "\n" << Log();
    std::filesystem::remove(Installed("readme.txt"));
    wine_.RemoveSetupLogs();
  }
}

TEST_F(SilentInstallTest, VersionCheckNeedsTheSupportLibraryAndTheSwitch) {
  ASSERT_EQ(Install(Package(ProductFiles(false), ProductScript(""))).exitCode, 0);
  wine_.RemoveSetupLogs();
  // Without comms.dll beside the program the check is skipped: the run installs.
  EXPECT_EQ(wine_.Run({(dir_ / "setup.exe").string(), "/checkversion", "/debug"}, 120).exitCode, 0);
  EXPECT_NE(Log().find("WARNING: version_check.cpp"), std::string::npos);
  EXPECT_NE(Log().find("Check version can only find quenlith.exe (no helper files)."), std::string::npos);
  wine_.RemoveSetupLogs();
  // Without /checkversion (and SetupCheckVersion=0) nothing is compared.
  EXPECT_EQ(Install(dir_ / "setup.exe").exitCode, 0);
  EXPECT_EQ(Log().find("Version comparison"), std::string::npos);
}

TEST_F(SilentInstallTest, ASignedProductIsLaunchedWithItsArgumentsAndAnUnsignedOneIsNot) {
  const std::string launching = "[launch]\nLaunchAuto=1\nLaunchTarget=Quenlith.exe\nLaunchParameters=/runnormal\n";
  const std::filesystem::path record = dir_ / "launch-record.txt";
  const std::vector<std::string> environment = {"QUENLITH_DOUBLE_RECORD=" + Wine::WindowsPath(record)};

  const harness::RunResult launched =
      wine_.Run({Package(ProductFiles(true, true), ProductScript(launching)).string(), "/debug"}, 120, environment);
  EXPECT_EQ(launched.exitCode, 0);
  EXPECT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "find", "Quenlith", "Quenlith", "20000"}).exitCode, 0);
  EXPECT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "close", "Quenlith", "Quenlith"}).exitCode, 0);
  const std::string started = ReadFile(record);
  EXPECT_NE(started.find("args=/runnormal\r\n"), std::string::npos) << started;
  EXPECT_NE(started.find("cwd=C:\\ProgramData\\Quenlith\\bin"), std::string::npos) << started;
  wine_.RemoveSetupLogs();
  std::filesystem::remove(record);

  ScratchDir other;
  const std::filesystem::path unsignedPackage =
      BuildTestPackage(other.path(), ProductFiles(true, false), ProductScript(launching));
  EXPECT_EQ(wine_.Run({unsignedPackage.string(), "/debug"}, 120, environment).exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(record));
  const std::string log = Log();
  EXPECT_NE(log.find("Verification error code -2146762496."), std::string::npos) << log;
  EXPECT_NE(log.find("Executible not launched due to signing."), std::string::npos) << log;
}

}  // namespace

namespace {

TEST_F(SilentInstallTest, ALockedFileThatCanBeMovedIsReplacedAndTheOldOneDeletedOnRestart) {
  ASSERT_EQ(Install(Package({{"plugin.dll", "old contents"}})).exitCode, 0);
  wine_.RemoveSetupLogs();
  harness::Process holder = wine_.Start({wine_.Program("wintool.exe").string(), "hold",
                                         std::string(kDestination) + "plugin.dll", "delete", "20"});
  ASSERT_TRUE(holder.WaitForOutput("held"));

  ScratchDir update;
  EXPECT_EQ(Install(BuildTestPackage(update.path(), {{"plugin.dll", "new contents"}}, kScript)).exitCode, 0);
  EXPECT_EQ(ReadFile(Installed("plugin.dll")), "new contents");
  EXPECT_EQ(ReadFile(Installed("plugin.dll.old")), "old contents");
  const std::string log = Log();
  EXPECT_NE(log.find("WARNING: etar.cpp"), std::string::npos) << log;
  EXPECT_NE(log.find("Creating file \"C:\\ProgramData\\Quenlith\\bin\\plugin.dll\" failed.  Moving previous file and "
                     "trying again."), std::string::npos) << log;
  EXPECT_NE(log.find("Marking file \"C:\\ProgramData\\Quenlith\\bin\\plugin.dll.old\" to delete on reboot."),
            std::string::npos) << log;
  const auto pending = wine_.RegistryValue("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                                           "PendingFileRenameOperations");
  ASSERT_TRUE(pending.has_value());
  EXPECT_NE(pending->find("plugin.dll.old"), std::string::npos) << *pending;
}

TEST_F(SilentInstallTest, AFileHeldWithoutSharingEndsTheRunAfterTenSilentRetries) {
  ASSERT_EQ(Install(Package({{"plugin.dll", "old contents"}})).exitCode, 0);
  wine_.RemoveSetupLogs();
  harness::Process holder = wine_.Start({wine_.Program("wintool.exe").string(), "hold",
                                         std::string(kDestination) + "plugin.dll", "none", "30"});
  ASSERT_TRUE(holder.WaitForOutput("held"));

  // Silent: the Retry/Cancel box is answered Cancel without being shown.
  EXPECT_EQ(Install(dir_ / "setup.exe").exitCode, -1);
  EXPECT_EQ(ReadFile(Installed("plugin.dll")), "old contents");
  const std::string log = Log();
  EXPECT_NE(log.find("Creating file \"C:\\ProgramData\\Quenlith\\bin\\plugin.dll\" failed.  Error code 32."),
            std::string::npos) << log;
  EXPECT_EQ(log.find("Installation finished."), std::string::npos);
  // A run that ends with -1 says why in an ERROR line, so its closing line agrees with the exit code.
  EXPECT_NE(log.find("Exiting, unable to create file \"C:\\ProgramData\\Quenlith\\bin\\plugin.dll\"."),
            std::string::npos) << log;
  EXPECT_NE(log.find("Quenlith setup exited with errors"), std::string::npos) << log;
}

}  // namespace

namespace {

TEST_F(SilentInstallTest, APayloadThatDoesNotStartAfterTheImageIsNotSplit) {
  const std::string stream = pack::CompressChunk(ArchiveOf({{"a.txt", "alpha"}}));
  const auto imageSize = static_cast<std::uint32_t>(std::filesystem::file_size(kInstaller));
  const harness::RunResult result = Install(Crafted("late" + stream, "late.exe", imageSize + 4));
  EXPECT_EQ(result.exitCode, -1);
  const std::string log = Log();
  EXPECT_NE(log.find("Error during configuration check (" + std::to_string(imageSize + 4) + ":" +
                     std::to_string(imageSize) + ")."), std::string::npos) << log;
  EXPECT_NE(log.find("Exiting, error during split."), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(Installed("a.txt")));
}

TEST_F(SilentInstallTest, InstallationWaitsForTheRunningProductToClose) {
  harness::Process product = wine_.Start({(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe").string()});
  ASSERT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "find", "Quenlith", "Quenlith", "20000"}).exitCode, 0);
  harness::Process install = wine_.Start(
      {Package({{"a.txt", "alpha"}}, kScript + "SetupCheckIfQuenlithLoaded=0\nSetupCheckIfQuenlithExiting=1\n").string(),
       "/debug"});
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "close", "Quenlith", "Quenlith"}).exitCode, 0);
  EXPECT_EQ(Wine::ExitCodeOf(install.Wait(60)), 0);
  product.Wait(30);
  const std::string log = Log();
  EXPECT_EQ(Count(log, "Waiting for Quenlith to exit."), 1u) << log;
  EXPECT_EQ(log.find("Giving up, will try to install anyway.."), std::string::npos) << log;
  EXPECT_EQ(ReadFile(Installed("a.txt")), "alpha");
}

}  // namespace

namespace {

TEST_F(SilentInstallTest, TemporaryFilesThatCannotBeOpenedEndTheRunWithMinusOne) {
  // The temporary folder is named after the second the run starts in, or
  // the first free name after it; for the next minute every name it could
  // take is held by a file.
  const std::filesystem::path tempFolder = e2e::TemporaryFolder(wine_);
  const long long now = static_cast<long long>(std::time(nullptr));
  std::vector<std::filesystem::path> blocked;
  for (long long second = now; second < now + 60; ++second)
    for (int index = 0; index < 100; ++index) {
      const std::string name = "quenlith_temp_" + std::to_string(second);
      blocked.push_back(tempFolder / (index == 0 ? name : name + "_" + std::to_string(index)));
      WriteFile(blocked.back(), "");
    }
  const harness::RunResult result = Install(Package({{"a.txt", "alpha"}}));
  for (const std::filesystem::path& name : blocked) std::filesystem::remove(name);

  EXPECT_EQ(result.exitCode, -1);
  const std::string log = Log();
  EXPECT_NE(log.find("ERROR: install.cpp"), std::string::npos) << log;
  EXPECT_NE(log.find("Unable to open files (0x"), std::string::npos) << log;
  EXPECT_NE(log.find(", 0x0) for \""), std::string::npos) << log;
  EXPECT_NE(log.find("\\quenlith_temp_"), std::string::npos) << log;
  EXPECT_NE(log.find("\\compressed.dat\" and \""), std::string::npos) << log;
  EXPECT_EQ(log.find("Copying files to location."), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(Installed("a.txt")));
}

TEST_F(SilentInstallTest, ASignedProgramThatCannotBeStartedIsAWarning) {
  // A signed library installed under the program's name passes the signature
  // check, and the platform then refuses to start it.
  const std::filesystem::path library = dir_ / "signed-library.dll";
  ASSERT_EQ(std::system(("'" + std::string(test_paths::kSignScript) + "' '" + std::string(test_paths::kSigningDir) +
                         "' '" + (std::filesystem::path(test_paths::kProductDir) / "comms.dll").string() + "' '" +
                         library.string() + "'")
                            .c_str()),
            0);
  const std::string script =
      kScript + "[launch]\nLaunchAuto=1\nLaunchTarget=Quenlith.exe\nLaunchParameters=/runnormal\n";
  ScratchDir other;
  const harness::RunResult result =
      Install(BuildTestPackage(other.path(), {{"Quenlith.exe", ReadFile(library)}}, script));
  EXPECT_EQ(result.exitCode, 0);
  const std::string log = Log();
  EXPECT_EQ(log.find("Verification error code"), std::string::npos) << log;
  const std::size_t warning = log.find("Executible not launched due to error ");
  ASSERT_NE(warning, std::string::npos) << log;
  EXPECT_LE(std::stoi(log.substr(warning + std::string("Executible not launched due to error ").size())), 32) << log;
}

}  // namespace

namespace {

TEST_F(SilentInstallTest, ARunningProductEndsASilentRunAtOnceWithoutABoxOrAReport) {
  harness::ReportServer server;
  harness::Process product = wine_.Start({(std::filesystem::path(test_paths::kProductDir) / "Quenlith.exe").string()});
  ASSERT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "find", "Quenlith", "Quenlith", "20000"}).exitCode, 0);
  const std::filesystem::path package =
      Package({{"a.txt", "alpha"}}, kScript + "SetupCheckIfQuenlithLoaded=1\nSetupCheckIfQuenlithLoadedTitle=Running\n"
                                              "SetupCheckIfQuenlithLoadedText=Continue anyway?\n");
  const harness::RunResult refused = wine_.Run({package.string(), "/debug"}, 60);
  EXPECT_FALSE(refused.timedOut) << "a question would wait for an answer";
  EXPECT_EQ(refused.exitCode, -1);
  const std::string log = Log();
  EXPECT_NE(log.find("WARNING: silent.cpp"), std::string::npos) << log;
  EXPECT_NE(log.find("Exiting, Quenlith is already running."), std::string::npos) << log;
  EXPECT_EQ(log.find("Splitting files."), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(Installed("a.txt")));
  EXPECT_EQ(server.States(), std::vector<std::string>{"start"}) << "no cancel state from a silent run";

  // The same package installs once the product has closed.
  wine_.RemoveSetupLogs();
  EXPECT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "close", "Quenlith", "Quenlith"}).exitCode, 0);
  product.Wait(30);
  EXPECT_EQ(Install(package).exitCode, 0);
  EXPECT_EQ(ReadFile(Installed("a.txt")), "alpha");
}

TEST_F(SilentInstallTest, AnUpToDateCopyIsLaunchedInsteadOfReinstalledWhenTheScriptLaunches) {
  // A signed copy of 6.6.0.18 is installed, and not started.
  ASSERT_EQ(Install(Package(ProductFiles(true, true), ProductScript(""))).exitCode, 0);
  wine_.RemoveSetupLogs();

  ScratchDir newer;
  Files files = ProductFiles(true, true);
  files["readme.txt"] = "new";
  const std::filesystem::path package = BuildTestPackage(
      newer.path(), files,
      ProductScript("[launch]\nLaunchAuto=1\nLaunchTarget=Quenlith.exe\nLaunchParameters=/runnormal\n"));
  const std::filesystem::path record = dir_ / "launch-record.txt";
  const harness::RunResult result = wine_.Run({package.string(), "/checkversion", "/debug"}, 120,
                                              {"QUENLITH_DOUBLE_RECORD=" + Wine::WindowsPath(record)});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "find", "Quenlith", "Quenlith", "20000"}).exitCode, 0)
      << "the product runs";
  EXPECT_EQ(wine_.Run({wine_.Program("wintool.exe").string(), "close", "Quenlith", "Quenlith"}).exitCode, 0);
  EXPECT_NE(ReadFile(record).find("args=/runnormal\r\n"), std::string::npos) << ReadFile(record);
  EXPECT_EQ(ReadFile(Installed("readme.txt")), "read me") << "nothing is installed again";
  const std::string log = Log();
  testing_support::ExpectInOrder(log, {"Version comparison 6.6.0.18 vs 6.6.0.18", "WARNING: version_check.cpp",
                                       "Checked version is newer or equal, launching.",
                                       "Quenlith setup exited successfully"});
  EXPECT_EQ(log.find("Splitting files."), std::string::npos) << log;
}

TEST_F(SilentInstallTest, VersionCheckIsSkippedWhenNoProgramIsInstalled) {
  const std::filesystem::path package = Package(ProductFiles(), ProductScript(""));
  const struct {
    const char* what;
    Files before;  // in the destination before the run
  } cases[] = {
      {"an empty destination", {}},
      {"only the support libraries", {{"comms.dll", "library"}, {"basekit.dll", "library"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    for (const auto& [name, bytes] : c.before) WriteFile(Installed(name), bytes);
    const harness::RunResult result = wine_.Run({package.string(), "/checkversion", "/debug"}, 120);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(ReadFile(Installed("readme.txt")), "read me") << "installed";
    const std::string log = Log();
    // The missing program ends the check before the support library is looked for.
    EXPECT_EQ(log.find("Check version can only find quenlith.exe"), std::string::npos) << log;
    EXPECT_EQ(log.find("Version comparison"), std::string::npos) << log;
    EXPECT_NE(log.find("Installation finished."), std::string::npos) << log;
  }
}

}  // namespace
