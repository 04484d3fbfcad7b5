#pragma once
// The base of the comparer: what it is configured with and what the script passes read through
// it: the two structures (master and target) with their extractors, the script executor, the
// compared kinds, one compare-option object per dialect, the log and error events, quoting for
// the target's dialect. It keeps the two structures' containers linked to each other and marked
// as master and target, and drops every link to a structure, extractor or executor that is
// replaced or destroyed.
#include "core/qnlDBOptions.h"
#include "core/qnlDBStructure.h"
#include "core/qnlExtract.h"
#include "core/qnlSQL_Exec.h"
#include "core/qnlTypes.h"
#include "platform/Component.h"

#include <memory>
#include <string>

namespace qnl {

class TCustomQuarnel : public TComponent {
public:
    explicit TCustomQuarnel(TComponent* AOwner = nullptr);
    ~TCustomQuarnel() override;
    std::string ClassName() const override { return "TCustomQuarnel"; }

    TLogNextLineEvent OnLogNextLine;
    TProgressUpdateEvent OnProgressUpdate;
    TErrorMessageEvent OnErrorMessage;
    TCmpObjSetType CompareObjects = TCmpObjSetType::All();
    // Copy of the target's connection settings, taken by Extract and Compare.
    TConnectionOptions ConnectionOptions;
    bool ExtractMasterEnabled = false;
    bool ExtractTargetEnabled = false;
    bool CompareEnabled = false;

    // The compare options per dialect. Writing copies the settings into the owned object.
    const TIBCompareOptions& IBCompareOptions() const { return FIBCompareOptions; }
    TIBCompareOptions& IBCompareOptions() { return FIBCompareOptions; }
    void SetIBCompareOptions(const TIBCompareOptions& Value) { FIBCompareOptions.Assign(Value); }
    TMSSQLCompareOptions& MSSQLCompareOptions() { return FMSSQLCompareOptions; }
    void SetMSSQLCompareOptions(const TMSSQLCompareOptions& Value) { FMSSQLCompareOptions.Assign(Value); }
    TMySQLCompareOptions& MySQLCompareOptions() { return FMySQLCompareOptions; }
    void SetMySQLCompareOptions(const TMySQLCompareOptions& Value) { FMySQLCompareOptions.Assign(Value); }
    TASACompareOptions& ASACompareOptions() { return FASACompareOptions; }
    void SetASACompareOptions(const TASACompareOptions& Value) { FASACompareOptions.Assign(Value); }
    TASECompareOptions& ASECompareOptions() { return FASECompareOptions; }
    void SetASECompareOptions(const TASECompareOptions& Value) { FASECompareOptions.Assign(Value); }
    TOracleCompareOptions& OracleCompareOptions() { return FOracleCompareOptions; }
    void SetOracleCompareOptions(const TOracleCompareOptions& Value) { FOracleCompareOptions.Assign(Value); }
    TPgSQLCompareOptions& PGSQLCompareOptions() { return FPGSQLCompareOptions; }
    void SetPGSQLCompareOptions(const TPgSQLCompareOptions& Value) { FPGSQLCompareOptions.Assign(Value); }
    TDB2CompareOptions& DB2CompareOptions() { return FDB2CompareOptions; }
    void SetDB2CompareOptions(const TDB2CompareOptions& Value) { FDB2CompareOptions.Assign(Value); }

    // The assigned executor, else the comparer's own one (nullptr before the first Compare).
    TCustomSQLExec* SQLExec() const;
    // Assigning another executor over the own one frees the own one.
    void SetSQLExec(TCustomSQLExec* Value);

    TCustomDBStructure* DBStructureMaster() const { return FDBStructureMaster; }
    TCustomDBStructure* DBStructureTarget() const { return FDBStructureTarget; }
    void SetDBStructureMaster(TCustomDBStructure* Value);
    void SetDBStructureTarget(TCustomDBStructure* Value);

    TCustomExtract* ExtractorMaster() const { return FExtractorMaster; }
    TCustomExtract* ExtractorTarget() const { return FExtractorTarget; }
    void SetExtractorMaster(TCustomExtract* Value);
    void SetExtractorTarget(TCustomExtract* Value);

    bool ShowFullLog() const { return FShowFullLog; }
    // Also passed to the extractors of the two structures.
    void SetShowFullLog(bool Value);

    // When both structures are set: master Side 1, target Side 2, each the other's counterpart.
    void LinkContainers();
    TCustomObjs* GetMasterObjs() const;
    TCustomObjs* GetTargetObjs() const;

    // Quotes a name for the target's dialect; the name stays bare without a target structure.
    std::string QuoteName(const std::string& Name) const;
    void DoLogNextLine(const std::string& Text);
    void DoErrorMessage(const std::string& Text);

    virtual bool Extract() { return false; }
    virtual void Compare() {}
    // Compare runs only when Extract succeeds.
    virtual void ExtractAndCompare();

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // The comparer's own TSQLExec, created (with the comparer's handlers) when there is none;
    // for Compare when no executor is assigned.
    TSQLExec* OwnSQLExec();
    TSQLExec* ExistingOwnSQLExec() const { return FOwnSQLExec.get(); }

private:
    void SetStructure(TCustomDBStructure*& Field, TCustomDBStructure* Value, uint8_t Side);
    void SetExtractor(TCustomExtract*& Field, TCustomExtract* Value);
    // Drops the counterpart links between the two sides' containers.
    void UnlinkContainers(TCustomObjs* Leaving);

    TCustomDBStructure* FDBStructureMaster = nullptr;
    TCustomDBStructure* FDBStructureTarget = nullptr;
    TCustomExtract* FExtractorMaster = nullptr;
    TCustomExtract* FExtractorTarget = nullptr;
    TCustomSQLExec* FSQLExec = nullptr;
    std::unique_ptr<TSQLExec> FOwnSQLExec;
    bool FShowFullLog = true;

    TIBCompareOptions FIBCompareOptions;
    TMSSQLCompareOptions FMSSQLCompareOptions;
    TMySQLCompareOptions FMySQLCompareOptions;
    TASACompareOptions FASACompareOptions;
    TASECompareOptions FASECompareOptions;
    TOracleCompareOptions FOracleCompareOptions;
    TPgSQLCompareOptions FPGSQLCompareOptions;
    TDB2CompareOptions FDB2CompareOptions;
};

} // namespace qnl
