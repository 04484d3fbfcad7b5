// Implements the filter evaluator; see DBParsers.h.
#include "datasets/DBParsers.h"

#include "client/StrUtil.h"
#include "platform/DateTime.h"
#include "platform/Fields.h"
#include "platform/VariantConv.h"
#include "platform/VariantOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace qnl {

const TFieldMap FilterFieldMap = [] {
    TFieldMap map{};
    map[ftString] = fxString;
    map[ftSmallint] = fxSmallint;
    map[ftInteger] = fxInteger;
    map[ftWord] = fxWord;
    map[ftBoolean] = fxBoolean;
    map[ftFloat] = fxFloat;
    map[ftCurrency] = fxFloat;
    map[ftBCD] = fxBCD;
    map[ftDate] = fxDate;
    map[ftTime] = fxTime;
    map[ftDateTime] = fxDateTime;
    map[ftBytes] = fxBytes;
    map[ftVarBytes] = fxVarBytes;
    map[ftAutoInc] = fxInteger;
    for (int t = ftBlob; t <= ftTypedBinary; ++t) map[static_cast<size_t>(t)] = fxBlob;
    map[ftWideString] = fxWideString;
    map[ftLargeint] = fxLargeint;
    map[ftGuid] = fxGuid;
    return map;
}();

namespace {

[[noreturn]] void Incorrect() { throw EDatabaseError("Incorrectly formed filter expression"); }

std::string UpperText(std::string S) {
    for (char& c : S)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return S;
}

std::string LowerText(std::string S) {
    LowerCaseInPlace(S);
    return S;
}

// The elements of a one-dimensional array, in order.
std::vector<Variant> Elements(const Variant& Array) {
    std::vector<Variant> r;
    if (Array.DimCount() != 1) return r;
    for (int i = Array.LowBound(1); i <= Array.HighBound(1); ++i) r.push_back(Array.GetElement({i}));
    return r;
}

// A position or length given as a number or a text, limited to what a text can hold.
int64_t ToIndex(const Variant& V) {
    if (V.VarType() == varString || V.VarType() == varOleStr) return StrToInt64(FastTrim(VarToStr(V)));
    long double value = 0;
    if (!VarToNumber(V, value)) return 0;
    value = std::trunc(value);
    constexpr long double limit = static_cast<long double>(std::numeric_limits<int32_t>::max());
    return static_cast<int64_t>(std::clamp(value, -limit, limit));
}

// Characters Start (from 1) on, Count of them, clamped to the text: a start before the text
// begins at its first character, a range beyond its end stops there.
std::string ClampedSubstring(const std::string& Text, int64_t Start, int64_t Count) {
    const int64_t length = static_cast<int64_t>(Text.size());
    const int64_t from = std::max<int64_t>(Start, 1);
    if (from > length || Count <= 0) return {};
    return Text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(std::min(Count, length - from + 1)));
}

Variant Substring(const Variant& Arguments) {
    if (!Arguments.IsArray()) Incorrect();
    const std::vector<Variant> args = Elements(Arguments);
    if (args.size() < 2) Incorrect();
    const std::string text = VarToStr(args[0]);
    const TVarType second = args[1].VarType();
    if (second >= varSmallint && second <= varDouble) {
        if (args.size() < 3) Incorrect();
        return Variant(ClampedSubstring(text, ToIndex(args[1]), ToIndex(args[2])));
    }
    const std::string range = VarToStr(args[1]);
    const size_t comma = range.find(',');
    if (comma == std::string::npos) Incorrect();
    return Variant(ClampedSubstring(text, ToIndex(Variant(range.substr(0, comma))), ToIndex(Variant(range.substr(comma + 1)))));
}

// The argument as a date and time the calendar can decode.
TDateTime DateOf(const Variant& V) {
    const TDateTime value = VarToDateTime(V);
    if (!(value >= -693593.0 && value < 2958466.0)) throw EConvertError("'" + VarToStr(V) + "' is not a valid date");
    return value;
}

template <class T>
T Load(std::string_view Bytes) {
    T value;
    if (Bytes.size() != sizeof value) Incorrect();
    std::memcpy(&value, Bytes.data(), sizeof value);
    return value;
}

} // namespace

TExpressionParser::TExpressionParser(TDataSet* DataSet, TFilterLikeMatcher LikeMatcher, TFilterDateConverter DateConverter,
                                     const TFieldMap& FieldMap, TFilterOptions Options, const std::string& FilterText) try
    : TExprParser(DataSet, FilterText, Options, "", FieldMap),
      FFilterText(FilterText),
      FDataSet(DataSet),
      FDateConverter(DateConverter),
      FLikeMatcher(LikeMatcher) {
    FFieldCache.SetSorted(true);
} catch (const Exception& e) {
    throw EDatabaseError("Can't parse Filter for: " + std::string(CRLF) + e.Message());
}

TField* TExpressionParser::GetFieldByName(const std::string& Name) {
    int index = 0;
    if (FFieldCache.Find(Name, index)) return static_cast<TField*>(FFieldCache.Objects(index));
    TField* field = FDataSet->FieldByName(Name);
    FFieldCache.AddObject(Name, field);
    return field;
}

Variant TExpressionParser::Calculate(int Node) {
    const auto& nodes = Buffer().Nodes;
    if (Node < 0 || static_cast<size_t>(Node) >= nodes.size()) Incorrect();
    const TExprNode& node = nodes[static_cast<size_t>(Node)];
    switch (node.NodeClass) {
    case nodeUnary: return CalcUnary(node);
    case nodeBinary: return CalcBinary(node);
    case nodeCompare: return CalcCompare(node);
    case nodeField: return CalcField(node);
    case nodeConst: return CalcConst(node);
    case nodeFunc: return CalcFunction(node);
    case nodeListElem: return CalcList(Node);
    default: return Variant();
    }
}

bool TExpressionParser::EvaluateRoot() { return VarToBool(Calculate(Buffer().Root)); }

bool TExpressionParser::Like(const Variant& Value, const Variant& Mask) {
    if (!FLikeMatcher) Incorrect();
    return FLikeMatcher(VarToStr(Value), VarToStr(Mask));
}

Variant TExpressionParser::CalcUnary(const TExprNode& Node) {
    const Variant operand = Calculate(Node.Operands[0]);
    switch (Node.Operator) {
    case canIsBlank: return Variant(operand.IsEmpty() || operand.IsNull());
    case canNotBlank: return Variant(!(operand.IsEmpty() || operand.IsNull()));
    case canNOT: return Variant(!VarToBool(operand));
    case canMinus: return VarNegate(operand);
    case canUPPER: return Variant(UpperText(VarToStr(operand)));
    case canLOWER: return Variant(LowerText(VarToStr(operand)));
    default: Incorrect();
    }
}

Variant TExpressionParser::CalcBinary(const TExprNode& Node) {
    switch (Node.Operator) {
    case canAND: return Variant(VarToBool(Calculate(Node.Operands[0])) && VarToBool(Calculate(Node.Operands[1])));
    case canOR: return Variant(VarToBool(Calculate(Node.Operands[0])) || VarToBool(Calculate(Node.Operands[1])));
    case canAssign: return Calculate(Node.Operands[0]);
    default: break;
    }
    const Variant left = Calculate(Node.Operands[0]);
    const Variant right = Calculate(Node.Operands[1]);
    switch (Node.Operator) {
    case canEQ: return Variant(VarCompare(left, right) == 0);
    case canNE: return Variant(VarCompare(left, right) != 0);
    case canGT: return Variant(VarCompare(left, right) > 0);
    case canLT: return Variant(VarCompare(left, right) < 0);
    case canGE: return Variant(VarCompare(left, right) >= 0);
    case canLE: return Variant(VarCompare(left, right) <= 0);
    case canADD: return VarArith(TVarArithOp::Add, left, right);
    case canSUB: return VarArith(TVarArithOp::Subtract, left, right);
    case canMUL: return VarArith(TVarArithOp::Multiply, left, right);
    case canDIV: return VarArith(TVarArithOp::Divide, left, right);
    case canMOD:
    case canREM: return VarArith(TVarArithOp::Modulo, left, right);
    case canLIKE: return Variant(Like(left, right));
    case canIN:
        if (!right.IsArray()) return Variant(VarCompare(left, right) == 0);
        for (const Variant& item : Elements(right)) {
            if (item.IsEmpty()) break;
            if (VarCompare(left, item) == 0) return Variant(true);
        }
        return Variant(false);
    default: Incorrect();
    }
}

Variant TExpressionParser::CalcCompare(const TExprNode& Node) {
    Variant left = Calculate(Node.Operands[0]);
    Variant right = Calculate(Node.Operands[1]);
    if (left.IsNull() || right.IsNull()) {
        const bool oneNull = left.IsNull() != right.IsNull();
        return Variant(Node.Operator == canNE ? oneNull : !oneNull);
    }
    if (Node.CaseInsensitive) {
        left = Variant(UpperText(VarToStr(left)));
        right = Variant(UpperText(VarToStr(right)));
    }
    if (Node.PartialLength > 0 && Node.Operator != canLIKE) {
        const size_t length = static_cast<size_t>(Node.PartialLength);
        left = Variant(VarToStr(left).substr(0, length));
        right = Variant(VarToStr(right).substr(0, length));
    }
    switch (Node.Operator) {
    case canEQ: return Variant(VarCompare(left, right) == 0);
    case canNE: return Variant(VarCompare(left, right) != 0);
    case canLIKE: return Variant(Like(left, right));
    default: Incorrect();
    }
}

Variant TExpressionParser::CalcField(const TExprNode& Node) {
    if (Node.Operator != canField) Incorrect();
    TField* field = GetFieldByName(std::string(Literal(Node)));
    if (field->DataType() == ftBCD && field->IsNull()) return Variant::Null();
    return field->AsVariant();
}

Variant TExpressionParser::CalcConst(const TExprNode& Node) {
    if (Node.Operator != canConst) Incorrect();
    const std::string_view bytes = Literal(Node);
    switch (Node.DataType) {
    case fxString:
    case fxFixedChar: return Variant(std::string(bytes));
    case fxSmallint: return Variant(Load<int16_t>(bytes));
    case fxWord: return Variant::FromInteger(Load<uint16_t>(bytes), varWord);
    case fxInteger:
    case fxAutoInc: return Variant(Load<int32_t>(bytes));
    case fxBoolean: return Variant(Load<int16_t>(bytes) > 0);
    case fxFloat:
    case fxCurrency: return Variant(Load<double>(bytes));
    case fxBCD: {
        Currency value;
        if (!BCDToCurr(Load<TBcd>(bytes), value)) Incorrect();
        return Variant(value);
    }
    case fxDate: return Variant::FromDate(TimeStampToDateTime({0, Load<int32_t>(bytes)}));
    case fxTime: return Variant::FromDate(static_cast<double>(Load<int32_t>(bytes)) / MSecsPerDay);
    case fxDateTime: return Variant::FromDate(TimeStampToDateTime(MSecsToTimeStamp(Load<double>(bytes))));
    case fxLargeint: return Variant(Load<int64_t>(bytes));
    default: Incorrect();   // wide-string constants among them
    }
}

Variant TExpressionParser::CalcFunction(const TExprNode& Node) {
    if (Node.Operator != canFunc) Incorrect();
    const std::string literal(Literal(Node));
    const std::string name = UpperText(literal);
    auto argument = [&] { return Node.Operands[0] >= 0 ? Calculate(Node.Operands[0]) : Variant(); };
    auto datePart = [&](bool Time, int Part) -> Variant {
        const Variant value = argument();
        if (value.IsNull() || value.IsEmpty()) return Variant::Null();
        const TDateTime date = DateOf(value);
        int parts[4] = {};
        if (Time) DecodeTime(date, parts[0], parts[1], parts[2], parts[3]);
        else DecodeDate(date, parts[0], parts[1], parts[2]);
        return Variant(static_cast<int32_t>(parts[Part]));
    };
    if (name == "UPPER") return Variant(UpperText(VarToStr(argument())));
    if (name == "LOWER") return Variant(LowerText(VarToStr(argument())));
    if (name == "TRIM") return Variant(FastTrim(VarToStr(argument())));
    if (name == "TRIMLEFT" || name == "TRIMRIGHT") {
        std::string text = VarToStr(argument());
        auto blank = [](char c) { return static_cast<unsigned char>(c) < 33; };
        if (name == "TRIMLEFT") text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
        else text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
        return Variant(text);
    }
    if (name == "SUBSTRING") return Substring(argument());
    if (name == "YEAR") return datePart(false, 0);
    if (name == "MONTH") return datePart(false, 1);
    if (name == "DAY") return datePart(false, 2);
    if (name == "HOUR") return datePart(true, 0);
    if (name == "MINUTE") return datePart(true, 1);
    if (name == "SECOND") return datePart(true, 2);
    if (name == "DATE") {
        const Variant value = argument();
        if (value.IsArray()) {
            const std::vector<Variant> args = Elements(value);
            if (!FDateConverter || args.size() < 2) Incorrect();
            return Variant::FromDate(FDateConverter(VarToStr(args[0]), VarToStr(args[1])));
        }
        if (value.IsNull() || value.IsEmpty()) return Variant::Null();
        return Variant(static_cast<int32_t>(std::trunc(DateOf(value))));
    }
    if (name == "GETDATE") return Variant::FromDate(Now());
    throw EDatabaseError("Expression expected but " + literal + " found");
}

Variant TExpressionParser::CalcList(int Node) {
    const auto& nodes = Buffer().Nodes;
    std::vector<Variant> items;
    for (size_t i = static_cast<size_t>(Node); i < nodes.size() && nodes[i].NodeClass == nodeListElem; ++i) {
        if (nodes[i].Operator != canListElem) Incorrect();
        Variant item = Calculate(nodes[i].Operands[0]);
        if (!item.IsArray()) {
            items.push_back(std::move(item));
            continue;
        }
        for (Variant& element : Elements(item)) {
            if (element.IsEmpty()) break;
            items.push_back(std::move(element));
        }
    }
    if (items.size() < 2) return items.empty() ? Variant() : items[0];
    Variant array = Variant::CreateArray({{0, static_cast<int>(items.size())}}, varVariant);
    for (size_t i = 0; i < items.size(); ++i) array.PutElement({static_cast<int>(i)}, std::move(items[i]));
    return array;
}

} // namespace qnl
