// External functions: the DECLARE text case by case, and the passes through the comparer for the
// paths the Firebird test does not reach (descriptions, a view of the master created again right
// after the function it used is dropped).
#include "objects/qnlComp_Fnc.h"
#include "objects/qnlComp_Viw.h"
#include "tests/objects/ObjectsKit.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace qnl::test {
namespace {

struct DeclareCase {
    const char* What;
    std::function<void(TUdfData&)> Fill;
    const char* Expected;
};

std::ostream& operator<<(std::ostream& Out, const DeclareCase& C) { return Out << C.What; }

const DeclareCase DeclareCases[] = {
    {"no arguments: no argument line",
     [](TUdfData& f) {
         f.ReturnField->DataType = dtInteger;
         f.ReturnField->ByValue = true;
     },
     "DECLARE EXTERNAL FUNCTION F\r\nRETURNS INTEGER BY VALUE\r\nENTRY_POINT 'fn_e' MODULE_NAME 'fn_m'"},
    {"two arguments on one line, result freed by the server",
     [](TUdfData& f) {
         f.AddArgument(dtInteger);
         f.AddArgument(dtCString, 80);
         f.ReturnField->DataType = dtCString;
         f.ReturnField->CharLength = 80;
         f.FreeIt = true;
     },
     "DECLARE EXTERNAL FUNCTION F\r\nINTEGER, CSTRING(80)\r\nRETURNS CSTRING(80) FREE_IT\r\n"
     "ENTRY_POINT 'fn_e' MODULE_NAME 'fn_m'"},
    {"an argument returned, one by descriptor",
     [](TUdfData& f) {
         f.AddArgument(dtVarChar, 10)->ByDescriptor = true;
         f.AddArgument(dtCString, 10);
         f.ReturnField->ParameterNumber = 2;
     },
     "DECLARE EXTERNAL FUNCTION F\r\nVARCHAR(10) BY DESCRIPTOR, CSTRING(10)\r\nRETURNS PARAMETER 2\r\n"
     "ENTRY_POINT 'fn_e' MODULE_NAME 'fn_m'"},
    {"a blob argument has no segment size",
     [](TUdfData& f) {
         TFldData* b = f.AddArgument(dtBlob);
         b->SubType = 1;
         b->SegmentLength = 4096;
         f.ReturnField->DataType = dtInteger;
         f.ReturnField->ByValue = true;
     },
     "DECLARE EXTERNAL FUNCTION F\r\nBLOB SUB_TYPE 1\r\nRETURNS INTEGER BY VALUE\r\nENTRY_POINT 'fn_e' MODULE_NAME 'fn_m'"},
    {"quotes in names and literals",
     [](TUdfData& f) {
         f.Name = "my f";
         f.EntryPoint = "e'p";
         f.ModuleName = "o'dd";
         f.ReturnField->DataType = dtDoublePrecision;
         f.ReturnField->ByValue = true;
     },
     "DECLARE EXTERNAL FUNCTION \"my f\"\r\nRETURNS DOUBLE PRECISION BY VALUE\r\nENTRY_POINT 'e''p' MODULE_NAME 'o''dd'"},
};

class DeclareText : public testing::TestWithParam<DeclareCase> {};

TEST_P(DeclareText, Is) {
    OneSide side;
    TUdfData f(&side.Objs());
    f.Name = "F";
    f.EntryPoint = "fn_e";
    f.ModuleName = "fn_m";
    GetParam().Fill(f);
    EXPECT_EQ(f.GetCreateSQL(), GetParam().Expected);
    EXPECT_EQ(f.GetDropSQL(), "/* Drop: " + f.Name + " (TUdfData) */\r\nDROP EXTERNAL FUNCTION " + f.QuoteName(f.Name));
}

INSTANTIATE_TEST_SUITE_P(Firebird, DeclareText, testing::ValuesIn(DeclareCases));

TUdfData* Udf(TObjs& O, const std::string& Name, const std::string& EntryPoint, const std::string& Description = {}) {
    auto* f = new TUdfData(&O);
    f->Name = Name;
    f->EntryPoint = EntryPoint;
    f->ModuleName = "ib_udf";
    f->AddArgument(dtDoublePrecision);
    f->ReturnField->DataType = dtDoublePrecision;
    f->ReturnField->ByValue = true;
    f->SetDescription(Description);
    O.AddDbObject(f);
    return f;
}

// A new function is declared with its description; one both sides declare alike gets only its
// description.
TEST(UdfPass, DescriptionsOfNewAndEqualFunctions) {
    RecordedComparison c;
    Udf(c.M(), "NEW_F", "IB_UDF_abs", "new");
    Udf(c.M(), "SAME_F", "IB_UDF_abs", "master's");
    Udf(c.T(), "SAME_F", "IB_UDF_abs", "target's");
    EXPECT_EQ(c.Run({dboFunction}),
              (std::vector<std::string>{
                  "/* Declare UDF */",
                  "[1] DECLARE EXTERNAL FUNCTION NEW_F\r\nDOUBLE PRECISION\r\nRETURNS DOUBLE PRECISION BY VALUE\r\n"
                  "ENTRY_POINT 'IB_UDF_abs' MODULE_NAME 'ib_udf'",
                  "[11] COMMENT ON EXTERNAL FUNCTION NEW_F IS\r\n'new'",
                  "[11] COMMENT ON EXTERNAL FUNCTION SAME_F IS\r\n'master''s'",
              }));
}

// A target-only function used by a view column: the view goes before the function, and the
// master's view of that name comes back right after the function's DROP.
TEST(UdfPass, ViewOfADroppedFunctionComesBackRightAfterIt) {
    RecordedComparison c;
    for (TObjs* o : {&c.M(), &c.T()}) {
        auto* t = new TTblData(o);
        t->Name = "T";
        o->AddDbObject(t);
        auto* v = new TViwData(o);
        v->Name = "V";
        v->AddColumn("A");
        v->SetSource(o == &c.T() ? "SELECT ABS_X(ID) FROM T" : "SELECT ID FROM T");
        o->AddDbObject(v);
        RegisterDependency(o, v, t);
        if (o == &c.T()) RegisterDependency(o, v->Column(0), Udf(*o, "ABS_X", "IB_UDF_abs"));
    }
    EXPECT_EQ(c.Run({dboFunction, dboView}),
              (std::vector<std::string>{
                  "/* Drop UDF */",
                  "[3] DROP VIEW V",
                  "[3] /* Drop: ABS_X (TUdfData) */\r\nDROP EXTERNAL FUNCTION ABS_X",
                  "/* Create view: V (ViwData.CreateDependDef) */",
                  "[1] CREATE VIEW V(\r\nA)\r\n AS \r\nSELECT ID FROM T",
              }));
}

} // namespace
} // namespace qnl::test
