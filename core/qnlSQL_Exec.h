#pragma once
// Script statements and the executor base: the one interface through which every pass and
// schema object writes the update script (the list order is the script order); and the generic
// executor that renders the list for every dialect and runs it through the abstract connection.
#include "core/qnlDBEngine.h"
#include "core/qnlDBOptions.h"
#include "core/qnlMsgManager.h"
#include "core/qnlTypes.h"

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TCustomSQLExec;

// The statement kinds whose text goes to the database; the others (connect, set, comment,
// commit, select) have nothing to send on their own.
bool SendsTextToTheDatabase(TStatementKind Kind);

class TDbObj;

// What a statement does to its object; the captions appear in the execution log.
using TStatementAction = uint8_t;
inline constexpr TStatementAction saNone = 0;
inline constexpr TStatementAction saCreate = 1;
inline constexpr TStatementAction saAlter = 2;
inline constexpr TStatementAction saDrop = 3;
inline constexpr TStatementAction saEmptyBody = 4;
inline constexpr TStatementAction saRestoreBody = 5;
inline constexpr TStatementAction saCreateEmpty = 6;
inline constexpr TStatementAction saEmptyBeforeDrop = 7;
inline constexpr TStatementAction saConnectSet = 8;
inline constexpr TStatementAction saCommit = 9;
inline constexpr TStatementAction saComment = 10;
inline constexpr TStatementAction saDescription = 11;
inline constexpr TStatementAction saInsert = 12;
inline constexpr TStatementAction saUpdate = 13;
inline constexpr TStatementAction saDelete = 14;

// The caption suffix of an action (": create", ...); empty for actions without one.
const char* StatementActionCaption(TStatementAction Action);

class TStatement : public TObject {
public:
    explicit TStatement(TCustomSQLExec* AOwner) : Owner(AOwner) {}
    std::string ClassName() const override { return "TStatement"; }

    TCustomSQLExec* Owner;
    TStringList Lines;
    TStatementKind Kind = skStatement;
    int LineIndex = 0;
    int LineCount = 0;
    bool Skip = false;
    TDbObject ObjKind = dboUnknown;
    TStatementAction Action = saNone;
    std::string ObjName;
    std::string FieldName;
    std::string DescriptionText;
    std::string ErrorText;
    std::string Terminator;
    // Set once the statement has run on its own (ExecuteStatement of a dialect's executor).
    bool Executed = false;

    std::string GetCaption() const;
};

using TStatementExecuteEvent = std::function<void(TObject* Sender, int index)>;
// A handler may hand back its own statement object; the executor then owns it.
using TStatementCreateEvent = std::function<void(TObject* Sender, std::unique_ptr<TStatement>& Statement)>;
using TStatementAddEvent = std::function<void(TStatement* st, bool& Accept)>;

class TCustomSQLExec : public TComponent {
public:
    explicit TCustomSQLExec(TComponent* AOwner = nullptr);
    ~TCustomSQLExec() override;
    std::string ClassName() const override { return "TCustomSQLExec"; }

    std::string SchemaName;
    std::string ScriptFileName;
    bool BreakOnError = false;
    int ErrorCount = 0;
    TServerType ServerType = stNone;

    TLogNextLineEvent OnLogNextLine;
    TProgressUpdateEvent OnProgressUpdate;
    TErrorMessageEvent OnErrorMessage;
    TStatementExecuteEvent OnBeforeStatementExecute;
    TStatementExecuteEvent OnAfterStatementExecute;
    TStatementCreateEvent OnStatementCreate;
    TStatementAddEvent OnStatementAdd;
    TLoadScriptEvent OnLoadScript;

    TMsgManager& MsgManager() { return FMsgManager; }

    virtual void DoLogNextLine(const std::string& Text);
    virtual void DoProgressUpdate(int Value, int MaxValue);
    virtual void DoErrorMessage(const std::string& ErrText);
    virtual bool GetFullLog() { return FFullLog; }
    virtual void DoStatementAdd(TStatement* St, bool& Accept);
    virtual void DoBeforeStatementExecute(int Index);
    virtual void DoAfterStatementExecute(int Index);
    virtual std::unique_ptr<TStatement> CreateStatement();
    virtual void SetSchemaName(const std::string& Name) { SchemaName = Name; }
    virtual void Connect() {}
    virtual void Disconnect() {}
    virtual void ExecuteStatement(TStatement* /*St*/) {}
    virtual void LoadScriptFromFile(const std::string& FileName);
    // The text of a stream; nullptr parses an empty script.
    virtual void LoadScriptFromStream(const std::string* Stream);
    virtual void ParseScript(TStringList& /*Lines*/) {}
    virtual TStatement* AddStatement(const std::string& Text, TStatementKind StatementKind, const std::string& ObjName,
                                     TDbObject ObjKind, TStatementAction Action, const std::string& FieldName = {},
                                     const std::string& Terminator = {});
    virtual TStatement* AddComment(const std::string& /*Text*/) { return nullptr; }
    virtual void AddConnect() {}
    virtual void ParseConnectText(const std::string& /*Text*/) {}
    virtual void ClearStatements();
    virtual void DeleteStatement(int Index);
    virtual void AddCommit() {}
    virtual TStatement* AddDescription(TDbObj* Obj);
    virtual void GetScriptText(TStringList& /*Strings*/, bool /*SetLineNumbers*/) {}
    virtual bool Execute();

    TStatement* Statements(int Index) const { return FStatements.at(static_cast<size_t>(Index)).get(); }
    int StatementCount() const { return static_cast<int>(FStatements.size()); }

protected:
    bool FFullLog = false;
    // Appends a statement that bypasses AddStatement (descendants' own kinds of entries).
    void AppendStatement(std::unique_ptr<TStatement> St) { FStatements.push_back(std::move(St)); }

private:
    TMsgManager FMsgManager;
    std::vector<std::unique_ptr<TStatement>> FStatements;
};

using TGetParamValueEvent = std::function<void(TObject* Sender, TQNLParam* Param)>;

// The generic script executor: renders the statement list as script text with the dialect's
// terminators (SET TERM blocks around InterBase/Firebird bodies), and runs it statement by
// statement through QNLConnection: each DDL statement in a transaction of its own, data changes
// gathered in one transaction that is committed before the next DDL statement and at the end,
// errors counted, an optional stop at the first error, and a summary line. A data change the
// log shows as executed is in the database, or is logged as rolled back and counted as an error.
// Every operation reports through DoErrorMessage; nothing throws out of Execute or
// ExecuteStatement.
class TSQLExec : public TCustomSQLExec {
public:
    explicit TSQLExec(TComponent* AOwner = nullptr);
    ~TSQLExec() override;
    std::string ClassName() const override { return "TSQLExec"; }

    // The script's own settings; CONNECT, RECONNECT and CREATE DATABASE statements hand them to
    // the connection.
    TConnectionOptions ConnectionOptions;
    TIBSQLExecOptions IBServerOptions;
    TMSSQLServerOptions MSSQLServerOptions;
    TMySQLServerOptions MySQLServerOptions;
    TASAServerOptions ASAServerOptions;
    TASEServerOptions ASEServerOptions;
    TOracleServerOptions OracleServerOptions;
    TPGSQLServerOptions PGSQLServerOptions;
    TDB2ServerOptions DB2ServerOptions;

    // The query of the current run (created by Execute or ExecuteStatement, freed at their end).
    std::unique_ptr<TQNLQuery> Query;
    std::string BlobFileName;
    // The blob file of the last "BlobFile" statement of the run and the scratch buffer for one value.
    std::unique_ptr<std::ifstream> BlobStream;
    std::unique_ptr<std::string> BlobBuffer;
    // The statement being run; nullptr outside a run.
    TStatement* CurrentStatement = nullptr;
    TGetParamValueEvent OnGetParamValue;

    TQNLCustomConnection* QNLConnection() const { return FQNLConnection; }

    void DoErrorMessage(const std::string& ErrText) override;
    void Connect() override;
    void Disconnect() override;
    void ExecuteStatement(TStatement* St) override;
    TStatement* AddComment(const std::string& Text) override;
    void AddConnect() override;
    void ClearStatements() override;
    void DeleteStatement(int Index) override;
    void AddCommit() override;
    // Clears Target and renders every statement not marked Skip; with SetLineNumbers each
    // statement's LineIndex becomes the 0-based index of its first text line in Target.
    void GetScriptText(TStringList& Target, bool SetLineNumbers) override;
    bool Execute() override;

    virtual std::string QuoteName(const std::string& Name);
    virtual void SetQNLConnection(TQNLCustomConnection* Value);
    virtual void AssignOptionsToConnection();
    virtual bool UpdateDescription();
    virtual bool FillParams();
    virtual bool ExecConnect();
    virtual bool ExecReConnect();
    virtual bool ExecCreateDatabase();
    virtual bool ExecDescription();
    virtual bool ExecBlobFile();
    virtual bool ExecDML();
    virtual bool ExecSQL();
    virtual void GetParamValue(TQNLParam* Param);
    virtual bool ExecStatement(TStatement* St);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

    // Runs Action and answers true; an exception is reported with DoErrorMessage and answers false.
    template <typename F>
    bool Guarded(F&& Action);
    // GetConnected of the connection; false (reported) when there is none or it throws.
    bool IsConnected();
    // Reports "Disconnected from database..." and answers false when not connected.
    bool ExpectConnected();
    bool InTransaction();
    // Text of the statement: its lines joined with CR LF after each.
    static std::string StatementText(const TStatement& St);
    void LogConnected();
    void ReleaseBlobFile();
    std::string NoConnectionText() const;
    // Commits the open transaction and with it the data changes run in it; when the commit
    // fails, they are lost and reported (ReportLostDataChanges).
    void CommitDataChanges();
    // Logs each data change of the transaction just rolled back and counts it as an error.
    void ReportLostDataChanges();

private:
    TQNLCustomConnection* FQNLConnection = nullptr;
    // Captions of the data changes run in the open transaction and not committed yet.
    std::vector<std::string> FUncommitted;
    // A statement of the running Execute could not connect: the run stops after it.
    bool FConnectFailed = false;
};

template <typename F>
bool TSQLExec::Guarded(F&& Action) {
    try {
        Action();
        return true;
    } catch (const std::exception& e) {
        DoErrorMessage(e.what());
    } catch (...) {
        DoErrorMessage("Unknown error.");
    }
    return false;
}

} // namespace qnl
