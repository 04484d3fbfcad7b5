#pragma once
// The base of every schema object: identity, the pairing with the other side, the Exists flag
// the update script is written against, the two dependency lists, and the create and drop walks
// over them. Kind classes override the virtual writers and the hooks at the end of the class;
// the core never casts to a kind class.
#include "core/qnlDBOptions.h"
#include "core/qnlDescription.h"
#include "core/qnlTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TCustomObjs;
class TCustomSQLExec;

// The 22 kind lists of a structure container, in declaration order.
enum TObjListKind : int8_t {
    olNone = -1, olSchemas, olDomains, olUDFs, olTriggers, olProcedures, olTables, olExceptions, olGenerators,
    olIndices, olViews, olRoles, olGrants, olConstraints, olRules, olDefaults, olPackages, olPublications,
    olOperators, olOperatorClasses, olConversions, olEvents, olCollations
};
inline constexpr int ObjListCount = 22;

// One dependency entry: the other object, whether the walks still follow it, and where in the
// dependent's text the reference stands (-1 when unknown). A plain value: structures hold two
// entries for every dependency, so an entry carries nothing an object would.
struct TDependObj {
    TDbObj* Ref = nullptr;
    bool Active = true;
    int32_t RefColumn = -1;
    int32_t RefLine = -1;
};

// A list of dependency entries: unsorted, in registration order. Adding or removing entries
// moves the others: hold an index, not an entry, across either.
class TDependList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    TDependObj* Items(int Index) { return &FItems.at(static_cast<size_t>(Index)); }
    const TDependObj* Items(int Index) const { return &FItems.at(static_cast<size_t>(Index)); }
    TDependObj* Add(class TDbObj* Ref, int RefColumn, int RefLine);
    const TDependObj* FindRef(const class TDbObj* Ref) const;
    // Drops every entry pointing to Ref.
    void RemoveRef(const class TDbObj* Ref);
    void Clear() { FItems.clear(); }

private:
    std::vector<TDependObj> FItems;
};

// Marks a walk as inside an object for the lifetime of the mark, so a dependency cycle that
// comes back to the object ends there. The mark is lifted on every way out, an exception
// included: an object whose text writer failed once can still be created or dropped later.
class TWalkMark {
public:
    explicit TWalkMark(bool& AFlag) : FFlag(AFlag) { FFlag = true; }
    ~TWalkMark() { FFlag = false; }
    TWalkMark(const TWalkMark&) = delete;
    TWalkMark& operator=(const TWalkMark&) = delete;

private:
    bool& FFlag;
};

class TDbObj : public TObject {
public:
    explicit TDbObj(TCustomObjs* AContainer);
    // Unregisters from every object that still points here, so freeing a single object (a
    // rejected or duplicate one, say) leaves no dangling dependency entry behind.
    ~TDbObj() override;
    TDbObj(const TDbObj&) = delete;
    TDbObj& operator=(const TDbObj&) = delete;

    std::string ClassName() const override { return "TDbObj"; }

    TDbObj* Counterpart = nullptr;
    TCustomObjs* Container = nullptr;
    bool Exists = true;
    TDependList UsedBy;
    TDependList DependsOn;
    std::string StoredSQL;
    std::string CurrentSQL;
    std::string Name;
    std::string Schema;
    int32_t Id = -1;
    TDbObject Kind = dboUnknown;
    bool QuotedIdentifier = false;
    bool AnsiNulls = false;
    bool NoScript = false;

    // The name the server gave the object (a constraint, a column's domain) and the owner some
    // dialects qualify a name with. Few objects have either: the texts are allocated on first set.
    const std::string& SystemName() const;
    void SetSystemName(std::string Value);
    const std::string& DbOwner() const;
    void SetDbOwner(std::string Value);

    // ---- plain accessors and derived values ----
    const std::string& GetName() const { return Name; }
    TDbObject GetKind() const { return Kind; }
    void SetKind(TDbObject Value) { Kind = Value; }
    void SetCounterpart(TDbObj* Value) { Counterpart = Value; }
    const std::string& Description() const { return FDescription; }
    const std::string& Source() const { return FSource; }
    // Both store the text with every line break as CR LF and the ends trimmed.
    void SetDescription(const std::string& Value);
    void SetSource(const std::string& Value);
    void SetName(const std::string& Value);
    void SetSchema(const std::string& Value);

    TServerType GetServerType() const;
    TIBServerOptions* GetIBServerOptions() const;
    TMSSQLServerOptions* GetMSSQLServerOptions() const;
    TCustomSQLExec* GetSQLExec() const;
    TCmpObjSetType GetCompareObjects() const;
    std::string GetNamePrefix() const;
    std::string GetNameWithoutPrefix() const;
    std::string GetNameForCounterpart() const;
    TUpdateDescriptionType GetUpdateDescriptionMode() const;
    std::string GetQualifiedName();
    bool HasMissingDependency() const;
    // True when the master side files an object of this kind list under this object's key (a
    // master object is its own answer).
    bool MasterHolds(TObjListKind List) const;

    // ---- the virtual operations ----
    virtual bool GetExists() const { return Exists; }
    virtual void SetExists(bool Value);
    virtual std::string GetDisplayName();
    virtual int32_t GetId() const { return Id; }
    virtual std::string GetKeyName() const;
    // The key under which this object's container files an object named AName (in ASchema), in
    // this object's dialect: what GetKeyName answers for that object. A lookup of a name written
    // in a text (a trigger's table, a grant's object) goes by it, never by the bare name.
    std::string KeyOfName(const std::string& ASchema, const std::string& AName) const;
    virtual std::string GetCreateSQL() { return {}; }
    virtual std::string GetCompareSQL();
    virtual void CreateDependDef();
    virtual void DoDrop();
    virtual void DropDependents();
    virtual void MarkDropped() { SetExists(false); }
    virtual void CreateDependencies();
    virtual void MarkCreated() { SetExists(true); }
    virtual std::string GetCreateStatement();
    virtual std::string GetDropSQL();
    virtual std::string GetAlterSQL();
    virtual std::string GetStoredSQL();
    // The CREATE text StoreCreateTexts keeps for pairing the two sides: GetCreateSQL, unless the
    // database holds more than was written (a view written without its column list).
    virtual std::string GetCapturedSQL() { return GetCreateSQL(); }
    // A comment line holding Text; a "*/" inside Text is broken up so the comment cannot end early.
    virtual std::string MakeComment(const std::string& Text) const;
    virtual std::string QuoteName(const std::string& AName) const;
    // Empty when the object writes no script or descriptions are not compared; otherwise the
    // dialect's description statement (DescriptionStatement with GetDescriptionSubject).
    virtual std::string GetDescriptionSQL();

    // ---- hooks for the kind classes (neutral defaults) ----
    // Which kind list of the container files this object; olNone for objects that belong to
    // another object (columns, parameters) and are never filed on their own.
    virtual TObjListKind GetObjList() const { return olNone; }
    // A column, parameter or argument: the table, view or routine it belongs to.
    virtual TDbObj* GetOwner() const { return nullptr; }
    virtual std::string GetOwnerName() const { return {}; }
    // A trigger: the table or view of its own container it fires on; nullptr for other objects.
    virtual TDbObj* GetRelation() const { return nullptr; }
    // Columns of a table or view, in column order.
    virtual int GetColumnCount() const { return 0; }
    virtual TDbObj* GetColumn(int /*Index*/) const { return nullptr; }
    // The column of that name under the column list's case rule; nullptr when none.
    virtual TDbObj* FindColumn(const std::string& AName) const;
    // Parameters of a routine: inputs, then outputs.
    virtual int GetInputParamCount() const { return 0; }
    virtual TDbObj* GetInputParam(int /*Index*/) const { return nullptr; }
    virtual int GetOutputParamCount() const { return 0; }
    virtual TDbObj* GetOutputParam(int /*Index*/) const { return nullptr; }
    // A table's two-phase creation: True while only the plain (not computed) columns are written.
    virtual bool GetPlainColumnsOnly() const { return false; }
    virtual void SetCreatePhase(bool /*PlainColumnsOnly*/) {}
    // Routines and triggers: the dialect's placeholder body, the stub CREATE text, emptying.
    virtual std::string GetEmptyBody() const { return {}; }
    virtual std::string GetStubCreateSQL() { return {}; }
    virtual void SetBodyEmptied(bool /*Value*/) {}
    virtual void EmptyBody(bool /*AddStatement*/) {}
    // Before an object that calls this master routine or package is written (a computed column,
    // a check): a target routine takes the master's parameter list now (with the placeholder
    // body), a package its master's header; nothing for other kinds.
    virtual void PrepareForCaller() {}
    virtual bool GetReturnsTable() const { return false; }
    // A trigger remembers the body its CREATE statement was written with.
    virtual void SetCreatedBody(const std::string& /*Body*/) {}
    // A role's kind: 0 role, 1 login, 2 user.
    virtual int GetRoleKind() const { return 0; }
    // A grant folds an equal grant (same object, grantee and option) into itself; True when it did.
    virtual bool MergeGrant(TDbObj* /*Other*/) { return false; }
    // An object whose key is already filed is taken as the next copy of that object, with a key
    // of its own, when its kind can hold copies (unnamed constraints of one text: a table may
    // have the same check twice); False when it cannot, and the container rejects it.
    virtual bool NextKeyCopy() { return false; }
    // What the object is for its description statement; every kind with a description form
    // answers its class here (and its owner where the statement names one).
    virtual TDescriptionSubject GetDescriptionSubject() { return {}; }
    // A domain's or generator's own type column (its TFldData); nullptr for other objects.
    virtual TDbObj* GetTypeField() const { return nullptr; }
    // A routine's language (PostgreSQL LANGUAGE, external MSSQL/ASE routines); empty otherwise.
    virtual std::string GetLanguage() const { return {}; }
    // A constraint's clause, InColumn for the form written inside a column definition.
    virtual std::string GetConstraintText(bool /*InColumn*/) { return {}; }
    // A routine's parameter list as its CREATE text writes it (with the RETURNS part when asked).
    virtual std::string GetParamsSQL(bool /*WithReturns*/ = true) { return {}; }
    // A package's two texts: the header, and the body (empty when the package has none).
    virtual std::string GetHeaderSQL() { return {}; }
    virtual std::string GetPackageBodySQL() { return {}; }
    // A domain written as a user type (PostgreSQL CREATE TYPE).
    virtual bool IsUserType() const { return false; }
    // A computed column of a table: the ALTER TABLE that gives it its expression (and its type,
    // when known); empty for every other object.
    virtual std::string GetComputedAlterSQL() { return {}; }
    // ---- hooks the parsers' dependency linking reads ----
    // A column or parameter whose type is a domain: the key the container files that domain under
    // (its name, schema-qualified where domains have schemas); empty otherwise.
    virtual std::string GetDomainName() const { return {}; }
    // An index's or constraint's key columns by name, in key order (the table is GetOwnerName).
    virtual const TStringList* GetKeyFields() const { return nullptr; }
    // A constraint: its type (0 primary key, 1 unique, 2 foreign key, 3 check, 5 default,
    // 6 not-null check, 7 column reference); -1 for every other object.
    virtual int GetConstraintType() const { return -1; }
    // A foreign-key or references constraint: the referenced table, its schema and columns.
    virtual std::string GetRefTableName() const { return {}; }
    virtual std::string GetRefSchema() const { return {}; }
    virtual const TStringList* GetRefFields() const { return nullptr; }
    // A grant: the object granted on (or the role granted) and the grantee, each with its kind
    // (a TDbObject value; dboUnknown when the grant names none).
    virtual TDbObject GetGrantObjectKind() const { return dboUnknown; }
    virtual std::string GetGrantObjectName() const { return {}; }
    virtual TDbObject GetGranteeKind() const { return dboUnknown; }
    virtual std::string GetGrantee() const { return {}; }

    bool BodyIsEmpty() const;

protected:
    void AddOwnStatement(const std::string& Text, TStatementKind Kind, const std::string& ObjName,
                         TDbObject ObjKind, uint8_t Action, const std::string& FieldName = {});
    bool IsColumn() const { return Kind == dboField; }

private:
    TCustomObjs* DialectContainer() const;
    struct TOwnNames {
        std::string SystemName;
        std::string DbOwner;
    };
    std::unique_ptr<TOwnNames> FOwnNames;
    TOwnNames& OwnNames();
    std::string FDescription;
    std::string FSource;
    // Set while a walk is inside this object, so a dependency cycle ends instead of recursing.
    bool FCreating = false;
    bool FDropping = false;
};

// Puts a table into a creation phase (plain columns only, or the full create) for the lifetime
// of the object, and gives the table its former phase back on every way out, an exception
// included.
class TCreatePhase {
public:
    TCreatePhase(TDbObj& ATable, bool PlainColumnsOnly) : FTable(ATable), FSaved(ATable.GetPlainColumnsOnly()) {
        FTable.SetCreatePhase(PlainColumnsOnly);
    }
    ~TCreatePhase() { FTable.SetCreatePhase(FSaved); }
    TCreatePhase(const TCreatePhase&) = delete;
    TCreatePhase& operator=(const TCreatePhase&) = delete;

private:
    TDbObj& FTable;
    bool FSaved;
};

// Records that Obj needs Other (and that Other is used by Obj); see the field-name rules in
// the implementation.
void RegisterDependency(TCustomObjs* Container, TDbObj* Obj, TDbObj* Other, const std::string& FieldName = {},
                        int RefColumn = -1, int RefLine = -1);

// Text that can stand inside a slash-star comment: every "*/" in it is broken up by a blank.
std::string CommentSafe(const std::string& Text);

// Every line break (CR LF, LF or CR) as CR LF, blanks and control characters trimmed at both ends.
std::string NormalizeLineBreaks(const std::string& Text);

} // namespace qnl
