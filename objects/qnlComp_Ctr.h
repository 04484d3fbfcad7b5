#pragma once
// Table constraints (primary, unique and foreign keys, checks, MSSQL/ASE defaults, Oracle
// not-null checks, column references): the clause per dialect, the ALTER TABLE texts that add
// and drop them, their matching key, and the comparer's create and drop passes.
#include "core/qnlClasses.h"
#include "core/qnlCustomQuarnel.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Tbl.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qnl {

// Constraint types.
inline constexpr uint8_t ctPrimaryKey = 0, ctUnique = 1, ctForeignKey = 2, ctCheck = 3, ctDefault = 5,
                         ctNotNull = 6, ctReferences = 7;
// Referential actions. None is the server's default; Firebird tells an explicit NO ACTION
// from it (it stores the default as RESTRICT), so that one is kept as written.
inline constexpr uint8_t raNone = 0, raRestrict = 1, raCascade = 2, raSetDefault = 3, raSetNull = 4, raNoAction = 5;

class TCtrData : public TDbObj {
public:
    explicit TCtrData(TCustomObjs* AContainer);
    ~TCtrData() override;
    std::string ClassName() const override { return "TCtrData"; }

    uint8_t ConstraintType = ctForeignKey;
    TTableSpace TableSpace;
    std::string TableName;
    std::string RefTableName;
    std::string RefSchema;
    TColumnNameList Fields;
    std::string RefOwner;
    std::string RoleName;
    TColumnNameList RefFields;
    uint8_t MatchType = 0;  // PostgreSQL: 1 MATCH FULL, 2 MATCH PARTIAL
    uint8_t UpdateRule = raNone;
    uint8_t DeleteRule = raNone;
    bool DescIndex = false;
    std::string IndexName;
    bool CheckOnCommit = false;
    bool IsClustered = false;
    bool NotForReplication = false;
    bool Deferrable = false;
    bool InitiallyDeferred = false;
    bool DeferredLine = false;
    TIndexOptions IndexOptions;

    // The type also sets the object kind (type 6 keeps it).
    void SetConstraintType(uint8_t Value);
    // MSSQL names are upper-cased unless identifiers are case-sensitive.
    void SetTableName(const std::string& Value);
    void SetRefTableName(const std::string& Value);
    void SetRefSchema(const std::string& Value);
    void AddField(const std::string& AName) { Fields.AddColumn(AName); }
    void AddRefField(const std::string& AName) { RefFields.AddColumn(AName); }
    // An unnamed check whose server-made name is not known on a server where no lookup by
    // its text can run: the script says it must be dropped by hand.
    bool DropsByHand() const;
    // 0 for the first unnamed constraint of its text in its container, n for its n-th copy:
    // each copy pairs with one copy of the other side, and the ones left over are dropped or
    // created.
    int KeyCopy = 0;
    // What the script and the log say of such a check.
    std::string DropByHandWarning();

    std::string GetFieldsText() const;
    std::string GetRefFieldsText() const;

    // ---- TDbObj ----
    std::string GetDisplayName() override;
    std::string GetKeyName() const override;
    bool NextKeyCopy() override;
    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    void DoDrop() override;
    void DropDependents() override;
    void CreateDependencies() override;
    TObjListKind GetObjList() const override { return olConstraints; }
    std::string GetOwnerName() const override { return TableName; }
    int GetConstraintType() const override { return ConstraintType; }
    const TStringList* GetKeyFields() const override { return &Fields; }
    std::string GetRefTableName() const override { return RefTableName; }
    std::string GetRefSchema() const override { return RefSchema; }
    const TStringList* GetRefFields() const override { return &RefFields; }
    std::string GetConstraintText(bool InColumn) override;
    TDescriptionSubject GetDescriptionSubject() override { return {dcConstraint, TableName}; }

private:
    std::string NameCase(const std::string& Value) const;
    // "ALTER TABLE " + the table as the dialect writes it.
    std::string TableHead() const;
    std::string IndexClause() const;
    // An unnamed Firebird key or check whose server-made name is not known: dropped by a block
    // that looks the name up.
    bool DropsByLookup() const;
    // The block: a key is found by its table, type and columns (a foreign key also by the table
    // and columns it references), a check by its table and its text.
    std::string LookupDropBlock() const;
    bool FDropping = false;
};

// Constraint-type sets for WriteCreateConstraints: bit n = type n.
using TConstraintTypes = uint32_t;
inline constexpr TConstraintTypes AllConstraintTypesButDefault = 0xFFu & ~(1u << ctDefault);
inline constexpr TConstraintTypes DefaultConstraintsOnly = 1u << ctDefault;

void WriteCreateConstraints(TCustomQuarnel& Q, TConstraintTypes Types);
void WriteDropConstraints(TCustomQuarnel& Q);

} // namespace qnl
