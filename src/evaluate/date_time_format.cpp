#include "evaluate/date_time_format.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "evaluate/number_text.h"
#include "frame/text.h"

namespace orvo {
namespace {

constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

// Day numbers count from 1970-01-01 (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

const std::int64_t kSerialEpoch = DaysFromCivil(1899, 12, 30);

struct DateTime {
  std::int64_t year = 1899;
  int month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int weekday = 6;  // 0 = Sunday
  bool has_date = false;
  bool has_time = false;
};

void SetDay(DateTime& when, std::int64_t days) {
  std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t day_of_era = z - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  when.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  when.month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  when.year = year_of_era + era * 400 + (when.month <= 2);
  when.weekday = static_cast<int>(((days % 7) + 7 + 4) % 7);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..max_digits digits at `at`.
std::optional<int> ReadDigits(std::string_view text, std::size_t& at, std::size_t max_digits) {
  std::size_t start = at;
  int value = 0;
  while (at < text.size() && IsDigit(text[at]) && at - start < max_digits) {
    value = value * 10 + (text[at++] - '0');
  }
  if (at == start) return std::nullopt;
  return value;
}

bool ReadTime(std::string_view text, std::size_t& at, DateTime& when) {
  auto hour = ReadDigits(text, at, 2);
  if (!hour || at >= text.size() || text[at] != ':') return false;
  ++at;
  std::size_t minute_start = at;
  auto minute = ReadDigits(text, at, 2);
  if (!minute || at - minute_start != 2) return false;
  int second = 0;
  if (at < text.size() && text[at] == ':') {
    ++at;
    std::size_t second_start = at;
    auto seconds = ReadDigits(text, at, 2);
    if (!seconds || at - second_start != 2) return false;
    second = *seconds;
  }
  if (*hour > 23 || *minute > 59 || second > 59) return false;
  when.hour = *hour;
  when.minute = *minute;
  when.second = second;
  when.has_time = true;
  return true;
}

bool IsValidDay(std::int64_t year, int month, int day) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month != 2 || day <= 28 || leap;
}

std::optional<DateTime> ReadDateText(std::string_view text) {
  DateTime when;
  std::size_t at = 0;
  if (text.size() >= 4 && IsDigit(text[0]) && IsDigit(text[1]) && IsDigit(text[2]) &&
      IsDigit(text[3]) && text.size() > 4 && (text[4] == '-' || text[4] == '/')) {
    const char separator = text[4];
    auto year = ReadDigits(text, at, 4);
    ++at;
    auto month = ReadDigits(text, at, 2);
    if (!month || at >= text.size() || text[at] != separator) return std::nullopt;
    ++at;
    auto day = ReadDigits(text, at, 2);
    if (!day || !IsValidDay(*year, *month, *day)) return std::nullopt;
    SetDay(when, DaysFromCivil(*year, *month, *day));
    when.has_date = true;
    if (at < text.size()) {
      if (text[at] != ' ' && text[at] != 'T') return std::nullopt;
      ++at;
      if (!ReadTime(text, at, when)) return std::nullopt;
    }
  } else {
    if (!ReadTime(text, at, when)) return std::nullopt;
    SetDay(when, kSerialEpoch);
  }
  if (at != text.size()) return std::nullopt;
  return when;
}

// A number of days since 1899-12-30; the fraction is the time of day.
std::optional<DateTime> ReadSerial(std::string_view text) {
  if (!IsNumber(text)) return std::nullopt;
  const double serial = std::strtod(std::string(text).c_str(), nullptr);
  if (!std::isfinite(serial) || std::fabs(serial) > 3.0e6) return std::nullopt;
  DateTime when;
  double whole = std::trunc(serial);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(serial - whole) * 86400.0));
  if (seconds >= 86400) {
    seconds -= 86400;
    whole += serial < 0 ? -1 : 1;
  }
  SetDay(when, kSerialEpoch + static_cast<std::int64_t>(whole));
  when.hour = static_cast<int>(seconds / 3600);
  when.minute = static_cast<int>(seconds / 60 % 60);
  when.second = static_cast<int>(seconds % 60);
  when.has_date = true;
  when.has_time = seconds != 0;
  return when;
}

enum class Part { kLiteral, kDay, kMonth, kYear, kHour, kMinute, kSecond, kMarker };

struct Piece {
  Part part = Part::kLiteral;
  int width = 0;        // run length of the pattern letter
  std::string literal;  // for literals; for markers the two spellings "AM"/"PM"
  std::string other;
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithLetters(std::string_view text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (Lower(text[at + i]) != word[i]) return false;
  }
  return true;
}

std::vector<Piece> ReadPattern(std::string_view pattern) {
  std::vector<Piece> pieces;
  auto literal = [&](std::string_view text) {
    if (pieces.empty() || pieces.back().part != Part::kLiteral) pieces.emplace_back();
    pieces.back().literal.append(text);
  };
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '"') {
      std::size_t close = pattern.find('"', i + 1);
      if (close == std::string_view::npos) close = pattern.size();
      literal(pattern.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    if (c == '\\') {
      if (i + 1 < pattern.size()) literal(pattern.substr(i + 1, 1));
      i += 2;
      continue;
    }
    if (StartsWithLetters(pattern, i, "am/pm") || StartsWithLetters(pattern, i, "a/p")) {
      const std::size_t width = StartsWithLetters(pattern, i, "am/pm") ? 5 : 3;
      Piece marker;
      marker.part = Part::kMarker;
      marker.literal = std::string(pattern.substr(i, width == 5 ? 2 : 1));
      marker.other = std::string(pattern.substr(i + (width == 5 ? 3 : 2), width == 5 ? 2 : 1));
      pieces.push_back(std::move(marker));
      i += width;
      continue;
    }
    const char letter = Lower(c);
    Part part = Part::kLiteral;
    switch (letter) {
      case 'd':
        part = Part::kDay;
        break;
      case 'm':
        part = Part::kMonth;
        break;
      case 'y':
        part = Part::kYear;
        break;
      case 'h':
        part = Part::kHour;
        break;
      case 'n':
        part = Part::kMinute;
        break;
      case 's':
        part = Part::kSecond;
        break;
      default:
        break;
    }
    if (part == Part::kLiteral) {
      literal(pattern.substr(i, 1));
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < pattern.size() && Lower(pattern[end]) == letter) ++end;
    Piece piece;
    piece.part = part;
    piece.width = static_cast<int>(end - i);
    pieces.push_back(std::move(piece));
    i = end;
  }
  // "m" and "mm" right after an hour or right before seconds are minutes.
  const Piece* previous = nullptr;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    Piece& piece = pieces[i];
    if (piece.part == Part::kLiteral) continue;
    if (piece.part == Part::kMonth && piece.width <= 2) {
      const Piece* next = nullptr;
      for (std::size_t j = i + 1; j < pieces.size() && !next; ++j) {
        if (pieces[j].part != Part::kLiteral) next = &pieces[j];
      }
      if ((previous && previous->part == Part::kHour) || (next && next->part == Part::kSecond)) {
        piece.part = Part::kMinute;
      }
    }
    previous = &piece;
  }
  return pieces;
}

void AppendNumber(std::string& out, std::int64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) out.append(width - digits.size(), '0');
  out += digits;
}

std::string Show(const DateTime& when, std::string_view pattern) {
  const std::vector<Piece> pieces = ReadPattern(pattern);
  bool twelve_hour = false;
  for (const Piece& piece : pieces) twelve_hour = twelve_hour || piece.part == Part::kMarker;
  std::string out;
  for (const Piece& piece : pieces) {
    const int two = piece.width >= 2 ? 2 : 1;
    switch (piece.part) {
      case Part::kLiteral:
        out += piece.literal;
        break;
      case Part::kDay:
        if (piece.width >= 4) {
          out += kDayNames[when.weekday];
        } else if (piece.width == 3) {
          out.append(kDayNames[when.weekday], 3);
        } else {
          AppendNumber(out, when.day, two);
        }
        break;
      case Part::kMonth:
        if (piece.width >= 4) {
          out += kMonthNames[when.month - 1];
        } else if (piece.width == 3) {
          out.append(kMonthNames[when.month - 1], 3);
        } else {
          AppendNumber(out, when.month, two);
        }
        break;
      case Part::kYear:
        if (piece.width <= 2) {
          AppendNumber(out, when.year % 100, 2);
        } else {
          AppendNumber(out, when.year, 4);
        }
        break;
      case Part::kHour: {
        int hour = when.hour;
        if (twelve_hour) hour = hour % 12 == 0 ? 12 : hour % 12;
        AppendNumber(out, hour, two);
        break;
      }
      case Part::kMinute:
        AppendNumber(out, when.minute, two);
        break;
      case Part::kSecond:
        AppendNumber(out, when.second, two);
        break;
      case Part::kMarker:
        out += when.hour < 12 ? piece.literal : piece.other;
        break;
    }
  }
  return out;
}

}  // namespace

std::string FormatDateTime(std::string_view value, std::string_view pattern) {
  const std::string_view text = Trim(value);
  std::optional<DateTime> when = ReadDateText(text);
  if (!when) when = ReadSerial(text);
  if (!when || when->year < 100 || when->year > 9999) return std::string(value);
  if (!pattern.empty()) return Show(*when, pattern);
  std::string out;
  if (when->has_date) out = Show(*when, "yyyy-mm-dd");
  if (when->has_time) {
    if (!out.empty()) out.push_back(' ');
    out += Show(*when, "hh:nn:ss");
  }
  return out;
}

}  // namespace orvo
