// The setup log on Windows: the file on the desktop, its header, numbering
// and closing lines, and lines written from several threads and logs.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "log/setup_log.h"
#include "platform/text.h"

namespace {

std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream in(std::filesystem::path(WideFromUtf8(path)), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  std::vector<std::string> lines;
  std::string text = content.str();
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// The entry of a file line, after checking the counter and the line format.
std::string EntryOf(const std::string& line, int counter) {
  static const std::regex kLine(R"((\d{8})\t(\d+\.\d{5}000)\t(.*) )");
  std::smatch match;
  if (!std::regex_match(line, match, kLine)) return "<malformed> " + line;
  if (std::stoi(match[1]) != counter) return "<counter " + std::string(match[1]) + "> " + line;
  return match[3];
}

class SetupLogTest : public testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& path : paths_) std::filesystem::remove(std::filesystem::path(WideFromUtf8(path)));
  }
  std::string Keep(const std::string& path) {
    paths_.push_back(path);
    return path;
  }
  std::vector<std::string> paths_;
};

TEST_F(SetupLogTest, DisabledLogWritesNothingButRemembersErrors) {
  SetupLog log;
  log.Write(log_format::kError, "c:\\src\\x.cpp", ":1 failed");
  log.Close();
  EXPECT_EQ(log.LogPath(), "");
  EXPECT_TRUE(log.ErrorsSeen());
}

TEST_F(SetupLogTest, HeaderThenNumberedMessagesThenClosingLinesOnce) {
  SetupLog log;
  log.Enable();
  log.Write(log_format::kNormal, "c:\\src\\setup\\startup.cpp", ":12 Setup size: \"1\".");
  log.Write(log_format::kWarning, "plain.cpp", ":7 two\nlines");
  const std::string path = Keep(log.LogPath());
  EXPECT_NE(path.find("\\Desktop\\Quenlith-setup-"), std::string::npos) << path;
  log.Close();
  log.Close();

  const std::vector<std::string> lines = FileLines(path);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(EntryOf(lines[0], 0), "Quenlith setup log file");
  EXPECT_EQ(EntryOf(lines[1], 1), "------------------------------");
  EXPECT_EQ(EntryOf(lines[2], 2).rfind("Version: ", 0), 0u);
  EXPECT_TRUE(std::regex_match(EntryOf(lines[3], 3), std::regex(R"(Windows: \d+\.\d+ Build \d+)")));
  EXPECT_EQ(EntryOf(lines[4], 4), "------------------------------");
  const std::string thread = std::to_string(GetCurrentThreadId());
  EXPECT_EQ(EntryOf(lines[5], 5), "[" + thread + "] NORMAL: startup.cpp:12 Setup size: \"1\".");
  EXPECT_EQ(EntryOf(lines[6], 6), "[" + thread + "] WARNING: plain.cpp:7 two\\nlines");
  EXPECT_EQ(EntryOf(lines[7], 7), "------------------------------");
  EXPECT_EQ(EntryOf(lines[8], 8), "Quenlith setup exited successfully");
}

TEST_F(SetupLogTest, ClosingLineSaysWhetherAnErrorWasLoggedAtAnyTime) {
  const struct {
    const char* what;
    int levelBeforeEnabling;  // -1: none
    int levelAfter;
    const char* closing;
  } cases[] = {
      {"error before enabling", log_format::kError, log_format::kNormal, "Quenlith setup exited with errors"},
      {"error after enabling", -1, log_format::kError, "Quenlith setup exited with errors"},
      {"warnings only", log_format::kWarning, log_format::kWarning, "Quenlith setup exited successfully"},
      {"unknown level", -1, 7, "Quenlith setup exited successfully"},
  };
  for (const auto& c : cases) {
    SetupLog log;
    if (c.levelBeforeEnabling >= 0) log.Write(c.levelBeforeEnabling, "a.cpp", ":1 before");
    log.Enable();
    log.Write(c.levelAfter, "a.cpp", ":2 after");
    const std::string path = Keep(log.LogPath());
    log.Close();
    const std::vector<std::string> lines = FileLines(path);
    ASSERT_EQ(lines.size(), 8u) << c.what;
    EXPECT_EQ(EntryOf(lines.back(), 7), c.closing) << c.what;
    if (c.levelAfter == 7) {
      EXPECT_NE(lines[5].find("] UNKNOWN: a.cpp:2 after"), std::string::npos) << lines[5];
    }
    // The next case may open a file of the same name within the same second.
    std::filesystem::remove(std::filesystem::path(WideFromUtf8(path)));
  }
}

TEST_F(SetupLogTest, AWriteAfterCloseBeginsAgainWithAHeaderAndTheCounterGoesOn) {
  SetupLog log;
  log.Enable();
  log.Write(log_format::kNormal, "a.cpp", ":1 first");
  const std::string first = Keep(log.LogPath());
  log.Close();
  log.Write(log_format::kNormal, "a.cpp", ":2 second");
  const std::string second = Keep(log.LogPath());
  log.Close();
  // Within the same second both land in one file; otherwise in two.
  std::vector<std::string> lines = FileLines(first);
  if (second != first) {
    const std::vector<std::string> more = FileLines(second);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(EntryOf(lines[8], 8), "Quenlith setup log file");
  EXPECT_NE(EntryOf(lines[13], 13).find("a.cpp:2 second"), std::string::npos);
  EXPECT_EQ(EntryOf(lines[15], 15), "Quenlith setup exited successfully");
}

TEST_F(SetupLogTest, LinesFromThreadsAndFromTwoLogsStayWhole) {
  constexpr int kLinesPerThread = 150;
  SetupLog first, second;  // constructed in the same second: one shared mutex
  first.Enable();
  second.Enable();
  std::vector<std::thread> threads;
  for (SetupLog* log : {&first, &second, &first, &second})
    threads.emplace_back([log] {
      for (int i = 0; i < kLinesPerThread; ++i)
        log->Write(log_format::kNormal, "t.cpp", ":" + std::to_string(i) + " line " + std::string(200, 'x'));
    });
  for (std::thread& thread : threads) thread.join();
  const std::string firstPath = Keep(first.LogPath()), secondPath = Keep(second.LogPath());
  first.Close();
  second.Close();

  std::vector<std::string> lines = FileLines(firstPath);
  if (secondPath != firstPath) {
    const std::vector<std::string> more = FileLines(secondPath);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  const std::regex kMessage(R"(\d{8}\t\d+\.\d{8}\t\[\d+\] NORMAL: t\.cpp:\d+ line x{200} )");
  int messages = 0;
  for (const std::string& line : lines) {
    if (std::regex_match(line, kMessage))
      ++messages;
    else
      EXPECT_EQ(line.find("t.cpp"), std::string::npos) << "broken line: " << line;
  }
  EXPECT_EQ(messages, 4 * kLinesPerThread);
}

TEST(LogMessages, BracesFormatTheirArguments) {
  std::FILE* none = nullptr;
  EXPECT_EQ(FormatLogMessage("Input or output file failure ({}, {}) for \"{}\" and \"{}\".",
                             {none, none, "C:\\a b.exe", std::string("C:\\Temp\\x")}),
            "Input or output file failure (0x0, 0x0) for \"C:\\a b.exe\" and \"C:\\Temp\\x\".");
  EXPECT_EQ(FormatLogMessage("{} {} {} {}", {-1, 4294967295u, true, 2.5}), "-1 4294967295 true 2.5");
  EXPECT_EQ(CallSiteText(42, "Signature size is {} bytes.", {0}), ":42 Signature size is 0 bytes.");
}

TEST(LogMessages, AMalformedFormatIsShownNotThrown) {
  EXPECT_NE(FormatLogMessage("broken {", {1}).find("broken {"), std::string::npos);
  EXPECT_NE(FormatLogMessage("{} {}", {1}).find("format error"), std::string::npos);
}

// Grouping follows the user's locale: the tests run this under several LANG values.
TEST(LogMessages, LocaleFormGroupsDigitsAsTheUserLocaleDoes) {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  ASSERT_GT(GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH), 0);
  const std::string locale = Utf8FromWide(name);
  const struct {
    const char* locale;
    const char* grouped;
  } cases[] = {{"en-US", "66,775,654"}, {"de-DE", "66.775.654"}, {"hi-IN", "6,67,75,654"}, {"fr-FR", "66 775 654"}};
  bool known = false;
  for (const auto& c : cases) {
    if (locale != c.locale) continue;
    known = true;
    EXPECT_EQ(FormatLogMessage("{:L} bytes", {66775654ull}), std::string(c.grouped) + " bytes");
    EXPECT_EQ(FormatLogMessage("{:L}", {999}), "999");
    EXPECT_EQ(FormatLogMessage("{}", {66775654}), "66775654") << "only {:L} groups";
  }
  EXPECT_TRUE(known) << "no expectation for the user locale " << locale;
}

}  // namespace
