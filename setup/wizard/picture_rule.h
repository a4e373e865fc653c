#pragma once
// Which picture the wizard shows, by the user's locale and the calendar.
// Needs no Windows API. The pictures' ids are named in setup_ids.h.

#include "setup_ids.h"

// A date as struct tm counts it: month 0 for January, day 1 to 31.
struct CalendarDate {
  int year = 1970;  // the full year, such as 2024
  int month = 0;
  int day = 1;
};

// The picture for users outside the one locale the seasonal pictures suit.
inline constexpr int kGenericPicture = IDB_PICTURE_GREETINGS;
// The only locale (LCID) that gets the seasonal pictures.
inline constexpr unsigned long kSeasonalPictureLocale = 1033;

// Easter Sunday of `year` in the Gregorian calendar (anonymous algorithm).
CalendarDate EasterSunday(int year);

// 0 for January 1, as tm_yday counts.
int DayOfYear(const CalendarDate& date);

// The PNG resource id of the seasonal picture for `today` (locale 1033).
int SeasonalPicture(const CalendarDate& today);

// The PNG resource id for a user of locale `lcid` on `today`.
int PictureFor(unsigned long lcid, const CalendarDate& today);
