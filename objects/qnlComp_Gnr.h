#pragma once
// Generators (InterBase/Firebird) and sequences (Oracle, MSSQL, PostgreSQL; DB2 identity
// options), their texts per dialect and the script passes that create, alter and drop them.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"
#include "core/qnlSQL_Exec.h"

#include <memory>
#include <string>

namespace qnl {

class TFldData;

class TGnrData : public TDbObj {
public:
    // Owner is not owned; unless it is a column, the generator gets a type column of its own.
    TGnrData(TCustomObjs* AContainer, TDbObj* AOwner);
    ~TGnrData() override;
    std::string ClassName() const override { return "TGnrData"; }

    // Option values are kept as read, as text.
    std::string MaxValue;
    std::string Cache = "20";
    bool NoCache = false;
    std::unique_ptr<TFldData> TypeField;
    std::string MinValue;
    std::string StartWith;
    std::string IncrementBy;
    std::string OwnedBy;
    bool NoMinValue = true;
    bool NoMaxValue = true;
    bool Order = false;
    bool Cycle = false;
    bool Temporary = false;
    TDbObj* Owner = nullptr;

    // The largest Oracle value means "no maximum".
    void SetMaxValue(const std::string& Value);
    // A cache of 0 means "no cache".
    void SetCache(const std::string& Value);
    void SetNoCache(bool Value);

    // The DB2 identity options "(START WITH s, INCREMENT BY i, CACHE c)"; empty for other dialects.
    void GetDB2IdentityText(std::string& Text) const;

    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    TObjListKind GetObjList() const override { return olGenerators; }
    TDbObj* GetTypeField() const override;
    TDescriptionSubject GetDescriptionSubject() override { return {dcGenerator}; }
};

// The comparer's passes. Each reads the master's and the target's generator list in key order
// and writes only through Exec; Compare is the set of compared kinds.
void WriteCreateGenerators(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec,
                           TCmpObjSetType Compare);
void WriteAlterGenerators(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec,
                          TCmpObjSetType Compare);
void WriteDropGenerators(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec,
                         TCmpObjSetType Compare);
// The ALTER SEQUENCE statements that bring target sequence T to master sequence M's options.
void WriteAlterSequence(TCustomSQLExec& Exec, TGnrData& M, const TGnrData& T);

} // namespace qnl
