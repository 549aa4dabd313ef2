#include "platform/DateTime.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Days from 0000-03-01 based civil calendar (proleptic Gregorian) to a day number.
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

constexpr int64_t kEpochDays = DaysFromCivil(1899, 12, 30);
constexpr int64_t kMsPerDay = 86400000;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// `value` in decimal, zero-padded to `width` digits. Every log entry's time stamp goes through
// here six times, so non-negative values skip the formatted output.
std::string Pad(int value, int width) {
  char buffer[16];
  if (value < 0 || width > 10) {
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
  }
  char* end = buffer + sizeof buffer;
  char* first = end;
  do {
    *--first = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (end - first < width) *--first = '0';
  return std::string(first, end);
}

// Reads an unsigned decimal number at pos; returns the number of digits read (0 when none).
int ScanNumber(const std::string& text, size_t& pos, int& value) {
  int digits = 0;
  value = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    if (digits >= 9) return 0;  // no field of a date-time has that many digits
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  return digits;
}

bool ScanChar(const std::string& text, size_t& pos, char c) {
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

int CurrentYear() { return DecodeDateTime(Now()).Year; }

// Year of one or two digits: the year within fifty years either side of the current one.
int ExpandYear(int year) {
  const int threshold = CurrentYear() - 50;
  year += threshold / 100 * 100;
  if (year < threshold) year += 100;
  return year;
}

bool ScanDate(const std::string& text, size_t& pos, TDateTime& date) {
  int year, month, day;
  const int yearDigits = ScanNumber(text, pos, year);
  if (yearDigits == 0 || yearDigits > 4 || !ScanChar(text, pos, '-')) return false;
  if (ScanNumber(text, pos, month) == 0 || !ScanChar(text, pos, '-')) return false;
  if (ScanNumber(text, pos, day) == 0) return false;
  if (yearDigits <= 2) year = ExpandYear(year);
  if (!IsValidDate(year, month, day)) return false;
  date = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
  return true;
}

bool ScanTime(const std::string& text, size_t& pos, TDateTimeParts& parts) {
  if (ScanNumber(text, pos, parts.Hour) == 0 || !ScanChar(text, pos, ':')) return false;
  if (ScanNumber(text, pos, parts.Minute) == 0) return false;
  if (ScanChar(text, pos, ':')) {
    if (ScanNumber(text, pos, parts.Second) == 0) return false;
    if (ScanChar(text, pos, '.')) {
      if (ScanNumber(text, pos, parts.MilliSecond) == 0) return false;
    }
  }
  return IsValidTime(parts.Hour, parts.Minute, parts.Second, parts.MilliSecond);
}

double TimeFraction(int hour, int minute, int second, int ms) {
  return static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + ms) / kMsPerDay;
}

TDateTime Combine(double date, double time) { return date >= 0 ? date + time : date - time; }

}  // namespace

bool IsValidDate(int year, int month, int day) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const int last = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  return day <= last;
}

bool IsValidTime(int hour, int minute, int second, int milliSecond) {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
         milliSecond >= 0 && milliSecond < 1000;
}

TDateTime EncodeDateTime(const TDateTimeParts& p) {
  if (!IsValidDate(p.Year, p.Month, p.Day) ||
      !IsValidTime(p.Hour, p.Minute, p.Second, p.MilliSecond)) {
    throw EConvertError("Invalid argument to date encode");
  }
  const double date = static_cast<double>(DaysFromCivil(p.Year, p.Month, p.Day) - kEpochDays);
  return Combine(date, TimeFraction(p.Hour, p.Minute, p.Second, p.MilliSecond));
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  int64_t day = static_cast<int64_t>(whole);
  if (ms >= kMsPerDay) {  // rounding reached the next midnight
    ms -= kMsPerDay;
    ++day;
  }
  TDateTimeParts parts;
  CivilFromDays(day + kEpochDays, parts.Year, parts.Month, parts.Day);
  parts.Hour = static_cast<int>(ms / 3600000);
  parts.Minute = static_cast<int>(ms / 60000 % 60);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.MilliSecond = static_cast<int>(ms % 1000);
  return parts;
}

namespace {

// The local time of the second last asked for on this thread. The C library's conversion takes a
// process-wide lock, which every log entry of every connection would otherwise contend for; the
// local time of a second only changes with the time zone, which is part of the key.
struct TLocalSecond {
  time_t Second = -1;
  long Zone = 0;
  const char* ZoneName = nullptr;
  tm Local{};
};
thread_local TLocalSecond GLocalSecond;

const tm& LocalTimeOf(time_t second) {
  TLocalSecond& cached = GLocalSecond;
  if (cached.Second != second || cached.Zone != timezone || cached.ZoneName != tzname[0]) {
    localtime_r(&second, &cached.Local);  // also sets timezone and tzname on first use
    cached.Second = second;
    cached.Zone = timezone;
    cached.ZoneName = tzname[0];
  }
  return cached.Local;
}

}  // namespace

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const tm& local = LocalTimeOf(ts.tv_sec);
  const double date = static_cast<double>(
      DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) - kEpochDays);
  // A leap second (tm_sec 60) is held at 59.
  const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return Combine(date, TimeFraction(local.tm_hour, local.tm_min, second,
                                    static_cast<int>(ts.tv_nsec / 1000000)));
}

TDateTime IncMinutes(TDateTime value, std::int64_t minutes) {
  const long double shifted = (static_cast<long double>(value) * 1440.0L + minutes) / 1440.0L;
  return static_cast<TDateTime>(shifted);
}

std::string FormatDateTime(const std::string& format, TDateTime value) {
  const TDateTimeParts p = DecodeDateTime(value);
  std::string out;
  char lastLetter = 0;
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    if (c == '\'' || c == '"') {
      const size_t end = format.find(c, i + 1);
      const size_t stop = end == std::string::npos ? format.size() : end;
      out.append(format, i + 1, stop - i - 1);
      i = stop == format.size() ? stop : stop + 1;
      continue;
    }
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == 0 || std::strchr("YMDHNSZ", letter) == nullptr) {
      out += c;
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < format.size() &&
           std::toupper(static_cast<unsigned char>(format[i + run])) == letter) {
      ++run;
    }
    if (letter == 'M' && lastLetter == 'H') letter = 'N';
    lastLetter = letter;
    switch (letter) {
      case 'Y':
        out += run <= 2 ? Pad(p.Year % 100, 2) : Pad(p.Year, 4);
        break;
      case 'M':
        out += Pad(p.Month, run >= 2 ? 2 : 1);
        break;
      case 'D':
        out += Pad(p.Day, run >= 2 ? 2 : 1);
        break;
      case 'H':
        out += Pad(p.Hour, run >= 2 ? 2 : 1);
        break;
      case 'N':
        out += Pad(p.Minute, run >= 2 ? 2 : 1);
        break;
      case 'S':
        out += Pad(p.Second, run >= 2 ? 2 : 1);
        break;
      case 'Z':
        out += Pad(p.MilliSecond, run >= 3 ? 3 : 1);
        break;
    }
    i += run;
  }
  return out;
}

bool TryStrToDateTime(const std::string& text, TDateTime& value) {
  size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  size_t end = text.size();
  while (end > pos && IsBlank(text[end - 1])) --end;
  const std::string body = text.substr(pos, end - pos);
  if (body.empty()) return false;

  pos = 0;
  double date = 0;
  TDateTimeParts time;
  const bool isTimeOnly = body.find('-') == std::string::npos;
  if (isTimeOnly) {
    if (!ScanTime(body, pos, time)) return false;
  } else {
    if (!ScanDate(body, pos, date)) return false;
    if (pos < body.size()) {
      if (!IsBlank(body[pos])) return false;
      while (pos < body.size() && IsBlank(body[pos])) ++pos;
      if (!ScanTime(body, pos, time)) return false;
    }
  }
  if (pos != body.size()) return false;
  value = Combine(date, TimeFraction(time.Hour, time.Minute, time.Second, time.MilliSecond));
  return true;
}

TDateTime StrToDateTime(const std::string& text) {
  TDateTime value = 0;
  if (!TryStrToDateTime(text, value)) {
    throw EConvertError("'" + text + "' is not a valid date and time");
  }
  return value;
}

namespace {
// A decimal number in the usual notation: blanks, optional sign, digits with an optional
// fraction, an optional exponent, blanks. Spellings such as "inf", "nan" or hexadecimal are not
// numbers here.
bool ReadNumber(const std::string& text, double& value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  const size_t start = i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  const size_t stop = i;
  while (i < n && IsBlank(text[i])) ++i;
  if (i != n) return false;
  // from_chars, unlike strtod, does not follow the locale's decimal separator, which the GUI
  // toolkit sets from the environment.
  const char* first = text.data() + start + (text[start] == '+' ? 1 : 0);
  return std::from_chars(first, text.data() + stop, value).ec == std::errc();
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return i == a.size() && b[i] == 0;
}
}  // namespace

bool BoolTextToBool(const std::string& text) {
  double number = 0;
  if (ReadNumber(text, number)) return number != 0;
  return EqualsNoCase(text, "True");
}
