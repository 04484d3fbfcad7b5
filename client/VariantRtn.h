#pragma once
// Comparison of field values held in Variants, and walks over Variant arrays. A comparison
// answers -1, 0 or 1; numbers of different kinds compare by value, floating-point values with a
// tolerance of 1e-11. The data sets' local sort and search call CompareVariants for every pair
// of key values (after taking Null keys aside themselves); the array columns walk arrays here.
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qnl {

inline constexpr long double VariantFloatTolerance = 1e-11L;

// By the kind of A, the typed comparer of that kind; any other kind of A goes to
// VarCompareValues. A numeric comparer raises EConvertError when B is text that is not a number.
int CompareVariants(const Variant& A, const Variant& B);

// A typed left value against B. By the kind of B: integers and dates by value, Single and
// Double equal within the tolerance, Currency in its scaled form, text converted to a number;
// Null B gives 1 (a value sorts after Null); any other kind of B gives 0.
int CompareSmallintWithVariant(int16_t Value, const Variant& B);
int CompareIntegerWithVariant(int32_t Value, const Variant& B);
int CompareSingleWithVariant(float Value, const Variant& B);
int CompareDoubleWithVariant(double Value, const Variant& B);
// Every B is brought to the currency's scale (value * 10000); Single and Double B are equal when
// the scaled difference / 10000 is below the tolerance.
int CompareCurrencyWithVariant(Currency Value, const Variant& B);
int CompareDateWithVariant(TDateTime Value, const Variant& B);
int CompareShortIntWithVariant(int8_t Value, const Variant& B);
int CompareByteWithVariant(uint8_t Value, const Variant& B);
int CompareWordWithVariant(uint16_t Value, const Variant& B);
int CompareLongWordWithVariant(uint32_t Value, const Variant& B);
// Text B is read as a 64-bit integer ("5.0" raises EConvertError) and compared as one.
int CompareInt64WithVariant(int64_t Value, const Variant& B);
// Ordinal (byte / UTF-16 unit) comparison; a wide B widens the left text, any other B is
// converted to text first.
int CompareStrWithVariant(const std::string& Value, const Variant& B);
int CompareWideStrWithVariant(const std::u16string& Value, const Variant& B);

// The general rules for the kinds without a typed comparer (Empty, Null, Boolean, BCD): Null
// equals Null and sorts before every other value; numbers (Booleans as 0 and 1, BCD by value)
// compare by value without tolerance; text against a number is converted to a number
// (EConvertError when it is not one); two texts compare ordinally; Empty is 0 against a number
// and "" against text. Arrays raise EVariantError.
int VarCompareValues(const Variant& A, const Variant& B);

// A[i] against B[i] for i from HighIndex down to 0 (one-dimensional arrays): an Empty element
// counts as Null; Null against non-Null, or values that VarCompareValues finds different, give
// false. Any error while reading or comparing gives false.
bool VarArraysEqual(const Variant& A, const Variant& B, int HighIndex);

// The odometer step over A's dimensions, the last one fastest: true with the next indices, false
// (every index back at its low bound) after the last element.
bool VarArrayNextIndex(const Variant& A, std::vector<int>& Indices);

// Visit(Element, Indices, Continue, HighDim) for every element in odometer order until a visit
// clears Continue; answers Continue. False without a visit when Visit is empty or A is not an
// array.
using TVarArrayVisit = std::function<void(const Variant& Element, const std::vector<int>& Indices, bool& Continue,
                                          int HighDim)>;
bool VarArrayForEach(const Variant& A, const TVarArrayVisit& Visit);

// Like VarArrayForEach, but after each visit that keeps Continue, NewValue is written into A at
// the visited indices. NewValue is one Variant for the whole walk (Empty at first, never reset),
// so a visit that leaves it alone writes what the previous visit left. An A that is not an
// array raises at the first element (std::out_of_range from the Variant).
using TVarArrayModifyVisit = std::function<void(const Variant& Element, const std::vector<int>& Indices,
                                                bool& Continue, Variant& NewValue)>;
bool VarArrayForEachModify(Variant& A, const TVarArrayModifyVisit& Visit);

} // namespace qnl
