// Gathering a payload folder: order, names, sizes and the problems reported.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "pack/payload.h"
#include "test_support.h"

namespace {

using testing_support::ScratchDir;
using testing_support::WriteFile;

std::vector<std::string> Names(const pack::Payload& payload) {
  std::vector<std::string> names;
  for (const pack::PayloadFile& file : payload.files) names.push_back(file.entry.name);
  return names;
}

// Sorted over whole entry names: a folder's files sort after siblings whose
// next byte is below the backslash ('-', '.') and before those above it
// ('_'). Files are handed on in that order while the walk runs.
TEST(CollectPayload, ListsEveryFileSortedWithBackslashNamesAndSizes) {
  ScratchDir dir;
  WriteFile(dir / "b.txt", "bb");
  WriteFile(dir / "a/z.bin", std::string(4096, 'z'));
  WriteFile(dir / "a/deep/er/e.txt", "");
  WriteFile(dir / "a/deep.txt", "d");
  WriteFile(dir / "a_c.txt", "c");
  WriteFile(dir / "a-b.txt", "b");
  WriteFile(dir / "A.dat", "1");
  std::vector<std::string> found;
  const pack::Payload payload =
      pack::CollectPayload(dir.path(), pack::kDefaultDestinationRoom, pack::LinkPolicy::kInsideOnly,
                           [&found](const pack::PayloadFile& file) { found.push_back(file.entry.name); });
  EXPECT_TRUE(payload.errors.empty());
  const std::vector<std::string> sorted = {"A.dat",   "a-b.txt", "a\\deep.txt", "a\\deep\\er\\e.txt",
                                           "a\\z.bin", "a_c.txt", "b.txt"};
  EXPECT_EQ(Names(payload), sorted);
  EXPECT_EQ(found, sorted);
  EXPECT_EQ(payload.files[4].entry.size, 4096u);
  EXPECT_EQ(payload.files[3].entry.size, 0u);
  EXPECT_EQ(payload.totalBytes, 4096u + 2 + 1 + 1 + 1 + 1);
}

TEST(CollectPayload, WarnsAboutEmptyFolders) {
  ScratchDir dir;
  WriteFile(dir / "payload/data.txt", "data");
  std::filesystem::create_directories(dir / "payload/empty");
  const pack::Payload payload = pack::CollectPayload(dir / "payload", pack::kDefaultDestinationRoom);
  EXPECT_TRUE(payload.errors.empty());
  EXPECT_EQ(Names(payload), std::vector<std::string>{"data.txt"});
  ASSERT_EQ(payload.warnings.size(), 1u);
  EXPECT_NE(payload.warnings[0].find("empty"), std::string::npos);
}

// Links to files and to folders are treated alike: followed inside the
// payload folder, refused when they leave it unless told to follow them.
TEST(CollectPayload, FollowsLinksInsideThePayloadAndRefusesOthersUnlessTold) {
  const struct {
    const char* what;
    const char* target;  // relative to the scratch folder
    pack::LinkPolicy policy;
    std::vector<std::string> names;
    const char* errorPart;  // nullptr when accepted
  } cases[] = {
      {"file inside", "payload/real.txt", pack::LinkPolicy::kInsideOnly, {"link", "real.txt", "sub\\s.txt"}, nullptr},
      {"folder inside", "payload/sub", pack::LinkPolicy::kInsideOnly, {"link\\s.txt", "real.txt", "sub\\s.txt"},
       nullptr},
      {"file outside", "outside/o.txt", pack::LinkPolicy::kInsideOnly, {"real.txt", "sub\\s.txt"},
       "outside the payload folder"},
      {"folder outside", "outside", pack::LinkPolicy::kInsideOnly, {"real.txt", "sub\\s.txt"},
       "outside the payload folder"},
      {"file outside, followed", "outside/o.txt", pack::LinkPolicy::kFollowAll, {"link", "real.txt", "sub\\s.txt"},
       nullptr},
      {"folder outside, followed", "outside", pack::LinkPolicy::kFollowAll,
       {"link\\o.txt", "real.txt", "sub\\s.txt"}, nullptr},
      {"loop to its own folder", "payload", pack::LinkPolicy::kFollowAll, {"real.txt", "sub\\s.txt"}, "loop"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile(dir / "payload/real.txt", "r");
    WriteFile(dir / "payload/sub/s.txt", "s");
    WriteFile(dir / "outside/o.txt", "o");
    std::filesystem::create_symlink(dir / c.target, dir / "payload/link");
    const pack::Payload payload = pack::CollectPayload(dir / "payload", pack::kDefaultDestinationRoom, c.policy);
    EXPECT_EQ(Names(payload), c.names) << c.what;
    if (c.errorPart) {
      ASSERT_EQ(payload.errors.size(), 1u) << c.what;
      EXPECT_NE(payload.errors[0].find(c.errorPart), std::string::npos) << c.what << ": " << payload.errors[0];
    } else {
      EXPECT_TRUE(payload.errors.empty()) << c.what << ": " << (payload.errors.empty() ? "" : payload.errors[0]);
    }
  }
}

TEST(CollectPayload, CountsInstalledPathsInUtf16UnitsAndTableNamesInBytes) {
  auto cjk = [](int count) {  // one character, three bytes
    std::string name;
    for (int i = 0; i < count; ++i) name += "\xE4\xB8\xAD";
    return name;
  };
  const struct {
    const char* what;
    std::vector<std::string> components;  // Linux holds at most 255 bytes in one
    std::size_t room;
    bool accepted;
  } cases[] = {
      // 80 characters (240 bytes): 100 + 1 + 80 = 181 characters installed.
      {"80 CJK characters", {cjk(80)}, 100, true},
      {"158 ASCII characters", {std::string(100, 'a'), std::string(57, 'a')}, 100, true},
      {"159 ASCII characters", {std::string(100, 'a'), std::string(58, 'a')}, 100, false},
      {"87 characters in 259 bytes, room 0", {cjk(43), cjk(43)}, 0, true},
      {"88 characters in 262 bytes: too long for the table", {cjk(43), cjk(44)}, 0, false},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    std::filesystem::path file = dir / "p";
    for (const std::string& component : c.components)
      file /= std::filesystem::path(std::u8string(component.begin(), component.end()));
    WriteFile(file, "x");
    const pack::Payload payload = pack::CollectPayload(dir / "p", c.room);
    EXPECT_EQ(payload.errors.empty(), c.accepted) << c.what << ": " << (payload.errors.empty() ? "" : payload.errors[0]);
  }
}

TEST(CollectPayload, StopsDescendingPastTheLengthLimit) {
  ScratchDir dir;
  std::filesystem::path deep = dir / "p";
  for (int i = 0; i < 400; ++i) deep /= "d";
  WriteFile(deep / "f.txt", "x");
  WriteFile(dir / "p/top.txt", "t");
  const pack::Payload payload = pack::CollectPayload(dir / "p", pack::kDefaultDestinationRoom);
  // One error for the first folder too deep, not one per level below it.
  ASSERT_EQ(payload.errors.size(), 1u);
  EXPECT_NE(payload.errors[0].find("too long"), std::string::npos) << payload.errors[0];
  EXPECT_EQ(Names(payload), std::vector<std::string>{"top.txt"});
}

TEST(CollectPayload, NamesTheFolderItCannotListWithTheReason) {
  if (geteuid() == 0) GTEST_SKIP() << "root lists any folder";
  ScratchDir dir;
  WriteFile(dir / "p/a.txt", "a");
  WriteFile(dir / "p/locked/b.txt", "b");
  std::filesystem::permissions(dir / "p/locked", std::filesystem::perms::none);
  const pack::Payload payload = pack::CollectPayload(dir / "p", pack::kDefaultDestinationRoom);
  std::filesystem::permissions(dir / "p/locked", std::filesystem::perms::owner_all);
  ASSERT_EQ(payload.errors.size(), 1u);
  EXPECT_NE(payload.errors[0].find("cannot list \"locked\": Permission denied"), std::string::npos)
      << payload.errors[0];
}

TEST(CollectPayload, ReportsEveryProblemItFinds) {
  const struct {
    const char* what;
    std::function<void(const std::filesystem::path&)> make;
    const char* errorPart;
  } cases[] = {
      {"colon", [](auto& d) { WriteFile(d / "a:b.txt", "x"); }, "colon"},
      {"backslash in a Linux name", [](auto& d) { WriteFile(d / "a\\b.txt", "x"); }, "backslash"},
      {"device name", [](auto& d) { WriteFile(d / "sub/CON.txt", "x"); }, "device"},
      {"trailing dot", [](auto& d) { WriteFile(d / "name.", "x"); }, "dot"},
      {"letter case collision", [](auto& d) { WriteFile(d / "Read.me", "1"); WriteFile(d / "read.ME", "2"); },
       "letter case"},
      {"non-ASCII letter case collision",
       [](auto& d) { WriteFile(d / "\xC3\xA9.txt", "1"); WriteFile(d / "\xC3\x89.txt", "2"); }, "letter case"},
      {"invalid UTF-8, shown escaped", [](auto& d) { WriteFile(d / "caf\xE9.txt", "x"); },
       "\"caf\\xE9.txt\": the name is not valid UTF-8"},
      {"too long for the destination", [](auto& d) { WriteFile(d / std::string(159, 'n'), "x"); }, "too long"},
      {"dangling link", [](auto& d) { std::filesystem::create_symlink(d / "gone", d / "dangling"); },
       "leads nowhere: No such file or directory"},
      {"4 GiB file",
       [](auto& d) { WriteFile(d / "huge.bin", ""); std::filesystem::resize_file(d / "huge.bin", 1ull << 32); },
       "smaller than 4 GiB"},
      {"no files at all", [](auto& d) { std::filesystem::create_directories(d / "only/folders"); }, "holds no files"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    c.make(dir.path());
    const pack::Payload payload = pack::CollectPayload(dir.path(), pack::kDefaultDestinationRoom);
    ASSERT_FALSE(payload.errors.empty()) << c.what;
    EXPECT_NE(payload.errors[0].find(c.errorPart), std::string::npos) << c.what << ": " << payload.errors[0];
  }
}

TEST(CollectPayload, NameLengthLeavesTheRequestedRoomForTheDestination) {
  ScratchDir dir;
  WriteFile(dir / std::string(158, 'n'), "x");  // 259 - 100 - 1 = 158
  EXPECT_TRUE(pack::CollectPayload(dir.path(), 100).errors.empty());
  EXPECT_FALSE(pack::CollectPayload(dir.path(), 101).errors.empty());
}

TEST(CollectPayload, AMissingFolderIsAnError) {
  ScratchDir dir;
  const pack::Payload payload = pack::CollectPayload(dir / "missing", 100);
  ASSERT_EQ(payload.errors.size(), 1u);
  EXPECT_NE(payload.errors[0].find("does not exist"), std::string::npos);
}

}  // namespace
