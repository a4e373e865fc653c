// Opening folders to the built-in Users group, called directly under Wine.
// Wine 8 answers every call of it with success but stores no access list
// (it reads back one made from the Unix mode bits, with or without the
// Users entry), so what can be checked here is each call's result and the
// log: nothing on success, one WARNING naming the failed call otherwise.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "etar/etar.h"
#include "platform/text.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace windows_test;

class SetDirectoryPermissionsTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(Native(root_));
    fs::create_directories(Native(root_));
    StartTestLog();
  }
  void TearDown() override { fs::remove_all(Native(root_)); }

  const std::string root_ = Utf8FromWide((fs::temp_directory_path() / "quenlith-permissions").wstring()) + "\\";
};

TEST_F(SetDirectoryPermissionsTest, AnExistingFolderIsOpenedWithoutALogLine) {
  const char* folders[] = {
      "plain",
      "with trailing backslash\\",  // as extraction names the folders it makes
      "nested\\two\\three\\",
      "Qu\xC3\xA9nlith \xE2\x9C\x93",  // a UTF-8 name the wide call must receive whole
  };
  for (const char* name : folders) {
    SCOPED_TRACE(name);
    const std::string folder = root_ + name;
    fs::create_directories(Native(folder));
    EXPECT_TRUE(SetDirectoryPermissions(folder));
  }
  EXPECT_EQ(TestLog(), "");
}

TEST_F(SetDirectoryPermissionsTest, AFolderThatCannotBeReadGivesOneWarningAndFalse) {
  const struct {
    const char* what;
    std::string folder;
    int error;
  } cases[] = {
      {"missing", root_ + "missing", 2},
      {"below a missing folder", root_ + "missing\\below\\", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartTestLog();
    EXPECT_FALSE(SetDirectoryPermissions(c.folder));
    const std::string log = TestLog();
    EXPECT_EQ(Count(log, "\n"), 1u) << log;
    EXPECT_NE(log.find("WARNING: etar.cpp:"), std::string::npos) << log;
    EXPECT_NE(log.find(" GetNamedSecurityInfo failed for \"" + c.folder + "\" (Error code: " + std::to_string(c.error) +
                       ")."),
              std::string::npos)
        << log;
  }
}

}  // namespace
