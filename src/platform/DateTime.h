// Date-time values and their texts, as the host, its requests, its log and its store use them.
//
// A TDateTime is a count of days since 1899-12-30 00:00 in local time; the fraction is the time
// of day. Before that day the value is negative and its fraction still counts forward from
// midnight (-1.25 is 1899-12-29 06:00), so the whole part and the fraction are read separately.
//
// Texts follow the host's fixed settings: dates "yyyy-mm-dd" with "-", times "hh:nn:ss" with
// ":", whatever the operating system's regional settings say. Nothing here reads or keeps
// process-wide state, so every function is safe to call from any thread.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

using TDateTime = double;

// The conversion error of a text that does not read as a date-time, with the text in its message.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int milliSecond);

// Throws EConvertError when the parts are out of range (years 1 to 9999).
TDateTime EncodeDateTime(const TDateTimeParts& parts);
// Rounds to the nearest millisecond, as the conversions to text do.
TDateTimeParts DecodeDateTime(TDateTime value);

// The current local date and time, to the millisecond.
TDateTime Now();

// The value shifted by a number of minutes, computed as (V x 1440 + M) / 1440 in extended
// precision.
TDateTime IncMinutes(TDateTime value, std::int64_t minutes);

// Formats a value by a pattern of letters, matched without regard to case:
//   yyyy four-digit year, yy two-digit year, mm / m month, dd / d day,
//   hh / h hour 0-23, nn / n minute, ss / s second, zzz / z millisecond.
// "mm" and "m" stand for minutes when the last letter field before them was an hour field, with
// literals in between ignored, so "hh:mm" is hours and minutes. Text in single or double quotes is copied literally;
// every other character is copied as it stands. Examples used by the host:
// "yyyy-mm-dd hh:nn:ss", "yyyymmdd", "yyyy-mm-dd hh:nn", "YYYY-MM-DD HH:NN:SS".
std::string FormatDateTime(const std::string& format, TDateTime value);

// Reads a date-time text under the host's fixed settings: blanks around it are ignored; the date
// is year, month and day in that order separated by "-"; it may be followed by one or more blanks
// and a time of hours and minutes with optional seconds and milliseconds ("hh:nn[:ss[.zzz]]"),
// separated by ":". A date alone is midnight; a time alone is that time on day 0. A year of one or
// two digits is taken in the fifty years either side of the current year. Nothing else converts.
bool TryStrToDateTime(const std::string& text, TDateTime& value);
// As TryStrToDateTime; a text that does not convert throws EConvertError with the message
// "'<text>' is not a valid date and time".
TDateTime StrToDateTime(const std::string& text);

// A Boolean text: a text that reads as a number is true when the number is not zero; otherwise
// "True" is true and "False" is false, compared without regard to case; any other text, the empty
// text included, is false.
bool BoolTextToBool(const std::string& text);
