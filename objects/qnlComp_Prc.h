#pragma once
// Stored procedures and functions of every dialect: their texts (parameter lists, heads, CREATE,
// ALTER, DROP, the placeholder body and the stub), emptying a body, and the comparer's passes
// over them. The passes keep every routine callable at every point of an update script: new
// routines start as stubs and get their bodies at the end of the alter pass, routines whose
// callees change are emptied first and restored afterwards, and routines only the target has are
// emptied before they are dropped.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"
#include "core/qnlTypes.h"
#include "objects/qnlComp_Tbl.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TCustomQuarnel;

// MySQL routine characteristics: bit n of TPrcData::MySQLCharacteristics (bit 3 has no text).
inline constexpr uint16_t mcLanguageSQL = 1u << 0, mcDeterministic = 1u << 1, mcNotDeterministic = 1u << 2,
                          mcNoSQL = 1u << 4, mcReadsSQLData = 1u << 5, mcModifiesSQLData = 1u << 6,
                          mcSecurityDefiner = 1u << 7, mcSecurityInvoker = 1u << 8;

// Firebird 3's external-engine routine or trigger: the text that stands where a PSQL body would
// ("EXTERNAL NAME 'module!entry' ENGINE UDR"), kept as the object's source so that a changed name
// or engine alters the object; the script and the catalogue give the same text.
std::string ExternalEngineClause(const std::string& ExternalName, const std::string& EngineName);

class TPrcData : public TDbObj {
public:
    explicit TPrcData(TCustomObjs* AContainer);
    // The parameters go before the base: their destructors unregister from objects they point to.
    ~TPrcData() override;
    std::string ClassName() const override { return "TPrcData"; }

    bool BodyEmptied = false;
    bool InlineTable = false;  // MSSQL/ASE: RETURNS TABLE
    int32_t ProcNumber = 0;    // MSSQL procedure group number, 0 for none
    bool IsFunction = false;
    std::string ObjFile;     // PostgreSQL routine without source: object file
    std::string LinkSymbol;  // ... and link symbol
    std::string Language;    // PostgreSQL LANGUAGE; MSSQL/ASE: set for an external routine
    std::string TrailingClause;
    bool ReturnsNullOnNull = false;
    std::string ReturnType;  // PostgreSQL RETURNS; empty: the first output's type
    bool ReturnsSet = false;
    std::string WithOptions;  // MSSQL: written after " WITH "
    // Clauses of an ASE external routine.
    bool ModifiesSqlData = false;
    int32_t DynamicResultSets = 0;
    bool IsDeterministic = false;
    bool Exportable = false;
    std::string ParameterStyle;
    // ASE: the external routine's name; InterBase/Firebird: with EngineName, an external-engine
    // routine (its source is ExternalEngineClause).
    std::string ExternalName;
    std::string EngineName;
    uint16_t MySQLCharacteristics = 0;

    // Parameters in declaration order, owned by the routine. A function's result is its first
    // output. The parameter's owner is set to this routine.
    TFldData* AddInputParam(std::unique_ptr<TFldData> Param);
    TFldData* AddOutputParam(std::unique_ptr<TFldData> Param);
    // A new parameter of this routine with the given name, direction and type code.
    TFldData* AddInputParam(const std::string& AName, uint8_t DataType);
    TFldData* AddOutputParam(const std::string& AName, uint8_t DataType);
    TFldData* InputParam(int Index) const;
    TFldData* OutputParam(int Index) const;
    int InputCount() const { return static_cast<int>(FInputs.size()); }
    int OutputCount() const { return static_cast<int>(FOutputs.size()); }
    TFldData* FindInputParam(const std::string& AName) const;
    TFldData* FindOutputParam(const std::string& AName) const;
    // Frees every parameter (a routine defined anew brings its own).
    void ClearParams();

    // RETURNS TABLE, or a first output of the type TABLE.
    bool ReturnsTable() const;
    // The parameter list; the RETURNS part is left out on request for PostgreSQL and MySQL only.
    std::string GetParamsSQL(bool WithReturns = true) override;
    // The stub's text: this routine's CREATE with the placeholder body.
    std::string GetStubCreateSQL() override;
    std::string GetEmptyBody() const override;
    // Replaces the body of a routine that exists at this point of the script by the placeholder
    // body; the master routine of the same key is marked for restoring. With AddStatement the
    // ALTER is written and CurrentSQL follows it.
    void EmptyBody(bool AddStatement) override;
    void SetBodyEmptied(bool Value) override;
    // What calls the target partner is emptied first; the alter pass gives the bodies back.
    void PrepareForCaller() override;

    // ---- TDbObj ----
    std::string GetKeyName() const override;
    std::string GetDisplayName() override { return GetKeyName(); }
    std::string GetCreateSQL() override;
    std::string GetAlterSQL() override;
    std::string GetDropSQL() override;
    std::string GetCreateStatement() override { return TDbObj::GetCreateStatement(); }
    void CreateDependencies() override;
    void DropDependents() override;
    TDescriptionSubject GetDescriptionSubject() override;
    TObjListKind GetObjList() const override { return olProcedures; }
    int GetInputParamCount() const override { return InputCount(); }
    TDbObj* GetInputParam(int Index) const override { return InputParam(Index); }
    int GetOutputParamCount() const override { return OutputCount(); }
    TDbObj* GetOutputParam(int Index) const override { return OutputParam(Index); }
    bool GetReturnsTable() const override { return ReturnsTable(); }
    std::string GetLanguage() const override { return Language; }

protected:
    // "FUNCTION " or "PROCEDURE " and everything up to and including Body, per dialect.
    std::string GetHead(const std::string& Body);
    const char* RoutineWord() const { return IsFunction ? "FUNCTION " : "PROCEDURE "; }

private:
    std::vector<std::unique_ptr<TFldData>> FInputs;
    std::vector<std::unique_ptr<TFldData>> FOutputs;
};

// A member function or procedure of an Oracle object type.
class TMemberPrcData : public TPrcData {
public:
    explicit TMemberPrcData(TCustomObjs* AContainer) : TPrcData(AContainer) {}
    std::string ClassName() const override { return "TMemberPrcData"; }

    std::string Signature;  // the parameter text written after the name
    std::unique_ptr<TTypeDirective> Directive = std::make_unique<TTypeDirective>();

    std::string GetCreateSQL() override;
};

// The ALTER text of a routine with the placeholder body and its own (new) parameter list.
std::string GetProcStubAlterSQL(TPrcData& Procedure);

// The comparer's passes over procedures and functions.
// Stubs of the master's new routines (the whole routine where the dialect cannot take a stub).
void WriteCreateProcedures(TCustomQuarnel& Q);
// Four phases: re-create or empty callers, new parameter lists with empty bodies, full texts,
// and the restoring of every emptied body.
void WriteAlterProcedures(TCustomQuarnel& Q);
// Target-only routines: emptied while they still use something, then dropped.
void WriteDropProcedures(TCustomQuarnel& Q);
// The descriptions of one master routine's parameters (inputs, then outputs) that have one.
void WriteParamDescriptions(TCustomSQLExec& Exec, TPrcData& Procedure);

// A PostgreSQL operator; its Name is the operator symbol.
class TOprData : public TDbObj {
public:
    explicit TOprData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboOperator; }
    std::string ClassName() const override { return "TOprData"; }

    std::string ProcedureName;
    std::string LeftArg, RightArg;  // empty: no operand on that side
    std::string Commutator, Negator, RestrictProc, JoinProc;
    bool Hashes = false;
    bool Merges = false;
    std::string Sort1, Sort2, LtCmp, GtCmp;

    // "(left, right)", NONE for a missing operand: what tells the overloads of a symbol apart.
    std::string GetArgsText() const;

    std::string GetDisplayName() override { return GetKeyName(); }
    std::string GetKeyName() const override;
    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    TObjListKind GetObjList() const override { return olOperators; }
};

// An operator entry of an operator class.
class TOpcOprData {
public:
    int32_t StrategyNumber = 0;
    std::string OperatorName;
    std::string LeftType, RightType;
    std::string GetText() const;
};

class TOpcData;

// A support-function entry of an operator class.
class TOpcFncData {
public:
    explicit TOpcFncData(TOpcData* AOwner) : Owner(AOwner) {}
    TOpcData* Owner;
    int32_t SupportNumber = 0;
    std::string FunctionName;
    TStringList ArgTypes;
    std::string GetText() const;
};

// A PostgreSQL operator class with its operator and support-function entries (owned).
class TOpcData : public TDbObj {
public:
    explicit TOpcData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboOperatorClass; }
    std::string ClassName() const override { return "TOpcData"; }

    bool IsDefault = false;
    std::string ForType;
    std::string IndexMethod;
    std::vector<std::unique_ptr<TOpcOprData>> OperatorEntries;
    std::vector<std::unique_ptr<TOpcFncData>> FunctionEntries;
    std::string StorageType;  // empty: none

    std::string GetDisplayName() override { return GetKeyName(); }
    std::string GetKeyName() const override;
    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    TObjListKind GetObjList() const override { return olOperatorClasses; }
};

// Passes over operators and operator classes; they write only for a PostgreSQL target.
// Master objects the target lacks are created.
void WriteCreateOperators(TCustomQuarnel& Q);
void WriteCreateOperatorClasses(TCustomQuarnel& Q);
// Pairs whose CREATE texts differ are dropped and created again.
void WriteAlterOperators(TCustomQuarnel& Q);
void WriteAlterOperatorClasses(TCustomQuarnel& Q);
// Target objects the master lacks are dropped.
void WriteDropOperators(TCustomQuarnel& Q);
void WriteDropOperatorClasses(TCustomQuarnel& Q);

} // namespace qnl
