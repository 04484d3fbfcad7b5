#pragma once
// The evaluator of a data set's Filter text: TExpressionParser reads the text with the
// framework's expression parser (platform/ExprParser.h) and evaluates the compiled expression
// against the data set's current record, reading field values through the data set's fields.
//
// Evaluation rules:
// - Binary comparisons follow the framework's Variant rules (platform/VariantOps.h): Null
//   equals Null and lies below every value, so Null < 1 is true; arithmetic with Null gives
//   Null. AND and OR evaluate their right operand only when it decides.
// - A comparison node (a case-insensitive or partial compare of a text field) is true for <>
//   and false for = and LIKE when exactly one side is Null, and the other way round when both
//   are; otherwise both sides are compared as upper-cased text, or as text cut to the partial
//   length.
// - LIKE goes to the LIKE matcher (value, mask); without one it is an error.
// - IN is true at the first list item equal to the left side.
// - Functions: UPPER, LOWER, TRIM, TRIMLEFT, TRIMRIGHT, SUBSTRING(text, start, count) (or
//   SUBSTRING(text, 'start,count')), YEAR, MONTH, DAY, HOUR, MINUTE, SECOND, DATE(value) (the
//   day number) or DATE(text, format) (through the date converter), GETDATE(). A substring
//   range beyond the text is clamped to it. The date and time parts of Null are Null.
// Errors are EDatabaseError: "Incorrectly formed filter expression" for what the evaluator
// cannot evaluate, "Expression expected but <name> found" for an unknown function; division
// and modulo by zero raise EZeroDivide and conversion errors pass on.
#include "platform/ExprParser.h"
#include "platform/StringList.h"
#include "platform/Variant.h"

#include <string>
#include <string_view>

namespace qnl {

// LIKE matcher (value, mask) and date converter (text, format).
using TFilterLikeMatcher = bool (*)(std::string_view Value, std::string_view Mask);
using TFilterDateConverter = double (*)(std::string_view Text, std::string_view Format);

// The type codes the data sets' fields have in a filter expression.
extern const TFieldMap FilterFieldMap;

class TExpressionParser : public TExprParser {
public:
    // Parses FilterText; a parse error is raised again as "Can't parse Filter for: ", a line
    // break and its message.
    TExpressionParser(TDataSet* DataSet, TFilterLikeMatcher LikeMatcher, TFilterDateConverter DateConverter,
                      const TFieldMap& FieldMap, TFilterOptions Options, const std::string& FilterText);
    ~TExpressionParser() override = default;

    const std::string& FilterText() const { return FFilterText; }
    // From the cache, or the data set's FieldByName once and then cached.
    TField* GetFieldByName(const std::string& Name);
    // The data set calls it when its fields change or it closes.
    void ClearFieldCache() { FFieldCache.Clear(); }

    // The value of one node for the data set's current record.
    Variant Calculate(int Node);
    // The root's value as a Boolean.
    bool EvaluateRoot();
    bool Evaluate() { return EvaluateRoot(); }

private:
    Variant CalcUnary(const TExprNode& Node);
    Variant CalcBinary(const TExprNode& Node);
    Variant CalcCompare(const TExprNode& Node);
    Variant CalcField(const TExprNode& Node);
    Variant CalcConst(const TExprNode& Node);
    Variant CalcFunction(const TExprNode& Node);
    Variant CalcList(int Node);
    bool Like(const Variant& Value, const Variant& Mask);

    std::string FFilterText;
    TDataSet* FDataSet;
    TFilterDateConverter FDateConverter;
    TFilterLikeMatcher FLikeMatcher;
    TStringList FFieldCache;   // name -> field
};

} // namespace qnl
