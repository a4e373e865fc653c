// The wizard's rules that need no window: the picture chosen by locale and
// date, Easter, the layout at several DPIs, the progress bar and its
// highlight, and the elevated restart's command line.

#include <gtest/gtest.h>

#include <vector>

#include "integration/relaunch_parameters.h"
#include "wizard/picture_rule.h"
#include "wizard/wizard_layout.h"

namespace {

// Month 0 is January, as struct tm counts.
CalendarDate Date(int year, int month, int day) { return {year, month, day}; }

TEST(PictureRuleTest, EasterMatchesThePublishedDates) {
  const struct {
    int year, month, day;
  } cases[] = {{1818, 2, 22}, {1943, 3, 25}, {2000, 3, 23}, {2008, 2, 23}, {2011, 3, 24}, {2019, 3, 21},
               {2020, 3, 12}, {2021, 3, 4},  {2022, 3, 17}, {2023, 3, 9},  {2024, 2, 31}, {2025, 3, 20},
               {2026, 3, 5},  {2038, 3, 25}, {2285, 2, 22}};
  for (const auto& c : cases) {
    const CalendarDate easter = EasterSunday(c.year);
    EXPECT_EQ(easter.month, c.month) << c.year;
    EXPECT_EQ(easter.day, c.day) << c.year;
  }
}

TEST(PictureRuleTest, DayOfYearCountsLeapDays) {
  EXPECT_EQ(DayOfYear(Date(2023, 0, 1)), 0);
  EXPECT_EQ(DayOfYear(Date(2023, 2, 1)), 59);
  EXPECT_EQ(DayOfYear(Date(2024, 2, 1)), 60);
  EXPECT_EQ(DayOfYear(Date(2024, 11, 31)), 365);
  EXPECT_EQ(DayOfYear(Date(1900, 2, 1)), 59) << "1900 was no leap year";
  EXPECT_EQ(DayOfYear(Date(2000, 2, 1)), 60);
}

TEST(PictureRuleTest, EachRuleFromItsFirstToItsLastDay) {
  const struct {
    CalendarDate today;
    int picture;
  } cases[] = {
      // The fixed days and ranges, with the days just outside them.
      {Date(2023, 0, 1), 154},   {Date(2023, 0, 2), 159},   {Date(2023, 1, 9), 159},   {Date(2023, 1, 10), 158},
      {Date(2023, 1, 14), 158},  {Date(2023, 1, 15), 158},  {Date(2023, 1, 16), 159},  {Date(2023, 5, 30), 156},
      {Date(2023, 6, 1), 145},   {Date(2023, 6, 2), 156},   {Date(2023, 6, 4), 151},   {Date(2023, 6, 5), 156},
      {Date(2023, 9, 14), 148},  {Date(2023, 9, 15), 150},  {Date(2023, 9, 31), 150},  {Date(2023, 10, 1), 148},
      {Date(2023, 10, 19), 148}, {Date(2023, 10, 20), 157}, {Date(2023, 10, 30), 157}, {Date(2023, 11, 1), 159},
      {Date(2023, 11, 14), 159}, {Date(2023, 11, 15), 146}, {Date(2023, 11, 25), 146}, {Date(2023, 11, 26), 159},
      {Date(2023, 11, 29), 159}, {Date(2023, 11, 30), 154}, {Date(2023, 11, 31), 154},
      // Seasons: first and last day of each.
      {Date(2023, 1, 28), 159},  {Date(2023, 2, 1), 155},   {Date(2023, 4, 31), 155},  {Date(2023, 5, 1), 156},
      {Date(2023, 7, 31), 156},  {Date(2023, 8, 1), 148},   {Date(2023, 10, 30), 157},
      // Easter 2021 is April 4: the five days before it and the day itself.
      {Date(2021, 2, 29), 155},  {Date(2021, 2, 30), 147},  {Date(2021, 2, 31), 147},  {Date(2021, 3, 4), 147},
      {Date(2021, 3, 5), 155},
      // Easter 2024 is March 31 in a leap year.
      {Date(2024, 2, 25), 155},  {Date(2024, 2, 26), 147},  {Date(2024, 2, 31), 147},  {Date(2024, 3, 1), 155},
      // Easter 2038 is April 25.
      {Date(2038, 3, 19), 155},  {Date(2038, 3, 20), 147},  {Date(2038, 3, 26), 155},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PictureFor(1033, c.today), c.picture)
        << c.today.year << "-" << c.today.month + 1 << "-" << c.today.day;
}

TEST(PictureRuleTest, OtherLocalesGetTheGenericPicture) {
  for (unsigned long lcid : {1031ul, 2057ul, 1036ul, 0ul})
    for (const CalendarDate today : {Date(2023, 6, 4), Date(2021, 3, 4), Date(2023, 11, 31)})
      EXPECT_EQ(PictureFor(lcid, today), 149) << lcid;
}

TEST(WizardLayoutTest, EveryConstantIsScaledOnItsOwn) {
  const struct {
    int dpi;
    int window, windowHeight, logoWidth, logoHeight, picture;
  } cases[] = {{96, 420, 340, 175, 36, 200},
               {120, 525, 425, 218, 45, 250},
               {144, 630, 510, 262, 54, 300},
               {192, 840, 680, 350, 72, 400}};
  for (const auto& c : cases) {
    const double s = c.dpi / 96.0;
    EXPECT_EQ(Scaled(420, s), c.window) << c.dpi;
    EXPECT_EQ(Scaled(340, s), c.windowHeight) << c.dpi;
    EXPECT_EQ(Scaled(175, s), c.logoWidth) << c.dpi;
    EXPECT_EQ(Scaled(36, s), c.logoHeight) << c.dpi;
    EXPECT_EQ(Scaled(200, s), c.picture) << c.dpi;
  }
  // Negative constants truncate toward zero.
  EXPECT_EQ(Scaled(-86, 1.25), -107);
  EXPECT_EQ(Scaled(-70, 1.25), -87);
}

TEST(WizardLayoutTest, LocationPageControlsAtEachDpi) {
  const struct {
    int dpi, width, height;
    LayoutRect destination, firstBox, thirdBox, browse, reset, next, cancel, progress;
  } cases[] = {
      {96, 404, 301, {30, 110, 344, 20}, {30, 170, 300, 16}, {30, 210, 300, 16}, {288, 135, 86, 22},
       {158, 135, 120, 22}, {220, 268, 86, 25}, {308, 268, 86, 25}, {30, 265, 344, 6}},
      {120, 515, 386, {37, 137, 440, 25}, {37, 212, 375, 20}, {37, 262, 375, 20}, {371, 168, 107, 27},
       {209, 168, 150, 27}, {285, 345, 107, 31}, {395, 345, 107, 31}, {37, 341, 440, 7}},
      {144, 624, 471, {45, 165, 534, 30}, {45, 255, 450, 24}, {45, 315, 450, 24}, {450, 202, 129, 33},
       {255, 202, 180, 33}, {348, 422, 129, 37}, {480, 422, 129, 37}, {45, 417, 534, 9}},
      {192, 832, 640, {60, 220, 712, 40}, {60, 340, 600, 32}, {60, 420, 600, 32}, {600, 270, 172, 44},
       {340, 270, 240, 44}, {464, 574, 172, 50}, {640, 574, 172, 50}, {60, 568, 712, 12}},
  };
  for (const auto& c : cases) {
    const double s = c.dpi / 96.0;
    EXPECT_EQ(DestinationRect(c.width, s), c.destination) << c.dpi;
    EXPECT_EQ(CheckBoxRect(0, s), c.firstBox) << c.dpi;
    EXPECT_EQ(CheckBoxRect(2, s), c.thirdBox) << c.dpi;
    EXPECT_EQ(BrowseRect(c.width, s), c.browse) << c.dpi;
    EXPECT_EQ(ResetRect(c.width, s), c.reset) << c.dpi;
    EXPECT_EQ(NextRect(c.width, c.height, s), c.next) << c.dpi;
    EXPECT_EQ(CancelRect(c.width, c.height, s), c.cancel) << c.dpi;
    EXPECT_EQ(LaunchRect(c.width, c.height, s), c.cancel) << "Launch takes Cancel's place at " << c.dpi;
    EXPECT_EQ(ProgressRect(c.width, c.height, s), c.progress) << c.dpi;
  }
}

TEST(WizardLayoutTest, StepTotalCountsTheOfferedFamilies) {
  const struct {
    int desktop, startMenu, startup, uninstall, total;
  } cases[] = {{0, 0, 0, 0, 5}, {1, 1, 1, 1, 9}, {1, 0, 0, 0, 6}, {0, 2, 0, 1, 7}, {0, 0, -1, 0, 6}};
  for (const auto& c : cases) {
    InstallerConfig config;
    config.setupDesktopIcon = c.desktop;
    config.setupStartMenu = c.startMenu;
    config.setupStartup = c.startup;
    config.setupUninstallInformation = c.uninstall;
    EXPECT_EQ(ProgressStepTotal(config), c.total);
  }
}

TEST(WizardLayoutTest, FillAndHighlightAppearAtTheirWidths) {
  const struct {
    int width;
    double fraction, scale;
    int filled;
    bool fill, glint;
  } cases[] = {{344, 0.1, 1.0, 34, true, false},  {344, 0.0, 1.0, 0, false, false},
               {344, 1.0 / 9, 1.0, 38, true, false}, {344, 48.0 / 344, 1.0, 48, true, true},
               {344, 1.0, 1.0, 344, true, true},  {100, 0.08, 1.0, 8, false, false},
               {100, 0.09, 1.0, 9, true, false},  {100, 0.59, 1.25, 59, true, false},
               {100, 0.60, 1.25, 60, true, true}};
  for (const auto& c : cases) {
    const int filled = ProgressFilled(c.width, c.fraction);
    EXPECT_EQ(filled, c.filled) << c.width << " x " << c.fraction;
    EXPECT_EQ(ShowsFill(filled, c.scale), c.fill) << filled;
    EXPECT_EQ(ShowsGlint(filled, c.scale), c.glint) << filled;
  }
}

TEST(WizardLayoutTest, HighlightSlidesBackAndForthOverTheFill) {
  // At 96 DPI over a fill of 60: steps of 2, turning after passing 12 and 0.
  Glint glint;
  std::vector<int> offsets;
  for (int frame = 0; frame < 18; ++frame) {
    const GlintSpan span = AdvanceGlint(glint, 30, 60, 1.0);
    EXPECT_EQ(span.mid - span.left, 20);
    EXPECT_EQ(span.right - span.mid, 20);
    offsets.push_back(span.left - 30 - 4);
  }
  EXPECT_EQ(offsets, (std::vector<int>{2, 4, 6, 8, 10, 12, 14, 12, 10, 8, 6, 4, 2, 0, -2, 0, 2, 4}));

  // At 200 % the step is 4 and the halves 40 wide.
  Glint large;
  const GlintSpan first = AdvanceGlint(large, 60, 200, 2.0);
  EXPECT_EQ(first, (GlintSpan{60 + 8 + 4, 60 + 8 + 4 + 40, 60 + 8 + 4 + 80}));
  EXPECT_EQ(large.velocity, 4);
}

TEST(WizardLayoutTest, OnlyExactlyDoubleScaleShiftsTheHighlight) {
  const struct {
    double scale;
    int shift;
  } cases[] = {{1.0, 0}, {1.25, 0}, {1.5, 0}, {2.0, 1}, {2.5, 0}, {1.9999, 0}};
  for (const auto& c : cases) EXPECT_EQ(GlintShift(c.scale), c.shift) << c.scale;
}

TEST(LocationRelaunchTest, ParametersCarryTheChoicesAndTheDestinationLast) {
  const struct {
    WizardChoices choices;
    bool logging;
    const char* destination;
    const char* parameters;
  } cases[] = {
      {{1, 0, 0, 1}, false, "D:\\Program Files\\Quenlith",
       "/elevate /startmenu /startup /location D:\\Program Files\\Quenlith"},
      {{1, 0, 0, 1}, true, "D:\\Program Files\\Quenlith",
       "/elevate /startmenu /startup /debug /location D:\\Program Files\\Quenlith"},
      {{1, 1, 1, 1}, false, "C:\\X", "/elevate /startmenu /desktop /uninstall /startup /location C:\\X"},
      {{0, 0, 0, 0}, false, "C:\\X  ", "/elevate /location C:\\X  "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LocationRelaunchParameters(c.choices, c.logging, c.destination), c.parameters);
}

}  // namespace
