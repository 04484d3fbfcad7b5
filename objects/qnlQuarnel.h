#pragma once
// The comparer: runs the two extractors (target first, then master), pairs the objects of the
// two containers by key, marks which exist in the target, and writes the update script by
// running the per-kind passes in one fixed order. The order creates what objects depend on
// before them, drops dependents before what they use, keeps tables and generators both sides
// have (altering them instead of re-creating them), and writes grants and role changes last.
#include "core/qnlCustomQuarnel.h"
#include "core/qnlDBEngine.h"
#include "core/qnlMsgManager.h"

#include <initializer_list>
#include <string>

namespace qnl {

class TQuarnel : public TCustomQuarnel {
public:
    // The three run switches start True.
    explicit TQuarnel(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TQuarnel"; }

    TNotifyEvent OnBeforeExtractMaster;
    TNotifyEvent OnBeforeExtractTarget;
    TNotifyEvent OnAfterExtractMaster;
    TNotifyEvent OnAfterExtractTarget;
    TNotifyEvent OnBeforeCompare;
    TNotifyEvent OnAfterCompare;
    TNotifyEvent OnBeforeExtract;
    TNotifyEvent OnAfterExtract;

    // The messages gathered from both extractors by Extract.
    TMsgManager& MsgManager() { return FMsgManager; }

    // Runs the target's extractor and then the master's (skipped when the target's reported an
    // error); True when no error was gathered. The event handlers may clear the run switches.
    bool Extract() override;
    // Writes the update script into the executor; does nothing while CompareEnabled is False.
    void Compare() override;
    // The dialect's opening statements.
    virtual void WriteScriptHeader();
    // The change of the database's default character set (InterBase/Firebird targets).
    void WriteDatabaseCharset();

    // Pairs the objects of the two containers by key (columns of paired tables and views too).
    void MatchObjects();
    // Exists: every target object and every paired master object; not an unpaired master object.
    void MarkObjects();
    // Target MySQL and Oracle: table options, schema and storage the two sides must agree on.
    void ApplyDialectFixups();
    // Rewrites the master in the target's dialect when the two sides' server types differ.
    void ConvertMasterToTarget();
    void ConvertToIB();
    void ConvertToASA();
    void ConvertToMySQL();
    void ConvertToMSSQL();
    void ConvertToPostgreSQL();
    // The kinds a converter takes out of CompareObjects (they have no form in the target's
    // dialect) come back at the start of the next extraction.
    void RemoveComparedKinds(std::initializer_list<TCmpObjType> Kinds);
    void RestoreComparedKinds();

protected:
    virtual void DoBeforeExtract();
    virtual void DoAfterExtract();
    virtual void DoBeforeCompare();
    virtual void DoAfterCompare();

private:
    // Links one side's extractor to its structure and hands it the comparer's settings; False
    // (reported) when the extractor or the structure is missing.
    bool PrepareExtraction(bool Master);
    void RunExtraction(bool Master);
    // The passes, in their fixed order.
    void WritePasses(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec);
    void Fire(const TNotifyEvent& Event) {
        if (Event) Event(this);
    }

    TMsgManager FMsgManager;
    TCmpObjSetType FRemovedKinds;
};

} // namespace qnl
