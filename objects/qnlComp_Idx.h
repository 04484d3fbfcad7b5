#pragma once
// Table indices: their CREATE and DROP texts per dialect, the key they are matched by, and the
// comparer's passes that create, alter (re-create or switch active/inactive) and drop them.
#include "core/qnlClasses.h"
#include "core/qnlCustomQuarnel.h"
#include "objects/qnlComp_Tbl.h"

#include <string>

namespace qnl {

// Index options kept with an index; the writers read only the MySQL index method.
struct TIndexOptions {
    std::string IndexMethod;  // written after USING (MySQL)
};

class TIdxData : public TDbObj {
public:
    explicit TIdxData(TCustomObjs* AContainer);
    ~TIdxData() override;
    std::string ClassName() const override { return "TIdxData"; }

    TTableSpace TableSpace;
    bool IsUnique = false;
    bool IsBitmap = false;
    bool IsDescending = false;
    std::string TableName;
    // Key columns in key order; an attached column gives the order (IndexOrder 2 = descending)
    // and, for MySQL, the prefix length (CharLength).
    TColumnNameList Fields;
    bool Active = true;
    bool IsClustered = false;
    std::string FileGroup;
    bool IsPrimaryXml = false;
    bool IsXml = false;
    TColumnNameList IncludeFields;
    std::string WithText;
    TIndexOptions IndexOptions;
    std::string FilterText;
    std::string IndexTypeText;
    std::string ParametersText;
    bool NoLogging = false;
    std::string TableSpaceName;
    bool Compress = false;
    bool NoCompress = false;
    TIndexOptions UsingOptions;
    bool IsFullText = false;
    bool IsSpatial = false;
    bool AllowReverseScans = false;

    void AddField(const std::string& AName, int IndexOrder = 0);
    // The quoted key columns joined by ", " (MySQL prefix lengths, DESC per column).
    std::string GetColumnListText() const;

    // ---- TDbObj ----
    std::string GetKeyName() const override;
    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    void DropDependents() override;
    TObjListKind GetObjList() const override { return olIndices; }
    TDbObj* GetOwner() const override;
    std::string GetOwnerName() const override { return TableName; }
    const TStringList* GetKeyFields() const override { return &Fields; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcIndex, TableName, GetOwner()}; }
};

// Compares two index texts: ignoring letter case (8-bit, as the platform does) when CaseBlind,
// exactly otherwise.
bool SameIndexText(const std::string& A, const std::string& B, bool CaseBlind);

void WriteCreateIndices(TCustomQuarnel& Q);
void WriteAlterIndices(TCustomQuarnel& Q);
void WriteDropIndices(TCustomQuarnel& Q);

} // namespace qnl
