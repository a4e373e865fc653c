// The run's own temporary files: created under a free name, held against
// every other program of the same user from creation to last use, gone when
// closed. The other program is a second process, as an attacker would be.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/held_file.h"
#include "platform/text.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

class HeldFileTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(work_);
    fs::create_directories(work_);
  }
  void TearDown() override { fs::remove_all(work_); }
  std::string Folder() const { return Utf8FromWide(work_.wstring()); }

  const fs::path work_ = fs::temp_directory_path() / "quenlith-held-file-test";
};

TEST_F(HeldFileTest, NoOtherProcessCanWriteDeleteOrRenameIt) {
  std::optional<HeldFile> file = HeldFile::Create(Folder(), "compressed.dat", false);
  ASSERT_TRUE(file);
  std::FILE* writer = file->StreamFromStart("wb");
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(std::fwrite("payload", 1, 7, writer), 7u);
  ASSERT_EQ(std::fclose(writer), 0);

  const ToolRun tamper = RunWintool({"tamper", file->Path()});
  EXPECT_EQ(tamper.exitCode, 0u) << tamper.output;
  for (const char* attempt : {"write refused", "delete refused", "rename refused"})
    EXPECT_NE(tamper.output.find(attempt), std::string::npos) << attempt << "\n" << tamper.output;
  EXPECT_EQ(file->ReadAll(), "payload") << "still the file written";
}

TEST_F(HeldFileTest, ClosingItDeletesIt) {
  std::optional<HeldFile> file = HeldFile::Create(Folder(), "compressed.dat", false);
  ASSERT_TRUE(file);
  const std::string path = file->Path();
  std::FILE* reader = file->StreamFromStart("rb");
  ASSERT_NE(reader, nullptr);
  std::fclose(reader);
  EXPECT_TRUE(Exists(path)) << "a stream's close leaves the file held";
  file->Delete();
  EXPECT_FALSE(Exists(path));
  EXPECT_TRUE(fs::is_empty(work_));
}

TEST_F(HeldFileTest, ATakenNameIsNeverOpened) {
  WriteText(Folder() + "\\quenlith_setup_text", "another run's script");
  WriteText(Folder() + "\\quenlith_setup_text_1", "a third run's script");

  EXPECT_FALSE(HeldFile::Create(Folder(), "quenlith_setup_text", false)) << "an exact name must be new";
  std::optional<HeldFile> file = HeldFile::Create(Folder(), "quenlith_setup_text", true);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Path(), Folder() + "\\quenlith_setup_text_2");
  std::optional<HeldFile> next = HeldFile::Create(Folder(), "quenlith_setup_text", true);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Path(), Folder() + "\\quenlith_setup_text_3") << "a held name is taken too";
  EXPECT_EQ(ReadText(Folder() + "\\quenlith_setup_text"), "another run's script");
  EXPECT_EQ(ReadText(Folder() + "\\quenlith_setup_text_1"), "a third run's script");
}

TEST_F(HeldFileTest, FoldersTakeTheFirstFreeNameAndGiveUpWhenNoneIsLeft) {
  fs::create_directories(work_ / "quenlith_temp_100");
  WriteText(Folder() + "\\quenlith_temp_100_1", "a file of that name");
  EXPECT_EQ(CreateUniqueFolder(Folder(), "quenlith_temp_100"), Folder() + "\\quenlith_temp_100_2");
  EXPECT_TRUE(fs::is_empty(work_ / "quenlith_temp_100")) << "an existing folder is left alone";

  for (int index = 0; index < kMaxNameTries; ++index)
    fs::create_directories(work_ / CandidateName("quenlith_temp_200", index));
  EXPECT_FALSE(CreateUniqueFolder(Folder(), "quenlith_temp_200"));
}

}  // namespace
