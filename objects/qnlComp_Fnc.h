#pragma once
// External functions of InterBase/Firebird (functions declared from a library module): their
// DECLARE text and the comparer's three passes. An external function cannot be altered in place:
// it is dropped and declared again, after everything that uses it was emptied or dropped; the
// later passes of those kinds bring them back.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Tbl.h"

#include <memory>
#include <string>

namespace qnl {

class TCustomQuarnel;

class TUdfData : public TDbObj {
public:
    explicit TUdfData(TCustomObjs* AContainer);
    // The arguments and the result go before the base: their destructors unregister from the
    // objects they point to.
    ~TUdfData() override;
    std::string ClassName() const override { return "TUdfData"; }

    // The arguments in declaration order, each with its owned typed name (the names are empty:
    // a declaration names no argument).
    TColumnNameList Arguments;
    // The result: its type, BY VALUE / BY DESCRIPTOR, or the number of the argument returned.
    std::unique_ptr<TFldData> ReturnField;
    std::string EntryPoint;
    std::string ModuleName;
    bool FreeIt = false;  // the server frees the result

    // Files an argument at the end of the list; its owner becomes this function.
    TFldData* AddArgument(std::unique_ptr<TFldData> Argument);
    TFldData* AddArgument(uint8_t DataType, int32_t CharLength = 0);
    TFldData* Argument(int Index) const { return Arguments.Column(Index); }

    // ---- TDbObj ----
    // DECLARE EXTERNAL FUNCTION with the arguments on one line, RETURNS, ENTRY_POINT and
    // MODULE_NAME as literals.
    std::string GetCreateSQL() override;
    // The base rules, then views over a column that uses the function, computed columns, and the
    // checks and expression indices that use it: the server refuses the DROP while any remains.
    void DropDependents() override;
    // The master's views and computed columns that used the function come back at once.
    void MarkDropped() override;
    TObjListKind GetObjList() const override { return olUDFs; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcExternalFunction}; }
};

// The comparer's passes over external functions.
// Master functions the target lacks, declared before anything that may use them.
void WriteDeclareUDFs(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);
// Functions whose declarations differ: what uses the target's is emptied or dropped, then the
// function is dropped and declared again.
void WriteAlterUDFs(TCustomQuarnel& Q);
// Target functions the master lacks, dropped with what uses them.
void WriteDropUDFs(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);

} // namespace qnl
