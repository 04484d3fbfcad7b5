#pragma once
// The script executor for InterBase/Firebird targets: the generic executor with the reading of
// CONNECT statements, connecting through the abstract connection, running one statement on its
// own, description updates, SET NAMES, and the turning of a script's text into statements with
// the InterBase/Firebird script reader. Nothing here throws: every failure of the database is
// reported through DoErrorMessage.
#include "core/qnlSQL_Exec.h"
#include "interbase/qnlIBParser.h"

#include <memory>
#include <string>

namespace qnl {

class TIBSQLExec : public TSQLExec {
public:
    explicit TIBSQLExec(TComponent* AOwner = nullptr);
    ~TIBSQLExec() override;
    std::string ClassName() const override { return "TIBSQLExec"; }

    // Connects with the executor's connection and InterBase/Firebird options.
    void Connect() override;
    // Runs St at once, outside Execute, and ends its transaction (committed after success,
    // rolled back after a failure); the connection stays connected in a new transaction.
    void ExecuteStatement(TStatement* St) override;
    // Replaces the statement list by the statements of an InterBase/Firebird script, in script
    // order; the script's CONNECT or CREATE DATABASE, SET SQL DIALECT (3 without one) and SET
    // NAMES become the executor's options. Parse errors stay in MsgManager().
    void ParseScript(TStringList& Lines) override;
    // Reads DATABASE (after CONNECT), USER, PASSWORD and ROLE by their keywords, quoted values
    // with their doubled quotes undone: it reads back what GetConnectStatement writes.
    void ParseConnectText(const std::string& Text) override;
    // Writes the current statement's description. On a Firebird 3 or later server (the
    // connection's, whatever the configured version), in the comment mode, and for a statement
    // that is a COMMENT ON, as a COMMENT ON statement (the statement's own when it is one);
    // otherwise as a parameterised UPDATE of the system table.
    bool UpdateDescription() override;
    // SET NAMES sets the character set of the next connect; every other kind runs as the
    // generic executor runs it.
    bool ExecStatement(TStatement* St) override;

    // The reader of ParseScript, without owner; the caller owns it.
    virtual std::unique_ptr<TIbParser> CreateParser();
    // The reader's statement event: each statement it hands on becomes one of the executor's.
    void DoParserStatement(TObject* Sender, const std::string& Text, TStatementKind StatementKind,
                           const std::string& ObjName, TDbObject ObjKind, uint8_t Action,
                           const std::string& FieldName, TObject*& Statement);

private:
    // The version of the server the connection is attached to, from the facts it read while
    // connecting; the configured version while it is not connected or knows none.
    TIBSQLServerVersionType ConnectedServerVersion();
    // The COMMENT ON statement of the current statement's object and description.
    std::string CommentStatement(const TStatement& St);
    // The parameterised UPDATE of a system table for the current statement; empty for a kind
    // that has none.
    bool SetSysTableUpdate(const TStatement& St);

    // Exists only while ParseScript runs.
    std::unique_ptr<TIbParser> FParser;
};

} // namespace qnl
