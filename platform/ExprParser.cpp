// Implements the filter-expression parser; see ExprParser.h.
#include "platform/ExprParser.h"

#include "platform/DateTime.h"
#include "platform/IntText.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

namespace qnl {

namespace {

enum class TTokenKind : uint8_t { End, Name, QuotedName, Text, Number, Symbol };

struct TToken {
    TTokenKind Kind = TTokenKind::End;
    std::string Text;   // the name, the text's value, the number or the symbol as written
    size_t Pos = 0;     // 0-based offset of its first character
};

[[noreturn]] void ParseError(const std::string& Message, size_t Pos) {
    throw EDatabaseError(Message + " at position " + std::to_string(Pos + 1));
}

std::string UpperAscii(std::string_view S) {
    std::string r(S);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return r;
}

bool IsNameStart(unsigned char C) { return std::isalpha(C) || C == '_' || C == '$' || C >= 128; }
bool IsNameChar(unsigned char C) { return IsNameStart(C) || std::isdigit(C) || C == '.'; }

// How a token shows in a message.
std::string Describe(const TToken& T) {
    switch (T.Kind) {
    case TTokenKind::End: return "nothing";
    case TTokenKind::Text: return "'" + T.Text + "'";
    case TTokenKind::Symbol: return "'" + T.Text + "'";
    default: return T.Text;
    }
}

// Reads the text into tokens one at a time.
class TLexer {
public:
    explicit TLexer(std::string_view Text) : FText(Text) {}

    TToken Next() {
        while (FPos < FText.size() && FText[FPos] != 0 && static_cast<unsigned char>(FText[FPos]) <= ' ') ++FPos;
        TToken t;
        t.Pos = FPos;
        if (FPos >= FText.size()) return t;
        const auto c = static_cast<unsigned char>(FText[FPos]);
        if (IsNameStart(c)) {
            const size_t start = FPos;
            while (FPos < FText.size() && IsNameChar(static_cast<unsigned char>(FText[FPos]))) ++FPos;
            t.Kind = TTokenKind::Name;
            t.Text.assign(FText.substr(start, FPos - start));
        } else if (c == '[') {
            const size_t close = FText.find(']', FPos + 1);
            if (close == std::string_view::npos) ParseError("Unterminated field name", FPos);
            t.Kind = TTokenKind::QuotedName;
            t.Text.assign(FText.substr(FPos + 1, close - FPos - 1));
            FPos = close + 1;
        } else if (c == '"' || c == '\'') {
            t.Kind = c == '"' ? TTokenKind::QuotedName : TTokenKind::Text;
            t.Text = Quoted(static_cast<char>(c));
        } else if (std::isdigit(c) || (c == '.' && FPos + 1 < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos + 1])))) {
            t.Kind = TTokenKind::Number;
            t.Text = NumberText();
        } else {
            t.Kind = TTokenKind::Symbol;
            static constexpr std::string_view Pairs[] = {"<>", "!=", "<=", ">="};
            for (std::string_view pair : Pairs)
                if (FText.substr(FPos, 2) == pair) t.Text = pair;
            if (t.Text.empty()) {
                if (std::string_view("=<>+-*/(),").find(static_cast<char>(c)) == std::string_view::npos) {
                    const std::string shown = c < ' ' || c == 127 ? "#" + std::to_string(c) : std::string(1, static_cast<char>(c));
                    ParseError("Invalid filter expression character: '" + shown + "'", FPos);
                }
                t.Text.assign(1, static_cast<char>(c));
            }
            FPos += t.Text.size();
        }
        return t;
    }

private:
    // A quoted text or name; the quote doubled stands for itself.
    std::string Quoted(char Quote) {
        const size_t start = FPos;
        std::string r;
        for (++FPos;; ++FPos) {
            if (FPos >= FText.size())
                ParseError(Quote == '"' ? "Unterminated field name" : "Unterminated string constant", start);
            if (FText[FPos] == Quote) {
                if (FPos + 1 < FText.size() && FText[FPos + 1] == Quote) {
                    ++FPos;
                } else {
                    ++FPos;
                    return r;
                }
            }
            r += FText[FPos];
        }
    }

    std::string NumberText() {
        const size_t start = FPos;
        auto digits = [&] {
            while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos]))) ++FPos;
        };
        digits();
        if (FPos < FText.size() && FText[FPos] == '.') {
            ++FPos;
            digits();
        }
        if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
            size_t p = FPos + 1;
            if (p < FText.size() && (FText[p] == '+' || FText[p] == '-')) ++p;
            if (p < FText.size() && std::isdigit(static_cast<unsigned char>(FText[p]))) {
                FPos = p;
                digits();
            }
        }
        return std::string(FText.substr(start, FPos - start));
    }

    std::string_view FText;
    size_t FPos = 0;
};

template <class T>
std::string Bytes(const T& Value) {
    std::string r(sizeof Value, '\0');
    std::memcpy(r.data(), &Value, sizeof Value);
    return r;
}

bool IsIntegral(const std::string& Number) { return Number.find_first_not_of("0123456789") == std::string::npos; }

// A literal as a constant of type Type, in the literal area's form; nothing when it does not
// convert without loss.
std::optional<std::string> ConvertLiteral(const TToken& Literal, TExprType Type) {
    const bool isBoolean = Literal.Kind == TTokenKind::Name;   // TRUE or FALSE
    const std::string& text = Literal.Text;
    auto integer = [&](int64_t Low, int64_t High) -> std::optional<int64_t> {
        int64_t v = 0;
        if (isBoolean || text.empty() || !TryStrToInt64(text, v) || text.find_first_of("$xX") != std::string::npos ||
            v < Low || v > High)
            return std::nullopt;
        return v;
    };
    try {
        switch (Type) {
        case fxString:
        case fxFixedChar:
            if (isBoolean) return std::nullopt;
            return text;
        case fxSmallint:
            if (auto v = integer(INT16_MIN, INT16_MAX)) return Bytes(static_cast<int16_t>(*v));
            return std::nullopt;
        case fxWord:
            if (auto v = integer(0, UINT16_MAX)) return Bytes(static_cast<uint16_t>(*v));
            return std::nullopt;
        case fxInteger:
        case fxAutoInc:
            if (auto v = integer(INT32_MIN, INT32_MAX)) return Bytes(static_cast<int32_t>(*v));
            return std::nullopt;
        case fxLargeint:
            if (auto v = integer(INT64_MIN, INT64_MAX)) return Bytes(*v);
            return std::nullopt;
        case fxBoolean: {
            const std::string upper = UpperAscii(text);
            if (upper != "TRUE" && upper != "FALSE") return std::nullopt;
            return Bytes(static_cast<int16_t>(upper == "TRUE" ? 1 : 0));
        }
        case fxFloat:
        case fxCurrency: {
            double v = 0;
            if (isBoolean || !TryStrToFloat(text, v) || !std::isfinite(v)) return std::nullopt;
            return Bytes(v);
        }
        case fxBCD: {
            // The evaluator reads a BCD constant as Currency, so it must fit one exactly.
            TBcd bcd;
            Currency currency;
            if (isBoolean || !TryStrToBcd(text, bcd, FormatSettings.DecimalSeparator) || bcd.Places() > 4 ||
                !BCDToCurr(bcd, currency))
                return std::nullopt;
            return Bytes(bcd);
        }
        case fxDate:
        case fxTime:
        case fxDateTime: {
            if (Literal.Kind != TTokenKind::Text) return std::nullopt;
            const TDateTime value = Type == fxDate ? StrToDate(text) : Type == fxTime ? StrToTime(text) : StrToDateTime(text);
            if (!(value >= -693593.0 && value < 2958466.0)) return std::nullopt;
            const TTimeStamp stamp = DateTimeToTimeStamp(value);
            if (Type == fxDate) return Bytes(static_cast<int32_t>(stamp.Date));
            if (Type == fxTime) return Bytes(static_cast<int32_t>(stamp.Time));
            return Bytes(TimeStampToMSecs(stamp));
        }
        case fxWideString:
            // Kept as the wide-string constant it is; the evaluator decides what it can read.
            if (isBoolean) return std::nullopt;
            return text;
        default: return std::nullopt;
        }
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

bool IsTextType(TExprType Type) { return Type == fxString || Type == fxFixedChar; }

} // namespace

class TExprParser::TReader {
public:
    TReader(TExprParser& Owner, TDataSet* DataSet, std::string_view Text, const TFieldMap& FieldMap)
        : FOwner(Owner), FBuffer(Owner.FBuffer), FDataSet(DataSet), FLexer(Text), FFieldMap(FieldMap) {
        Advance();
    }

    void Read(const std::string& FieldName) {
        int root = ParseOr();
        if (FToken.Kind != TTokenKind::End) ParseError("Filter expression incorrectly terminated", FToken.Pos);
        if (!FieldName.empty()) root = AddNode(nodeBinary, canAssign, FieldNode(FieldName, 0), root);
        FBuffer.Root = root;
    }

private:
    // Counts one level of nesting while the reader descends.
    class TNesting {
    public:
        TNesting(int& Depth, size_t Pos) : FDepth(Depth) {
            if (++FDepth > MaxExprDepth) TooDeep(Pos);
        }
        ~TNesting() { --FDepth; }
        TNesting(const TNesting&) = delete;
        TNesting& operator=(const TNesting&) = delete;

    private:
        int& FDepth;
    };

    [[noreturn]] static void TooDeep(size_t Pos) {
        ParseError("Expression nested too deeply (maximum depth " + std::to_string(MaxExprDepth) + ")", Pos);
    }

    void Advance() { FToken = FLexer.Next(); }
    bool IsKeyword(const char* Word) const { return FToken.Kind == TTokenKind::Name && UpperAscii(FToken.Text) == Word; }
    bool IsSymbol(const char* Symbol) const { return FToken.Kind == TTokenKind::Symbol && FToken.Text == Symbol; }
    void Expect(const char* Symbol) {
        if (!IsSymbol(Symbol)) ParseError(std::string("'") + Symbol + "' expected but " + Describe(FToken) + " found", FToken.Pos);
        Advance();
    }
    static bool IsReservedWord(const std::string& Name) {
        static constexpr const char* Words[] = {"AND", "OR", "NOT", "LIKE", "IN", "IS", "NULL", "MOD", "TRUE", "FALSE"};
        const std::string upper = UpperAscii(Name);
        return std::any_of(std::begin(Words), std::end(Words), [&](const char* w) { return upper == w; });
    }

    // ---- Nodes ----

    int AddNode(TExprNodeClass Class, TExprOperator Op, int First = -1, int Second = -1) {
        TExprNode node;
        node.NodeClass = Class;
        node.Operator = Op;
        node.Operands[0] = First;
        node.Operands[1] = Second;
        int depth = 1;
        for (int operand : node.Operands)
            if (operand >= 0) depth = std::max(depth, FDepths[static_cast<size_t>(operand)] + 1);
        if (depth > MaxExprDepth) TooDeep(FToken.Pos);
        FBuffer.Nodes.push_back(node);
        FDepths.push_back(depth);
        FLiteralTokens.emplace_back();
        return static_cast<int>(FBuffer.Nodes.size()) - 1;
    }

    void SetLiteral(int Node, std::string_view Bytes) {
        TExprNode& node = FBuffer.Nodes[static_cast<size_t>(Node)];
        node.LiteralOffset = static_cast<uint32_t>(FBuffer.Literals.size());
        node.LiteralSize = static_cast<uint32_t>(Bytes.size());
        FBuffer.Literals.append(Bytes);
    }

    int FieldNode(const std::string& Name, size_t Pos) {
        TField* field = FDataSet ? FDataSet->FindField(Name) : nullptr;
        if (!field) ParseError("Field '" + Name + "' not found", Pos);
        const int node = AddNode(nodeField, canField);
        FBuffer.Nodes[static_cast<size_t>(node)].DataType = FFieldMap[field->DataType()];
        SetLiteral(node, Name);
        return node;
    }

    // A literal with the type it has by itself.
    int ConstNode(const TToken& Literal) {
        TExprType type = fxString;
        std::string bytes = Literal.Text;
        if (Literal.Kind == TTokenKind::Name) {
            type = fxBoolean;
            bytes = Bytes(static_cast<int16_t>(UpperAscii(Literal.Text) == "TRUE" ? 1 : 0));
        } else if (Literal.Kind == TTokenKind::Number) {
            int64_t v = 0;
            if (IsIntegral(Literal.Text) && TryStrToInt64(Literal.Text, v)) {
                type = v >= INT32_MIN && v <= INT32_MAX ? fxInteger : fxLargeint;
                bytes = type == fxInteger ? Bytes(static_cast<int32_t>(v)) : Bytes(v);
            } else {
                double d = 0;
                const auto [end, ec] = std::from_chars(Literal.Text.data(), Literal.Text.data() + Literal.Text.size(), d);
                if (ec != std::errc() || end != Literal.Text.data() + Literal.Text.size())
                    ParseError("Constant out of range", Literal.Pos);
                type = fxFloat;
                bytes = Bytes(d);
            }
        }
        const int node = AddNode(nodeConst, canConst);
        FBuffer.Nodes[static_cast<size_t>(node)].DataType = type;
        SetLiteral(node, bytes);
        FLiteralTokens[static_cast<size_t>(node)] = Literal;
        return node;
    }

    const TExprNode& NodeAt(int Index) const { return FBuffer.Nodes[static_cast<size_t>(Index)]; }
    // The literal a constant node was read from; nil for every other node.
    const TToken* LiteralOf(int Node) const {
        const auto& token = FLiteralTokens[static_cast<size_t>(Node)];
        return token ? &*token : nullptr;
    }

    // Gives a constant the type of the field it meets, when it converts without loss.
    void TypeConstant(int Constant, int Field) {
        const TToken* literal = LiteralOf(Constant);
        if (!literal || NodeAt(Field).NodeClass != nodeField) return;
        const TExprType type = NodeAt(Field).DataType;
        if (auto bytes = ConvertLiteral(*literal, type)) {
            FBuffer.Nodes[static_cast<size_t>(Constant)].DataType = type;
            SetLiteral(Constant, *bytes);
        }
    }

    // A comparison (=, <>, <, >, <=, >= or LIKE) of two operands.
    int Relation(TExprOperator Op, int Left, int Right) {
        TypeConstant(Left, Right);
        TypeConstant(Right, Left);
        const bool fieldLeft = NodeAt(Left).NodeClass == nodeField;
        const int field = fieldLeft ? Left : Right;
        const int constant = fieldLeft ? Right : Left;
        const TToken* literal = LiteralOf(constant);
        if ((Op == canEQ || Op == canNE || Op == canLIKE) && NodeAt(field).NodeClass == nodeField &&
            IsTextType(NodeAt(field).DataType) && literal && literal->Kind == TTokenKind::Text) {
            const bool caseInsensitive = (FOwner.FOptions & foCaseInsensitive) != 0;
            const std::string text = literal->Text;   // AddNode may move the literals
            const bool partial = Op != canLIKE && !(FOwner.FOptions & foNoPartialCompare) && !text.empty() && text.back() == '*';
            if (caseInsensitive || partial) {
                const int node = AddNode(nodeCompare, Op, Left, Right);
                TExprNode& compare = FBuffer.Nodes[static_cast<size_t>(node)];
                compare.CaseInsensitive = caseInsensitive;
                if (partial) {
                    compare.PartialLength = static_cast<int32_t>(text.size() - 1);
                    SetLiteral(constant, std::string_view(text).substr(0, text.size() - 1));
                }
                return node;
            }
        }
        return AddNode(nodeBinary, Op, Left, Right);
    }

    // The list elements of Items, one after another; answers the first.
    int ListNodes(const std::vector<int>& Items) {
        int first = -1, depth = 0;
        for (int item : Items) {
            const int node = AddNode(nodeListElem, canListElem, item);
            if (first < 0) first = node;
            depth = std::max(depth, FDepths.back());
        }
        FDepths[static_cast<size_t>(first)] = depth;
        return first;
    }

    std::vector<int> ParseItems() {
        std::vector<int> items{ParseOr()};
        while (IsSymbol(",")) {
            Advance();
            items.push_back(ParseOr());
        }
        return items;
    }

    // ---- Grammar ----

    int ParseOr() {
        int left = ParseAnd();
        while (IsKeyword("OR")) {
            Advance();
            left = AddNode(nodeBinary, canOR, left, ParseAnd());
        }
        return left;
    }

    int ParseAnd() {
        int left = ParseNot();
        while (IsKeyword("AND")) {
            Advance();
            left = AddNode(nodeBinary, canAND, left, ParseNot());
        }
        return left;
    }

    int ParseNot() {
        if (!IsKeyword("NOT")) return ParseCompare();
        TNesting nesting(FNesting, FToken.Pos);
        Advance();
        return AddNode(nodeUnary, canNOT, ParseNot());
    }

    int ParseCompare() {
        const int left = ParseSum();
        static constexpr std::pair<const char*, TExprOperator> Relations[] = {
            {"=", canEQ}, {"<>", canNE}, {"!=", canNE}, {"<", canLT}, {">", canGT}, {"<=", canLE}, {">=", canGE}};
        for (const auto& [symbol, op] : Relations)
            if (IsSymbol(symbol)) {
                Advance();
                return Relation(op, left, ParseSum());
            }
        if (IsKeyword("LIKE")) {
            Advance();
            return Relation(canLIKE, left, ParseSum());
        }
        if (IsKeyword("IN")) {
            Advance();
            TNesting nesting(FNesting, FToken.Pos);
            Expect("(");
            const std::vector<int> items = ParseItems();
            Expect(")");
            for (int item : items) TypeConstant(item, left);
            return AddNode(nodeBinary, canIN, left, ListNodes(items));
        }
        if (IsKeyword("IS")) {
            Advance();
            bool negated = false;
            if (IsKeyword("NOT")) {
                negated = true;
                Advance();
            }
            if (!IsKeyword("NULL")) ParseError("NULL expected but " + Describe(FToken) + " found", FToken.Pos);
            Advance();
            return AddNode(nodeUnary, negated ? canNotBlank : canIsBlank, left);
        }
        return left;
    }

    int ParseSum() {
        int left = ParseProduct();
        while (IsSymbol("+") || IsSymbol("-")) {
            const TExprOperator op = IsSymbol("+") ? canADD : canSUB;
            Advance();
            left = AddNode(nodeBinary, op, left, ParseProduct());
        }
        return left;
    }

    int ParseProduct() {
        int left = ParseUnary();
        while (IsSymbol("*") || IsSymbol("/") || IsKeyword("MOD")) {
            const TExprOperator op = IsSymbol("*") ? canMUL : IsSymbol("/") ? canDIV : canMOD;
            Advance();
            left = AddNode(nodeBinary, op, left, ParseUnary());
        }
        return left;
    }

    int ParseUnary() {
        if (!IsSymbol("-")) return ParsePrimary();
        TNesting nesting(FNesting, FToken.Pos);
        Advance();
        return AddNode(nodeUnary, canMinus, ParseUnary());
    }

    int ParsePrimary() {
        const TToken token = FToken;
        switch (token.Kind) {
        case TTokenKind::Number:
        case TTokenKind::Text:
            Advance();
            return ConstNode(token);
        case TTokenKind::QuotedName:
            Advance();
            return FieldNode(token.Text, token.Pos);
        case TTokenKind::Name: {
            if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
                Advance();
                return ConstNode(token);
            }
            if (IsReservedWord(token.Text)) break;
            Advance();
            if (IsSymbol("(")) return ParseFunction(token);
            return FieldNode(token.Text, token.Pos);
        }
        case TTokenKind::Symbol:
            if (token.Text == "(") {
                TNesting nesting(FNesting, token.Pos);
                Advance();
                const int inner = ParseOr();
                Expect(")");
                return inner;
            }
            break;
        case TTokenKind::End: break;
        }
        ParseError("Expression expected but " + Describe(token) + " found", token.Pos);
    }

    // Name is read and the current token is "(".
    int ParseFunction(const TToken& Name) {
        TNesting nesting(FNesting, FToken.Pos);
        Advance();
        std::vector<int> arguments;
        if (!IsSymbol(")")) arguments = ParseItems();
        Expect(")");
        const std::string upper = UpperAscii(Name.Text);
        if ((upper == "UPPER" || upper == "LOWER") && arguments.size() == 1)
            return AddNode(nodeUnary, upper == "UPPER" ? canUPPER : canLOWER, arguments[0]);
        const int argument = arguments.empty() ? -1 : arguments.size() == 1 ? arguments[0] : ListNodes(arguments);
        const int node = AddNode(nodeFunc, canFunc, argument);
        SetLiteral(node, Name.Text);
        return node;
    }

    TExprParser& FOwner;
    TExprBuffer& FBuffer;
    TDataSet* FDataSet;
    TLexer FLexer;
    const TFieldMap& FFieldMap;
    TToken FToken;
    std::vector<int> FDepths;                          // per node: its depth
    std::vector<std::optional<TToken>> FLiteralTokens;  // per node: the literal of a constant
    int FNesting = 0;
};

TExprParser::TExprParser(TDataSet* DataSet, std::string_view Text, TFilterOptions Options, const std::string& FieldName,
                         const TFieldMap& FieldMap)
    : FOptions(Options) {
    TReader reader(*this, DataSet, Text, FieldMap);
    reader.Read(FieldName);
}

std::string_view TExprParser::Literal(const TExprNode& Node) const {
    if (Node.LiteralOffset > FBuffer.Literals.size()) return {};
    return std::string_view(FBuffer.Literals).substr(Node.LiteralOffset, Node.LiteralSize);
}

} // namespace qnl
