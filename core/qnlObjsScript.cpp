// The whole-structure DDL script of a container: a database header in the container's dialect,
// then every object's CREATE text with its owner and description statements, optionally also
// saved as one file per object.
#include "core/qnlDBStructure.h"
#include "core/qnlMsgManager.h"
#include "platform/AppHooks.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

// Sets the container's InterBase/Firebird options the script is written with, and gives them
// back on every way out: descriptions are statements, never updates of the system tables, and
// every column and parameter carries its character set (a CREATE writes the whole definition,
// whatever the compare options say).
class TScriptOptionsGuard {
public:
    explicit TScriptOptionsGuard(TObjs& AObjs)
        : FMode(AObjs.IBServerOptions.IBCompareOptions.UpdateDescriptionMode), FSavedMode(FMode),
          FCharsets(AObjs.IBServerOptions.IBCompareOptions.FldCharsetCompare), FSavedCharsets(FCharsets) {
        if (AObjs.ServerType() != stInterBase) return;
        FCharsets = true;
        if (FMode != udSysTables) return;
        const TIBSQLServerVersionType v = AObjs.IBServerOptions.SQLServerVersion;
        // Firebird 2.0 to 4.0 have COMMENT ON; Firebird 3 has no DESCRIBE statement.
        FMode = AtLeast(v, st_Firebird_20) && v != st_InterBase_2020 ? udComment : udDescribe;
    }
    ~TScriptOptionsGuard() {
        FMode = FSavedMode;
        FCharsets = FSavedCharsets;
    }
    TScriptOptionsGuard(const TScriptOptionsGuard&) = delete;
    TScriptOptionsGuard& operator=(const TScriptOptionsGuard&) = delete;

private:
    TUpdateDescriptionType& FMode;
    TUpdateDescriptionType FSavedMode;
    bool& FCharsets;
    bool FSavedCharsets;
};

// Writes a table's computed columns as COMPUTED BY (NULL) while it lives: their expressions may
// read what the script creates later, and get them back by ALTER once that exists.
class TNullComputedColumns {
public:
    explicit TNullComputedColumns(TDbObj& Table) {
        for (int i = 0; i < Table.GetColumnCount(); ++i)
            if (TDbObj* c = Table.GetColumn(i); c && !c->Source().empty()) {
                FSaved.emplace_back(c, c->Source());
                c->SetSource("(NULL)");
            }
    }
    ~TNullComputedColumns() {
        for (auto& [column, source] : FSaved) column->SetSource(source);
    }
    TNullComputedColumns(const TNullComputedColumns&) = delete;
    TNullComputedColumns& operator=(const TNullComputedColumns&) = delete;

private:
    std::vector<std::pair<TDbObj*, std::string>> FSaved;
};

bool IsFunction(TDbObj& Obj) { return Obj.GetDescriptionSubject().Class == dcFunction; }

// The word a per-object file name starts with; empty for schemas and packages.
std::string FileKindWord(TDbObj& Obj) {
    switch (Obj.GetObjList()) {
    case olProcedures: return IsFunction(Obj) ? "function" : "procedure";
    case olViews: return "view";
    case olTriggers: return "trigger";
    case olTables: return "table";
    case olIndices: return "index";
    case olEvents: return "event";
    case olDomains: return "domain";
    case olRoles: return "role";
    case olGrants: return "grant";
    case olUDFs: return "udf";
    case olExceptions: return "exception";
    case olConstraints: return "constraint";
    case olGenerators: return "generator";
    case olCollations: return "collation";
    default: return {};
    }
}

// An object name as part of a file name: the characters that would leave the folder or end the
// name (slash, backslash, NUL) are written as %XX, and so is "%" itself, so two names never
// share a file.
std::string FileNamePart(const std::string& Name) {
    std::string s;
    for (char c : Name) {
        if (c == '/' || c == '\\' || c == '\0' || c == '%') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
            s += buf;
        } else {
            s += c;
        }
    }
    return s;
}

} // namespace

void TObjs::AddText(const std::string& Text) { ScriptLines.Add(Text + Terminator); }

void TObjs::GetScript(TStringList& Lines) {
    ScriptLines.Clear();
    BuildScript();
    Lines.AddStrings(ScriptLines);
    ScriptLines.Clear();
}

void TObjs::BuildScript() {
    const TScriptOptionsGuard options(*this);
    ScriptLines.Clear();
    const TServerType st = ServerType();
    Terminator = st == stASA || st == stMSSQL || st == stASE ? std::string(CRLF) + "go" : std::string(";");
    // Firebird resolves every name a statement uses when it runs, so there the script follows
    // what each object uses: routines exist as stubs before the views and computed columns that
    // call them, views come after the views and procedures they read, and the real bodies come
    // last. Every other dialect writes its kinds in a fixed order.
    const bool firebird = st == stInterBase;
    try {
        WriteDatabaseHeader(ScriptLines);
        ScriptLines.Add("");
        if (firebird) WriteDatabaseDescription();
        WriteSchemas();
        ScriptLines.Add("");
        WriteUDFs();
        ScriptLines.Add("");
        WriteCollations();
        ScriptLines.Add("");
        WriteDomains();
        WriteTables();
        if (!firebird) {
            WriteIndices();
            WritePackages();
            WriteConstraints();
        }
        WriteExceptions();
        ScriptLines.Add("");
        WriteGenerators();
        ScriptLines.Add("");
        if (firebird) {
            WriteRoutineStubs();
            WritePackageParts(false);
            WriteViewsInDependencyOrder();
            WriteComputedColumns();
            WriteIndices();
            WriteConstraints();
            WriteRoutineBodies();
            WritePackageParts(true);
        } else {
            WriteViews();
            WriteProcedures();
        }
        WriteTriggers();
        ScriptLines.Add("");
        WriteEvents();
        WriteRoles();
        ScriptLines.Add("");
        WriteGrants();
        ScriptLines.Add("");
    } catch (const std::exception& e) {
        ReportError(ClassName() + ".BuildScript: " + e.what());
    }
    QuotedIdentifierState = false;
    AnsiNullsState = false;
}

void TObjs::WriteDatabaseHeader(TStringList& Lines) {
    const TConnectionOptions& c = ConnectionOptions;
    const std::string& db = c.DatabaseName;
    const std::string& T = Terminator;
    switch (ServerType()) {
    case stInterBase: {
        const TIBServerOptions& o = IBServerOptions;
        if (ScriptOptions.DBCharSet)
            if (const std::string names = o.GetSetNamesStatement(); !names.empty()) Lines.Add(names + T + CRLF);
        if (ScriptOptions.SQLDialect && (o.SQLDialect == 2 || o.SQLDialect == 3))
            Lines.Add("SET SQL DIALECT 3" + T + CRLF);
        if (ScriptOptions.Connect && !db.empty()) {
            std::string s = "CREATE DATABASE " + QuotedStr(db);
            // The container's own start value is no password anyone gave.
            const bool password = !c.Password.empty() && c.Password != DefaultPassword;
            if (!c.UserName.empty() || password) {
                s += CRLF;
                if (!c.UserName.empty()) s += " USER " + QuotedStr(c.UserName);
                if (password) s += " PASSWORD " + QuotedStr(c.Password);
            }
            if (const int32_t page = o.IBDatabaseOptions.PageSize; page != 0)
                s += std::string(CRLF) + "PAGE_SIZE " + std::to_string(page);
            if (!o.DBCharSet().empty()) s += "  DEFAULT CHARACTER SET " + o.DBCharSet();
            Lines.Add(s + T + CRLF);
        }
        if (const TIBDatabaseOptions& d = o.IBDatabaseOptions; d.ODSMajor != 0)
            Lines.Add("/* Server Version: " + CommentSafe(d.ServerVersion) + ".  ODS Version: " +
                      std::to_string(d.ODSMajor) + "." + std::to_string(d.ODSMinor) + ". */" + CRLF);
        break;
    }
    case stMSSQL:
        if (ScriptOptions.Connect && !db.empty()) Lines.Add("USE " + db + T + CRLF);
        QuotedIdentifierState = true;
        AnsiNullsState = true;
        WriteMSSQLSettings(false, false);
        break;
    case stOracle:
        // The password itself is never written.
        if (ScriptOptions.Connect && !c.UserName.empty() && !c.Password.empty())
            Lines.Add("-- CONNECT " + c.UserName + "/*****" + "@" + db + T + CRLF);
        break;
    case stMySQL:
        if (ScriptOptions.Connect && !db.empty()) Lines.Add("USE " + db + T + CRLF);
        break;
    case stASE: {
        const TASEDatabaseOptions& a = ASEServerOptions.ASEDatabaseOptions;
        if (!a.Header.empty()) Lines.Add("-- " + a.Header);
        if (!db.empty()) Lines.Add("-- Database: " + db);
        if (!a.Size.empty()) Lines.Add("-- Size    : " + a.Size);
        if (!a.Owner.empty()) Lines.Add("-- Owner   : " + a.Owner);
        if (!a.Created.empty()) Lines.Add("-- Created : " + a.Created);
        if (!a.Options.empty()) Lines.Add("-- Options : " + a.Options);
        if (!a.Header.empty()) Lines.Add("");
        if (ScriptOptions.Connect && !db.empty()) {
            Lines.Add("use " + db + T + CRLF);
            Lines.Add("use master" + T + CRLF);
            Lines.Add("if exists( select 1 from master.dbo.sysdatabases where name = " + QuotedStr(db) + ")" + CRLF +
                      "  drop database " + db + T + CRLF);
            Lines.Add("create database " + db + T + CRLF);
            Lines.Add("use " + db + T + CRLF);
        }
        if (a.DBOptionSet.any()) {
            for (int i = 0; i < TASEDatabaseOptions::OptionCount; ++i)
                if (a.DBOptionSet.test(static_cast<size_t>(i)))
                    Lines.Add("exec master.dbo.sp_dboption " + db + ", " +
                              QuotedStr(TASEDatabaseOptions::GetOptionName(i)) + ", True" + T + CRLF);
            Lines.Add("checkpoint" + T + CRLF);
        }
        break;
    }
    case stPostgreSQL:
        if (!db.empty()) Lines.Add("/* Database: " + CommentSafe(db) + " */");
        break;
    default: break;
    }
}

void TObjs::WriteDatabaseDescription() {
    if (DatabaseDescription.empty() || !CompareObjects.Contains(coDescription)) return;
    if (IBServerOptions.IBCompareOptions.UpdateDescriptionMode != udComment &&
        !IsFirebird3OrLater(IBServerOptions.SQLServerVersion))
        return;
    AddText(std::string("COMMENT ON DATABASE IS") + CRLF + QuotedStr(DatabaseDescription));
    ScriptLines.Add("");
}

void TObjs::WriteList(TObjListKind Kind, bool UseCreateStatement, bool MSSQLSettings, bool EmptyLine,
                      bool OwnerAndComment) {
    const TDbObjList& list = List(Kind);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj& o = *list.Obj(i);
        WriteObjectFiles(o);
        if (MSSQLSettings) WriteMSSQLSettings(o.QuotedIdentifier, o.AnsiNulls);
        AddText(UseCreateStatement ? o.GetCreateStatement() : o.GetCreateSQL());
        if (EmptyLine) ScriptLines.Add("");
        if (OwnerAndComment) WriteOwnerAndComment(o, ScriptLines);
    }
}

void TObjs::WriteSchemas() {
    const TDbObjList& list = List(olSchemas);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj& o = *list.Obj(i);
        WriteObjectFiles(o);
        const bool implicit = (ServerType() == stPostgreSQL && o.Name == "public") ||
                              (ServerType() == stMSSQL && o.Name == o.SystemName());
        if (!implicit) {
            AddText(o.GetCreateSQL());
            ScriptLines.Add("");
        }
        WriteOwnerAndComment(o, ScriptLines);
    }
}

void TObjs::WriteUDFs() { WriteList(olUDFs, false, false, true, true); }
void TObjs::WriteCollations() { WriteList(olCollations, true, true, false, true); }
// A CREATE writes the whole definition (character set and collation) whatever the compare
// options say, or the new database would hold other columns.
void TObjs::WriteDomains() { WriteList(olDomains, ServerType() == stInterBase, true, true, true); }

void TObjs::WriteTables() {
    if (ServerType() != stInterBase) return WriteList(olTables, false, true, true, true);
    const TIBSQLServerVersionType v = IBServerOptions.SQLServerVersion;
    // Computed columns can be altered from Firebird 2.5 on.
    const bool nullComputed = AtLeast(v, st_Firebird_25) && v != st_InterBase_2020;
    const TDbObjList& tables = List(olTables);
    for (int i = 0; i < tables.Count(); ++i) {
        TDbObj& t = *tables.Obj(i);
        WriteObjectFiles(t);
        std::optional<TNullComputedColumns> nulls;
        if (nullComputed) nulls.emplace(t);
        AddText(t.GetCreateStatement());
        ScriptLines.Add("");
        WriteOwnerAndComment(t, ScriptLines);
    }
}
void TObjs::WriteIndices() { WriteList(olIndices, false, true, false, true); }
void TObjs::WriteExceptions() { WriteList(olExceptions, false, true, true, true); }
void TObjs::WriteGenerators() { WriteList(olGenerators, false, true, false, true); }
void TObjs::WriteViews() { WriteList(olViews, false, true, true, true); }
void TObjs::WriteEvents() { WriteList(olEvents, true, true, false, true); }
void TObjs::WriteRoles() { WriteList(olRoles, true, true, false, true); }
void TObjs::WriteGrants() { WriteList(olGrants, true, false, false, true); }

void TObjs::WritePackages() {
    if (ServerType() != stOracle) return;
    const TDbObjList& list = List(olPackages);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj& o = *list.Obj(i);
        WriteObjectFiles(o);
        ScriptLines.Add(o.GetHeaderSQL() + CRLF + "/");
        ScriptLines.Add("");
        ScriptLines.Add(o.GetPackageBodySQL() + CRLF + "/");
        ScriptLines.Add("");
        WriteOwnerAndComment(o, ScriptLines);
    }
}

void TObjs::WriteConstraintsOfType(int ConstraintType, bool WithFiles) {
    const TDbObjList& list = List(olConstraints);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj& o = *list.Obj(i);
        // MSSQL's defaults walk saves the files of every constraint.
        if (!WithFiles && ConstraintType == 5) WriteObjectFiles(o);
        if (o.GetConstraintType() != ConstraintType) continue;
        if (WithFiles) WriteObjectFiles(o);
        if (!o.GetName().empty()) ScriptLines.Add(o.MakeComment(o.GetName()));
        if (!o.SystemName().empty()) ScriptLines.Add(o.MakeComment(o.SystemName()));
        WriteMSSQLSettings(o.QuotedIdentifier, o.AnsiNulls);
        AddText(o.GetCreateSQL());
        ScriptLines.Add("");
    }
}

void TObjs::WriteConstraints() {
    if (ServerType() == stMSSQL) WriteConstraintsOfType(5, false);
    for (int type : {0, 1, 2, 3}) WriteConstraintsOfType(type, true);
}

void TObjs::BeginTermBlock(bool NonEmpty) {
    if (ServerType() == stInterBase && NonEmpty) {
        ScriptLines.Add(std::string("SET TERM ^ ;") + CRLF);
        Terminator = std::string(CRLF) + "^";
    } else if (ServerType() == stOracle) {
        Terminator = std::string(CRLF) + "/";
    }
}

void TObjs::EndTermBlock(bool NonEmpty) {
    if (ServerType() == stInterBase && NonEmpty) {
        ScriptLines.Add(std::string("SET TERM ; ^") + CRLF);
        Terminator = ";";
    } else if (ServerType() == stOracle) {
        Terminator = ";";
    }
}

void TObjs::WriteRoutines(TObjListKind Kind) {
    const TDbObjList& list = List(Kind);
    const bool mysql = ServerType() == stMySQL;
    BeginTermBlock(list.Count() > 0);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj& o = *list.Obj(i);
        WriteObjectFiles(o);
        WriteMSSQLSettings(o.QuotedIdentifier, o.AnsiNulls);
        if (mysql) ScriptLines.Add("DELIMITER //");
        AddText(o.GetCreateSQL());
        if (mysql) ScriptLines.Add("DELIMITER ;");
        ScriptLines.Add("");
        WriteOwnerAndComment(o, ScriptLines);
    }
    EndTermBlock(list.Count() > 0);
}

void TObjs::WriteProcedures() { WriteRoutines(olProcedures); }
void TObjs::WriteTriggers() { WriteRoutines(olTriggers); }

void TObjs::WriteRoutineStubs() {
    const TDbObjList& list = List(olProcedures);
    BeginTermBlock(list.Count() > 0);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj& o = *list.Obj(i);
        WriteObjectFiles(o);
        if (const std::string stub = o.GetStubCreateSQL(); !stub.empty()) {
            AddText(stub);
            ScriptLines.Add("");
        }
    }
    EndTermBlock(list.Count() > 0);
}

void TObjs::WriteRoutineBodies() {
    const TDbObjList& list = List(olProcedures);
    BeginTermBlock(list.Count() > 0);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj& o = *list.Obj(i);
        if (o.GetStubCreateSQL().empty()) continue;
        AddText(o.GetAlterSQL());
        ScriptLines.Add("");
        WriteOwnerAndComment(o, ScriptLines);
    }
    EndTermBlock(list.Count() > 0);
}

// Firebird packages: the headers once the routines they may name exist, the bodies last.
void TObjs::WritePackageParts(bool Bodies) {
    const TDbObjList& list = List(olPackages);
    std::vector<std::pair<TDbObj*, std::string>> texts;
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj& o = *list.Obj(i);
        if (o.NoScript) continue;
        if (std::string text = Bodies ? o.GetPackageBodySQL() : o.GetHeaderSQL(); !text.empty())
            texts.emplace_back(&o, std::move(text));
    }
    BeginTermBlock(!texts.empty());
    for (auto& [o, text] : texts) {
        if (!Bodies) WriteObjectFiles(*o);
        AddText(text);
        ScriptLines.Add("");
        if (!Bodies) WriteOwnerAndComment(*o, ScriptLines);
    }
    EndTermBlock(!texts.empty());
}

void TObjs::WriteViewsInDependencyOrder() {
    const TDbObjList& views = List(olViews);
    // Depth first over the views each view reads, in list order; a cycle (which the server
    // cannot hold) is cut where it closes.
    std::unordered_set<const TDbObj*> placed, onPath;
    std::vector<TDbObj*> order;
    struct TFrame {
        TDbObj* View;
        int Next;
    };
    for (int i = 0; i < views.Count(); ++i) {
        std::vector<TFrame> stack{{views.Obj(i), 0}};
        if (placed.count(views.Obj(i))) continue;
        onPath.insert(views.Obj(i));
        while (!stack.empty()) {
            TFrame& f = stack.back();
            if (f.Next < f.View->DependsOn.Count()) {
                TDbObj* ref = f.View->DependsOn.Items(f.Next++)->Ref;
                if (ref && ref->GetObjList() == olViews && views.FindObj(ref->GetKeyName()) == ref &&
                    !placed.count(ref) && !onPath.count(ref)) {
                    onPath.insert(ref);
                    stack.push_back({ref, 0});
                }
                continue;
            }
            onPath.erase(f.View);
            placed.insert(f.View);
            order.push_back(f.View);
            stack.pop_back();
        }
    }
    for (TDbObj* v : order) {
        WriteObjectFiles(*v);
        AddText(v->GetCreateSQL());
        ScriptLines.Add("");
        WriteOwnerAndComment(*v, ScriptLines);
    }
}

void TObjs::WriteComputedColumns() {
    const TDbObjList& tables = List(olTables);
    bool any = false;
    for (int i = 0; i < tables.Count(); ++i) {
        TDbObj& t = *tables.Obj(i);
        for (int c = 0; c < t.GetColumnCount(); ++c)
            if (const std::string alter = t.GetColumn(c)->GetComputedAlterSQL(); !alter.empty()) {
                AddText(alter);
                any = true;
            }
    }
    if (any) ScriptLines.Add("");
}

void TObjs::WriteMSSQLSettings(bool QuotedIdentifier, bool AnsiNulls) {
    if (ServerType() != stMSSQL) return;
    if (QuotedIdentifier != QuotedIdentifierState) {
        ScriptLines.Add(std::string("SET QUOTED_IDENTIFIER ") + (QuotedIdentifier ? "ON" : "OFF") + Terminator + CRLF);
        QuotedIdentifierState = QuotedIdentifier;
    }
    if (AnsiNulls != AnsiNullsState) {
        ScriptLines.Add(std::string("SET ANSI_NULLS ") + (AnsiNulls ? "ON" : "OFF") + Terminator + CRLF);
        AnsiNullsState = AnsiNulls;
    }
}

void TObjs::WriteOwnerAndComment(TDbObj& Obj, TStringList& Lines) {
    if (ServerType() == stPostgreSQL && !Obj.DbOwner().empty()) {
        std::string word;
        switch (Obj.GetObjList()) {
        case olSchemas:
            if (Obj.Name != "public") word = "ALTER SCHEMA";
            break;
        case olTables: word = "ALTER TABLE"; break;
        case olDomains: word = Obj.IsUserType() ? "ALTER TYPE" : "ALTER DOMAIN"; break;
        case olProcedures: word = "ALTER FUNCTION"; break;
        case olViews: word = "ALTER VIEW"; break;
        default: break;
        }
        if (!word.empty()) {
            std::string s = word + " " + Obj.GetQualifiedName();
            if (Obj.GetObjList() == olProcedures) s += Obj.GetParamsSQL(true);
            Lines.Add(s + " OWNER TO " + Obj.DbOwner() + Terminator);
            Lines.Add("");
        }
    }
    auto describe = [&](TDbObj& O) {
        if (O.Description().empty()) return;
        Lines.Add(O.GetDescriptionSQL() + Terminator);
        Lines.Add("");
    };
    describe(Obj);
    // View columns have a description statement only in the InterBase/Firebird dialect.
    const bool columns = Obj.GetObjList() == olTables || (Obj.GetObjList() == olViews && ServerType() == stInterBase);
    if (columns)
        for (int i = 0; i < Obj.GetColumnCount(); ++i)
            if (TDbObj* c = Obj.GetColumn(i)) describe(*c);
    if (Obj.GetObjList() == olProcedures) {
        for (int i = 0; i < Obj.GetInputParamCount(); ++i)
            if (TDbObj* p = Obj.GetInputParam(i)) describe(*p);
        for (int i = 0; i < Obj.GetOutputParamCount(); ++i)
            if (TDbObj* p = Obj.GetOutputParam(i)) describe(*p);
    }
}

void TObjs::WriteObjectFiles(TDbObj& Obj) {
    if (ObjectFilesDir.empty()) return;
    const std::string name = FileNamePart(Obj.GetName().empty() ? Obj.GetKeyName() : Obj.GetName());
    const std::string stem = ObjectFilesDir + "/" + FileKindWord(Obj) + "_" + name + "_";
    // Routines and triggers: the CREATE text with the placeholder body.
    const bool stubbed = Obj.GetObjList() == olProcedures || Obj.GetObjList() == olTriggers;
    const std::string header = stubbed ? Obj.GetStubCreateSQL() : std::string();
    if (!header.empty()) SaveTextToFile(stem + "header.sql", header);
    if (const std::string body = Obj.GetCreateSQL(); !body.empty()) SaveTextToFile(stem + "body.sql", body);
}

void TObjs::ReportError(const std::string& Text) {
    if (NoteProc) NoteProc(Text);
    if (Structure && Structure->Extractor)
        DoErrorMessage(Text);
    else
        ShowErrorText(Text);
}

void TObjs::SaveTextToFile(const std::string& FileName, const std::string& Text) {
    FILE* f = std::fopen(FileName.c_str(), "wb");
    if (!f) return ReportError("Cannot create the file " + FileName);
    const bool written = std::fwrite(Text.data(), 1, Text.size(), f) == Text.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) ReportError("Cannot write the file " + FileName);
}

} // namespace qnl
