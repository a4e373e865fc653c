#include "wizard/picture_rule.h"

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

CalendarDate EasterSunday(int year) {
  const int a = year % 19, b = year / 100, c = year % 100, d = b / 4, e = b % 4;
  const int f = (b + 8) / 25, g = (b - f + 1) / 3;
  const int h = (19 * a + b - d - g + 15) % 30;
  const int i = c / 4, k = c % 4;
  const int l = (32 + 2 * e + 2 * i - h - k) % 7;
  const int m = (a + 11 * h + 22 * l) / 451;
  const int n = h + l - 7 * m + 114;
  return {year, n / 31 - 1, n % 31 + 1};
}

int DayOfYear(const CalendarDate& date) {
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return kDaysBefore[date.month] + date.day - 1 + (date.month > 1 && IsLeapYear(date.year) ? 1 : 0);
}

int SeasonalPicture(const CalendarDate& today) {
  const int month = today.month, day = today.day;
  if (month == 0 && day == 1) return IDB_PICTURE_NEW_YEAR;
  if (month == 1 && day >= 10 && day <= 15) return IDB_PICTURE_SWEETHEARTS;
  if (month == 6 && day == 1) return IDB_PICTURE_NATIONAL_DAY;
  if (month == 6 && day == 4) return IDB_PICTURE_INDEPENDENCE_DAY;
  if (month == 9 && day >= 15) return IDB_PICTURE_HALLOWEEN;
  if (month == 10 && day >= 20 && day <= 30) return IDB_PICTURE_HARVEST_FEAST;
  if (month == 11 && day >= 15 && day <= 25) return IDB_PICTURE_WINTER_HOLIDAY;
  if (month == 11 && day >= 30) return IDB_PICTURE_NEW_YEAR;
  // The days before Easter, and Easter Sunday itself; the difference is taken
  // unsigned, so days after Easter never match.
  const unsigned untilEaster =
      static_cast<unsigned>(DayOfYear(EasterSunday(today.year)) - DayOfYear(today));
  if (untilEaster <= 5) return IDB_PICTURE_BEFORE_EASTER;
  if (month == 11 || month == 0 || month == 1) return IDB_PICTURE_WINTER;
  if (month >= 2 && month <= 4) return IDB_PICTURE_SPRING;
  if (month >= 5 && month <= 7) return IDB_PICTURE_SUMMER;
  return IDB_PICTURE_AUTUMN;
}

int PictureFor(unsigned long lcid, const CalendarDate& today) {
  return lcid == kSeasonalPictureLocale ? SeasonalPicture(today) : kGenericPicture;
}
