// Implements the InterBase/Firebird script executor; see qnlIBSQLExec.h.
#include "interbase/qnlIBSQLExec.h"

#include "core/qnlDBStructure.h"
#include "interbase/qnlIBDBExtract.h"
#include "interbase/qnlIbScriptParser.h"

#include <cctype>
#include <stdexcept>

namespace qnl {

namespace {

bool IsBlankChar(char C) { return std::isspace(static_cast<unsigned char>(C)) != 0; }

bool IsCommentOnText(const std::string& Text) {
    const std::string upper = UpperCase(Trim(Text).substr(0, 7));
    return upper == "COMMENT";
}

} // namespace

TIBSQLExec::TIBSQLExec(TComponent* AOwner) : TSQLExec(AOwner) { ServerType = stInterBase; }

TIBSQLExec::~TIBSQLExec() = default;

std::unique_ptr<TIbParser> TIBSQLExec::CreateParser() { return NewIbScriptParser(nullptr); }

// ---- CONNECT ----

void TIBSQLExec::ParseConnectText(const std::string& Text) {
    ConnectionOptions.DatabaseName.clear();
    ConnectionOptions.UserName.clear();
    ConnectionOptions.Password.clear();
    ConnectionOptions.RoleName.clear();
    // The value the last keyword announced; words that are no keyword of CONNECT are passed over.
    std::string* value = nullptr;
    const size_t n = Text.size();
    size_t i = 0;
    while (i < n) {
        const char c = Text[i];
        if (IsBlankChar(c) || c == ';') {
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            // A quoted value: a doubled quote stands for one.
            std::string v;
            for (++i; i < n; ++i) {
                if (Text[i] != c) {
                    v += Text[i];
                } else if (i + 1 < n && Text[i + 1] == c) {
                    v += c;
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
            if (value) *value = v;
            value = nullptr;
            continue;
        }
        const size_t start = i;
        while (i < n && !IsBlankChar(Text[i]) && Text[i] != '\'' && Text[i] != '"' && Text[i] != ';') ++i;
        const std::string word = Text.substr(start, i - start);
        const std::string upper = UpperCase(word);
        if (upper == "CONNECT")
            value = &ConnectionOptions.DatabaseName;
        else if (upper == "DATABASE" && value == &ConnectionOptions.DatabaseName)
            continue;
        else if (upper == "USER")
            value = &ConnectionOptions.UserName;
        else if (upper == "PASSWORD")
            value = &ConnectionOptions.Password;
        else if (upper == "ROLE")
            value = &ConnectionOptions.RoleName;
        else if (value) {
            // An unquoted value (USER SYSDBA).
            *value = word;
            value = nullptr;
        }
    }
}

void TIBSQLExec::Connect() {
    TQNLCustomConnection* c = QNLConnection();
    if (!c) {
        DoErrorMessage(NoConnectionText());
        return;
    }
    if (IsConnected()) Guarded([&] { c->SetConnected(false); });
    const bool ok = Guarded([&] {
        c->ConnectionOptions.Assign(ConnectionOptions);
        c->IBEngineOptions.Assign(IBServerOptions);
        c->SetConnected(true);
    });
    if (ok && ExpectConnected()) DoLogNextLine("Connect: \"" + ConnectionOptions.DatabaseName + "\"");
}

// ---- one statement on its own ----

void TIBSQLExec::ExecuteStatement(TStatement* St) {
    if (!St) return;
    TQNLCustomConnection* c = QNLConnection();
    if (!c) {
        DoErrorMessage(NoConnectionText());
        return;
    }
    // A query of a running Execute is left to it.
    const bool ownQuery = !Query;
    if (ownQuery) Guarded([&] { Query = c->CreateQuery(this); });
    if (!Query) {
        DoErrorMessage(ClassName() + "(" + Name() + "): Connection did not create a query.");
        return;
    }
    if (SendsTextToTheDatabase(St->Kind)) {
        TStatement* const previous = CurrentStatement;
        CurrentStatement = St;
        if (!IsConnected()) Guarded([&] { c->SetConnected(true); });
        bool ok;
        if (St->Kind == skDescription) {
            // The text of a description may be one the database cannot run (DESCRIBE, or an
            // update of a system table that Firebird 3 refuses): it is written the way this
            // database takes it.
            ok = UpdateDescription();
        } else {
            ok = Guarded([&] {
                if (!c->InTransaction()) c->StartTransaction();
                Query->Close();
                Query->ClearSQL();
                Query->SetParamCheck(false);  // colons in PSQL bodies are no parameters
                Query->SetSQLText(StatementText(*St));
                if (GetFullLog()) {
                    DoLogNextLine("< Exec SQL >:");
                    DoLogNextLine(Trim(StatementText(*St)));
                } else {
                    DoLogNextLine("< Exec SQL >: " + St->GetCaption());
                }
                Query->ExecQuery();
            });
            Guarded([&] {
                Query->SetParamCheck(true);
                Query->Close();
                Query->ClearSQL();
            });
            if (ok) ok = Guarded([&] {
                    if (c->InTransaction()) c->Commit();
                });
            if (!ok && InTransaction()) Guarded([&] { c->Rollback(); });
        }
        if (ok) St->Executed = true;
        if (IsConnected() && !InTransaction()) Guarded([&] { c->StartTransaction(); });
        CurrentStatement = previous;
    }
    if (ownQuery) Query.reset();
}

// ---- descriptions ----

TIBSQLServerVersionType TIBSQLExec::ConnectedServerVersion() {
    TQNLCustomConnection* c = QNLConnection();
    if (!c || !IsConnected()) return IBServerOptions.SQLServerVersion;
    return ServerVersionFromFacts(c->IBEngineOptions.IBDatabaseOptions, IBServerOptions.SQLServerVersion);
}

std::string TIBSQLExec::CommentStatement(const TStatement& St) {
    const std::string own = Trim(StatementText(St));
    if (IsCommentOnText(own)) return own;
    const bool fb3 = IsFirebird3OrLater(ConnectedServerVersion());
    // A routine of the procedure list is a PSQL function when the catalogue holds no procedure
    // of that name (Firebird 3 keeps them apart, the statement does not tell).
    auto routineWord = [&](const std::string& Routine) -> std::string {
        if (!fb3) return "PROCEDURE";
        bool procedure = true;
        Guarded([&] {
            Query->Close();
            Query->ClearSQL();
            Query->SetParamCheck(false);
            Query->SetSQLText("SELECT 1 FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = " + QuotedStr(Routine));
            Query->Open();
            procedure = !Query->GetEof();
            Query->Close();
            Query->ClearSQL();
        });
        return procedure ? "PROCEDURE" : "FUNCTION";
    };
    std::string what;
    const std::string name = QuoteName(St.ObjName);
    switch (St.ObjKind) {
    case dboDatabase: what = "DATABASE"; break;
    case dboTable: what = "TABLE " + name; break;
    case dboView: what = "VIEW " + name; break;
    case dboField: what = "COLUMN " + QuoteName(St.FieldName) + "." + name; break;
    case dboProcedure: what = routineWord(St.ObjName) + " " + name; break;
    case dboParam:
        what = (fb3 ? routineWord(St.FieldName) + " PARAMETER " : std::string("PARAMETER ")) + QuoteName(St.FieldName) +
               "." + name;
        break;
    case dboTrigger: what = "TRIGGER " + name; break;
    case dboIndex: what = "INDEX " + name; break;
    case dboException: what = "EXCEPTION " + name; break;
    case dboDomain: what = "DOMAIN " + name; break;
    case dboFunction: what = "EXTERNAL FUNCTION " + name; break;
    case dboGenerator: what = "GENERATOR " + name; break;
    case dboRole: what = "ROLE " + name; break;
    case dboPackage: what = "PACKAGE " + name; break;
    case dboCollation: what = "COLLATION " + name; break;
    default: return {};
    }
    return "COMMENT ON " + what + " IS " + QuotedStr(St.DescriptionText);
}

bool TIBSQLExec::SetSysTableUpdate(const TStatement& St) {
    struct TTarget {
        const char* Table;
        const char* NameColumn;
        const char* OwnerColumn;  // columns and parameters: the table's or procedure's name
    };
    TTarget t{};
    switch (St.ObjKind) {
    case dboTable:
    case dboView: t = {"rdb$relations", "Rdb$relation_name", nullptr}; break;
    case dboField: t = {"rdb$relation_fields", "Rdb$field_name", "Rdb$relation_name"}; break;
    case dboProcedure: t = {"rdb$procedures", "Rdb$procedure_name", nullptr}; break;
    case dboParam: t = {"rdb$procedure_parameters", "Rdb$parameter_name", "Rdb$procedure_name"}; break;
    case dboTrigger: t = {"rdb$triggers", "Rdb$trigger_name", nullptr}; break;
    case dboIndex: t = {"rdb$indices", "Rdb$index_name", nullptr}; break;
    case dboException: t = {"rdb$exceptions", "Rdb$exception_name", nullptr}; break;
    case dboDomain: t = {"rdb$fields", "Rdb$field_name", nullptr}; break;
    case dboFunction: t = {"rdb$functions", "Rdb$function_name", nullptr}; break;
    case dboDatabase: t = {"rdb$database", nullptr, nullptr}; break;
    case dboGenerator: t = {"Rdb$Generators", "Rdb$Generator_name", nullptr}; break;
    case dboRole: t = {"Rdb$Roles", "Rdb$Role_name", nullptr}; break;
    default: return false;
    }
    // The parameter names of the statement: a relation's is TBLNAME, any other owner's OBJNAME.
    const bool relation = St.ObjKind == dboTable || St.ObjKind == dboView || St.ObjKind == dboField;
    const char* const ownerParam = relation ? "TBLNAME" : "OBJNAME";
    Query->AddSQL(std::string("update ") + t.Table);
    Query->AddSQL("set rdb$description = :DESCRIPTION");
    if (t.OwnerColumn) {
        Query->AddSQL(std::string("where ") + t.OwnerColumn + " = :" + ownerParam);
        Query->AddSQL(std::string("and ") + t.NameColumn + " = :FLDNAME");
    } else if (t.NameColumn) {
        Query->AddSQL(std::string("where ") + t.NameColumn + " = :" + ownerParam);
    }
    auto set = [&](const char* Param, const std::string& Value) {
        if (TQNLParam* p = Query->ParamByName(Param)) p->SetAsString(Value);
    };
    set("DESCRIPTION", St.DescriptionText);
    if (t.OwnerColumn) {
        set(ownerParam, St.FieldName);
        set("FLDNAME", St.ObjName);
    } else if (t.NameColumn) {
        set(ownerParam, St.ObjName);
    }
    return true;
}

bool TIBSQLExec::UpdateDescription() {
    TStatement* st = CurrentStatement;
    if (!st) return true;
    TQNLCustomConnection* c = QNLConnection();
    if (!c) {
        DoErrorMessage(NoConnectionText());
        return false;
    }
    if (!Query) Guarded([&] { Query = c->CreateQuery(this); });
    if (!Query) {
        DoErrorMessage(ClassName() + "(" + Name() + "): Connection did not create a query.");
        return false;
    }
    if (!ExpectConnected()) return false;
    // The data changes before it are committed first, as before any DDL statement.
    CommitDataChanges();
    // Firebird 3 refuses writes to its system tables: from there on a description is a comment.
    // The server the executor is connected to decides, whatever version the executor was set
    // up for; a COMMENT ON statement runs as written.
    const bool comment = IsFirebird3OrLater(ConnectedServerVersion()) ||
                         IBServerOptions.IBCompareOptions.UpdateDescriptionMode == udComment ||
                         IsCommentOnText(StatementText(*st));
    bool ok = Guarded([&] {
        if (!c->InTransaction()) c->StartTransaction();
        Query->Close();
        Query->ClearSQL();
        bool written;
        if (comment) {
            const std::string text = CommentStatement(*st);
            Query->SetParamCheck(false);
            if (TQNLParams* params = Query->GetParams()) params->Clear();
            Query->SetSQLText(text);
            written = !text.empty();
        } else {
            Query->SetParamCheck(true);
            if (TQNLParams* params = Query->GetParams()) params->Clear();
            written = SetSysTableUpdate(*st);
        }
        if (!written) throw std::runtime_error("No description statement for " + st->GetCaption());
        Query->ExecQuery();
        if (c->InTransaction()) c->Commit();
    });
    if (!ok && InTransaction()) Guarded([&] { c->Rollback(); });
    Guarded([&] {
        Query->ClearSQL();
        Query->SetParamCheck(true);
    });
    return ok;
}

// ---- running ----

bool TIBSQLExec::ExecStatement(TStatement* St) {
    CurrentStatement = St;
    if (St && St->Kind == skSetNames) {
        // Used from the next connect on.
        IBServerOptions.SetDBCharSet(St->ObjName);
        return true;
    }
    return TSQLExec::ExecStatement(St);
}

// ---- scripts ----

void TIBSQLExec::DoParserStatement(TObject* /*Sender*/, const std::string& Text, TStatementKind StatementKind,
                                   const std::string& ObjName, TDbObject ObjKind, uint8_t Action,
                                   const std::string& FieldName, TObject*& Statement) {
    Statement = AddStatement(Text, StatementKind, ObjName, ObjKind, Action, FieldName);
}

void TIBSQLExec::ParseScript(TStringList& Lines) {
    ClearStatements();
    MsgManager().Clear();
    // The objects the reader makes are not wanted here: they go into a container of the call's own.
    TObjs scratch;
    scratch.SetServerType(stInterBase);
    scratch.IBServerOptions.SQLServerVersion = IBServerOptions.SQLServerVersion;
    scratch.IBServerOptions.SQLDialect = 3;
    FParser = CreateParser();
    TIbParser& parser = *FParser;
    parser.Objs = &scratch;
    parser.HandOnEveryStatement = true;
    if (OnErrorMessage) parser.OnError = [this](TObject*, const std::string& Text) { OnErrorMessage(this, Text); };
    if (OnLogNextLine) parser.OnLogLine = [this](TObject*, const std::string& Text) { OnLogNextLine(this, Text); };
    if (OnProgressUpdate) parser.OnProgress = [this](TObject*, int Value, int Max) { OnProgressUpdate(this, Value, Max); };
    parser.ScriptName = ScriptFileName;
    parser.OnStatement = [this](TObject* Sender, const std::string& Text, TStatementKind Kind, const std::string& ObjName,
                                TDbObject ObjKind, uint8_t Action, const std::string& FieldName, TObject*& Statement) {
        DoParserStatement(Sender, Text, Kind, ObjName, ObjKind, Action, FieldName, Statement);
    };
    DoLogNextLine("Loading script...");
    try {
        parser.ParseScript(Lines, &scratch);
    } catch (const std::exception& e) {
        parser.MsgManager->AddSimpleMessage(e.what(), mkError);
        DoErrorMessage(e.what());
    }
    ConnectionOptions.Assign(*parser.ConnOptions);
    IBServerOptions.Assign(scratch.IBServerOptions);
    MsgManager().AddFrom(parser.MsgManager.get());
    DoLogNextLine("Script loaded.");
    FParser.reset();
}

} // namespace qnl
