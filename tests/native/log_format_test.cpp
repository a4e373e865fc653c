// How setup-log lines read.

#include <gtest/gtest.h>

#include "log/log_format.h"

namespace {

using namespace log_format;

TEST(LogFormat, LevelNames) {
  EXPECT_STREQ(LevelName(0), "NORMAL");
  EXPECT_STREQ(LevelName(1), "WARNING");
  EXPECT_STREQ(LevelName(2), "ERROR");
  EXPECT_STREQ(LevelName(3), "UNKNOWN");
  EXPECT_STREQ(LevelName(-1), "UNKNOWN");
}

TEST(LogFormat, SourceFileNameIsWhatFollowsTheLastSeparator) {
  EXPECT_EQ(SourceFileName("c:\\build\\setup\\split\\split.cpp"), "split.cpp");
  EXPECT_EQ(SourceFileName("setup/main/startup.cpp"), "startup.cpp");
  EXPECT_EQ(SourceFileName("plain.cpp"), "plain.cpp");
  EXPECT_EQ(SourceFileName("dir\\"), "");
}

TEST(LogFormat, MessageEntryKeepsEachMessageOnOneLine) {
  EXPECT_EQ(MessageEntry(384, kWarning, "c:\\src\\split.cpp", ":52 Two\nlines\n"),
            "[384] WARNING: split.cpp:52 Two\\nlines\\n");
  EXPECT_EQ(MessageEntry(-7, 9, "x.cpp", ":1 m"), "[-7] UNKNOWN: x.cpp:1 m");
}

TEST(LogFormat, FileLineHasCounterElapsedSecondsEntryAndBlank) {
  EXPECT_EQ(FileLine(5, 0.003, "entry"), "00000005\t0.00300000\tentry \n");
  EXPECT_EQ(FileLine(123456789, 61.25, ""), "123456789\t61.25000000\t \n");
}

TEST(LogFormat, LogFileNameUsesEnglishMonthsAndTwoDigitFields) {
  std::tm time = {};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 11;
  time.tm_mday = 8;
  time.tm_hour = 4;
  time.tm_min = 48;
  time.tm_sec = 15;
  EXPECT_EQ(LogFileName(time), "Quenlith-setup-December.08.2026-04.48.15.log");
  time.tm_mon = 0;
  time.tm_mday = 31;
  time.tm_hour = 23;
  EXPECT_EQ(LogFileName(time), "Quenlith-setup-January.31.2026-23.48.15.log");
  // The names a run takes when another run of the same second has the first.
  EXPECT_EQ(LogFileName(time, 1), "Quenlith-setup-January.31.2026-23.48.15_1.log");
  EXPECT_EQ(LogFileName(time, 12), "Quenlith-setup-January.31.2026-23.48.15_12.log");
}

}  // namespace
