#pragma once
// The interfaces through which the data-access layer reports to outside components that it only
// calls: an SQL logger attached to a database, and a statistics maker held by the database. A
// third interface, ISQLObject, is what statements and data sets offer to such components as a
// source of parameter and field values; ISQLDataSetObject is the larger one of data sets. No
// implementation lives in this layer.
#include "platform/Component.h"
#include "platform/StringList.h"
#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qnl {

class TField;

// Kinds of logged work; a set of them is a bit mask with bit n for the kind of ordinal n.
using TLogFlag = uint8_t;
inline constexpr TLogFlag lfQPrepare = 0;
inline constexpr TLogFlag lfQExecute = 1;
inline constexpr TLogFlag lfQFetch = 2;
inline constexpr TLogFlag lfConnect = 3;
inline constexpr TLogFlag lfTransact = 4;
inline constexpr TLogFlag lfService = 5;
inline constexpr TLogFlag lfMisc = 6;

using TLogFlags = uint8_t;
constexpr TLogFlags LogFlagSet(TLogFlag Flag) { return static_cast<TLogFlags>(1u << Flag); }
constexpr bool HasLogFlag(TLogFlags Flags, TLogFlag Flag) { return (Flags & LogFlagSet(Flag)) != 0; }

// What the layer relies on:
// - Assigning a database's logger calls SetDatabase(the database). GetInstance answers the
//   implementing object; when that is a component the database registers for its destruction
//   and drops its reference when it goes.
// - WriteData is called only while a logger is assigned, always with the full dotted component
//   name as ObjectName: "Connect" / "Disconnect" with an empty text (lfConnect), transaction
//   start and end lines (lfTransact), "Prepare" and "Error on Prepare:" with the processed text
//   (lfQPrepare), execute lines only when GetLogFlags holds lfQExecute, fetch lines only when it
//   holds lfQFetch.
// - The layer never calls SetActiveLogging, GetActiveLogging or SetLogFlags and never passes
//   lfService or lfMisc.
class ISQLLogger {
public:
    static constexpr const char* IID = "{2CB9280F-2324-40CD-BFB4-42C0FD36107F}";
    virtual ~ISQLLogger() = default;
    virtual void SetActiveLogging(bool Value) = 0;
    virtual bool GetActiveLogging() = 0;
    virtual TLogFlags GetLogFlags() = 0;
    virtual TObject* GetInstance() = 0;
    virtual void SetLogFlags(TLogFlags Value) = 0;
    virtual void SetDatabase(TObject* aDatabase) = 0;
    virtual void WriteData(const std::string& ObjectName, const std::string& OperationName,
                           const std::string& EventText, TLogFlag DataType) = 0;
};

// Statistics are made only while the database holds a statistics maker and
// GetActiveStatistics answers true; ObjName is always the statement's processed text. The
// statement uses the results of FixEndTime (elapsed time of the execute), AddIntValue (the new
// sum) and GetVarInt, and clears and fills the list GetVarStrings answers (owned by the maker).
class ISQLStatMaker {
public:
    static constexpr const char* IID = "{39477B70-12C9-4F70-993E-0E1067A8D649}";
    virtual ~ISQLStatMaker() = default;
    virtual int FixStartTime(const std::string& ObjName, const std::string& VarName) = 0;
    virtual int FixEndTime(const std::string& ObjName, const std::string& VarName) = 0;
    virtual int GetVarInt(const std::string& ObjName, const std::string& VarName) = 0;
    virtual std::string GetVarStr(const std::string& ObjName, const std::string& VarName) = 0;
    virtual int IncCounter(const std::string& ObjName, const std::string& VarName) = 0;
    virtual void SetNull(const std::string& ObjName, const std::string& VarName) = 0;
    virtual void SetStringValue(const std::string& ObjName, const std::string& VarName, const std::string& Value) = 0;
    virtual int AddIntValue(const std::string& ObjName, const std::string& VarName, int Value) = 0;
    virtual void SetIntValue(const std::string& ObjName, const std::string& VarName, int Value) = 0;
    virtual void AddToStrings(const std::string& ObjName, const std::string& VarName, const std::string& Value) = 0;
    virtual void ClearStrings(const std::string& ObjName, const std::string& VarName) = 0;
    virtual TStringList* GetVarStrings(const std::string& ObjName, const std::string& VarName) = 0;
    virtual void Clear() = 0;
    virtual void SetActiveStatistics(bool Value) = 0;
    virtual bool GetActiveStatistics() = 0;
};

// Offered by statements and data sets: their parameters, their fields (current or old values)
// and a cursor to walk.
class ISQLObject {
public:
    static constexpr const char* IID = "{DEA9627C-E35F-40A2-A2F6-3959782CE4AD}";
    virtual ~ISQLObject() = default;
    virtual int ParamCount() = 0;
    virtual std::string ParamName(int ParamIndex) = 0;
    virtual int FieldsCount() = 0;
    virtual bool FieldExist(const std::string& FieldName, int& FieldIndex) = 0;
    virtual bool ParamExist(const std::string& ParamName, int& ParamIndex) = 0;
    virtual Variant FieldValue(const std::string& FieldName, bool Old) = 0;
    virtual Variant FieldValue(int FieldIndex, bool Old) = 0;
    virtual Variant ParamValue(const std::string& ParamName) = 0;
    virtual Variant ParamValue(int ParamIndex) = 0;
    virtual void SetParamValue(int ParamIndex, const Variant& aValue) = 0;
    virtual std::string FieldName(int FieldIndex) = 0;
    virtual bool IEof() = 0;
    virtual void INext() = 0;
};

// Offered by data sets: ISQLObject's operations plus preparing, setting parameters in bulk, the
// default text of a macro, and the origins of fields.
class ISQLDataSetObject {
public:
    virtual ~ISQLDataSetObject() = default;
    virtual void Prepare() = 0;
    virtual int ParamCount() = 0;
    virtual std::string ParamName(int ParamIndex) = 0;
    virtual bool ParamExist(const std::string& ParamName, int& ParamIndex) = 0;
    virtual Variant ParamValue(const std::string& ParamName) = 0;
    virtual Variant ParamValue(int ParamIndex) = 0;
    virtual std::string DefMacroValue(const std::string& MacroName) = 0;
    virtual void SetParamValue(int ParamIndex, const Variant& aValue) = 0;
    // In parameter order.
    virtual void SetParamValues(const std::vector<Variant>& ParamValues) = 0;
    // The parameters named in ParamNames (separated by ";"), one value each.
    virtual void SetParamValues(const std::string& ParamNames, const std::vector<Variant>& ParamValues) = 0;
    virtual int FieldsCount() = 0;
    virtual bool FieldExist(const std::string& FieldName, int& FieldIndex) = 0;
    virtual Variant FieldValue(const std::string& FieldName, bool Old) = 0;
    virtual Variant FieldValue(int FieldIndex, bool Old) = 0;
    virtual std::string FieldName(int FieldIndex) = 0;
    virtual bool IEof() = 0;
    virtual void INext() = 0;
    virtual std::string GetFieldTableAlias(TField* Field) = 0;
    virtual std::string GetRelationName(TField* Field) = 0;
    virtual std::string GetSqlName(TField* Field) = 0;
    virtual void FillParamsToFieldsLinks(TStringList& Links) = 0;
    virtual std::string GetFieldOrigin(TField* Field) = 0;
    virtual void ApplyRepositoryInfo() = 0;
};

} // namespace qnl
