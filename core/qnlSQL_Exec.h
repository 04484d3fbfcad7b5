#pragma once
// Script statements and the executor base: the one interface through which every pass and
// schema object writes the update script. The list order is the script order.
#include "core/qnlMsgManager.h"
#include "core/qnlTypes.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TCustomSQLExec;
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

} // namespace qnl
