#include "client/pFIBScripter.h"

#include "client/IB_Intf.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace qnl {

namespace {

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

std::string JoinLines(const TStringList& Lines) {
    std::string text;
    for (int i = 0; i < Lines.Count(); ++i) text += (i ? "\n" : "") + Lines[i];
    return text;
}

// The words of a statement: quoted texts ('...' or "...", doubled quotes inside) are one word
// with their quotes; others end at a blank, "," or ";". End holds where each word ends.
struct TWords {
    std::vector<std::string> Words;
    std::vector<size_t> End;
};

TWords SplitWords(const std::string& Text) {
    TWords result;
    size_t i = 0;
    while (i < Text.size()) {
        if (IsBlank(Text[i]) || Text[i] == ',' || Text[i] == ';') {
            ++i;
            continue;
        }
        const size_t start = i;
        if (Text[i] == '\'' || Text[i] == '"') {
            const char q = Text[i++];
            while (i < Text.size()) {
                if (Text[i] == q && i + 1 < Text.size() && Text[i + 1] == q) {
                    i += 2;
                } else if (Text[i++] == q) {
                    break;
                }
            }
        } else {
            while (i < Text.size() && !IsBlank(Text[i]) && Text[i] != ',' && Text[i] != ';') ++i;
        }
        result.Words.push_back(Text.substr(start, i - start));
        result.End.push_back(i);
    }
    return result;
}

std::string Unquote(const std::string& Word) {
    if (Word.size() < 2 || (Word.front() != '\'' && Word.front() != '"') || Word.back() != Word.front()) return Word;
    const char q = Word.front();
    std::string result;
    for (size_t i = 1; i + 1 < Word.size(); ++i) {
        result += Word[i];
        if (Word[i] == q && Word[i + 1] == q) ++i;
    }
    return result;
}

// An object name as the catalogue holds it: a quoted name as written, any other upper-cased.
std::string CatalogueName(const std::string& Word) {
    return !Word.empty() && Word.front() == '"' ? Unquote(Word) : UpperCase(Word);
}

bool Is(const std::vector<std::string>& Words, size_t Index, const char* Keyword) {
    return Index < Words.size() && SameText(Words[Index], Keyword);
}

// A hexadecimal number of a blob file parameter; false when the text is not one.
bool ParseHex(const std::string& Text, int64_t& Value) {
    if (Text.empty() || Text.size() > 15) return false;
    Value = 0;
    for (char c : Text) {
        const char u = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
        if (c >= '0' && c <= '9')
            Value = Value * 16 + (c - '0');
        else if (u >= 'A' && u <= 'F')
            Value = Value * 16 + (u - 'A' + 10);
        else
            return false;
    }
    return true;
}

[[noreturn]] void ScriptError(const std::string& Text) { throw Exception("Parse script error.\r\n" + Text); }

const char* ExistsQuery(const std::string& Kind) {
    static const std::pair<const char*, const char*> queries[] = {
        {"DOMAIN", "select RDB$FIELD_TYPE    FROM RDB$FIELDS    WHERE RDB$FIELD_NAME=:NAME"},
        {"EXCEPTION", "SELECT RDB$EXCEPTION_NAME FROM RDB$EXCEPTIONS WHERE  RDB$EXCEPTION_NAME=:NAME"},
        {"GENERATOR", "SELECT RDB$GENERATOR_NAME FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME=:NAME "},
        {"PROCEDURE", "SELECT RDB$PROCEDURE_NAME FROM  RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME=:NAME"},
        {"ROLE", "SELECT RDB$ROLE_NAME FROM RDB$ROLES WHERE RDB$ROLE_NAME =:NAME "},
        {"TABLE", "SELECT REL.RDB$RELATION_NAME FROM RDB$RELATIONS REL WHERE REL.RDB$RELATION_NAME=:NAME  and "
                  "REL.RDB$VIEW_BLR is null"},
        {"TRIGGER", "SELECT T.RDB$TRIGGER_NAME    from RDB$TRIGGERS T    WHERE T.RDB$TRIGGER_NAME=:NAME"},
        {"UDF", "SELECT RDB$FUNCTION_NAME FROM RDB$FUNCTIONS WHERE  RDB$FUNCTION_NAME=:NAME"},
        {"VIEW", "SELECT REL.RDB$RELATION_NAME FROM RDB$RELATIONS REL WHERE REL.RDB$RELATION_NAME=:NAME  and NOT "
                 "REL.RDB$VIEW_BLR is null"},
    };
    for (const auto& [kind, sql] : queries)
        if (SameText(Kind, kind)) return sql;
    return nullptr;
}

constexpr const char* ExecBlockHead = "EXECUTE BLOCK AS BEGIN";
constexpr int64_t ExecBlockMaxStatements = 255;
constexpr int64_t ExecBlockMaxLength = 65532;

bool IsDMLKind(uint8_t Kind) { return Kind == sskDML || Kind == sskInsert || Kind == sskReinsert; }

} // namespace

TpFIBScripter::TpFIBScripter(TComponent* AOwner)
    : TComponent(AOwner), FInternalTransaction(std::make_unique<TpFIBTransaction>()),
      FQuery(std::make_unique<TpFIBQuery>()) {
    FScript.OnChange = [this] { ScriptChanged(); };
    FQuery->SetTransaction(FInternalTransaction.get());
    FClientLibrary = DefaultClientLibraryName;
}

TpFIBScripter::~TpFIBScripter() {
    if (FDatabase) FDatabase->RemoveFreeNotification(this);
    if (FTransaction) FTransaction->RemoveFreeNotification(this);
    FQuery.reset();
    FInternalTransaction.reset();
    FOwnDatabase.reset();
}

void TpFIBScripter::ScriptChanged() {
    FParsed = false;
    FStatements.clear();
    FDirectives.clear();
}

TFIBTransaction& TpFIBScripter::TransactionInUse() const {
    return FTransaction ? *FTransaction : *FInternalTransaction;
}

void TpFIBScripter::SetDatabase(TFIBDatabase* Value) {
    if (Value == FDatabase) return;
    if (TransactionInUse().Active()) CommitInUse();
    if (FDatabase) FDatabase->RemoveFreeNotification(this);
    std::unique_ptr<TpFIBDatabase> old;
    if (FOwnDatabase && Value != FOwnDatabase.get()) old = std::move(FOwnDatabase);
    FDatabase = Value;
    if (FDatabase) FDatabase->FreeNotification(this);
    FInternalTransaction->SetDefaultDatabase(Value);
    if (FTransaction) FTransaction->SetDefaultDatabase(Value);
    FQuery->SetDatabase(Value);
    FQuery->SetTransaction(&TransactionInUse());
    old.reset();
}

void TpFIBScripter::SetTransaction(TFIBTransaction* Value) {
    if (Value == FTransaction) return;
    if (FTransaction) FTransaction->RemoveFreeNotification(this);
    FTransaction = Value;
    if (FTransaction) {
        FTransaction->FreeNotification(this);
        if (FTransaction->DefaultDatabase() != FDatabase) FTransaction->SetDefaultDatabase(FDatabase);
    }
    FQuery->SetTransaction(&TransactionInUse());
}

void TpFIBScripter::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    if (AComponent == FDatabase) {
        FDatabase = nullptr;
        FQuery->SetDatabase(nullptr);
    }
    if (AComponent == FTransaction) {
        FTransaction = nullptr;
        FQuery->SetTransaction(FInternalTransaction.get());
    }
}

void TpFIBScripter::Define(const std::string& Name) {
    const std::string name = UpperCase(Trim(Name));
    if (!name.empty() && FDefines.IndexOf(name) < 0) FDefines.Add(name);
}

void TpFIBScripter::Undefine(const std::string& Name) {
    const int i = FDefines.IndexOf(UpperCase(Trim(Name)));
    if (i >= 0) FDefines.Delete(i);
}

void TpFIBScripter::Parse(const std::string& Terminator) {
    FConnects = FHasDML = FHasOther = false;
    FClientLibrary = DefaultClientLibraryName;
    std::string terminator = Terminator;
    FParsed = false;
    FParser.ParseScript(FScript, terminator, true, FDirectives, FStatements);
    FParsed = true;
    FConnects = FParser.HasConnect();
    FHasDML = FParser.HasDML();
    FHasOther = FParser.HasOther();
}

int TpFIBScripter::StatementCount() {
    if (!FParsed) Parse();
    return static_cast<int>(FStatements.size());
}

TStringList TpFIBScripter::GetStatement(int No) {
    if (!FParsed) Parse();
    if (No < 1 || No > static_cast<int>(FStatements.size()))
        throw Exception("Statement \xE2\x84\x96" + std::to_string(No) + " don't exist");
    const TStatementDesc& s = FStatements[static_cast<size_t>(No - 1)];
    return ScriptText(FScript, s.StartPos, s.EndPos);
}

// --- Runs ------------------------------------------------------------------------------------

void TpFIBScripter::ExecuteScript(int FromStatement) {
    FReinsertHeadKnown = false;
    FStop = false;
    FStopPosition = 0;
    if (!FParsed) Parse();
    FSQLDialect = 3;
    FNames.clear();
    // Conditions are evaluated afresh in each run: defines and server facts may have changed.
    for (TDirectiveDesc& d : FDirectives) d.State = 0;
    const TRun saved = FRun;
    FRun = {&FScript, &FStatements, &FDirectives};
    ++FRunDepth;
    try {
        RefreshServerFacts();
        RunStatements(FromStatement);
        FlushExecBlock();
    } catch (...) {
        FRun = saved;
        if (--FRunDepth == 0) FinishRun(true);
        throw;
    }
    FRun = saved;
    if (--FRunDepth == 0) FinishRun(false);
}

void TpFIBScripter::ExecuteFromFile(const std::string& FileName, const std::string& Terminator) {
    std::error_code ec;
    std::string path = std::filesystem::weakly_canonical(std::filesystem::absolute(FileName, ec), ec).string();
    if (path.empty()) path = FileName;
    if (std::find(FInputFiles.begin(), FInputFiles.end(), path) != FInputFiles.end())
        throw Exception("INPUT of '" + FileName + "' refused: the file is already being run (it includes itself)");
    if (static_cast<int>(FInputFiles.size()) >= MaxInputDepth)
        throw Exception("INPUT of '" + FileName + "' refused: more than " + std::to_string(MaxInputDepth) +
                        " files nested");
    TStringList lines;
    if (!lines.LoadFromFile(FileName)) throw Exception("Can't open script file '" + FileName + "'");

    FReinsertHeadKnown = false;
    FStop = false;
    FStopPosition = 0;
    TScriptMap statements;
    TDirectivesMap directives;
    std::string terminator = Terminator;
    const TRun saved = FRun;
    FInputFiles.push_back(path);
    ++FRunDepth;
    try {
        RefreshServerFacts();
        TpFIBScriptParser parser;
        parser.ParseScript(lines, terminator, true, directives, statements);
        FRun = {&lines, &statements, &directives};
        RunStatements(1);
        FlushExecBlock();
    } catch (...) {
        FRun = saved;
        FInputFiles.pop_back();
        if (--FRunDepth == 0) FinishRun(true);
        throw;
    }
    FRun = saved;
    FInputFiles.pop_back();
    if (--FRunDepth == 0) FinishRun(false);
}

void TpFIBScripter::RunStatements(int From) {
    const TScriptMap& map = *FRun.Statements;
    for (size_t i = static_cast<size_t>(std::max(From, 1) - 1); i < map.size(); ++i) {
        if (FStop) {
            if (FStopPosition == 0) FStopPosition = static_cast<int>(i) + 1;
            return;
        }
        const TStatementDesc& desc = map[i];
        const TStringList text = ScriptText(*FRun.Lines, desc.StartPos, desc.EndPos);
        if (desc.Kind == sskBatchStart) {
            FBatchMode = true;
            FBatch.clear();
        } else if (desc.Kind == sskBatchExecute) {
            FBatchMode = false;
            RunBatch(desc.StartPos.Line + 1);
        } else if (FBatchMode) {
            FBatch.push_back({static_cast<int>(i) + 1, desc.StartPos.Line + 1, desc, text});
        } else {
            ExecuteStatement(text, desc, -1, static_cast<int>(i));
        }
    }
}

void TpFIBScripter::FinishRun(bool Failed) {
    FBlock.clear();
    FBlockLength = 0;
    FBatchMode = false;
    FBatch.clear();
    // Each step guarded: a later one must run even when an earlier one fails; the first
    // failure is raised at the end unless the run failed already.
    std::exception_ptr first;
    const auto step = [&](auto&& F) {
        try {
            F();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    };
    const auto endTransaction = [&] {
        if (!TransactionInUse().Active()) return;
        if (Failed)
            RollbackInUse();
        else
            CommitInUse();
    };
    if (FForcedWritesOff) {
        FForcedWritesOff = false;
        if (FDatabase && FDatabase->Connected()) {
            step(endTransaction);
            step([&] {
                DisconnectDatabase();
                FDatabase->DBParams().SetValue("force_write", "1");
                FDatabase->DBParams().SetValue("no_reserve", "0");
                ConnectDatabase();
            });
        }
    }
    if (FOwnDatabase) {
        step(endTransaction);
        step([&] { SetDatabase(nullptr); });
        FOwnDatabase.reset();
    }
    FBlobFile.reset();
    if (first && !Failed) std::rethrow_exception(first);
}

// --- Connections -----------------------------------------------------------------------------

TFIBDatabase& TpFIBScripter::NeedDatabase() {
    if (!FDatabase) {
        auto own = std::make_unique<TpFIBDatabase>();
        own->SynchronizeTime = false;
        own->SaveAliasParamsAfterConnect = false;
        TpFIBDatabase* db = own.get();
        SetDatabase(db);
        FOwnDatabase = std::move(own);
    }
    return *FDatabase;
}

void TpFIBScripter::StartTransactionIfNeeded() {
    TFIBTransaction& tr = TransactionInUse();
    if (tr.DefaultDatabase() != FDatabase && FDatabase) tr.SetDefaultDatabase(FDatabase);
    if (!tr.Active()) tr.StartTransaction();
}

void TpFIBScripter::CommitInUse() {
    TransactionInUse().Commit();
    FPendingCount = 0;
    FPendingRows = 0;
}

void TpFIBScripter::RollbackInUse() {
    TransactionInUse().Rollback();
    FExecutedCount -= FPendingCount;
    FRowsAffected -= FPendingRows;
    FPendingCount = 0;
    FPendingRows = 0;
}

void TpFIBScripter::CommitIfActive() {
    if (FQuery->Open()) FQuery->Close();
    if (TransactionInUse().Active()) CommitInUse();
}

void TpFIBScripter::DisconnectDatabase() {
    CommitIfActive();
    if (FDatabase && FDatabase->Connected()) FDatabase->Close();
}

void TpFIBScripter::ConnectDatabase() {
    FDatabase->Open();
    RefreshServerFacts();
}

void TpFIBScripter::SetConnectParams(const std::vector<std::string>& Words, size_t From) {
    TFIBDatabase& db = *FDatabase;
    db.DBParams().Clear();
    for (size_t i = From; i + 1 < Words.size(); ++i) {
        if (Is(Words, i, "USER"))
            db.ConnectParams().SetUserName(Unquote(Words[++i]));
        else if (Is(Words, i, "PASSWORD"))
            db.ConnectParams().SetPassword(Unquote(Words[++i]));
        else if (Is(Words, i, "ROLE"))
            db.ConnectParams().SetRoleName(Unquote(Words[++i]));
    }
    db.SetSQLDialect(FSQLDialect);
    if (!FClientLibrary.empty()) db.SetLibraryName(FClientLibrary);
    if (!FNames.empty()) db.ConnectParams().SetCharSet(FNames);
}

void TpFIBScripter::ApplyConnectParams(const std::vector<std::string>& Words, size_t From) {
    DisconnectDatabase();
    SetConnectParams(Words, From);
}

void TpFIBScripter::RefreshServerFacts() {
    Undefine("IS_FIREBIRD");
    for (const char* name : {"SERVER_MAJOR_VER", "SERVER_MINOR_VER", "ODS_MAJOR_VER", "ODS_MINOR_VER"}) {
        const int i = FConstants.IndexOfName(name);
        if (i >= 0) FConstants.Delete(i);
    }
    if (!FDatabase || !FDatabase->Connected()) return;
    if (FDatabase->IsFirebirdConnect()) Define("IS_FIREBIRD");
    FConstants.SetValue("SERVER_MAJOR_VER", std::to_string(FDatabase->GetServerMajorVersion()));
    FConstants.SetValue("SERVER_MINOR_VER", std::to_string(FDatabase->GetServerMinorVersion()));
    FConstants.SetValue("ODS_MAJOR_VER", std::to_string(FDatabase->GetODSMajorVersion()));
    FConstants.SetValue("ODS_MINOR_VER", std::to_string(FDatabase->GetODSMinorVersion()));
}

void TpFIBScripter::DoConnect(const TStringList& Statement) {
    const TWords w = SplitWords(JoinLines(Statement));
    TFIBDatabase& db = NeedDatabase();
    DisconnectDatabase();
    if (w.Words.size() > 1) db.SetDBName(Unquote(w.Words[1]));
    ApplyConnectParams(w.Words, 2);
    ConnectDatabase();
}

void TpFIBScripter::DoCreateDatabase(const TStringList& Statement) {
    const std::string text = JoinLines(Statement);
    const TWords w = SplitWords(text);
    TFIBDatabase& db = NeedDatabase();
    DisconnectDatabase();
    // CREATE DATABASE 'name' the rest...
    if (w.Words.size() > 2) db.SetDBName(Unquote(w.Words[2]));
    TStringList rest;
    rest.SetText(w.Words.size() > 2 ? Trim(text.substr(w.End[2])) : std::string());
    db.SetDBParams(rest);
    db.SetSQLDialect(FSQLDialect);
    if (!FClientLibrary.empty()) db.SetLibraryName(FClientLibrary);
    db.CreateDatabase();
    RefreshServerFacts();
    if (db.NeedUnicodeFieldTranslation() && db.GetAttachmentCharSetID() == 0) {
        ApplyConnectParams(w.Words, 3);
        db.DBParams().Add("force_write=0");
        FForcedWritesOff = true;
        ConnectDatabase();
    } else {
        // The rest of the statement is no parameter list: a later reconnect needs the
        // connect parameters instead.
        SetConnectParams(w.Words, 3);
    }
}

void TpFIBScripter::DoDropDatabase(const TStringList& Statement) {
    const TWords w = SplitWords(JoinLines(Statement));
    TFIBDatabase& db = NeedDatabase();
    // DROP DATABASE ['name' [USER u PASSWORD p]]: without a name the database in use goes.
    if (w.Words.size() > 2) {
        DisconnectDatabase();
        db.SetDBName(Unquote(w.Words[2]));
        SetConnectParams(w.Words, 3);
    }
    if (!db.Connected()) db.Open();
    CommitIfActive();
    db.DropDatabase();
    RefreshServerFacts();
}

bool TpFIBScripter::DoSet(const TStringList& Statement) {
    const std::vector<std::string> w = SplitWords(JoinLines(Statement)).Words;
    if (Is(w, 1, "AUTODDL") && w.size() > 2) {
        AutoDDL = SameText(w[2], "ON");
    } else if (Is(w, 1, "SQL") && Is(w, 2, "DIALECT") && w.size() > 3) {
        FSQLDialect = std::atoi(w[3].c_str());
    } else if (Is(w, 1, "NAMES") && w.size() > 2) {
        FNames = Unquote(w[2]);
    } else if (Is(w, 1, "CLIENTLIB") && w.size() > 2) {
        FClientLibrary = Unquote(w[2]);
    } else if (Is(w, 1, "BLOBFILE") && w.size() > 2) {
        FBlobFile.reset();
        FBlobFileName = Unquote(w[2]);
    } else {
        return false;
    }
    return true;
}

void TpFIBScripter::DoDescribe(const TStringList& Statement, const TStatementDesc& Desc, int No, int Line) {
    const std::string text = JoinLines(Statement);
    const TWords w = SplitWords(text);
    // DESCRIBE type name 'text'; DESCRIBE FIELD name TABLE owner 'text'.
    const bool owned = Desc.ObjectType == sotColumn || Desc.ObjectType == sotParameter;
    const size_t last = owned ? 4 : 2;
    if (w.Words.size() <= last) throw Exception("Unsupported DESCRIBE type " + (w.Words.size() > 1 ? w.Words[1] : ""));
    const std::string name = CatalogueName(w.Words[2]);
    const std::string owner = owned ? CatalogueName(w.Words[4]) : std::string();
    const std::string description = Unquote(Trim(text.substr(w.End[last])));
    StartTransactionIfNeeded();
    TStringList sql;
    if (FDatabase->IsFirebirdConnect() && FDatabase->GetServerMajorVersion() >= 3) {
        // The system tables are read-only from Firebird 3 on.
        std::string object;
        switch (Desc.ObjectType) {
            case sotDomain: object = "DOMAIN "; break;
            case sotTable: object = "TABLE "; break;
            case sotView: object = "VIEW "; break;
            case sotProcedure: object = "PROCEDURE "; break;
            case sotTrigger: object = "TRIGGER "; break;
            case sotFunction: object = "FUNCTION "; break;
            case sotException: object = "EXCEPTION "; break;
            case sotGenerator: object = "GENERATOR "; break;
            case sotColumn: object = "COLUMN " + SQLQuoted(owner, '"') + "."; break;
            case sotParameter: object = "PARAMETER " + SQLQuoted(owner, '"') + "."; break;
            default: throw Exception("Unsupported DESCRIBE type " + w.Words[1]);
        }
        sql.Add("COMMENT ON " + object + SQLQuoted(name, '"') + " IS " + SQLQuoted(description));
        FQuery->SQL().Assign(sql);
    } else {
        const char* update = nullptr;
        switch (Desc.ObjectType) {
            case sotDomain:
                update = "UPDATE RDB$FIELDS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$FIELD_NAME = :FIELD)";
                break;
            case sotTable:
            case sotView:
                update = "UPDATE RDB$RELATIONS SET RDB$DESCRIPTION = :DESCR WHERE RDB$RELATION_NAME = :TABNAME";
                break;
            case sotProcedure:
                update = "UPDATE RDB$PROCEDURES SET RDB$DESCRIPTION = :DESCR WHERE (RDB$PROCEDURE_NAME = :PROCNAME)";
                break;
            case sotTrigger:
                update = "UPDATE RDB$TRIGGERS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$TRIGGER_NAME = :TR_NAME)";
                break;
            case sotFunction:
                update = "update RDB$FUNCTIONS set RDB$DESCRIPTION = ?DESC where (RDB$FUNCTION_NAME = ?FUNC_NAME)";
                break;
            case sotException:
                update = "UPDATE RDB$EXCEPTIONS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$EXCEPTION_NAME = :EXC_NAME)";
                break;
            case sotGenerator:
                update = "update RDB$GENERATORS SET RDB$DESCRIPTION = ?DESC where (RDB$GENERATOR_NAME = ?GEN_NAME)";
                break;
            case sotColumn:
                update = "UPDATE RDB$RELATION_FIELDS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$RELATION_NAME = "
                         ":TABNAME) and (RDB$FIELD_NAME = :FIELD)";
                break;
            case sotParameter:
                update = "UPDATE RDB$PROCEDURE_PARAMETERS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$PROCEDURE_NAME = "
                         ":PROCNAME) and(RDB$PARAMETER_NAME = :FIELD)";
                break;
            default: throw Exception("Unsupported DESCRIBE type " + w.Words[1]);
        }
        sql.Add(update);
        FQuery->SQL().Assign(sql);
        FQuery->Params()[0].SetAsString(description);
        FQuery->Params()[1].SetAsString(owned ? owner : name);
        if (owned) FQuery->Params()[2].SetAsString(name);
    }
    RunQuery(No, Line, Desc, Statement);
}

// --- Directives and conditional blocks -------------------------------------------------------

void TpFIBScripter::DoDirective(const TStringList& Statement, int Line) {
    std::string text = Trim(JoinLines(Statement));
    // {$WORD args}
    std::string body = text.size() >= 3 ? text.substr(2, text.size() - 3) : std::string();
    const size_t space = body.find_first_of(" \t\r\n");
    const std::string word = UpperCase(body.substr(0, space));
    const std::string args = space == std::string::npos ? std::string() : Trim(body.substr(space));
    if (word == "EXECUTE_BLOCK") {
        if (SameText(args, "ON"))
            UseExecBlockForDML = true;
        else if (SameText(args, "OFF"))
            UseExecBlockForDML = false;
        else
            ScriptError("Can't resolve directive  \"" + text + "\"\r\nLine " + std::to_string(Line));
    } else if (word == "DEFINE") {
        Define(args);
    } else if (word == "UNDEF") {
        Undefine(args);
    } else if (word == "SET") {
        const size_t eq = args.find('=');
        const std::string name = eq == std::string::npos ? std::string() : UpperCase(Trim(args.substr(0, eq)));
        const std::string value = eq == std::string::npos ? std::string() : Trim(args.substr(eq + 1));
        if (!name.empty() && !value.empty()) FConstants.SetValue(name, value);
    } else {
        throw Exception("Unknown directive :\r\nLine " + std::to_string(Line) + "\r\n" + text);
    }
}

bool TpFIBScripter::IsBranchActive(int32_t Directive, uint8_t InElse) {
    // Every enclosing block, from the outermost, must select the branch that holds the statement.
    std::vector<std::pair<int32_t, uint8_t>> chain;
    for (int32_t d = Directive; d >= 0;) {
        chain.emplace_back(d, InElse);
        const TDirectiveDesc& desc = (*FRun.Directives)[static_cast<size_t>(d)];
        InElse = desc.ParentInElse;
        d = desc.Parent;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        TDirectiveDesc& desc = (*FRun.Directives)[static_cast<size_t>(it->first)];
        if (desc.State == 0) desc.State = EvalDirective(desc);
        if (desc.State == 0) return false;
        if ((desc.State == 1) == (it->second != 0)) return false;
    }
    return true;
}

uint8_t TpFIBScripter::EvalDirective(const TDirectiveDesc& D) {
    TStringList lines = ScriptText(*FRun.Lines, D.StartPos, D.ConditionEnd);
    std::string text = JoinLines(lines);
    // "{$IF..." up to, not including, the closing brace.
    text = text.substr(2, text.size() >= 3 ? text.size() - 3 : 0);
    size_t wordEnd = 0;
    while (wordEnd < text.size() && !IsBlank(text[wordEnd])) ++wordEnd;
    const std::string word = UpperCase(text.substr(0, wordEnd));
    const std::string rest = Trim(text.substr(wordEnd));
    const auto truth = [](bool B) -> uint8_t { return B ? 1 : 2; };
    if (word == "IFDEF") return truth(FDefines.IndexOf(UpperCase(rest)) >= 0);
    if (word == "IFNDEF") return truth(FDefines.IndexOf(UpperCase(rest)) < 0);
    if (word == "IFEXISTS" || word == "IFNEXISTS" || word == "IFNOTEXISTS") {
        const TWords w = SplitWords(rest);
        if (w.Words.empty()) return 0;
        const uint8_t exists = SameText(w.Words[0], "SELECT") ? EvalExistsCondition("SELECT", rest)
                                                               : EvalExistsCondition(w.Words[0], w.Words.size() > 1 ? w.Words[1] : "");
        if (exists == 0) return 0;
        return word == "IFEXISTS" ? exists : truth(exists == 2);
    }
    return truth(EvalIfCondition(Trim(text.substr(2))));
}

bool TpFIBScripter::EvalIfCondition(const std::string& Condition) {
    const auto isOperator = [](char C) { return C == '<' || C == '=' || C == '>'; };
    size_t i = 0;
    while (i < Condition.size() && !IsBlank(Condition[i]) && !isOperator(Condition[i])) ++i;
    const std::string name = Condition.substr(0, i);
    while (i < Condition.size() && IsBlank(Condition[i])) ++i;
    const size_t opStart = i;
    while (i < Condition.size() && isOperator(Condition[i])) ++i;
    const std::string op = Condition.substr(opStart, i - opStart);
    const std::string value = Trim(Condition.substr(i));
    const auto cantResolve = [&] { ScriptError("Can't resolve condition  \"$IF\"\r\n" + Condition); };
    if (op.empty()) cantResolve();
    const std::string constant = Trim(FConstants.Values(UpperCase(name)));
    if (constant.empty()) ScriptError("Constant don't exists\r\n" + name);
    if (op == "=") return constant == value;
    if (op == "<>") return constant != value;
    const auto number = [](std::string Text) {
        std::replace(Text.begin(), Text.end(), ',', '.');
        char* end = nullptr;
        const double v = std::strtod(Text.c_str(), &end);
        if (Text.empty() || *end != '\0') throw EConvertError("'" + Text + "' is not a valid floating point value");
        return v;
    };
    const double a = number(constant);
    const double b = number(value);
    if (op == "<") return a < b;
    if (op == "<=") return a <= b;
    if (op == ">") return a > b;
    if (op == ">=") return a >= b;
    cantResolve();
    return false;
}

uint8_t TpFIBScripter::EvalExistsCondition(const std::string& Kind, const std::string& Rest) {
    if (!FDatabase || !FDatabase->Connected()) return 0;
    const bool select = Kind == "SELECT";
    const char* sql = select ? nullptr : ExistsQuery(Kind);
    if (!select && !sql) return 0;
    StartTransactionIfNeeded();
    TFIBQuery q;
    q.SetDatabase(FDatabase);
    q.SetTransaction(&TransactionInUse());
    q.SQL().SetText(select ? Rest : std::string(sql));
    if (!select) q.ParamByName("NAME").SetAsString(CatalogueName(Rest));
    q.ExecQuery();
    const bool exists = !q.Eof();
    q.Close();
    return exists ? 1 : 2;
}

// --- Statements ------------------------------------------------------------------------------

void TpFIBScripter::ExecuteStatement(const TStringList& Statement, const TStatementDesc& Desc, int Line, int Index) {
    if (FQuery->Open()) FQuery->Close();
    if (Desc.Directive >= 0 && !IsBranchActive(Desc.Directive, Desc.InElse)) return;
    const int line = Line == -1 ? Desc.StartPos.Line + 1 : Line;
    const int no = Index + 1;
    if (BeforeStatementExecute) BeforeStatementExecute(this, line, no, Desc, Statement);
    const bool joinable = IsDMLKind(Desc.Kind) && Desc.ObjectType != sotExecuteBlock;
    if (!joinable && StopAfterFlush(no)) return;
    switch (Desc.Kind) {
        case sskCommentLike: break;  // comments and brace texts never reach the server
        case sskConnect: DoConnect(Statement); break;
        case sskDisconnect: DisconnectDatabase(); break;
        case sskReconnect:
            DisconnectDatabase();
            ConnectDatabase();
            break;
        case sskCreateDatabase: DoCreateDatabase(Statement); break;
        case sskDropDatabase: DoDropDatabase(Statement); break;
        case sskCommit:
            if (TransactionInUse().Active()) CommitIfActive();
            break;
        case sskRollback:
            if (FQuery->Open()) FQuery->Close();
            if (TransactionInUse().Active()) RollbackInUse();
            break;
        case sskSet:
            if (!DoSet(Statement)) DoSQL(Statement, Desc, no, line);
            break;
        case sskDescribe: DoDescribe(Statement, Desc, no, line); break;
        case sskInput: {
            const std::vector<std::string> w = SplitWords(JoinLines(Statement)).Words;
            ExecuteFromFile(w.size() > 1 ? Unquote(w[1]) : std::string(), ";");
            break;
        }
        case sskDirective: DoDirective(Statement, line); break;
        default: DoSQL(Statement, Desc, no, line); break;
    }
}

TStringList TpFIBScripter::ExpandReinsert(const TStringList& Statement) {
    if (!FReinsertHeadKnown) {
        // The last INSERT up to and including its last VALUES.
        const std::string upper = UpperCase(FLastInsert);
        size_t found = std::string::npos;
        for (size_t p = upper.find("VALUES", 5); p != std::string::npos; p = upper.find("VALUES", p + 1)) found = p;
        if (found == std::string::npos) return Statement;
        FReinsertHead = FLastInsert.substr(0, found + 6);
        FReinsertHeadKnown = true;
    }
    const std::string text = JoinLines(Statement);
    TStringList result;
    result.SetText(FReinsertHead + (text.size() > 8 ? text.substr(8) : std::string()));
    return result;
}

bool TpFIBScripter::HasParameters(const TStringList& Statement) {
    FQuery->SQL().Assign(Statement);
    return FQuery->Params().Count() > 0;
}

void TpFIBScripter::DoSQL(const TStringList& Statement, const TStatementDesc& Desc, int No, int Line) {
    TStringList text = Statement;
    if (Desc.Kind == sskInsert) {
        FLastInsert = JoinLines(Statement);
        FReinsertHeadKnown = false;
    } else if (Desc.Kind == sskReinsert) {
        text = ExpandReinsert(Statement);
    }
    const bool joinable = IsDMLKind(Desc.Kind) && Desc.ObjectType != sotExecuteBlock;
    if (UseExecBlockForDML && joinable && !(!FBlobFileName.empty() && HasParameters(text))) {
        TPending p{No, Line, Desc, text};
        if (AddToExecBlock(p)) return;
        if (StopAfterFlush(No)) return;
        if (AddToExecBlock(p)) return;
        // Too long for a block of its own: it runs alone.
    } else if (StopAfterFlush(No)) {
        return;
    }
    FQuery->SQL().Assign(text);
    RunQuery(No, Line, Desc, text);
}

bool TpFIBScripter::AddToExecBlock(const TPending& P) {
    if (FBlock.empty()) FBlockLength = static_cast<int64_t>(std::char_traits<char>::length(ExecBlockHead)) + 2;
    int64_t length = 0;
    for (int i = 0; i < P.Text.Count(); ++i) length += static_cast<int64_t>(P.Text[i].size()) + 2;
    if (static_cast<int64_t>(FBlock.size()) >= ExecBlockMaxStatements ||
        FBlockLength + length + 3 >= ExecBlockMaxLength)
        return false;
    FBlock.push_back(P);
    FBlockLength += length + 1;
    return true;
}

bool TpFIBScripter::StopAfterFlush(int No) {
    FlushExecBlock();
    if (FStop && FStopPosition == 0) FStopPosition = No;
    return FStop;
}

void TpFIBScripter::FlushExecBlock() {
    if (FBlock.empty()) return;
    std::vector<TPending> block = std::move(FBlock);
    FBlock.clear();
    FBlockLength = 0;
    TStringList sql;
    sql.Add(ExecBlockHead);
    for (const TPending& p : block) {
        for (int i = 0; i < p.Text.Count(); ++i) sql.Add(p.Text[i]);
        sql.SetString(sql.Count() - 1, sql[sql.Count() - 1] + ";");
    }
    sql.Add("END");
    if (FQuery->Open()) FQuery->Close();
    FQuery->SQL().Assign(sql);
    try {
        StartTransactionIfNeeded();
        FQuery->ExecQuery();
    } catch (const EFIBError&) {
        // The block is one statement: none of its work stays. Its statements run again one by
        // one, so that those before the failing one reach the database and the error names the
        // statement and line that failed.
        RunPendingAlone(block);
        return;
    }
    // The server counts the rows of the block as a whole; each statement is reported once.
    const int64_t rows = FQuery->GetRowsAffected();
    FPendingRows += rows;
    FRowsAffected += rows;
    for (const TPending& p : block) StatementReached(p.No, p.Line, p.Desc, p.Text, 0);
}

void TpFIBScripter::RunPendingAlone(const std::vector<TPending>& Pending) {
    for (const TPending& p : Pending) {
        if (FStop) {
            // The run ends before the first statement that did not run.
            if (FStopPosition == 0) FStopPosition = p.No;
            return;
        }
        if (FQuery->Open()) FQuery->Close();
        FQuery->SQL().Assign(p.Text);
        RunQuery(p.No, p.Line, p.Desc, p.Text);
    }
}

void TpFIBScripter::RunBatch(int Line) {
    // The client library has no batch entry point: the batch's statements run one by one.
    std::vector<TPending> batch = std::move(FBatch);
    FBatch.clear();
    StartTransactionIfNeeded();
    if (BeforeStatementExecute) {
        TStatementDesc desc;
        desc.Kind = sskBatchExecute;
        TStringList text;
        for (const TPending& p : batch) text.AddStrings(p.Text);
        BeforeStatementExecute(this, Line, 0, desc, text);
    }
    RunPendingAlone(batch);
}

void TpFIBScripter::StatementReached(int No, int Line, const TStatementDesc& Desc, const TStringList& Statement,
                                     int64_t Rows) {
    ++FExecutedCount;
    FRowsAffected += Rows;
    // Work the open transaction holds; a commit forgets, a rollback takes back.
    if (TransactionInUse().Active()) {
        ++FPendingCount;
        FPendingRows += Rows;
    }
    if (FStatementCallback) FStatementCallback(Line, Statement);
    if (AfterStatementExecute) AfterStatementExecute(this, Line, No, Desc, Statement);
}

void TpFIBScripter::RunQuery(int No, int Line, const TStatementDesc& Desc, const TStringList& Statement) {
    try {
        StartTransactionIfNeeded();
        if (!FBlobFileName.empty() && FQuery->Params().Count() > 0) LoadBlobParams();
        FQuery->ExecQuery();
        const bool ddl = FQuery->Parser().StatementKind() == sqkDDL;
        const int64_t rows = ddl || FQuery->Open() ? 0 : FQuery->GetRowsAffected();
        // DDL fails at its commit as often as at its execution: it is reported only once it
        // is committed.
        if (AutoDDL && ddl) CommitInUse();
        StatementReached(No, Line, Desc, Statement, rows);
    } catch (const EFIBError& E) {
        if (!OnExecuteError) throw;
        bool rollback = true;
        bool stop = true;
        OnExecuteError(this, No, Line, Statement, E.SQLCode(), E.what(), rollback, stop);
        if (rollback && TransactionInUse().Active()) {
            if (FQuery->Open()) FQuery->Close();
            RollbackInUse();
        }
        FStop = stop;
    }
}

void TpFIBScripter::LoadBlobParams() {
    for (int i = 0; i < FQuery->Params().Count(); ++i) {
        TFIBXSQLVAR& param = FQuery->Params()[i];
        const std::string& name = param.Name();
        if (name.empty() || (name[0] != 'H' && name[0] != 'h')) continue;
        // H<offset>_<length>, both hexadecimal.
        const size_t bar = name.find('_');
        int64_t offset = 0;
        int64_t length = 0;
        if (bar == std::string::npos || !ParseHex(name.substr(1, bar - 1), offset) ||
            !ParseHex(name.substr(bar + 1), length))
            throw Exception("Blob file parameter " + name + " is not H<offset>_<length> in hexadecimal");
        if (length == 0) {
            param.SetIsNull(true);
            continue;
        }
        if (!FBlobFile) FBlobFile = std::make_unique<TFileStream>(FBlobFileName, TFileMode::fmOpenRead);
        const int64_t size = FBlobFile->GetSize();
        if (offset > size || length > size - offset)
            throw Exception("Blob file parameter " + name + ": " + std::to_string(length) + " bytes at offset " +
                            std::to_string(offset) + " lie beyond the end of " + FBlobFileName + " (" +
                            std::to_string(size) + " bytes)");
        TMemoryStream bytes;
        bytes.SetSize(length);
        FBlobFile->Seek(offset, TSeekOrigin::soBeginning);
        if (FBlobFile->Read(bytes.Memory(), length) != length)
            throw Exception("Blob file parameter " + name + ": " + FBlobFileName + " could not be read");
        bytes.Seek(0, TSeekOrigin::soBeginning);
        param.LoadFromStream(bytes);
    }
}

} // namespace qnl
