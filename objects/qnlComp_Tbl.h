#pragma once
// Columns and the typed names of every other object (parameters, arguments, results, the type
// of a domain or generator), the data-type word table, and the table that owns columns.
#include "core/qnlClasses.h"
#include "core/qnlCustomQuarnel.h"
#include "core/qnlDBStructure.h"
#include "platform/StringList.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qnl {

class TGnrData;
class TTblData;

// The data-type words by code. Code 97 (dtDomain) is a column typed by a domain or user type
// named in DomainName and has no word of its own.
inline constexpr int DataTypeNameCount = 97;
extern const std::array<const char*, DataTypeNameCount> DataTypeNames;
// The word of a code; codes outside the table give the word of code 0.
const char* DataTypeName(uint8_t Code);

// The codes the writers single out.
inline constexpr uint8_t dtUnknown = 0, dtInteger = 1, dtBigInt = 2, dtFloat = 3, dtDoublePrecision = 4,
                         dtDecFloat = 7, dtReal = 9, dtDouble = 10, dtNumber = 11, dtVarChar = 14, dtChar = 15,
                         dtVarChar2 = 17, dtDate = 18, dtTime = 19, dtTimeStamp = 20, dtTimeTZ = 21,
                         dtTimeStampTZ = 22, dtDateTime2 = 24, dtDateTimeOffset = 26, dtBlob = 41, dtClob = 42,
                         dtBinary = 44, dtNumeric = 46, dtDecimal = 47, dtNChar = 49, dtNVarChar = 50,
                         dtNVarChar2 = 51, dtSmallInt = 54, dtQuad = 55, dtCString = 56, dtNationalChar = 57,
                         dtRaw = 58, dtUrowid = 60, dtEnum = 69, dtSet = 70, dtVarBinary = 76, dtTable = 84,
                         dtXml = 85, dtIntervalYM = 86, dtIntervalDS = 87, dtBoolean = 96, dtDomain = 97;

// Parameter directions.
inline constexpr uint8_t pdNone = 0, pdIn = 1, pdOut = 2, pdInOut = 3, pdVariadic = 4;

// One (lower, upper) pair per array dimension.
using TArrayBounds = std::vector<std::pair<int32_t, int32_t>>;

// True when the two bound lists have different lengths or any pair differs.
bool ArrayBoundsDiffer(const TArrayBounds& A, const TArrayBounds& B);
// A character set's name as the server takes it: no name is NONE.
std::string CharSetOrNone(const std::string& CharSet);
// Two character-set names that mean the same set.
bool SameCharSet(const std::string& A, const std::string& B);

// While one lives, the InterBase/Firebird column and domain definitions written on this thread
// carry their character set and collation whatever the options compare: a CREATE writes the
// object's whole definition, the options decide only what is compared and altered.
class TFullDefinition {
public:
    TFullDefinition();
    ~TFullDefinition();
    TFullDefinition(const TFullDefinition&) = delete;
    TFullDefinition& operator=(const TFullDefinition&) = delete;
    static bool Active();
};

// What only other dialects' columns carry, held apart from the column: a Firebird structure has
// tens of thousands of columns and none of this.
struct TFldDialectFacts {
    std::string DomainSchema;
    std::string CheckName;
    TStringList EnumValues;
    std::string GeneratedExpression;
    std::string XmlTypeQualifier;
    std::string JavaClassName;
    int32_t DB2Logged = -1;
    int32_t DB2Compact = -1;
    char GeneratedKind = 0;  // DB2: 'A' ALWAYS, 'D' BY DEFAULT
    bool MySQLUnsigned = false;
    bool MySQLZerofill = false;
    bool MySQLBinary = false;
    bool MySQLAutoIncrement = false;
    bool RowGuidCol = false;
    bool Persisted = false;
    bool IsRef = false;
    bool WithLocalTimeZone = false;
    bool ForBitData = false;
    bool IsJavaType = false;
};

// A column's texts that most columns leave empty, held apart so that such a column pays nothing
// for them.
struct TFldRareTexts {
    std::string CheckSource;
    // The name given to the column's NOT NULL constraint; empty when the server named it.
    std::string NotNullName;
    std::string SubTypeName;
    std::string TypeOfTable;
    std::string TypeOfColumn;
};

class TFldData : public TDbObj {
public:
    // The owner is never owned by the column; a column of a table gets its identity generator.
    TFldData(TCustomObjs* AContainer, TDbObj* AOwner);
    ~TFldData() override;
    std::string ClassName() const override { return "TFldData"; }

    std::string DefaultValue;
    uint8_t DataType = dtUnknown;
    uint8_t BaseDataType = 0;
    int32_t FieldLength = 0;
    int32_t CharLength = 0;  // -1 = MAX
    int32_t IBFieldType = 0;
    int32_t Precision = 0;
    int32_t Scale = 0;
    bool Nullable = true;
    int32_t Position = 0;
    int32_t CounterpartPosition = -1;
    int32_t FieldPosition = 0;
    bool ExistsInTarget = false;
    bool Equal = false;
    std::string DomainName;
    std::string OwnerName;
    TDbObj* Owner = nullptr;
    std::string CharSetName;
    int32_t CharSetId = 0;
    std::string CollationName;
    int32_t CollationId = 0;
    int32_t SubType = 0;
    int32_t SegmentLength = 0;
    bool TypeOf = false;
    TArrayBounds ArrayBounds;
    uint8_t ParamDirection = pdNone;
    bool ByValue = false;
    bool ByDescriptor = false;
    // An external-function argument declared with NULL: a NULL is passed as a null pointer, not
    // as a pointer to an empty value.
    bool ByReferenceWithNull = false;
    int32_t ParameterNumber = 0;
    bool Deterministic = false;
    int32_t IndexOrder = 0;
    // Set on a target column by the column alteration when the script leaves its type (and so
    // its domain) as it is, the change being refused; cleared when the next comparison alters it.
    bool KeepsType = false;
    bool Identity = false;
    int64_t IdentitySeed = 0;  // a generator value: 64 bits
    int32_t IdentityIncrement = 0;
    std::unique_ptr<TGnrData> IdentityGenerator;
    bool WithTimeZone = false;
    std::unique_ptr<TTblData> TableType;

    // The other dialects' facts: reading never allocates them, SetDialect does on first use.
    const TFldDialectFacts& Dialect() const;
    TFldDialectFacts& SetDialect();
    // The rarely set texts: reading never allocates them, SetRare does on first use.
    const TFldRareTexts& Rare() const;
    TFldRareTexts& SetRare();

    // Copies the definition of another column (the temporary column of a type change is built
    // this way); owner, position on the other side, arrays, enum values and owned objects stay.
    void Assign(const TFldData& Source);

    // The default as SQL: a double-quoted default becomes a single-quoted literal.
    std::string GetDefault() const;
    // The data-type code of an InterBase/Firebird RDB$FIELD_TYPE; sets WithTimeZone for the
    // zoned types.
    uint8_t IBTypeToDataType(int32_t IBType, int32_t ASubType);
    // Stores character set and collation, leaving out what the column gets anyway.
    void SetCharSetCollation(int32_t ACharSetId, const std::string& ACharSetName, int32_t ACollationId,
                             const std::string& ACollationName);
    bool IsComputed() const { return !Source().empty(); }
    // Both columns are computed, both carry a type (declared in a script, always read from a
    // database) and the types or character sets differ.
    bool ComputedTypeDiffers(TFldData& Other);
    // The domain of a domain-typed column in this column's container; nullptr otherwise.
    TDbObj* GetDomain() const;
    // The type column of that domain; nullptr without one.
    TFldData* GetDomainType() const;
    bool IsCharType() const;
    std::string GetCharSet() const;
    // The database default character set in force where this column's text runs. During a
    // comparison a master column is written for the target: its default is the master's once the
    // script has changed it (DbCharsetCompare), else the target's own.
    std::string RunDefaultCharSet() const;
    // A plain character column whose own CHARACTER SET clause, not a domain or the type, sets
    // its character set (NCHAR has a fixed one).
    bool HasOwnCharSet() const;

    // The data-type text.
    std::string GetTypeSQL();
    // The definition that follows the column name, in the column's dialect.
    std::string GetColumnSQL();

    // ---- TDbObj ----
    std::string GetDisplayName() override { return GetName(); }
    // The parameter or column text: (mode) name definition.
    std::string GetCreateSQL() override;
    // ALTER TABLE ... ADD of the column.
    std::string GetCreateStatement() override;
    std::string GetDropSQL() override;
    void CreateDependencies() override;
    void DropDependents() override;
    void MarkDropped() override;
    TDbObj* GetOwner() const override { return Owner; }
    std::string GetOwnerName() const override;
    // The key of the domain that types this column or parameter (schema-qualified when it has a
    // schema); empty for TYPE OF COLUMN and plain types.
    std::string GetDomainName() const override;
    // A column of a table or view, or a parameter of a routine; nothing for other typed names.
    TDescriptionSubject GetDescriptionSubject() override;
    // ALTER TABLE ... ALTER name [TYPE type] COMPUTED BY (source), for a computed column of a
    // table in the InterBase/Firebird dialect.
    std::string GetComputedAlterSQL() override;

private:
    std::unique_ptr<TFldDialectFacts> FDialect;
    std::unique_ptr<TFldRareTexts> FRare;
    bool OwnerIs(TDbObject AKind) const { return Owner && Owner->Kind == AKind; }
    bool OwnerIsProcedure() const { return OwnerIs(dboProcedure); }
    bool IBDialectForTypes() const;
    bool IsCharTypeAt(int Depth) const;
    // The owner's name as the counterpart side spells it.
    std::string OwnerNameForCounterpart() const;

    std::string IBColumnSQL();
    std::string MySQLColumnSQL();
    std::string PGColumnSQL();
    std::string ASAColumnSQL();
    std::string ASEColumnSQL();
    std::string LengthOrMax() const;
    std::string MSSQLColumnSQL();
    std::string OracleColumnSQL();
    std::string DB2ColumnSQL();
};

// A table: its columns in column order (owned), the creation phase and re-order flag, the
// flags MatchTables leaves for the later passes, and the clauses of every dialect's table text.
class TTblData : public TDbObj {
public:
    explicit TTblData(TCustomObjs* AContainer);
    ~TTblData() override;
    std::string ClassName() const override { return "TTblData"; }

    bool PlainColumnsOnly = false;
    bool NeedsReorder = false;
    TTableSpace TableSpace;
    TMySQLTableOptions MySQLOptions;
    bool Matched = false;
    bool Equal = false;
    std::string ExternalFile;
    bool GlobalTemporary = false;
    uint8_t OnCommit = 0;  // 1 ON COMMIT DELETE ROWS, 2 ON COMMIT PRESERVE ROWS
    std::string OfType;
    std::string AsSelect;
    std::string NestedTable;
    std::string ExtraClause;
    std::string StoreAs;
    std::string Storage;
    std::string ClusterName;
    std::string ClusterColumns;
    std::string LobClause;
    bool NoLogging = false;
    bool Compress = false;
    std::string TablespaceName;
    std::string PartitionColumns;
    std::string PartitionClause;
    bool WithOids = false;

    // Files the column at the end of the column order and takes it over; a column whose name is
    // already there is freed and nullptr answered.
    TFldData* AddColumn(std::unique_ptr<TFldData> Column);
    TFldData* Column(int Index) const;
    TFldData* ColumnByName(const std::string& AName) const;
    // Takes the column out of the column order and frees it; False when there is none of that
    // name. Positions are numbered again from 0.
    bool RemoveColumn(const std::string& AName);
    // Moves the column at From to To (both 0-based, To clamped to the order); positions are
    // numbered again from 0.
    void MoveColumn(int From, int To);
    bool ColumnsCaseSensitive() const { return FCaseSensitive; }

    // Sets the flag here and raises it on the counterpart.
    void SetNeedsReorder(bool Value);
    // Every view that reads this table is dropped and created again by the view alter pass,
    // although its text did not change (after a column type change).
    void MarkDependentViews();
    bool HasIdentityColumn() const;
    // "TABLE " + name + columns + clauses (every dialect but MySQL).
    std::string GetBodySQL();
    std::string GetMySQLCreateSQL();
    // Drops the table although the master has it too (a change to or from a global temporary
    // table): what depends on it goes first, so later passes write it again.
    void DropForReplace();

    // ---- TDbObj ----
    std::string GetCreateSQL() override;
    // The CREATE with every column's whole definition (character set and collation).
    std::string GetCreateStatement() override;
    std::string GetDropSQL() override;
    void CreateDependDef() override;
    void CreateDependencies() override;
    void DropDependents() override;
    TObjListKind GetObjList() const override { return olTables; }
    int GetColumnCount() const override { return static_cast<int>(FColumns.size()); }
    TDbObj* GetColumn(int Index) const override { return Column(Index); }
    TDbObj* FindColumn(const std::string& AName) const override { return ColumnByName(AName); }
    bool GetPlainColumnsOnly() const override { return PlainColumnsOnly; }
    void SetCreatePhase(bool PlainOnly) override { PlainColumnsOnly = PlainOnly; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcTable}; }

private:
    void NumberColumns();
    std::vector<std::unique_ptr<TFldData>> FColumns;
    bool FCaseSensitive = true;
    bool FCreating = false;
};

// A schema (Oracle, MSSQL, PostgreSQL, DB2).
class TSchData : public TDbObj {
public:
    explicit TSchData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboSchema; }
    std::string ClassName() const override { return "TSchData"; }
    std::string AuthorizationName;  // MSSQL owner of the schema

    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    TObjListKind GetObjList() const override { return olSchemas; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcSchema}; }
};

class TPblData;

// Column names of a key, index or article, in order; the column object a reader may attach to
// an entry (index order, prefix length) is owned by the list.
class TColumnNameList : public TStringList {
public:
    TColumnNameList() = default;
    ~TColumnNameList() override { ClearColumns(); }
    TColumnNameList(const TColumnNameList&) = delete;
    TColumnNameList& operator=(const TColumnNameList&) = delete;

    void AddColumn(const std::string& AName, std::unique_ptr<TFldData> Column = nullptr);
    TFldData* Column(int Index) const { return static_cast<TFldData*>(Objects(Index)); }
    // Frees the attached columns and empties the list.
    void ClearColumns();
};

// One table of a publication, optionally with a column list (entries may carry no column).
class TPblArtData {
public:
    explicit TPblArtData(TPblData* APublication) : Publication(APublication) {}
    TPblData* Publication;
    std::string TableName;
    std::string TableOwner;
    TColumnNameList Columns;

    std::string GetText() const;
};

// An ASA publication.
class TPblData : public TDbObj {
public:
    explicit TPblData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboPublication; }
    ~TPblData() override;
    std::string ClassName() const override { return "TPblData"; }
    std::vector<std::unique_ptr<TPblArtData>> Articles;

    TPblArtData* AddArticle(const std::string& TableOwner, const std::string& TableName);
    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    void CreateDependencies() override;
    TObjListKind GetObjList() const override { return olPublications; }
};

// The comparer's passes over tables, columns, column positions, schemas and publications. Each
// reads the comparer's master and target containers and writes only through its executor.
void MatchTables(TCustomQuarnel& Q);
void WriteCreateTables(TCustomQuarnel& Q);
void WriteCreateFields(TCustomQuarnel& Q);
// Table-level differences, then the columns both sides have, then the column order check.
void WriteAlterTables(TCustomQuarnel& Q);
// The columns both sides have, of every table both sides have: each pair whose definitions
// differ goes to the target dialect's alteration (qnlComp_TblAlter.h); with coDescription the
// master column's description where it differs.
void WriteAlterColumns(TCustomQuarnel& Q);
void CheckColumnOrder(TCustomQuarnel& Q);
void WriteDropTables(TCustomQuarnel& Q);
void WriteColumnPositions(TCustomQuarnel& Q);
void WriteIBColumnPositions(TCustomQuarnel& Q, TTblData& Table);
void WriteCreateSchemas(TCustomQuarnel& Q);
void WriteAlterSchemas(TCustomQuarnel& Q);
void WriteDropSchemas(TCustomQuarnel& Q);
void WriteCreatePublications(TCustomQuarnel& Q);
void WriteAlterPublications(TCustomQuarnel& Q);
void WriteDropPublications(TCustomQuarnel& Q);

// The dialect fix-ups of a master table and its target counterpart after extraction: for a
// MySQL target each of Engine, DefaultCharset and DefaultCollate set on one side only is copied
// to the other; for an Oracle target the two table spaces fill each other's empty items and a
// STORAGE clause or tablespace name that only one side has is cleared on that side. Objects
// that are not tables are left alone.
void MergeMySQLTableOptions(TDbObj& MasterTable, TDbObj& TargetTable);
void MergeOracleTableStorage(TDbObj& MasterTable, TDbObj& TargetTable);

} // namespace qnl
