// The parameters of the clean-up relaunch.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/launch.h"

namespace {

TEST(CleanupRelaunchTest, ParametersCarryTheArgumentsAfterTheProgram) {
  const struct {
    std::vector<std::string> commandLine;
    const char* parameters;
  } cases[] = {
      {{"C:\\setup.exe"}, "/noprogramfileselevation "},
      {{"C:\\setup.exe", "/prompt"}, "/noprogramfileselevation /prompt"},
      {{"C:\\setup.exe", "/location", "D:\\My Apps"}, "/noprogramfileselevation /location D:\\My Apps"},
      {{}, "/noprogramfileselevation "},
  };
  for (const auto& c : cases) EXPECT_EQ(CleanupRelaunchParameters(c.commandLine), c.parameters);
}

}  // namespace
