#pragma once
// The script runner: executes an SQL script against a database statement by statement. It
// parses the script once (TpFIBScriptParser), sends the SQL statements to the server through
// its own TpFIBQuery and handles the commands that are not SQL for the server itself: CONNECT,
// CREATE and DROP DATABASE, DISCONNECT, RECONNECT, COMMIT, ROLLBACK, SET AUTODDL / SQL DIALECT
// / NAMES / CLIENTLIB / BLOBFILE, INPUT, DESCRIBE, the {$...} directives, conditional blocks,
// BATCH START / BATCH EXECUTE and REINSERT. It can join DML statements into EXECUTE BLOCKs.
//
// What it reports is what reached the database: AfterStatementExecute fires once a statement's
// work is in the database (after its automatic DDL commit when there is one), and
// ExecutedCount / RowsAffected count the statements and rows whose work is committed or still
// in the open transaction (a rollback takes back what it undid).
#include "client/pFIBDatabase.h"
#include "client/pFIBQuery.h"
#include "client/pFIBScriptParser.h"
#include "platform/Streams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

// Line is 1-based; StatementNo the 1-based number in the map being run (0 for a batch run).
using TOnStatementExecute = std::function<void(TObject* Sender, int Line, int StatementNo, const TStatementDesc& Desc,
                                               const TStringList& Statement)>;
// Both flags come in true: doRollBack rolls the transaction back, Stop ends the run before the
// next statement. The error is absorbed either way.
using TOnSQLScriptExecError =
    std::function<void(TObject* Sender, int StatementNo, int Line, const TStringList& Statement, int SQLCode,
                       const std::string& Msg, bool& doRollBack, bool& Stop)>;
// Called after each statement that reached the database, with its 1-based line and text.
using TStatementCallback = std::function<void(int Line, const TStringList& Statement)>;

// INPUT files nested deeper than this are refused.
inline constexpr int MaxInputDepth = 32;

class TpFIBScripter : public TComponent {
public:
    explicit TpFIBScripter(TComponent* AOwner = nullptr);
    ~TpFIBScripter() override;
    std::string ClassName() const override { return "TpFIBScripter"; }

    // Any change of the text drops the maps.
    THookedStringList& Script() { return FScript; }

    TFIBDatabase* Database() const { return FDatabase; }
    // Commits the active transaction first; frees a database the runner created itself.
    void SetDatabase(TFIBDatabase* Value);
    // Nil: the runner's internal transaction is used.
    TFIBTransaction* Transaction() const { return FTransaction; }
    void SetTransaction(TFIBTransaction* Value);
    TFIBTransaction& TransactionInUse() const;

    bool AutoDDL = true;
    bool UseExecBlockForDML = false;
    TOnSQLScriptExecError OnExecuteError;
    TOnStatementExecute BeforeStatementExecute;
    TOnStatementExecute AfterStatementExecute;
    void SetStatementCallback(TStatementCallback Value) { FStatementCallback = std::move(Value); }

    void Parse(const std::string& Terminator = ";");
    // Runs the script from a 1-based statement number.
    void ExecuteScript(int FromStatement = 1);
    // Runs a script file (INPUT uses it); a file already being run, or nesting deeper than
    // MaxInputDepth, is refused with an error naming the file.
    void ExecuteFromFile(const std::string& FileName, const std::string& Terminator = ";");
    // One statement of the map being run; Line -1: the statement's own first line.
    void ExecuteStatement(const TStringList& Statement, const TStatementDesc& Desc, int Line, int Index);
    // The text of a 1-based statement number of Script.
    TStringList GetStatement(int No);
    int StatementCount();
    const TScriptMap& Statements() const { return FStatements; }
    void Define(const std::string& Name);
    void Undefine(const std::string& Name);
    const TStringList& Defines() const { return FDefines; }
    const TStringList& Constants() const { return FConstants; }

    // The 1-based statement at which the last run stopped; 0 when it ran to the end.
    int StopPosition() const { return FStopPosition; }
    int SQLDialect() const { return FSQLDialect; }
    const std::string& ClientLibrary() const { return FClientLibrary; }
    bool Connects() const { return FConnects; }
    bool HasDML() const { return FHasDML; }
    bool HasOther() const { return FHasOther; }
    int64_t ExecutedCount() const { return FExecutedCount; }
    int64_t RowsAffected() const { return FRowsAffected; }

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    // A statement waiting in the EXECUTE BLOCK or the batch being collected.
    struct TPending {
        int No = 0;
        int Line = 0;
        TStatementDesc Desc;
        TStringList Text;
    };
    // The script being run: Script or an INPUT file.
    struct TRun {
        const TStringList* Lines = nullptr;
        TScriptMap* Statements = nullptr;
        TDirectivesMap* Directives = nullptr;
    };

    void ScriptChanged();
    void RunStatements(int From);
    // After the outermost run, on every path: forced writes back on, a database of our own
    // released, the blob file closed. Failed: what the open transaction holds is rolled back.
    void FinishRun(bool Failed);
    TFIBDatabase& NeedDatabase();
    void StartTransactionIfNeeded();
    void CommitInUse();
    void RollbackInUse();
    void CommitIfActive();
    void DisconnectDatabase();
    void ConnectDatabase();
    // The database's parameters from the words USER, PASSWORD and ROLE of Words.
    void SetConnectParams(const std::vector<std::string>& Words, size_t From);
    void ApplyConnectParams(const std::vector<std::string>& Words, size_t From);
    void RefreshServerFacts();

    void DoConnect(const TStringList& Statement);
    void DoCreateDatabase(const TStringList& Statement);
    void DoDropDatabase(const TStringList& Statement);
    // False when the statement is not one the runner handles and goes to the server.
    bool DoSet(const TStringList& Statement);
    void DoDescribe(const TStringList& Statement, const TStatementDesc& Desc, int No, int Line);
    void DoDirective(const TStringList& Statement, int Line);
    void DoSQL(const TStringList& Statement, const TStatementDesc& Desc, int No, int Line);
    TStringList ExpandReinsert(const TStringList& Statement);

    // Runs the query's text: the transaction started, blob parameters loaded, the statement
    // executed and, with AutoDDL, DDL committed; then the callbacks. A server error goes to
    // OnExecuteError when assigned.
    void RunQuery(int No, int Line, const TStatementDesc& Desc, const TStringList& Statement);
    // Each statement alone, until one stops the run.
    void RunPendingAlone(const std::vector<TPending>& Pending);
    // Runs the pending block; true when that stopped the run before statement No.
    bool StopAfterFlush(int No);
    void StatementReached(int No, int Line, const TStatementDesc& Desc, const TStringList& Statement, int64_t Rows);
    // False when the statement does not fit the pending block (which is then full).
    bool AddToExecBlock(const TPending& P);
    void FlushExecBlock();
    void RunBatch(int Line);
    void LoadBlobParams();
    bool HasParameters(const TStringList& Statement);

    bool IsBranchActive(int32_t Directive, uint8_t InElse);
    // 1 true, 2 false, 0 could not be evaluated now.
    uint8_t EvalDirective(const TDirectiveDesc& D);
    bool EvalIfCondition(const std::string& Condition);
    uint8_t EvalExistsCondition(const std::string& Kind, const std::string& Rest);

    bool FParsed = false;
    bool FConnects = false;
    TpFIBScriptParser FParser;
    THookedStringList FScript;
    TScriptMap FStatements;
    TDirectivesMap FDirectives;
    TRun FRun;
    TFIBDatabase* FDatabase = nullptr;
    std::unique_ptr<TpFIBTransaction> FInternalTransaction;
    std::unique_ptr<TpFIBQuery> FQuery;
    bool FStop = false;
    int FStopPosition = 0;
    int FSQLDialect = 3;
    std::string FClientLibrary;
    std::string FNames;
    std::string FBlobFileName;
    std::unique_ptr<TFileStream> FBlobFile;
    std::unique_ptr<TpFIBDatabase> FOwnDatabase;
    bool FHasDML = false;
    bool FHasOther = false;
    bool FForcedWritesOff = false;
    bool FReinsertHeadKnown = false;
    std::string FLastInsert;
    std::string FReinsertHead;
    TFIBTransaction* FTransaction = nullptr;
    std::vector<TPending> FBlock;
    int64_t FBlockLength = 0;
    bool FBatchMode = false;
    std::vector<TPending> FBatch;
    TStatementCallback FStatementCallback;
    TStringList FDefines;
    TStringList FConstants;
    // INPUT files being run, outermost first (absolute paths).
    std::vector<std::string> FInputFiles;
    int FRunDepth = 0;
    int64_t FExecutedCount = 0;
    int64_t FRowsAffected = 0;
    int64_t FPendingCount = 0;
    int64_t FPendingRows = 0;
};

} // namespace qnl
