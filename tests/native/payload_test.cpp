// Gathering a payload folder: order, names, sizes and the problems reported.

#include <gtest/gtest.h>

#include <filesystem>

#include "payload.h"
#include "test_support.h"

namespace {

using testing_support::ScratchDir;
using testing_support::WriteFile;

std::vector<std::string> Names(const pack::Payload& payload) {
  std::vector<std::string> names;
  for (const pack::PayloadFile& file : payload.files) names.push_back(file.entry.name);
  return names;
}

TEST(CollectPayload, ListsEveryFileSortedWithBackslashNamesAndSizes) {
  ScratchDir dir;
  WriteFile(dir / "b.txt", "bb");
  WriteFile(dir / "a/z.bin", std::string(4096, 'z'));
  WriteFile(dir / "a/deep/er/e.txt", "");
  WriteFile(dir / "A.dat", "1");
  const pack::Payload payload = pack::CollectPayload(dir.path(), pack::kDefaultDestinationRoom);
  EXPECT_TRUE(payload.errors.empty());
  EXPECT_EQ(Names(payload), (std::vector<std::string>{"A.dat", "a\\deep\\er\\e.txt", "a\\z.bin", "b.txt"}));
  EXPECT_EQ(payload.files[2].entry.size, 4096u);
  EXPECT_EQ(payload.files[1].entry.size, 0u);
  EXPECT_EQ(payload.totalBytes, 4096u + 2 + 1);
}

TEST(CollectPayload, FollowsLinksToFilesAndWarnsAboutEmptyFolders) {
  ScratchDir dir;
  WriteFile(dir / "real/data.txt", "data");
  std::filesystem::create_directories(dir / "payload/empty");
  std::filesystem::create_symlink(dir / "real/data.txt", dir / "payload/link.txt");
  const pack::Payload payload = pack::CollectPayload(dir / "payload", pack::kDefaultDestinationRoom);
  EXPECT_TRUE(payload.errors.empty());
  EXPECT_EQ(Names(payload), std::vector<std::string>{"link.txt"});
  ASSERT_EQ(payload.warnings.size(), 1u);
  EXPECT_NE(payload.warnings[0].find("empty"), std::string::npos);
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
      {"too long for the destination", [](auto& d) { WriteFile(d / std::string(159, 'n'), "x"); }, "too long"},
      {"dangling link", [](auto& d) { std::filesystem::create_symlink(d / "gone", d / "dangling"); },
       "not a regular file"},
      {"link to a folder",
       [](auto& d) { std::filesystem::create_directories(d / "x"); std::filesystem::create_directory_symlink(d / "x", d / "y"); },
       "link to a folder"},
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
