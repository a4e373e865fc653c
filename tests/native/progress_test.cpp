// The progress line: nothing before its delay or when disabled; once shown,
// done of total, rate and time left; blanked completely at the end.

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "pack/progress.h"

namespace {

TEST(ProgressLine, NothingWhenDisabledOrBeforeTheDelay) {
  for (const auto& [enabled, delay] : {std::pair{false, std::chrono::milliseconds(0)},
                                       std::pair{true, std::chrono::milliseconds(3'600'000)}}) {
    std::ostringstream out;
    {
      pack::ProgressLine line(out, enabled, delay);
      line.Update(5'000'000, 10'000'000);
      line.Clear();
    }
    EXPECT_EQ(out.str(), "") << enabled;
  }
}

TEST(ProgressLine, ShowsDoneTotalRateAndTimeLeftThenBlanksItself) {
  std::ostringstream out;
  pack::ProgressLine line(out, true, std::chrono::milliseconds(0));
  line.Update(2'500'000, 0);  // the total is not known yet
  const std::string first = out.str();
  EXPECT_EQ(first.rfind("\r2.5 MB, ", 0), 0u) << first;
  EXPECT_NE(first.find(" MB/s"), std::string::npos) << first;
  EXPECT_EQ(first.find("left"), std::string::npos) << first;

  std::this_thread::sleep_for(std::chrono::milliseconds(120));  // past the redraw limit
  line.Update(5'000'000, 10'000'000);
  const std::string second = out.str().substr(first.size());
  EXPECT_EQ(second.rfind("\r5.0 of 10.0 MB (50%), ", 0), 0u) << second;
  EXPECT_NE(second.find(" s left"), std::string::npos) << second;

  line.Clear();
  const std::string cleared = out.str().substr(first.size() + second.size());
  EXPECT_EQ(cleared, "\r" + std::string(second.size() - 1, ' ') + "\r");
  line.Clear();  // once is enough
  EXPECT_EQ(out.str().size(), first.size() + second.size() + cleared.size());
}

}  // namespace
