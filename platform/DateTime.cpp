#include "DateTime.h"

#include "Exceptions.h"

#include <cctype>
#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>

namespace qnl {

namespace {

const char* const MonthShort[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const MonthLong[12] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const int64_t DeltaTo1970 = 25569;   // days from 1899-12-30 to 1970-01-01

bool TryEncodeDate(int y, int m, int d, TDateTime& Result) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
    Result = static_cast<double>(DaysFromCivil(y, m, d) + DeltaTo1970);
    return true;
}

bool TryEncodeTime(int h, int n, int s, int ms, TDateTime& Result) {
    if (h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return false;
    Result = (((h * 60.0 + n) * 60.0 + s) * 1000.0 + ms) / 86400000.0;
    return true;
}

int CurrentYear() {
    using namespace std::chrono;
    const auto days = floor<std::chrono::days>(system_clock::now()).time_since_epoch().count();
    int y, m, d;
    CivilFromDays(days, y, m, d);
    return y;
}

// A small scanner over the text being read.
struct Scanner {
    std::string_view S;
    size_t Pos = 0;
    void SkipBlanks() {
        while (Pos < S.size() && S[Pos] == ' ') ++Pos;
    }
    bool Number(int& Value, int& Digits) {
        SkipBlanks();
        Value = 0;
        Digits = 0;
        while (Pos < S.size() && std::isdigit(static_cast<unsigned char>(S[Pos])) && Digits < 9) {
            Value = Value * 10 + (S[Pos] - '0');
            ++Pos;
            ++Digits;
        }
        return Digits > 0;
    }
    bool Char(char C) {
        SkipBlanks();
        if (Pos < S.size() && S[Pos] == C) {
            ++Pos;
            return true;
        }
        return false;
    }
    bool AtEnd() {
        SkipBlanks();
        return Pos >= S.size();
    }
};

// Order of day, month and year taken from the short date format: 0 MDY, 1 DMY, 2 YMD.
int DateOrder(const std::string& Format) {
    for (char c : Format) {
        switch (std::toupper(static_cast<unsigned char>(c))) {
        case 'D': return 1;
        case 'Y': return 2;
        case 'M': return 0;
        default: break;
        }
    }
    return 0;
}

bool ScanDate(Scanner& Sc, TDateTime& Result) {
    const TFormatSettings& fs = FormatSettings;
    int n1, n2, n3, l1, l2, l3 = 0;
    if (!Sc.Number(n1, l1) || !Sc.Char(fs.DateSeparator) || !Sc.Number(n2, l2)) return false;
    bool three = false;
    const size_t save = Sc.Pos;
    if (Sc.Char(fs.DateSeparator)) {
        if (!Sc.Number(n3, l3)) return false;
        three = true;
    } else {
        Sc.Pos = save;
    }
    int y, m, d, yLen;
    const int order = DateOrder(fs.ShortDateFormat);
    if (!three) {
        y = CurrentYear();
        yLen = 4;
        if (order == 1) { d = n1; m = n2; }
        else if (order == 2) { m = n1; d = n2; }
        else { m = n1; d = n2; }
    } else if (order == 1) {
        d = n1; m = n2; y = n3; yLen = l3;
    } else if (order == 2) {
        y = n1; m = n2; d = n3; yLen = l1;
    } else {
        m = n1; d = n2; y = n3; yLen = l3;
    }
    if (yLen <= 2) {
        // Two-digit years fall in the century of the current year.
        y += CurrentYear() / 100 * 100;
    }
    return TryEncodeDate(y, m, d, Result);
}

bool ScanTime(Scanner& Sc, TDateTime& Result) {
    const TFormatSettings& fs = FormatSettings;
    int h, n, s = 0, ms = 0, len;
    if (!Sc.Number(h, len) || !Sc.Char(fs.TimeSeparator) || !Sc.Number(n, len)) return false;
    size_t save = Sc.Pos;
    if (Sc.Char(fs.TimeSeparator)) {
        if (!Sc.Number(s, len)) return false;
        save = Sc.Pos;
        if (Sc.Char('.')) {
            if (!Sc.Number(ms, len)) return false;
        } else {
            Sc.Pos = save;
        }
    } else {
        Sc.Pos = save;
    }
    Sc.SkipBlanks();
    std::string_view rest = Sc.S.substr(Sc.Pos);
    auto startsNoCase = [&](std::string_view w) {
        if (rest.size() < w.size()) return false;
        for (size_t i = 0; i < w.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(rest[i])) != w[i]) return false;
        return true;
    };
    if (startsNoCase("AM") || startsNoCase("PM")) {
        const bool pm = std::toupper(static_cast<unsigned char>(rest[0])) == 'P';
        if (h < 1 || h > 12) return false;
        h = h % 12 + (pm ? 12 : 0);
        Sc.Pos += 2;
    }
    return TryEncodeTime(h, n, s, ms, Result);
}

[[noreturn]] void ConvertFailed(std::string_view S, const char* What) {
    throw EConvertError("'" + std::string(S) + "' is not a valid " + What);
}

std::string Pad(int Value, int Width) {
    std::string r = std::to_string(Value);
    while (static_cast<int>(r.size()) < Width) r.insert(r.begin(), '0');
    return r;
}

} // namespace

TDateTime EncodeDate(int Year, int Month, int Day) {
    TDateTime r;
    if (!TryEncodeDate(Year, Month, Day, r)) throw EConvertError("Invalid argument to date encode");
    return r;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
    TDateTime r;
    if (!TryEncodeTime(Hour, Min, Sec, MSec, r)) throw EConvertError("Invalid argument to time encode");
    return r;
}

void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day) {
    CivilFromDays(static_cast<int64_t>(std::trunc(Value)) - DeltaTo1970, Year, Month, Day);
}

void DecodeTime(TDateTime Value, int& Hour, int& Min, int& Sec, int& MSec) {
    double frac = std::fabs(Value - std::trunc(Value));
    int64_t msTotal = std::llround(frac * 86400000.0);
    if (msTotal >= 86400000) msTotal = 86399999;
    MSec = static_cast<int>(msTotal % 1000);
    Sec = static_cast<int>(msTotal / 1000 % 60);
    Min = static_cast<int>(msTotal / 60000 % 60);
    Hour = static_cast<int>(msTotal / 3600000);
}

TDateTime Now() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms));
}

TDateTime StrToDate(std::string_view S) {
    Scanner sc{S};
    TDateTime r;
    if (!ScanDate(sc, r) || !sc.AtEnd()) ConvertFailed(S, "date");
    return r;
}

TDateTime StrToTime(std::string_view S) {
    Scanner sc{S};
    TDateTime r;
    if (!ScanTime(sc, r) || !sc.AtEnd()) ConvertFailed(S, "time");
    return r;
}

TDateTime StrToDateTime(std::string_view S) {
    Scanner sc{S};
    TDateTime date = 0, time = 0;
    if (ScanDate(sc, date)) {
        if (!sc.AtEnd() && (!ScanTime(sc, time) || !sc.AtEnd())) ConvertFailed(S, "date and time");
    } else {
        sc.Pos = 0;
        if (!ScanTime(sc, time) || !sc.AtEnd()) ConvertFailed(S, "date and time");
    }
    return date >= 0 ? date + time : date - time;
}

std::string FormatDateTime(std::string_view Format, TDateTime Value) {
    const TFormatSettings& fs = FormatSettings;
    int y, mo, d, h, n, s, ms;
    DecodeDate(Value, y, mo, d);
    DecodeTime(Value, h, n, s, ms);
    std::string out;
    bool afterHour = false;
    size_t i = 0;
    auto run = [&](char c) {
        size_t k = 0;
        while (i + k < Format.size() && std::tolower(static_cast<unsigned char>(Format[i + k])) == c) ++k;
        return k;
    };
    while (i < Format.size()) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(Format[i])));
        size_t k = 1;
        switch (c) {
        case 'd':
            k = run('d');
            out += k >= 2 ? Pad(d, 2) : std::to_string(d);
            break;
        case 'm':
            k = run('m');
            if (afterHour && k <= 2) {
                out += k == 2 ? Pad(n, 2) : std::to_string(n);
            } else if (k >= 4) {
                out += MonthLong[mo - 1];
            } else if (k == 3) {
                out += MonthShort[mo - 1];
            } else {
                out += k == 2 ? Pad(mo, 2) : std::to_string(mo);
            }
            afterHour = false;
            break;
        case 'y':
            k = run('y');
            out += k <= 2 ? Pad(y % 100, 2) : Pad(y, 4);
            break;
        case 'h':
            k = run('h');
            out += k >= 2 ? Pad(h, 2) : std::to_string(h);
            afterHour = true;
            break;
        case 'n':
            k = run('n');
            out += k >= 2 ? Pad(n, 2) : std::to_string(n);
            break;
        case 's':
            k = run('s');
            out += k >= 2 ? Pad(s, 2) : std::to_string(s);
            break;
        case 'z':
            k = run('z');
            out += k >= 3 ? Pad(ms, 3) : std::to_string(ms);
            break;
        case '/': out += fs.DateSeparator; break;
        case ':': out += fs.TimeSeparator; break;
        case '"':
        case '\'': {
            const size_t close = Format.find(Format[i], i + 1);
            const size_t end = close == std::string_view::npos ? Format.size() : close;
            out.append(Format.substr(i + 1, end - i - 1));
            k = (close == std::string_view::npos ? end : end + 1) - i;
            break;
        }
        default: out += Format[i]; break;
        }
        if (c != 'h' && c != 'm' && c != ' ' && c != ':') afterHour = false;
        i += k;
    }
    return out;
}

std::string DateToStr(TDateTime Value) { return FormatDateTime(FormatSettings.ShortDateFormat, Value); }

std::string TimeToStr(TDateTime Value) { return FormatDateTime(FormatSettings.LongTimeFormat, Value); }

std::string DateTimeToStr(TDateTime Value) {
    std::string r = DateToStr(Value);
    int h, n, s, ms;
    DecodeTime(Value, h, n, s, ms);
    if (h != 0 || n != 0 || s != 0 || ms != 0) r += " " + TimeToStr(Value);
    return r;
}

TTimeStamp DateTimeToTimeStamp(TDateTime Value) {
    // The time rounds to the millisecond within its own day: 23:59:59.9996 is 23:59:59.999,
    // never midnight of the next day (a TIME written back would become 00:00:00).
    const double day = std::trunc(Value);
    const auto msecs = static_cast<int64_t>(std::nearbyint(std::fabs(Value - day) * MSecsPerDay));
    TTimeStamp result;
    result.Date = static_cast<int32_t>(DateDelta + static_cast<int64_t>(day));
    result.Time = static_cast<int32_t>(std::min<int64_t>(msecs, MSecsPerDay - 1));
    return result;
}

TDateTime TimeStampToDateTime(const TTimeStamp& Stamp) {
    const double days = static_cast<double>(Stamp.Date) - DateDelta;
    const double time = static_cast<double>(Stamp.Time) / MSecsPerDay;
    return days < 0 ? days - time : days + time;
}

TTimeStamp MSecsToTimeStamp(double MSecs) {
    const double date = std::floor(MSecs / MSecsPerDay);
    return {static_cast<int32_t>(std::llround(MSecs - date * MSecsPerDay)), static_cast<int32_t>(date)};
}

} // namespace qnl
