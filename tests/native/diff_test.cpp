// Comparing two packages: a table of package pairs built here, each with
// the differences diff must report and whether the two install the same;
// the JSON report parsed back.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "pack/build.h"
#include "pack/diff.h"
#include "pack/files.h"
#include "pack/hash.h"
#include "pack/json.h"
#include "formats/layout.h"
#include "test_support.h"

namespace {

using testing_support::Files;
using testing_support::Pattern;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;
using testing_support::WritePayloadFolder;

std::filesystem::path Installer() { return std::filesystem::path(test_paths::kWindowsBin) / "QuenlithSetup.exe"; }

const std::string kScript =
    "[install]\nInstallerSilent=1\nInstallerName=Quenlith\n[product]\nProductVersion=6.5\n";

Files SampleFiles() {
  return {{"Quenlith.exe", Pattern(30000, 1)},
          {"empty.txt", ""},
          {"languages\\en\\buddy.xml", "<buddy/>"},
          {"plugins\\media.dll", Pattern(5000, 2)}};
}

// One side of a pair: what to build it from.
struct Side {
  Files files = SampleFiles();
  std::string script = kScript;
  unsigned jobs = 2;
  bool sign = false;
  bool otherImage = false;  // the installer with one byte of its code changed
};

std::filesystem::path Build(const ScratchDir& dir, const std::string& name, const Side& side) {
  const std::filesystem::path folder = dir / name;
  WritePayloadFolder(folder / "payload", side.files);
  WriteFile(folder / "script.ini", side.script);
  pack::BuildOptions options;
  options.installer = Installer();
  if (side.otherImage) {
    // A byte in the middle of the image, far from headers and the image-size
    // record: the image stays a sound installer, only not the same one.
    std::string image = ReadFile(Installer());
    image[image.size() / 2] ^= 0x5A;
    options.installer = folder / "QuenlithSetup.exe";
    WriteFile(options.installer, image);
  }
  options.payload = folder / "payload";
  options.script = folder / "script.ini";
  options.output = folder / "setup.exe";
  options.jobs = side.jobs;
  std::ostringstream messages;
  pack::BuildPackage(options, messages);
  if (!side.sign) return options.output;
  const std::string signing = std::filesystem::path(test_paths::kSigningDir).string();
  const std::filesystem::path signedPath = folder / "signed.exe";
  const std::string command = "osslsigncode sign -certs " + signing + "/codesign.crt -key " + signing +
                              "/codesign.key -n Quenlith -h sha256 -in " + options.output.string() + " -out " +
                              signedPath.string() + " >/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return signedPath;
}

std::set<std::string> Names(const nlohmann::json& list, const char* field) {
  std::set<std::string> names;
  for (const nlohmann::json& item : list) names.insert(item[field].get<std::string>());
  return names;
}

std::string Hex(const std::string& bytes) { return pack::HexBytes(pack::Sha256(bytes)); }

TEST(DiffPackages, ReportsEachKindOfDifference) {
  Files changed = SampleFiles();
  changed["plugins\\media.dll"] = Pattern(5001, 3);
  Files added = SampleFiles();
  added["languages\\de\\buddy.xml"] = "<Buddy/>";
  Files removed = SampleFiles();
  removed.erase("empty.txt");
  Files withoutMedia = SampleFiles();
  withoutMedia.erase("plugins\\media.dll");
  Files renamedInCase = SampleFiles();
  renamedInCase["QUENLITH.EXE"] = renamedInCase["Quenlith.exe"];
  renamedInCase.erase("Quenlith.exe");
  Files sameSizeChanged = SampleFiles();
  sameSizeChanged["languages\\en\\buddy.xml"] = "<biddy/>";

  const struct Case {
    const char* name;
    Side old, now;
    bool same;
    std::set<std::string> added{}, removed{}, changed{};  // file names
    std::set<std::string> keysAdded{}, keysRemoved{}, keysChanged{};
    bool sameImage = true;
    bool sameSignature = true;
    std::set<std::string> leftBehind{};  // old files the new package neither installs nor deletes
  } cases[] = {
      {"identical builds, 1 and 3 jobs", {.jobs = 1}, {.jobs = 3}, true, {}, {}, {}},
      {"one file changed", {}, {.files = changed}, false, {}, {}, {"plugins\\media.dll"}},
      {"one file changed, same size", {}, {.files = sameSizeChanged}, false, {}, {}, {"languages\\en\\buddy.xml"}},
      {"one file added", {}, {.files = added}, false, {"languages\\de\\buddy.xml"}, {}, {}},
      {"one file removed", {}, {.files = removed}, false, {}, {"empty.txt"}, {}, {}, {}, {}, true, true, {"empty.txt"}},
      // An upgrade's [Delete] list removes what the new package no longer
      // ships, as the installer reads the list and Windows finds the file.
      {"a removed file the new package deletes",
       {},
       {.files = removed,
        .script = kScript + "[Delete]\nDeleteFiles=1\nDeleteFilesNum=1\nDeleteFilenames0=EMPTY.TXT\n"},
       false,
       {},
       {"empty.txt"},
       {},
       {"DeleteFiles", "DeleteFilesNum", "DeleteFilenames0"},
       {},
       {},
       true,
       true,
       {}},
      {"a removed file in a folder, deleted by a name with a forward slash",
       {},
       {.files = withoutMedia,
        .script = kScript + "[delete]\ndeletefiles=1\ndeletefilesnum=1\ndeletefilenames0=plugins/media.dll\n"},
       false,
       {},
       {"plugins\\media.dll"},
       {},
       {"deletefiles", "deletefilesnum", "deletefilenames0"},
       {},
       {},
       true,
       true,
       {}},
      {"a [Delete] list switched off",
       {},
       {.files = removed,
        .script = kScript + "[Delete]\nDeleteFiles=0\nDeleteFilesNum=1\nDeleteFilenames0=empty.txt\n"},
       false,
       {},
       {"empty.txt"},
       {},
       {"DeleteFiles", "DeleteFilesNum", "DeleteFilenames0"},
       {},
       {},
       true,
       true,
       {"empty.txt"}},
      {"a name beyond the [Delete] list's count",
       {},
       {.files = removed,
        .script = kScript + "[Delete]\nDeleteFiles=1\nDeleteFilesNum=1\nDeleteFilenames0=old.txt\n"
                            "DeleteFilenames1=empty.txt\n"},
       false,
       {},
       {"empty.txt"},
       {},
       {"DeleteFiles", "DeleteFilesNum", "DeleteFilenames0", "DeleteFilenames1"},
       {},
       {},
       true,
       true,
       {"empty.txt"}},
      {"a file renamed only in letter case is replaced, not left",
       {},
       {.files = renamedInCase},
       false,
       {"QUENLITH.EXE"},
       {"Quenlith.exe"},
       {},
       {},
       {},
       {},
       true,
       true,
       {}},
      {"one script key changed",
       {},
       {.script = "[install]\nInstallerSilent=1\nInstallerName=Quenlith\n[product]\nProductVersion=6.6\n"},
       false,
       {},
       {},
       {},
       {},
       {},
       {"ProductVersion"}},
      {"a key added and one removed",
       {},
       {.script = "[install]\nInstallerSilent=1\n[product]\nProductVersion=6.5\nProductName=Quenlith\n"},
       false,
       {},
       {},
       {},
       {"ProductName"},
       {"InstallerName"},
       {}},
      // What the reader does not see is no difference: comments, blank
      // lines, blanks around names and values, letter case of names, order.
      {"the same keys written otherwise",
       {},
       {.script = "; the product\n[PRODUCT]\n  productversion = 6.5\n\n[install]\nInstallerName=Quenlith\n"
                  "installersilent=1\n"},
       true,
       {},
       {},
       {}},
      {"another installer image", {}, {.otherImage = true}, false, {}, {}, {}, {}, {}, {}, false},
      {"a signed and an unsigned copy", {}, {.sign = true}, true, {}, {}, {}, {}, {}, {}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::filesystem::path oldPackage = Build(dir, "old", c.old), newPackage = Build(dir, "new", c.now);
    std::ostringstream text;
    pack::CommandOptions json;
    json.json = true;
    EXPECT_EQ(pack::DiffPackages(oldPackage, newPackage, text, json), c.same);
    nlohmann::json report;
    ASSERT_NO_THROW(report = nlohmann::json::parse(text.str())) << text.str();
    EXPECT_EQ(report["same"], c.same);
    EXPECT_EQ(report["old"]["package"], oldPackage.string());
    EXPECT_EQ(report["new"]["files"], c.now.files.size());
    EXPECT_EQ(Names(report["files"]["added"], "name"), c.added);
    EXPECT_EQ(Names(report["files"]["removed"], "name"), c.removed);
    EXPECT_EQ(Names(report["files"]["changed"], "name"), c.changed);
    const std::size_t common = c.old.files.size() - c.removed.size() - c.changed.size();
    EXPECT_EQ(report["files"]["unchanged"], common);
    EXPECT_EQ(Names(report["script"]["added"], "key"), c.keysAdded);
    EXPECT_EQ(Names(report["script"]["removed"], "key"), c.keysRemoved);
    EXPECT_EQ(Names(report["script"]["changed"], "key"), c.keysChanged);
    EXPECT_EQ(Names(report["leftBehind"], "name"), c.leftBehind);
    for (const nlohmann::json& file : report["leftBehind"]) {
      EXPECT_EQ(file["size"], c.old.files.at(file["name"]).size());
      EXPECT_EQ(file["sha256"], Hex(c.old.files.at(file["name"])));
    }
    EXPECT_EQ(report["image"]["same"], c.sameImage);
    EXPECT_EQ(report["signature"]["same"], c.sameSignature);

    // Sizes and hashes are those of the files' contents.
    for (const nlohmann::json& file : report["files"]["added"]) {
      const std::string& content = c.now.files.at(file["name"]);
      EXPECT_EQ(file["size"], content.size());
      EXPECT_EQ(file["sha256"], Hex(content));
    }
    for (const nlohmann::json& file : report["files"]["removed"])
      EXPECT_EQ(file["sha256"], Hex(c.old.files.at(file["name"])));
    for (const nlohmann::json& file : report["files"]["changed"]) {
      EXPECT_EQ(file["oldSize"], c.old.files.at(file["name"]).size());
      EXPECT_EQ(file["newSize"], c.now.files.at(file["name"]).size());
      EXPECT_EQ(file["oldSha256"], Hex(c.old.files.at(file["name"])));
      EXPECT_EQ(file["newSha256"], Hex(c.now.files.at(file["name"])));
    }
  }
}

TEST(DiffPackages, TextReportNamesEachDifference) {
  ScratchDir dir;
  Files changed = SampleFiles();
  changed["plugins\\media.dll"] = "short";
  changed["new.txt"] = "new";
  changed.erase("empty.txt");
  const std::filesystem::path oldPackage = Build(dir, "old", {});
  const std::filesystem::path newPackage = Build(
      dir, "new",
      {.files = changed,
       .script = "[install]\nInstallerSilent=1\nInstallerName=Quenlith\n[product]\nProductVersion=6.6\n",
       .sign = true});
  std::ostringstream text;
  EXPECT_FALSE(pack::DiffPackages(oldPackage, newPackage, text));
  testing_support::ExpectInOrder(
      text.str(),
      {"files: 1 added, 1 removed, 1 changed, 2 unchanged\n",
       "  + new.txt  (3 bytes, sha256 " + Hex("new").substr(0, 16) + ")\n",
       "  - empty.txt  (0 bytes, sha256 " + Hex("").substr(0, 16) + ")\n",
       "  ~ plugins\\media.dll  (5000 -> 5 bytes, sha256 " + Hex(SampleFiles()["plugins\\media.dll"]).substr(0, 16) +
           " -> " + Hex("short").substr(0, 16) + ")\n",
       "left behind: 1 file(s) the old package installs that the new one neither installs nor "
       "deletes ([Delete])\n",
       "  ! empty.txt  (0 bytes, sha256 " + Hex("").substr(0, 16) + ")\n",
       "script: 0 keys added, 0 removed, 1 changed, 2 unchanged\n",
       "  ~ [product] ProductVersion: \"6.5\" -> \"6.6\"\n", "image: same (",
       "signature: differs: not signed -> signed, SHA-256 digest\n", "result: the packages differ\n"});
}

TEST(DiffPackages, ImageDifferenceShowsSizesAndStamps) {
  ScratchDir dir;
  const std::filesystem::path oldPackage = Build(dir, "old", {});
  const std::filesystem::path newPackage = Build(dir, "new", {.otherImage = true});
  std::ostringstream text;
  EXPECT_FALSE(pack::DiffPackages(oldPackage, newPackage, text));
  const std::string size = std::to_string(std::filesystem::file_size(Installer()));
  EXPECT_NE(text.str().find("image: differs: " + size + " -> " + size + " bytes, SetupImageSize " + size + " -> " +
                            size + ", build stamp "),
            std::string::npos)
      << text.str();
}

TEST(DiffPackages, AnUnreadablePackageIsAFaultNamingIt) {
  ScratchDir dir;
  const std::filesystem::path good = Build(dir, "old", {});
  std::string damaged = ReadFile(good);
  damaged[std::filesystem::file_size(Installer()) + 1000] ^= 0x10;  // inside the compressed payload
  WriteFile(dir / "damaged.exe", damaged);
  std::ostringstream text;
  try {
    pack::DiffPackages(good, dir / "damaged.exe", text);
    ADD_FAILURE() << "a damaged payload was compared";
  } catch (const pack::Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("damaged.exe"), std::string::npos) << failure.what();
  }
  EXPECT_EQ(text.str(), "");
}

// A package from another tool may hold names that are not UTF-8: the JSON
// stays valid and carries the bytes, the text shows them escaped.
TEST(DiffPackages, NamesOutsideUtf8KeepTheirBytes) {
  ScratchDir dir;
  const std::string image = ReadFile(Installer());
  const std::string script =
      "[install]\r\nInstallerSilent=1\r\n; End the file with this guid\r\n" + std::string(layout::kEndMarker) + "\r\n";
  auto assemble = [&](const Files& files, const std::string& name) {
    WriteFile(dir / name, testing_support::AssemblePackage(
                              image, testing_support::Bzip2Stream(testing_support::ArchiveOf(files), 9), 0, script, ""));
    return dir / name;
  };
  const std::filesystem::path oldPackage = assemble({{"a.txt", "a"}}, "old.exe");
  const std::filesystem::path newPackage = assemble({{"a.txt", "a"}, {"caf\xe9.txt", "b"}}, "new.exe");

  std::ostringstream json;
  pack::CommandOptions options;
  options.json = true;
  EXPECT_FALSE(pack::DiffPackages(oldPackage, newPackage, json, options));
  nlohmann::json report;
  ASSERT_NO_THROW(report = nlohmann::json::parse(json.str())) << json.str();
  ASSERT_EQ(report["files"]["added"].size(), 1u);
  EXPECT_EQ(report["files"]["added"][0]["name"], "caf\xef\xbf\xbd.txt");
  EXPECT_EQ(report["files"]["added"][0]["nameHex"], "636166e92e747874");
  EXPECT_FALSE(report["files"]["changed"].is_null());

  std::ostringstream text;
  EXPECT_FALSE(pack::DiffPackages(oldPackage, newPackage, text));
  EXPECT_NE(text.str().find("  + caf\\xE9.txt  (1 bytes"), std::string::npos) << text.str();
}

}  // namespace
