#pragma once
// Date and time values and their texts under process-wide format settings, with the framework's
// rules: a TDateTime counts days since 1899-12-30 with the time of day as the fraction; the short
// date format only decides the order of day, month and year when a text is read, and the date
// and time separators are the ones in the settings.
#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qnl {

// Days between 1 January 0001 (day 1 of the framework's dates and time stamps) and 30 December
// 1899 (TDateTime 0), and the milliseconds of a day.
inline constexpr int32_t DateDelta = 693594;
inline constexpr int64_t MSecsPerDay = 86400000;

// The framework's time stamp: milliseconds since midnight and days since 0001-01-01 plus one.
struct TTimeStamp {
    int32_t Time = 0;
    int32_t Date = 0;
};
// The framework's conversion: the value rounded to whole milliseconds, the date part counted
// towards zero and the time of day taken as a positive distance from midnight (so -1.25 is
// 1899-12-29 06:00).
TTimeStamp DateTimeToTimeStamp(TDateTime Value);
// The way back; days before 1899-12-30 carry the time of day away from zero.
TDateTime TimeStampToDateTime(const TTimeStamp& Stamp);
// The milliseconds since the start of 1 January 0001, as a double, and back.
inline double TimeStampToMSecs(const TTimeStamp& Stamp) {
    return static_cast<double>(static_cast<int64_t>(Stamp.Date) * MSecsPerDay + Stamp.Time);
}
TTimeStamp MSecsToTimeStamp(double MSecs);

// The process-wide settings are FormatSettings (platform/Variant.h); changing them is for the
// main thread only.

TDateTime EncodeDate(int Year, int Month, int Day);      // throws EConvertError when invalid
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime Value, int& Hour, int& Min, int& Sec, int& MSec);
// The local date and time, to the millisecond.
TDateTime Now();

// Reading throws EConvertError "'<text>' is not a valid date" (time, date and time).
TDateTime StrToDate(std::string_view S);
TDateTime StrToTime(std::string_view S);
TDateTime StrToDateTime(std::string_view S);

// Format letters: d dd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz; "m" right after an hour is
// minutes; "/" and ":" are the separators of the settings; text in quotes is copied.
std::string FormatDateTime(std::string_view Format, TDateTime Value);
std::string DateToStr(TDateTime Value);                  // short date format
std::string TimeToStr(TDateTime Value);                  // long time format
std::string DateTimeToStr(TDateTime Value);              // date, and the time unless it is 0:00:00

} // namespace qnl
