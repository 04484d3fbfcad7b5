#pragma once
// The framework's filter-expression parser: it reads a filter text ("NAME LIKE 'A%' AND ID > 3")
// into a compiled expression, a flat list of nodes with a literal area, that a data set's driver
// evaluates against its records. The parser only checks the syntax and the field names; what
// the nodes mean when evaluated is the driver's.
//
// Syntax (keywords and function names in any case):
//   expr      := or
//   or        := and { OR and }                  and := not { AND not }
//   not       := NOT not | compare
//   compare   := sum [ (= | <> | != | < | > | <= | >=) sum | LIKE sum | IN '(' list ')'
//                      | IS [NOT] NULL ]
//   sum       := product { (+ | -) product }     product := unary { (* | / | MOD) unary }
//   unary     := - unary | primary
//   primary   := number | 'text' | TRUE | FALSE | field | name '(' [ list ] ')' | '(' expr ')'
//   field     := name | [any text] | "any text"
//   list      := expr { , expr }
// A name is a letter, "_" or "$" followed by letters, digits, "_", "$" and "."; a quote inside
// a text is doubled. UPPER(x) and LOWER(x) become unary nodes, every other name before "("
// a function node (the evaluator knows the functions).
//
// Constants take the type of the field they are compared with when they convert to it without
// loss (ID = '5' gives an integer constant), else keep their own: a text, a 32- or 64-bit
// integer, a double or a Boolean. A text compared by =, <> or LIKE with a text field becomes a
// comparison node when the filter is case-insensitive or, for = and <>, when it ends with "*"
// (a partial compare of the characters before it) and partial compares are not switched off.
//
// Every node counts towards a depth (its operands' depth plus one), and so does every nested
// parenthesis or prefix operator while it is read; a text deeper than MaxExprDepth is refused,
// so that neither reading nor evaluating it can exhaust the stack.
#include "platform/DataSet.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

// Node classes of a compiled expression.
enum TExprNodeClass : uint8_t {
    nodeNull = 0,
    nodeUnary = 1,
    nodeBinary = 2,
    nodeCompare = 3,
    nodeField = 4,
    nodeConst = 5,
    nodeFunc = 10,
    nodeListElem = 11
};

// Operator codes.
enum TExprOperator : uint8_t {
    canNotDefined = 0,
    canIsBlank = 1,
    canNotBlank = 2,
    canEQ = 3,
    canNE = 4,
    canGT = 5,
    canLT = 6,
    canGE = 7,
    canLE = 8,
    canNOT = 9,
    canAND = 10,
    canOR = 11,
    canField = 13,
    canConst = 14,
    canMinus = 15,
    canADD = 16,
    canSUB = 17,
    canMUL = 18,
    canDIV = 19,
    canMOD = 20,
    canREM = 21,
    canLIKE = 30,
    canIN = 31,
    canUPPER = 33,
    canLOWER = 34,
    canFunc = 35,
    canListElem = 36,
    canAssign = 37
};

// Type codes of fields and constants in a compiled expression (the framework's numbering of its
// field types, which differs from TFieldType's order past ftTypedBinary).
using TExprType = uint16_t;
inline constexpr TExprType fxUnknown = 0;
inline constexpr TExprType fxString = 1;
inline constexpr TExprType fxSmallint = 2;
inline constexpr TExprType fxInteger = 3;
inline constexpr TExprType fxWord = 4;
inline constexpr TExprType fxBoolean = 5;
inline constexpr TExprType fxFloat = 6;
inline constexpr TExprType fxCurrency = 7;
inline constexpr TExprType fxBCD = 8;
inline constexpr TExprType fxDate = 9;
inline constexpr TExprType fxTime = 10;
inline constexpr TExprType fxDateTime = 11;
inline constexpr TExprType fxBytes = 12;
inline constexpr TExprType fxVarBytes = 13;
inline constexpr TExprType fxAutoInc = 14;
inline constexpr TExprType fxBlob = 15;
inline constexpr TExprType fxFixedChar = 23;
inline constexpr TExprType fxWideString = 24;
inline constexpr TExprType fxLargeint = 25;
inline constexpr TExprType fxADT = 26;
inline constexpr TExprType fxArray = 27;
inline constexpr TExprType fxGuid = 35;
// The same wide-string type as some parsers record it.
inline constexpr TExprType fxWideStringAlt = 4103;

// Field type -> the type code a field of that type has in an expression.
using TFieldMap = std::array<TExprType, ftWideMemo + 1>;

inline constexpr int MaxExprDepth = 1000;

struct TExprNode {
    TExprNodeClass NodeClass = nodeNull;
    TExprOperator Operator = canNotDefined;
    // Indexes of the operand nodes, -1 for none. Unary and function nodes use the first (a
    // function without arguments has none); a list element's first operand is its item.
    int Operands[2] = {-1, -1};
    // Field and constant nodes: the type code. Field, constant and function nodes: the name or
    // the constant's bytes in the literal area.
    TExprType DataType = fxUnknown;
    uint32_t LiteralOffset = 0;
    uint32_t LiteralSize = 0;
    // Comparison nodes.
    bool CaseInsensitive = false;
    int32_t PartialLength = 0;
};

// A compiled expression: the nodes of one list follow each other as list elements; Root is the
// node to evaluate. Constants are stored in the literal area in their type's form: texts as
// their bytes, smallint and word 16 bits, integer and auto-increment 32 bits, Boolean 16 bits
// (above 0 is true), float and currency a double, BCD a TBcd, date a 32-bit day count from
// 1 January 0001, time 32-bit milliseconds, date and time a double of milliseconds since the
// start of 1 January 0001, large integer 64 bits (host byte order).
struct TExprBuffer {
    std::vector<TExprNode> Nodes;
    std::string Literals;
    int Root = -1;
};

class TExprParser {
public:
    // Parses Text against DataSet's fields; FieldName, when given, makes the root an assignment
    // of the expression to that field. Raises EDatabaseError with the reason (and the place) of
    // the first error.
    TExprParser(TDataSet* DataSet, std::string_view Text, TFilterOptions Options, const std::string& FieldName,
                const TFieldMap& FieldMap);
    virtual ~TExprParser() = default;
    TExprParser(const TExprParser&) = delete;
    TExprParser& operator=(const TExprParser&) = delete;

    const TExprBuffer& Buffer() const { return FBuffer; }
    TFilterOptions FilterOptions() const { return FOptions; }
    // The bytes of a node's literal.
    std::string_view Literal(const TExprNode& Node) const;

private:
    class TReader;
    TExprBuffer FBuffer;
    TFilterOptions FOptions;
};

} // namespace qnl
