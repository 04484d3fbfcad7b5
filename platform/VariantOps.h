#pragma once
// The framework's operators on Variant values, with its loose Null rules (the setting the
// data-access layer keeps): Null equals Null and nothing else, Empty included, and lies below
// every other value; Empty against any other kind takes that kind's zero (0, "", False);
// arithmetic with a Null operand gives Null. Filter expressions are evaluated with these.
#include "platform/Exceptions.h"
#include "platform/Variant.h"

#include <cstdint>

namespace qnl {

// -1, 0 or 1. Numbers of any width compare by value (a floating-point operand makes both
// doubles); two texts compare byte by byte (wide texts by UTF-16 units); a text against a
// number is read as a floating-point number, against a Boolean as a Boolean and against a date
// as a date and time (EConvertError when it is none); False is below True. Arrays raise
// EVariantError.
int VarCompare(const Variant& A, const Variant& B);

enum class TVarArithOp : uint8_t { Add, Subtract, Multiply, Divide, Modulo };

// Integers stay integers while the result fits (64 bits at most, else a double); Currency and
// BCD give Currency, a floating-point operand a double; a date plus or minus a number stays a
// date and the difference of two dates is a double; two texts added are joined, other texts are
// read as numbers. Divide always gives a double. Modulo works on the operands rounded to
// integers and takes the dividend's sign. Division and modulo by zero raise EZeroDivide.
Variant VarArith(TVarArithOp Op, const Variant& A, const Variant& B);
// Null and Empty stay; numbers and dates change sign; a text is read as a number.
Variant VarNegate(const Variant& V);

// Null and Empty are false; numbers are true when not zero; texts "True" / "False" in any case
// or a number; anything else raises EVariantError.
bool VarToBool(const Variant& V);
// Dates and numbers as they are; texts through StrToDateTime; others raise EVariantError.
TDateTime VarToDateTime(const Variant& V);

class EZeroDivide : public Exception {
public:
    EZeroDivide() : Exception("Division by zero") {}
};

} // namespace qnl
