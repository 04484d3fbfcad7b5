#pragma once
// Views of every dialect: the column list and CREATE VIEW text, and the comparer's view passes.
// A view is never altered in place: one that differs, or reads a column whose type changed, is
// dropped with what uses it and created again; its triggers come back with empty bodies right
// after it, and the trigger alter pass restores them.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Tbl.h"

#include <memory>
#include <string>

namespace qnl {

class TCustomQuarnel;

class TViwData : public TDbObj {
public:
    explicit TViwData(TCustomObjs* AContainer);
    // The columns go before the base: their destructors unregister from objects they point to.
    ~TViwData() override;
    std::string ClassName() const override { return "TViwData"; }

    // Dropped and created again although its text did not change (a column it reads changed).
    bool Recreate = false;
    // Column names in order, each with its owned column object.
    TColumnNameList Columns;
    // Written without a column list: the names the server gives its columns, read from the
    // select list by the script reader (each item's alias, else the column it reads). Empty when
    // they could not be told for certain; never written, only paired by (GetCapturedSQL).
    TStringList DerivedColumns;
    std::string OfType;        // Oracle object view type
    std::string ObjectIdKind;  // Oracle: the word before the WITH OBJECT attributes
    TStringList ObjectIdColumns;
    std::string Algorithm;    // MySQL
    std::string SqlSecurity;  // MySQL
    bool WithEncryption = false;
    bool SchemaBinding = false;
    bool ViewMetadata = false;

    // Files a column at the end of the column list; its owner becomes this view.
    TFldData* AddColumn(std::unique_ptr<TFldData> Column);
    TFldData* AddColumn(const std::string& AName);
    TFldData* Column(int Index) const { return Columns.Column(Index); }

    // "(" CR LF A "," CR LF B ")"; empty without columns.
    std::string GetColumnListSQL();
    bool GetRecreate() const { return Recreate; }
    // Sets the flag here and on the counterpart.
    void SetRecreate(bool Value);

    // ---- TDbObj ----
    std::string GetCreateSQL() override;
    // With the derived names as its column list, as the database holds the view.
    std::string GetCapturedSQL() override;
    std::string GetDropSQL() override;
    void CreateDependDef() override;
    void CreateDependencies() override;
    void MarkCreated() override;
    void DropDependents() override;
    void MarkDropped() override;
    TObjListKind GetObjList() const override { return olViews; }
    int GetColumnCount() const override { return Columns.Count(); }
    TDbObj* GetColumn(int Index) const override { return Column(Index); }
    TDescriptionSubject GetDescriptionSubject() override { return {dcView}; }

private:
    // The CREATE text with ColumnList (GetColumnListSQL's form) after the name.
    std::string CreateText(const std::string& ColumnList);
    // A computed column that reads this view went when the view was dropped: once the view is
    // there again, its table adds it back.
    void RestoreComputedColumns();
    // True when the view reads itself through existing views.
    bool ReadsItself() const;
    // Before a view that reads itself is dropped, it gets a text that reads no view: the server
    // refuses to drop any view of such a cycle ("request depth exceeded").
    void BreakViewCycle();
    bool FCreating = false;
};

// What a routine or another view needs of a view it reads, before it is created itself: the
// view when it is missing, or the master's view in place of the target's when their current
// texts differ. UserWord names the user's kind in the script's comments ("view", "procedure").
void CreateViewFor(TDbObj& User, TDbObj& View, const std::string& UserWord);

// The comparer's view passes.
// Master views missing in the target (run twice: after the procedures and after the triggers).
void WriteCreateViews(TCustomQuarnel& Q);
// Views whose texts differ, or that must be re-created, are dropped and created again.
void WriteAlterViews(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);
void WriteDropViews(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);

} // namespace qnl
