#pragma once
// Domains and user types of every dialect (an InterBase/Firebird, DB2 or ASA domain, a PostgreSQL
// domain or type, an MSSQL user type, alias type or XML schema collection, an Oracle object,
// VARRAY or nested-table type), the PostgreSQL conversion kind, and the comparer's passes over
// both. The InterBase/Firebird alteration of a domain both sides have changes the existing domain
// step by step (AlterDomain); a domain only the target has is dropped with what uses it.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"

#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TCustomQuarnel;
class TDmnData;

// The options of a PostgreSQL CREATE TYPE: a composite type's attributes, or a base type's
// functions and storage.
class TPGTypeOptions {
public:
    explicit TPGTypeOptions(TDmnData* AOwner) : Owner(AOwner) {}

    TDmnData* Owner;
    bool IsType = false;  // CREATE TYPE / DROP TYPE instead of a domain
    std::string Input, Output, Receive, Send, Analyze;
    int32_t InternalLength = -1;  // -1: not given
    int32_t ExternalLength = -1;
    bool PassedByValue = false;
    uint8_t Alignment = 93;  // a data-type code; 0: not given ("int4" by default)
    std::string Storage = "plain";
    std::string Default;
    TDbObj* Element = nullptr;  // written through its CREATE text; not owned
    std::string Delimiter;
    TColumnNameList Attributes;  // a composite type's attributes

    // " AS (" attributes ")" for a composite type, else "(" the options that are set ")".
    std::string GetText() const;
};

class TDmnData : public TDbObj {
public:
    explicit TDmnData(TCustomObjs* AContainer);
    // The owned columns and methods go before the base: their destructors unregister from
    // objects they point to.
    ~TDmnData() override;
    std::string ClassName() const override { return "TDmnData"; }

    // The domain's type with everything a column definition has; its owner is the domain.
    std::unique_ptr<TFldData> TypeField;
    std::string BaseType;  // MSSQL: sp_addtype base type, or "XML SCHEMA COLLECTION"
    uint8_t TypeKind = 0;  // Oracle: 2 object, 3 VARRAY, 4 nested table, 5 nested table written " IS "
    int32_t VarrayLimit = 0;
    TColumnNameList Attributes;  // Oracle object attributes
    std::vector<std::unique_ptr<TMemberPrcData>> Methods;
    TColumnNameList AddedAttributes;  // Oracle attributes added by ALTER TYPE
    bool Cascade = false;
    std::string TimeStamp;
    std::string Oid;
    std::string SuperType;
    TTypeDirective Directive;
    TPGTypeOptions PGOptions{this};
    bool IsAliasType = false;  // MSSQL: CREATE TYPE ... FROM instead of sp_addtype

    bool IsXmlSchemaCollection() const { return BaseType == "XML SCHEMA COLLECTION"; }

    // ---- TDbObj ----
    std::string GetDisplayName() override { return Name; }
    std::string GetCreateSQL() override;
    // The CREATE with the whole definition (character set and collation whatever is compared).
    std::string GetCreateStatement() override;
    std::string GetDropSQL() override;
    void DoDrop() override;
    void DropDependents() override;
    void CreateDependencies() override;
    TObjListKind GetObjList() const override { return olDomains; }
    TDbObj* GetTypeField() const override { return TypeField.get(); }
    TDescriptionSubject GetDescriptionSubject() override;
    bool IsUserType() const override { return PGOptions.IsType; }

private:
    std::string OracleTypeText();
    std::string AttributeList(const TColumnNameList& List, bool WithMethods);
    // A routine whose parameters are typed by this domain keeps the domain from being dropped,
    // even with its body emptied: it takes the master's parameter list (with an empty body, the
    // procedure passes restore it) or, when the master lacks it, is dropped.
    void ReleaseProcedure(TDbObj& Procedure);
    bool FDropping = false;
};

// A PostgreSQL conversion between two encodings, qualified by its schema.
class TCnvData : public TDbObj {
public:
    explicit TCnvData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboConversion; }
    std::string ClassName() const override { return "TCnvData"; }

    bool IsDefault = false;
    std::string SourceEncoding;
    std::string DestEncoding;
    std::string FunctionName;

    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    TObjListKind GetObjList() const override { return olConversions; }
};

// The comparer's passes.
void WriteCreateDomains(TCustomQuarnel& Q);
// InterBase/Firebird targets alter each pair step by step (AlterDomain), PostgreSQL targets only
// the check (AlterDomainCheck); then the descriptions that differ.
void WriteAlterDomains(TCustomQuarnel& Q);
// Target-only domains are dropped with what uses them; the master's views among those are
// created again right after.
void WriteDropDomains(TCustomQuarnel& Q);
void WriteCreateConversions(TCustomQuarnel& Q);
void WriteAlterConversions(TCustomQuarnel& Q);
void WriteDropConversions(TCustomQuarnel& Q);

// The PostgreSQL alteration of a pair: its check constraint.
void AlterDomainCheck(TCustomQuarnel& Q, TDmnData* Master, TDmnData* Target);

// The InterBase/Firebird alteration of a pair (length or type, character set, collation, blob
// sub-type, check, default, NOT NULL), by DDL where the target's version has it and by
// system-table updates where it has not and they are allowed.
void AlterDomain(TCustomQuarnel& Q, TDmnData* Master, TDmnData* Target);

} // namespace qnl
