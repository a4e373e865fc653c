// The destination check called directly: what it answers for each kind of
// folder, and where it leaves the process's working directory.

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <string>

#include "destination/validation.h"
#include "platform/held_file.h"
#include "platform/text.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

std::string WorkingDirectory() {
  wchar_t buffer[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, buffer);
  return Utf8FromWide(buffer);
}

class DirectoryCheckTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    fs::remove_all(Native(root_));
    fs::create_directories(Native(start_));
    SetCurrentDirectoryW(WideFromUtf8(start_).c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryW(WideFromUtf8(FolderOf(CSIDL_COMMON_APPDATA)).c_str());
    fs::remove_all(Native(root_));
    MachineTest::TearDown();
  }
  const std::string root_ = FolderOf(CSIDL_COMMON_APPDATA) + "QuenlithCheckTest";
  const std::string start_ = root_ + "\\start";
};

TEST_F(DirectoryCheckTest, ARefusedFolderLeavesTheWorkingDirectoryAsItWas) {
  // A folder whose test file cannot be made: folders of every name it may take are in the way.
  for (int index = 0; index < kMaxNameTries; ++index)
    fs::create_directories(Native(root_ + "\\busy\\" + CandidateName("test.writing.txt", index)));
  // A file where a folder above the destination should be.
  WriteText(root_ + "\\blocker", "in the way");
  fs::create_directories(Native(start_ + "\\below"));
  const struct {
    const char* what;
    std::string path;
    DirectoryCheck answer;
  } cases[] = {
      {"no folder above it", "QuenlithCheckNowhere", DirectoryCheck::kNoParent},
      // Relative paths would be made wherever the process happens to run.
      {"a path below the working directory", "below\\Quenlith", DirectoryCheck::kNoParent},
      {"a path from the working drive's root", start_.substr(2) + "\\rooted", DirectoryCheck::kNoParent},
      {"a drive that does not exist", "Q:\\Quenlith", DirectoryCheck::kCannotCreate},
      {"a file in the way", root_ + "\\blocker\\Quenlith", DirectoryCheck::kCannotCreate},
      {"a folder that cannot be written", root_ + "\\busy", DirectoryCheck::kNotWritable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CreateAndValidateDirectory(c.path), c.answer);
    EXPECT_EQ(WorkingDirectory(), start_);
  }
  EXPECT_FALSE(Exists(start_ + "\\below\\Quenlith"));
  EXPECT_FALSE(Exists(start_ + "\\rooted"));
}

TEST_F(DirectoryCheckTest, AnAcceptedFolderThatExistedBecomesTheWorkingDirectory) {
  fs::create_directories(Native(root_ + "\\ready"));
  EXPECT_EQ(CreateAndValidateDirectory(root_ + "\\ready"), DirectoryCheck::kReady);
  EXPECT_EQ(WorkingDirectory(), root_ + "\\ready");
  EXPECT_FALSE(Exists(root_ + "\\ready\\test.writing.txt"));
}

}  // namespace
