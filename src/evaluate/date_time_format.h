// Dates and times shown with a pattern: the "Date/Time" number format.
#ifndef ORVO_EVALUATE_DATE_TIME_FORMAT_H_
#define ORVO_EVALUATE_DATE_TIME_FORMAT_H_

#include <string>
#include <string_view>

namespace orvo {

// `value` shown with a date/time pattern. The value is a date when it reads
// as "yyyy-mm-dd" or "yyyy/mm/dd", optionally followed by a blank or "T" and
// "hh:nn" or "hh:nn:ss"; as a time "hh:nn[:ss]" alone; or as a number of days
// since 1899-12-30 (the fraction is the time of day). Pattern letters, in
// either case: d dd (day), ddd dddd (weekday name), m mm (month, or minutes
// right after an hour or before seconds), mmm mmmm (month name), yy yyyy
// (year), h hh (hour), n nn (minutes), s ss (seconds), AM/PM am/pm A/P a/p
// (12-hour clock with its marker). Text in double quotes and a character
// after "\" are copied; any other character is copied. An empty pattern gives
// "yyyy-mm-dd", followed by " hh:nn:ss" when the value has a time of day.
// A value that is no date, or a year outside 100..9999, comes back unchanged.
std::string FormatDateTime(std::string_view value, std::string_view pattern);

}  // namespace orvo

#endif  // ORVO_EVALUATE_DATE_TIME_FORMAT_H_
