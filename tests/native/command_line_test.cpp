// Switches on the installer's command line, matched as substrings.

#include <gtest/gtest.h>

#include "script/command_line.h"

namespace {

TEST(CommandLine, SwitchesAreSubstringsOfTheFirst259Characters) {
  const CommandLine line("/silentXYZ /prompt");
  EXPECT_TRUE(line.Has("/silent"));
  EXPECT_TRUE(line.Has("/prompt"));
  EXPECT_FALSE(line.Has("/PROMPT"));

  const CommandLine late(std::string(255, 'x') + " /wait");
  EXPECT_EQ(late.Copy().size(), 259u);
  EXPECT_FALSE(late.Has("/wait"));
  EXPECT_EQ(late.Full().size(), 261u);
}

TEST(CommandLine, SilentUnlessNosilentInEitherOrder) {
  EXPECT_TRUE(CommandLine("/silent").Silent());
  EXPECT_FALSE(CommandLine("/silent /nosilent").Silent());
  EXPECT_FALSE(CommandLine("/nosilent /silent").Silent());
  EXPECT_FALSE(CommandLine("").Silent());
}

TEST(CommandLine, DebugIgnoresCaseAndSearchesTheWholeLine) {
  EXPECT_TRUE(CommandLine("/DEBUG").Debug());
  EXPECT_TRUE(CommandLine(std::string(300, ' ') + "/Debug").Debug());
  EXPECT_FALSE(CommandLine("/debu").Debug());
}

TEST(CommandLine, ElevatedRelaunchKeepsLetterCase) {
  EXPECT_TRUE(CommandLine("/elevate /location C:\\x").ElevatedRelaunch());
  EXPECT_TRUE(CommandLine("/noprogramfileselevation /silent").ElevatedRelaunch());
  EXPECT_TRUE(CommandLine(std::string(300, ' ') + "/elevate").ElevatedRelaunch());
  EXPECT_FALSE(CommandLine("/ELEVATE").ElevatedRelaunch());
}

TEST(CommandLine, LocationTakesTheRestOfTheWholeLine) {
  EXPECT_EQ(CommandLine("/elevate /desktop /location C:\\Program Files\\My App /silent").Location(),
            "C:\\Program Files\\My App /silent");
  const std::string longPath = "D:\\" + std::string(290, 'p');
  EXPECT_EQ(CommandLine("/location " + longPath).Location(), longPath);
  EXPECT_EQ(CommandLine("/location").Location(), std::nullopt);
  EXPECT_EQ(CommandLine("/location ").Location(), "");
  // As a shell passes a path with blanks.
  EXPECT_EQ(CommandLine("/startup /location \"C:\\My Apps\\Quenlith\"").Location(), "C:\\My Apps\\Quenlith");
  EXPECT_EQ(CommandLine("/location \"").Location(), "\"");
  EXPECT_EQ(CommandLine("/location \"C:\\a\" /silent").Location(), "\"C:\\a\" /silent");
}

}  // namespace
