#pragma once
// Shared conversions of the data-access layer: scaled 64-bit integers and BCD values, time
// stamps, the dotted name of a component, display formatting of numeric text, and a few small
// helpers.
#include "platform/Component.h"
#include "platform/DateTime.h"
#include "platform/Streams.h"
#include "platform/Variant.h"

#include <array>
#include <cstdint>
#include <string>

namespace qnl {

class TField;

// TTimeStamp comes with the dates (platform/DateTime.h).
// DateDelta (platform/DateTime.h) is the TTimeStamp.Date of 1899-12-30, and
// TTimeStamp.Date of 1858-11-17, day 0 of the client API's dates (which count days from it).
inline constexpr int32_t IscDateDelta = 678576;
// The client API's time unit: 1/10000 s, ten per millisecond.
inline constexpr int32_t IscTimeUnitsPerMSec = 10;

// Powers of ten 1e-18 .. 1e18; E10Table[18 + n] is 10^n.
inline constexpr int E10MinExponent = -18;
inline constexpr int E10MaxExponent = 18;
extern const std::array<double, 37> E10Table;
// 10^Exponent for -18..18.
double E10(int Exponent);

// 10^Exponent for 0..18 as an exact integer.
int64_t IntE10(int Exponent);
// Value rounded to the nearest integer (ties to even) or truncated; false when the result is
// outside the 64-bit range or Value is not a number.
bool TryRoundToInt64(long double Value, int64_t& Result);
bool TryTruncToInt64(long double Value, int64_t& Result);

// Names of the component and its named owners joined with ".", the outermost owner first.
std::string ComponentFullName(const TComponent* Component);

// The framework's conversion, except that date 0 gives the time of day alone (0 <= result < 1).
TDateTime SafeTimeStampToDateTime(const TTimeStamp& TimeStamp);
TDateTime TimeMSecsToDateTime(int32_t MSecs);

int64_t MakeInt64(int32_t High, int32_t Low);
// The integer part plus the fraction rounded (ties to even) to Digits decimals (-18..18).
long double RoundExtended(long double Value, int Digits);

// The BCD of Value * 10^-Decimals (precision 32); false when it cannot be made.
bool Int64ToBCD(int Decimals, TBcd& Bcd, int64_t Value);
// The BCD's digits as a signed integer and its number of places; false when they exceed 64 bits.
bool BCDToInt64(const TBcd& Bcd, int64_t& Value, int& Decimals);
// False for more than 18 places or digits beyond 64 bits.
bool BCDToExtended(const TBcd& Bcd, long double& Value);

// Value with Decimals implied decimals as text, trailing fraction zeros removed.
void ScaledInt64ToStr(int Decimals, char DecimalSeparator, std::string& Text, int64_t Value);
// Not empty and only "0" and the decimal separator.
bool IsZeroNumberText(const std::string& Text);
// Formats the number text Number (as written with the locale's decimal separator) by a display
// format with "#", "0", ",", "." placeholders, literal prefix and suffix and up to three
// ";"-separated sections (positive;negative;zero). InSection is true while formatting a section.
void FormatNumericStr(const std::string& Format, const std::string& Number, bool InSection, std::string& Result);
// The framework's number formatting, with a format read as FormatNumericStr reads it, of the
// exact value (every digit of the BCD, the currency's four decimals).
std::string FormatBcd(const std::string& Format, const TBcd& Value);
std::string FormatCurr(const std::string& Format, Currency Value);
enum TFloatFormat : uint8_t { ffFixed, ffCurrency };
// Value rounded half away from zero to Digits decimals; ffFixed: "-1234.50"; ffCurrency:
// thousands grouped and FormatSettings.CurrencyString placed by CurrencyFormat or NegCurrFormat.
std::string CurrToStrF(Currency Value, TFloatFormat Format, int Digits);

// Field's data in its data set's native format into Buffer (false for null). With OldValue the
// data set is in the old-value state for the read (and back in its own state afterwards, also
// when the read raises).
bool GetFieldRawData(TField* Field, bool OldValue, void* Buffer);
// A BCD field's value as a string Variant in the BCD text (locale separator); Empty when the
// field has no data.
void BCDFieldValueToVariant(TField* Field, bool OldValue, Variant& Value);

// When V is an array and Stream is given: the stream's size becomes the element count of the
// first dimension times the element size, the elements are written from position 0 in their
// native little-endian form, and the size is answered; otherwise 0. Arrays of elements without a
// fixed size (text, mixed Variants) raise EVariantError.
int64_t VariantToStream(const Variant& V, TStream* Stream);

// Low + a random number from 0 to High - Low - 1.
int RandomInRange(int Low, int High);
// Length random decimal digits.
std::string RandomDigits(int Length);
// The text read as hexadecimal from its end; characters other than 0-9 and A-F count as 0.
int HexToInt(const std::string& Text);
uint8_t SetBit(uint8_t Value, int Bit, bool On);

} // namespace qnl
