#include "core/qnlSQL_Exec.h"

#include "core/qnlClasses.h"
#include "core/qnlQuote.h"
#include "platform/Files.h"

#include <stdexcept>

namespace qnl {

const char* StatementActionCaption(TStatementAction Action) {
    switch (Action) {
    case saCreate: return ": create";
    case saAlter: return ": alter";
    case saDrop: return ": drop";
    case saEmptyBody: return ": empty body";
    case saRestoreBody: return ": restore body";
    case saCreateEmpty: return ": create empty";
    case saEmptyBeforeDrop: return ": empty before drop";
    case saDescription: return ": description";
    case saInsert: return ": insert";
    case saUpdate: return ": update";
    case saDelete: return ": delete";
    default: return "";
    }
}

std::string TStatement::GetCaption() const {
    std::string caption = ObjName + StatementActionCaption(Action);
    if (ObjKind == dboField) caption = FieldName + " (" + ObjName + ")" + ": alter";
    if (caption.empty() && Lines.Count() > 0) caption = Lines[0];
    return caption;
}

TCustomSQLExec::TCustomSQLExec(TComponent* AOwner) : TComponent(AOwner) {}

// A descendant that overrides ClearStatements calls it from its own destructor: by the time this
// one runs, only the base behaviour is left.
TCustomSQLExec::~TCustomSQLExec() { TCustomSQLExec::ClearStatements(); }

void TCustomSQLExec::DoLogNextLine(const std::string& Text) {
    if (OnLogNextLine) OnLogNextLine(this, Text);
}

void TCustomSQLExec::DoProgressUpdate(int Value, int MaxValue) {
    if (OnProgressUpdate) OnProgressUpdate(this, Value, MaxValue);
}

void TCustomSQLExec::DoErrorMessage(const std::string& ErrText) {
    if (OnErrorMessage)
        OnErrorMessage(this, ErrText);
    else
        ShowErrorText(ErrText);
    ++ErrorCount;
}

void TCustomSQLExec::DoStatementAdd(TStatement* St, bool& Accept) {
    if (OnStatementAdd) OnStatementAdd(St, Accept);
}

void TCustomSQLExec::DoBeforeStatementExecute(int Index) {
    if (OnBeforeStatementExecute) OnBeforeStatementExecute(this, Index);
}

void TCustomSQLExec::DoAfterStatementExecute(int Index) {
    if (OnAfterStatementExecute) OnAfterStatementExecute(this, Index);
}

std::unique_ptr<TStatement> TCustomSQLExec::CreateStatement() {
    std::unique_ptr<TStatement> st;
    if (OnStatementCreate) OnStatementCreate(this, st);
    if (!st) st = std::make_unique<TStatement>(this);
    return st;
}

void TCustomSQLExec::LoadScriptFromFile(const std::string& FileName) {
    if (OnLoadScript) {
        TStringList lines;
        ScriptFileName = FileName;
        bool loaded = false;
        OnLoadScript(this, FileName, lines, loaded);
        // The handler's answer is not consulted: whatever it put into the list is parsed.
        ParseScript(lines);
        return;
    }
    ScriptFileName.clear();
    std::string bytes;
    if (FileExists(FileName) && ReadFileBytes(FileName, bytes)) {
        ScriptFileName = FileName;
        LoadScriptFromStream(&bytes);
    } else {
        DoErrorMessage("File not found: " + FileName);
    }
}

void TCustomSQLExec::LoadScriptFromStream(const std::string* Stream) {
    TStringList lines;
    if (Stream) lines.SetText(*Stream);
    ParseScript(lines);
}

TStatement* TCustomSQLExec::AddStatement(const std::string& Text, TStatementKind StatementKind,
                                         const std::string& ObjName, TDbObject ObjKind, TStatementAction Action,
                                         const std::string& FieldName, const std::string& Terminator) {
    if (Text.empty() && StatementKind != skComment) return nullptr;
    std::unique_ptr<TStatement> st = CreateStatement();
    st->Lines.SetText(Text);
    st->Kind = StatementKind;
    st->ObjName = ObjName;
    st->FieldName = FieldName;
    st->ObjKind = ObjKind;
    st->Action = Action;
    st->LineCount = st->Lines.Count();
    if (!Terminator.empty())
        st->Terminator = Terminator;
    else if (StatementKind != skComment)
        st->Terminator = GetStatementTerminator(ServerType);
    bool accept = true;
    DoStatementAdd(st.get(), accept);
    if (!accept) return nullptr;
    FStatements.push_back(std::move(st));
    return FStatements.back().get();
}

void TCustomSQLExec::ClearStatements() { FStatements.clear(); }

void TCustomSQLExec::DeleteStatement(int Index) {
    if (Index < 0 || Index >= StatementCount()) return;
    FStatements.erase(FStatements.begin() + Index);
}

TStatement* TCustomSQLExec::AddDescription(TDbObj* Obj) {
    if (!Obj) return nullptr;
    // A column or parameter is named with its table, view or routine.
    std::string fieldName;
    if (Obj->Kind == dboField || Obj->Kind == dboParam)
        if (const TDescriptionSubject s = Obj->GetDescriptionSubject(); IsOwnedDescriptionClass(s.Class))
            fieldName = s.OwnerName;
    TStatement* st = AddStatement(Obj->GetDescriptionSQL(), skDescription, Obj->Name, Obj->Kind, saDescription, fieldName);
    if (st) st->DescriptionText = Obj->Description();
    return st;
}

bool TCustomSQLExec::Execute() {
    ErrorCount = 0;
    return true;
}

// ---- TSQLExec ----

namespace {
const char* const CRLF = "\r\n";

// Appends X to Target split at each CR LF, including the piece after the last one: a text that
// ends in CR LF leaves one empty line.
void WriteText(TStringList& Target, const std::string& X) {
    size_t start = 0;
    for (;;) {
        size_t p = X.find(CRLF, start);
        if (p == std::string::npos) {
            Target.Add(X.substr(start));
            return;
        }
        Target.Add(X.substr(start, p - start));
        start = p + 2;
    }
}

// Statements whose text holds PSQL: they run and render inside SET TERM blocks with "^" as their
// terminator. EXECUTE BLOCK is one of them, and so is a package created by a plain statement.
bool IsPSQLBlock(const TStatement& St) {
    switch (St.Kind) {
    case skProcedure:
    case skTrigger:
    case skPackage:
    case skExecuteBlock:
        return true;
    case skStatement:
        return St.ObjKind == dboPackage && St.Action == saCreate;
    default:
        return false;
    }
}

// A parameter named like H0000001A_00000010 refers to Length bytes at Offset of the blob file.
bool IsBlobReference(const std::string& Name) {
    return Name.size() == 18 && (Name[0] == 'H' || Name[0] == 'h') && Name[9] == '_';
}

uint32_t HexValue(const std::string& Text) {
    uint32_t v = 0;
    for (char c : Text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            throw std::invalid_argument("'$" + Text + "' is not a valid integer value");
        v = v * 16 + static_cast<uint32_t>(d);
    }
    return v;
}
} // namespace

TSQLExec::TSQLExec(TComponent* AOwner) : TCustomSQLExec(AOwner) {}

TSQLExec::~TSQLExec() {
    // The query belongs to the connection's binding: it goes first, while the connection lives.
    Query.reset();
    ReleaseBlobFile();
    CurrentStatement = nullptr;
}

std::string TSQLExec::NoConnectionText() const { return ClassName() + "(" + Name() + "): Connection property not assigned."; }

std::string TSQLExec::StatementText(const TStatement& St) {
    std::string text;
    for (int i = 0; i < St.Lines.Count(); ++i) {
        text += St.Lines[i];
        text += CRLF;
    }
    return text;
}

void TSQLExec::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomSQLExec::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FQNLConnection) {
        // A query outliving its connection would point into a freed binding.
        Query.reset();
        FQNLConnection = nullptr;
    }
}

void TSQLExec::SetQNLConnection(TQNLCustomConnection* Value) {
    if (Value == FQNLConnection) return;
    if (FQNLConnection) RemoveFreeNotification(FQNLConnection);
    FQNLConnection = Value;
    if (Value) Value->FreeNotification(this);
}

void TSQLExec::DoErrorMessage(const std::string& ErrText) {
    // A message whose raiser has no name begins with ": ": the statement it concerns takes
    // that place.
    const std::string text =
        CurrentStatement && ErrText.rfind(": ", 0) == 0 ? CurrentStatement->GetCaption() + ErrText : ErrText;
    if (CurrentStatement) CurrentStatement->ErrorText = text;
    TCustomSQLExec::DoErrorMessage(text);
}

std::string TSQLExec::QuoteName(const std::string& Name) {
    return QuoteNameForServer(Name, ServerType, IBServerOptions.SQLServerVersion, 3);
}

void TSQLExec::AssignOptionsToConnection() {
    if (!FQNLConnection) return;
    FQNLConnection->ConnectionOptions.Assign(ConnectionOptions);
    FQNLConnection->IBEngineOptions.Assign(IBServerOptions);
    FQNLConnection->MSSQLServerOptions.Assign(MSSQLServerOptions);
    FQNLConnection->MySQLServerOptions.Assign(MySQLServerOptions);
    FQNLConnection->ASAServerOptions.Assign(ASAServerOptions);
    FQNLConnection->ASEServerOptions.Assign(ASEServerOptions);
    FQNLConnection->OracleServerOptions.Assign(OracleServerOptions);
    FQNLConnection->PGSQLServerOptions.Assign(PGSQLServerOptions);
    FQNLConnection->DB2ServerOptions.Assign(DB2ServerOptions);
}

// ---- Writing statements ----

TStatement* TSQLExec::AddComment(const std::string& Text) {
    return AddStatement(Text, skComment, "/*  */", dboUnknown, saComment);
}

void TSQLExec::AddCommit() {
    if (ServerType == stASA)
        AddStatement("Commit Work\r\ngo", skCommit, "Commit Work", dboUnknown, saCommit);
    else
        AddStatement("COMMIT WORK;", skCommit, "COMMIT WORK", dboUnknown, saCommit);
}

void TSQLExec::AddConnect() {
    if (ServerType != stInterBase) return;
    if (IBServerOptions.IBCompareOptions.UseRECONNECT) {
        AddStatement("RECONNECT", skReConnect, "", dboUnknown, saNone);
        return;
    }
    std::string text = IBServerOptions.GetConnectStatement(ConnectionOptions);
    if (!text.empty()) AddStatement(text, skConnect, "", dboUnknown, saNone);
}

void TSQLExec::ClearStatements() {
    ConnectionOptions.Reset();
    IBServerOptions.Reset();
    MSSQLServerOptions.Reset();
    MySQLServerOptions.Reset();
    ASAServerOptions.Reset();
    ASEServerOptions.Reset();
    OracleServerOptions.Reset();
    PGSQLServerOptions.Reset();
    DB2ServerOptions.Reset();
    CurrentStatement = nullptr;
    TCustomSQLExec::ClearStatements();
}

void TSQLExec::DeleteStatement(int Index) {
    if (Index >= 0 && Index < StatementCount() && Statements(Index) == CurrentStatement) CurrentStatement = nullptr;
    TCustomSQLExec::DeleteStatement(Index);
}

// ---- Rendering ----

void TSQLExec::GetScriptText(TStringList& Target, bool SetLineNumbers) {
    Target.Clear();
    const bool ib = ServerType == stInterBase;
    bool inTerm = false;
    for (int i = 0; i < StatementCount(); ++i) {
        TStatement& st = *Statements(i);
        if (st.Skip) continue;
        const bool block = IsPSQLBlock(st);
        if (block && !inTerm) {
            if (ib) WriteText(Target, "SET TERM ^ ;\r\n");
            inTerm = true;
        } else if (!block && st.Kind != skComment && inTerm) {
            if (ib) WriteText(Target, "SET TERM ; ^\r\n");
            inTerm = false;
        }
        if (SetLineNumbers) st.LineIndex = Target.Count();

        const std::string text = StatementText(st);
        const std::string trimmed = Trim(text);
        if (block) {
            if (ib)
                WriteText(Target, text + "^" + CRLF);
            else if (ServerType == stOracle)
                WriteText(Target, text + "/" + CRLF);
            else
                WriteText(Target, trimmed + GetStatementTerminator(ServerType));
        } else if (st.Kind == skDescription) {
            WriteText(Target, trimmed + ";" + CRLF);
        } else if (st.ObjKind == dboView) {
            if (ib && st.Lines.Count() == 1) {
                WriteText(Target, trimmed + GetStatementTerminator(stInterBase));
            } else {
                WriteText(Target, trimmed);
                WriteText(Target, GetStatementTerminator(ServerType));
            }
        } else {
            switch (st.Kind) {
            case skConnect:
            case skCreateDb:
            case skSet:
            case skStatement:
            case skSetNames:
            case skCharSet:
            case skSqlDialect:
                WriteText(Target, trimmed + st.Terminator);
                break;
            case skReConnect:
            case skBlobFile:
            case skInsert:
            case skUpdate:
            case skDelete:
            case skSelect:
                WriteText(Target, trimmed + GetStatementTerminator(ServerType));
                break;
            default:  // Commit, Comment: their text is complete as it stands
                WriteText(Target, trimmed);
                break;
            }
        }

        if (ib && IBServerOptions.IBCompareOptions.GenerateCOMMIT &&
            (st.Kind == skStatement || st.Kind == skProcedure || st.Kind == skTrigger || st.Kind == skDescription ||
             st.Kind == skPackage))
            WriteText(Target, inTerm ? "COMMIT WORK ^" : "COMMIT WORK;");
    }
    if (inTerm && ib) WriteText(Target, "SET TERM ; ^\r\n");
}

// ---- Running ----

bool TSQLExec::IsConnected() {
    if (!FQNLConnection) return false;
    bool connected = false;
    Guarded([&] { connected = FQNLConnection->GetConnected(); });
    return connected;
}

bool TSQLExec::InTransaction() {
    if (!FQNLConnection) return false;
    bool active = false;
    Guarded([&] { active = FQNLConnection->InTransaction(); });
    return active;
}

void TSQLExec::ReleaseBlobFile() {
    BlobBuffer.reset();
    BlobStream.reset();
}

void TSQLExec::LogConnected() {
    // The database the connection went to, which its binding may have chosen over the options.
    DoLogNextLine("Connect: \"" +
                  (FQNLConnection ? FQNLConnection->ConnectionOptions.DatabaseName : ConnectionOptions.DatabaseName) +
                  "\"");
    if (ServerType == stInterBase) {
        std::string line = "Dialect: " + std::to_string(IBServerOptions.SQLDialect) + ".";
        if (!IBServerOptions.DBCharSet().empty()) line += " DBCharSet: " + IBServerOptions.DBCharSet() + ".";
        DoLogNextLine(line);
    }
}

bool TSQLExec::Execute() {
    bool result = true;
    ErrorCount = 0;
    CurrentStatement = nullptr;
    FConnectFailed = false;
    if (StatementCount() == 0) {
        DoLogNextLine("Update script is empty.");
        return true;
    }
    if (!FQNLConnection) {
        DoErrorMessage(NoConnectionText());
        return false;
    }
    // Unknown until asked: a connection whose state cannot be read is not disconnected afterwards.
    bool wasConnected = true;
    bool started = Guarded([&] {
        ConnectionOptions.Assign(FQNLConnection->ConnectionOptions);
        wasConnected = FQNLConnection->GetConnected();
        Query = FQNLConnection->CreateQuery(this);
    });
    if (started) {
        DoLogNextLine("Updating target database...");
        DoProgressUpdate(0, StatementCount() - 1);
        for (int i = 0; i < StatementCount(); ++i) {
            if (!result && BreakOnError) {
                DoLogNextLine("< Break on Error! >");
                break;
            }
            if (AbortRequested) {
                DoLogNextLine("< Script execution aborted! >");
                result = false;
                break;
            }
            DoBeforeStatementExecute(i);
            if (i >= StatementCount()) break;  // a handler may have shortened the list
            TStatement* st = Statements(i);
            if (!st->Skip) {
                bool ok = false;
                Guarded([&] { ok = ExecStatement(st); });
                result = result && ok;
                // A database that cannot be reached is not tried again for every statement.
                if (FConnectFailed) {
                    DoLogNextLine("< Break: no connection to the database! >");
                    break;
                }
            } else if (GetFullLog()) {
                DoLogNextLine("< Skipping statement >:");
                for (int l = 0; l < st->Lines.Count(); ++l) DoLogNextLine("// " + st->Lines[l]);
            } else {
                DoLogNextLine("< Skipping statement >: " + st->GetCaption());
            }
            DoProgressUpdate(i, StatementCount() - 1);
            DoAfterStatementExecute(i);
            ProcessAppMessages();
        }
    } else {
        result = false;
    }
    CurrentStatement = nullptr;
    ReleaseBlobFile();
    if (FQNLConnection) {
        CommitDataChanges();
        if (!wasConnected && FQNLConnection) Guarded([&] { FQNLConnection->SetConnected(false); });
    }
    if (ErrorCount > 0) {
        DoLogNextLine("< Script executed: " + std::to_string(ErrorCount) + " errors... >");
        result = false;
    } else if (result) {
        DoLogNextLine("< Script executed succesfully! >");
    }
    Query.reset();
    return result;
}

void TSQLExec::ExecuteStatement(TStatement* St) {
    if (!St) return;
    if (!FQNLConnection) {
        DoErrorMessage(NoConnectionText());
        return;
    }
    if (!Query) Guarded([&] { Query = FQNLConnection->CreateQuery(this); });
    bool connected = false;
    if (!IsConnected()) connected = Guarded([&] { FQNLConnection->SetConnected(true); });
    Guarded([&] { ExecStatement(St); });
    if (connected && FQNLConnection) {
        CommitDataChanges();
        Guarded([&] { FQNLConnection->SetConnected(false); });
    }
    CurrentStatement = nullptr;
    ReleaseBlobFile();
    Query.reset();
}

bool SendsTextToTheDatabase(TStatementKind Kind) {
    switch (Kind) {
    case skStatement:
    case skProcedure:
    case skTrigger:
    case skDescription:
    case skInsert:
    case skUpdate:
    case skDelete:
    case skExecuteBlock:
    case skPackage:
        return true;
    default:
        return false;
    }
}

bool TSQLExec::ExecStatement(TStatement* St) {
    CurrentStatement = St;
    if (!St) return true;
    if (!FQNLConnection) {
        DoErrorMessage(NoConnectionText());
        return false;
    }
    // A failed connect is reported here; the statement then reports the lost connection, and
    // Execute stops.
    if (SendsTextToTheDatabase(St->Kind) && !IsConnected()) {
        Guarded([&] { FQNLConnection->SetConnected(true); });
        if (!IsConnected()) FConnectFailed = true;
    }
    if (GetFullLog()) {
        DoLogNextLine("< Exec SQL >:");
        DoLogNextLine(Trim(StatementText(*St)));
    } else {
        DoLogNextLine("< Exec SQL >: " + St->GetCaption());
    }
    switch (St->Kind) {
    case skConnect: return ExecConnect();
    case skReConnect: return ExecReConnect();
    case skCreateDb: return ExecCreateDatabase();
    case skSet: return ServerType == stOracle ? ExecSQL() : true;
    case skBlobFile: return ExecBlobFile();
    case skStatement:
    case skProcedure:
    case skTrigger:
    case skPackage:
    case skExecuteBlock:
        return ExecSQL();
    case skDescription: return ExecDescription();
    case skInsert:
    case skUpdate:
    case skDelete:
        return ExecDML();
    default:  // Commit, Comment, SetNames, CharSet, SqlDialect, Select
        return true;
    }
}

void TSQLExec::CommitDataChanges() {
    if (!FQNLConnection || !InTransaction()) {
        FUncommitted.clear();
        return;
    }
    if (Guarded([&] { FQNLConnection->Commit(); })) {
        FUncommitted.clear();
        return;
    }
    if (InTransaction()) Guarded([&] { FQNLConnection->Rollback(); });
    ReportLostDataChanges();
}

void TSQLExec::ReportLostDataChanges() {
    for (const std::string& caption : FUncommitted) DoLogNextLine("< Rolled back >: " + caption);
    ErrorCount += static_cast<int>(FUncommitted.size());
    FUncommitted.clear();
}

bool TSQLExec::ExpectConnected() {
    if (IsConnected()) return true;
    DoErrorMessage("Disconnected from database...");
    return false;
}

bool TSQLExec::ExecSQL() {
    if (!ExpectConnected()) return false;
    TStatement* st = CurrentStatement;
    if (!st) return true;
    if (!Query) Guarded([&] { Query = FQNLConnection->CreateQuery(this); });
    if (!Query) {
        DoErrorMessage(ClassName() + "(" + Name() + "): Connection did not create a query.");
        return false;
    }
    // The data changes before it are committed first: a failing DDL statement rolls back its
    // own transaction only.
    CommitDataChanges();
    bool ok = Guarded([&] {
        if (!FQNLConnection->InTransaction() && ServerType != stMSSQL && ServerType != stASE)
            FQNLConnection->StartTransaction();
        Query->SetParamCheck(false);
        if (TQNLParams* params = Query->GetParams()) params->Clear();
        std::string text = StatementText(*st);
        if (ServerType == stOracle && (st->Kind == skProcedure || st->Kind == skTrigger)) {
            std::string lf;
            for (size_t i = 0; i < text.size(); ++i)
                if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
            text = lf + "/";
        }
        Query->AddSQL(text);
        Query->ExecQuery();
        Query->ClearSQL();
        if (FQNLConnection->InTransaction()) FQNLConnection->Commit();
    });
    if (!ok && InTransaction()) Guarded([&] { FQNLConnection->Rollback(); });
    if (Query)
        Guarded([&] {
            Query->ClearSQL();
            Query->SetParamCheck(true);
        });
    return ok;
}

bool TSQLExec::ExecDML() {
    TStatement* st = CurrentStatement;
    if (!st) return true;
    if (!FQNLConnection) {
        DoErrorMessage(NoConnectionText());
        return false;
    }
    if (!ExpectConnected()) return false;
    if (!Query) Guarded([&] { Query = FQNLConnection->CreateQuery(this); });
    if (!Query) {
        DoErrorMessage(ClassName() + "(" + Name() + "): Connection did not create a query.");
        return false;
    }
    bool filled = true;
    bool ok = Guarded([&] {
        if (!FQNLConnection->InTransaction()) FQNLConnection->StartTransaction();
        Query->SetParamCheck(true);
        if (TQNLParams* params = Query->GetParams()) params->Clear();
        Query->AddSQL(StatementText(*st));
        TQNLParams* params = Query->GetParams();
        if (params && params->Count() > 0) filled = FillParams();
        // A value that could not be loaded would be written as something else: not run.
        if (filled) Query->ExecQuery();
        Query->ClearSQL();
    });
    ok = ok && filled;
    if (ok) {
        FUncommitted.push_back(st->GetCaption());
    } else if (ServerType != stInterBase && InTransaction()) {
        // Elsewhere a failed statement may spoil its whole transaction: it is rolled back, and
        // with it the data changes before it. Firebird undoes the failing statement alone, so
        // what ran before it stays and is committed later.
        Guarded([&] { FQNLConnection->Rollback(); });
        ReportLostDataChanges();
    }
    if (Query)
        Guarded([&] {
            Query->ClearSQL();
            Query->SetParamCheck(true);
        });
    // Data changes are committed before the next DDL statement or at the end of the run.
    return ok;
}

void TSQLExec::GetParamValue(TQNLParam* Param) {
    if (!Param) return;
    Param->Clear();
    if (OnGetParamValue) OnGetParamValue(this, Param);
}

bool TSQLExec::FillParams() {
    TQNLParams* params = Query ? Query->GetParams() : nullptr;
    if (!params || params->Count() == 0) return true;
    return Guarded([&] {
        for (int i = 0; i < params->Count(); ++i) {
            TQNLParam* p = params->Items(i);
            if (!BlobStream || !IsBlobReference(p->Name())) {
                GetParamValue(p);
                continue;
            }
            uint32_t offset = HexValue(p->Name().substr(1, 8));
            uint32_t length = HexValue(p->Name().substr(10, 8));
            if (!BlobBuffer) BlobBuffer = std::make_unique<std::string>();
            BlobStream->clear();
            BlobStream->seekg(offset);
            p->DataType = TQNLDataType::Blob;
            BlobBuffer->clear();
            if (length != 0) {
                BlobBuffer->resize(length);
                BlobStream->read(BlobBuffer->data(), static_cast<std::streamsize>(length));
                if (!*BlobStream || BlobStream->gcount() != static_cast<std::streamsize>(length))
                    throw std::runtime_error("Stream read error");
            }
            p->LoadFromStream(*BlobBuffer);
            BlobBuffer->clear();
        }
    });
}

bool TSQLExec::UpdateDescription() { return ExecSQL(); }

bool TSQLExec::ExecDescription() {
    if (GetFullLog()) {
        DoLogNextLine("< Update Description >:");
        if (CurrentStatement) DoLogNextLine(StatementText(*CurrentStatement));
    } else {
        DoLogNextLine("<Update Description>");
    }
    return UpdateDescription();
}

bool TSQLExec::ExecConnect() {
    if (!FQNLConnection) return false;
    CommitDataChanges();
    std::string named;  // the database the statement names
    bool ok = Guarded([&] {
        if (FQNLConnection->GetConnected()) FQNLConnection->SetConnected(false);
        if (CurrentStatement && CurrentStatement->Kind == skConnect) {
            ParseConnectText(StatementText(*CurrentStatement));
            named = ConnectionOptions.DatabaseName;
        }
        AssignOptionsToConnection();
        FQNLConnection->SetConnected(true);
    });
    if (!ok) return false;
    // A binding may report a failed connect itself instead of throwing.
    if (!ExpectConnected()) return false;
    LogConnected();
    // A binding whose database object decides where it connects does not follow the statement:
    // the statements after it run on the database connected.
    const std::string& connected = FQNLConnection->ConnectionOptions.DatabaseName;
    if (!named.empty() && named != connected)
        DoLogNextLine("< CONNECT not followed >: \"" + named + "\"; the script runs on \"" + connected + "\".");
    return true;
}

bool TSQLExec::ExecReConnect() {
    if (!FQNLConnection) return false;
    CommitDataChanges();
    bool ok = Guarded([&] {
        DoLogNextLine("ReConnect...");
        FQNLConnection->SetConnected(false);
        AssignOptionsToConnection();
        FQNLConnection->SetConnected(true);
    });
    return ok && ExpectConnected();
}

bool TSQLExec::ExecCreateDatabase() {
    if (!FQNLConnection) return false;
    CommitDataChanges();
    bool created = false;
    bool ok = Guarded([&] {
        FQNLConnection->SetConnected(false);
        AssignOptionsToConnection();
        created = FQNLConnection->CreateDatabase();
        if (created) FQNLConnection->SetConnected(true);
    });
    if (!ok) return false;
    if (!created) {
        DoErrorMessage("Cann't create database.");
        return false;
    }
    return ExpectConnected();
}

bool TSQLExec::ExecBlobFile() {
    // A new blob file replaces the last one; a failed one leaves none open, so no value is
    // read from the wrong file.
    ReleaseBlobFile();
    if (!CurrentStatement) return true;
    BlobFileName = CurrentStatement->ObjName;
    std::string name = BlobFileName;
    if (ExtractFilePath(name).empty()) {
        if (ScriptFileName.empty()) {
            DoErrorMessage("ScriptFileName not specified (for BlobFile).");
            return false;
        }
        name = ExtractFilePath(ScriptFileName) + name;
    }
    if (!FileExists(name)) {
        DoErrorMessage("BlobFile not found: " + name);
        return false;
    }
    return Guarded([&] {
        auto stream = std::make_unique<std::ifstream>(name, std::ios::binary);
        if (!stream->is_open()) throw std::runtime_error("Cannot open file \"" + name + "\".");
        BlobStream = std::move(stream);
        BlobBuffer = std::make_unique<std::string>();
    });
}

void TSQLExec::Connect() {
    if (!FQNLConnection) {
        DoErrorMessage(NoConnectionText());
        return;
    }
    if (IsConnected()) Guarded([&] { FQNLConnection->SetConnected(false); });
    AssignOptionsToConnection();
    if (!Guarded([&] { FQNLConnection->SetConnected(true); })) return;
    if (ExpectConnected()) LogConnected();
}

void TSQLExec::Disconnect() {
    if (!FQNLConnection || !IsConnected()) return;
    CommitDataChanges();
    Guarded([&] {
        DoLogNextLine("Disconnect: \"" + FQNLConnection->ConnectionOptions.DatabaseName + "\"");
        FQNLConnection->SetConnected(false);
    });
}

} // namespace qnl
