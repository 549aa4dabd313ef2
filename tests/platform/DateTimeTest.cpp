#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

TEST(DateTimeTest, EncodesDaysSinceTheEpochWithTimeAsFraction) {
  struct Row {
    TDateTimeParts parts;
    double value;
  } rows[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {{1899, 12, 31, 0, 0, 0, 0}, 1.0},
      {{1900, 1, 1, 12, 0, 0, 0}, 2.5},
      {{2024, 1, 5, 0, 0, 0, 0}, 45296.0},
      {{2024, 1, 5, 18, 0, 0, 0}, 45296.75},
      // Before the epoch the fraction still runs forward from that day's midnight.
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_DOUBLE_EQ(EncodeDateTime(row.parts), row.value);
    const TDateTimeParts back = DecodeDateTime(row.value);
    EXPECT_EQ(back.Year, row.parts.Year);
    EXPECT_EQ(back.Month, row.parts.Month);
    EXPECT_EQ(back.Day, row.parts.Day);
    EXPECT_EQ(back.Hour, row.parts.Hour);
  }
  EXPECT_THROW(EncodeDateTime({2023, 2, 29, 0, 0, 0, 0}), EConvertError);
}

TEST(DateTimeTest, FormatsTheHostPatterns) {
  const TDateTime v = At(2024, 1, 5, 13, 5, 9, 7);
  struct Row {
    const char* format;
    const char* text;
  } rows[] = {
      {"yyyy-mm-dd hh:nn:ss", "2024-01-05 13:05:09"},
      {"yyyymmdd", "20240105"},
      {"yyyy-mm-dd hh:nn", "2024-01-05 13:05"},
      {"YYYY-MM-DD HH:NN:SS", "2024-01-05 13:05:09"},
      {"hh:mm", "13:05"},  // minutes after an hour field
      {"yy-m-d h:n:s.zzz", "24-1-5 13:5:9.007"},
      {"'mm' dd", "mm 05"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FormatDateTime(row.format, v), row.text) << row.format;
  }
}

TEST(DateTimeTest, RoundsToTheMillisecondWhenFormatting) {
  // 23:59:59.9996 rounds up into the next day rather than showing 24:00.
  const TDateTime almostMidnight = At(2024, 2, 28) + (86399999.6 / 86400000.0);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", almostMidnight), "2024-02-29 00:00:00");
}

TEST(DateTimeTest, ConvertsTextsUnderTheFixedSettings) {
  struct Row {
    const char* text;
    TDateTime expected;
  } rows[] = {
      {"2024-01-05 13:05:09", At(2024, 1, 5, 13, 5, 9)},
      {"2024-01-05 13:05", At(2024, 1, 5, 13, 5)},
      {"2024-1-5 8:5:9", At(2024, 1, 5, 8, 5, 9)},
      {"  2024-01-05   13:05:09  ", At(2024, 1, 5, 13, 5, 9)},
      {"2024-01-05", At(2024, 1, 5)},
      {"2024-02-29 23:59:59.500", At(2024, 2, 29, 23, 59, 59, 500)},
      {"13:05:09", At(1899, 12, 30, 13, 5, 9)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TDateTime value = -1;
    ASSERT_TRUE(TryStrToDateTime(row.text, value));
    EXPECT_NEAR(value, row.expected, 1e-9);
  }
}

TEST(DateTimeTest, RejectsTextsThatAreNotDateTimes) {
  const char* rows[] = {
      "",           "   ",         "abc",        "2024/01/05 13:05",    "05-01-2024",
      "2024-13-01", "2023-02-29",  "2024-01-32", "2024-01-05 24:00:00", "2024-01-05 12:60",
      "2024-01-05 12:00:60", "2024-01-05T12:00", "2024-01-05 12", "2024-01-05 12:00 x",
      "2024-01", "12345-01-01", "2024--01-05", "-2024-01-05",
  };
  for (const char* text : rows) {
    TDateTime value = 0;
    EXPECT_FALSE(TryStrToDateTime(text, value)) << text;
  }
  try {
    StrToDateTime("2024-13-01");
    FAIL() << "expected a conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'2024-13-01' is not a valid date and time");
  }
}

TEST(DateTimeTest, TwoDigitYearsFallWithinFiftyYearsOfNow) {
  const int thisYear = DecodeDateTime(Now()).Year;
  const TDateTimeParts soon = DecodeDateTime(StrToDateTime(std::to_string((thisYear + 1) % 100) + "-06-01"));
  EXPECT_EQ(soon.Year, thisYear + 1);
  const TDateTimeParts past = DecodeDateTime(StrToDateTime(std::to_string((thisYear - 49) % 100) + "-06-01"));
  EXPECT_EQ(past.Year, thisYear - 49);
}

TEST(DateTimeTest, TextRoundTripIsTheSameInEveryTimeZone) {
  // The text form carries local wall-clock time; a value read from text and formatted again is
  // the same text in any time zone.
  const char* zones[] = {"UTC", "Asia/Shanghai", "America/New_York"};
  for (const char* zone : zones) {
    setenv("TZ", zone, 1);
    tzset();
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", StrToDateTime("2024-03-10 02:30:00")),
              "2024-03-10 02:30:00")
        << zone;
  }
  unsetenv("TZ");
  tzset();
}

TEST(DateTimeTest, NowIsLocalWallClockTime) {
  const time_t t = time(nullptr);
  tm local{};
  localtime_r(&t, &local);
  const TDateTime expected = At(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                local.tm_hour, local.tm_min, local.tm_sec);
  EXPECT_NEAR(Now(), expected, 5.0 / 86400);
}

TEST(DateTimeTest, ShiftsByMinutes) {
  const TDateTime v = At(2024, 1, 5, 12, 0);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", IncMinutes(v, 30)), "2024-01-05 12:30");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", IncMinutes(v, -720)), "2024-01-05 00:00");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", IncMinutes(v, 1440 * 2 + 1)), "2024-01-07 12:01");
  EXPECT_DOUBLE_EQ(IncMinutes(v, 0), v);
}

TEST(DateTimeTest, ReadsBooleanTexts) {
  struct Row {
    const char* text;
    bool value;
  } rows[] = {
      {"1", true},     {"0", false},     {"-1", true},    {"2", true},      {"0.0", false},
      {"0.5", true},   {" 1 ", true},    {"1e3", true},   {"True", true},   {"true", true},
      {"TRUE", true},  {"False", false}, {"false", false}, {"", false},     {"yes", false},
      {" True", false}, {"inf", false},  {"nan", false},  {"0x1", false},   {"+1", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(BoolTextToBool(row.text), row.value) << '"' << row.text << '"';
  }
}

}  // namespace
