#include "objects/qnlQuarnel.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Def.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Fnc.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Rol.h"
#include "objects/qnlComp_Rul.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <exception>

namespace qnl {

namespace {
const char* const CRLF = "\r\n";

// The kind lists in the order in which they are paired and marked.
constexpr TObjListKind PairingOrder[] = {
    olSchemas, olDomains,    olTables,      olProcedures, olTriggers,  olGenerators,      olExceptions, olUDFs,
    olViews,   olIndices,    olRoles,       olGrants,     olConstraints, olPackages,      olDefaults,   olRules,
    olPublications, olOperators, olOperatorClasses, olConversions, olEvents, olCollations};

// Constraint types as a set: bit n is type n.

void Pair(TDbObj* A, TDbObj* B) {
    A->SetCounterpart(B);
    B->SetCounterpart(A);
}

// Each column of A finds the first column of B filed under its key (B's case rule).
void MatchColumns(TDbObj& A, TDbObj& B) {
    for (int i = 0; i < A.GetColumnCount(); ++i) {
        TDbObj* c = A.GetColumn(i);
        if (!c) continue;
        if (TDbObj* p = B.FindColumn(c->GetKeyName())) Pair(c, p);
    }
}

void MatchObjectLists(const TDbObjList& A, const TDbObjList& B, TObjListKind Kind) {
    for (int i = 0; i < A.Count(); ++i) {
        TDbObj* o = A.Obj(i);
        const std::string key = o->GetKeyName();
        TDbObj* partner = nullptr;
        if (Kind == olConstraints) {
            const int index = B.IndexOf(key);
            if (index >= 0) partner = B.Obj(index);
        } else {
            partner = B.FindObj(key);
        }
        if (!partner) continue;
        Pair(o, partner);
        if (Kind == olTables || Kind == olViews) MatchColumns(*o, *partner);
    }
}

// A view source ending in the check option words in another letter case is the same view.
void AlignCheckOptionCase(TCustomObjs& Master) {
    static const std::string words = "WITH CHECK OPTION";
    const TDbObjList& views = Master.List(olViews);
    for (int i = 0; i < views.Count(); ++i) {
        TDbObj* v = views.Obj(i);
        TDbObj* c = v->Counterpart;
        if (!c) continue;
        const std::string& vs = v->Source();
        const std::string& cs = c->Source();
        if (vs.size() < words.size() || cs.size() < words.size()) continue;
        const std::string vEnd = vs.substr(vs.size() - words.size());
        const std::string cEnd = cs.substr(cs.size() - words.size());
        if (SameText(vEnd, words) && SameText(cEnd, words) && vEnd != cEnd)
            c->SetSource(cs.substr(0, cs.size() - words.size()) + vEnd);
    }
}

void MarkList(const TDbObjList& List, TObjListKind Kind, bool Target) {
    for (int i = 0; i < List.Count(); ++i) {
        TDbObj* o = List.Obj(i);
        o->SetExists(Target || o->Counterpart);
        if (Kind != olTables) continue;
        for (int j = 0; j < o->GetColumnCount(); ++j)
            if (TDbObj* c = o->GetColumn(j)) c->SetExists(Target || c->Counterpart);
    }
}

bool HasAny(TCmpObjSetType Set, std::initializer_list<TCmpObjType> Kinds) {
    for (TCmpObjType k : Kinds)
        if (Set.Contains(k)) return true;
    return false;
}
} // namespace

TQuarnel::TQuarnel(TComponent* AOwner) : TCustomQuarnel(AOwner) {
    ExtractMasterEnabled = true;
    ExtractTargetEnabled = true;
    CompareEnabled = true;
}

// ---- Extract ----

void TQuarnel::DoBeforeExtract() {
    FMsgManager.Clear();
    Fire(OnBeforeExtract);
}

bool TQuarnel::PrepareExtraction(bool Master) {
    TCustomExtract* extractor = Master ? ExtractorMaster() : ExtractorTarget();
    TCustomDBStructure* structure = Master ? DBStructureMaster() : DBStructureTarget();
    const std::string prefix = ClassName() + "(" + Name() + "): property ";
    if (!extractor) DoErrorMessage(prefix + (Master ? "ExtractorMaster" : "ExtractorTarget") + " not assigned.");
    if (!structure) DoErrorMessage(prefix + (Master ? "DBStructureMaster" : "DBStructureTarget") + " not assigned.");
    if (!extractor || !structure || !structure->Objs()) return false;

    extractor->SetDBStructure(structure);
    extractor->ShowFullLog = ShowFullLog();
    TObjs& objs = *structure->Objs();
    objs.IBServerOptions.IBCompareOptions.Assign(IBCompareOptions());
    objs.ASAServerOptions.ASACompareOptions.Assign(ASACompareOptions());
    objs.ASEServerOptions.ASECompareOptions.Assign(ASECompareOptions());
    objs.MSSQLServerOptions.MSSQLCompareOptions.Assign(MSSQLCompareOptions());
    objs.MySQLServerOptions.MySQLCompareOptions.Assign(MySQLCompareOptions());
    objs.OracleServerOptions.OracleCompareOptions.Assign(OracleCompareOptions());
    objs.DB2ServerOptions.DB2CompareOptions.Assign(DB2CompareOptions());
    objs.PGSQLServerOptions.PGSQLCompareOptions.Assign(PGSQLCompareOptions());
    extractor->ExtractObjects =
        IBCompareOptions().ExtractOnlyComparedObjects ? CompareObjects : TCmpObjSetType::All();
    objs.CompareObjects = CompareObjects;
    return true;
}

void TQuarnel::RunExtraction(bool Master) {
    TCustomExtract* extractor = Master ? ExtractorMaster() : ExtractorTarget();
    if (!extractor) return;
    extractor->ExtractDatabase();
    if (!Master)
        if (TCustomObjs* target = GetTargetObjs()) ConnectionOptions.Assign(target->ConnectionOptions);
    FMsgManager.AddFrom(&extractor->GetMsgManager());
    Fire(Master ? OnAfterExtractMaster : OnAfterExtractTarget);
}

bool TQuarnel::Extract() {
    RestoreComparedKinds();
    FMsgManager.Clear();
    ExtractMasterEnabled = ExtractTargetEnabled = CompareEnabled = true;
    DoBeforeExtract();

    if (ExtractTargetEnabled) {
        Fire(OnBeforeExtractTarget);
        if (ExtractTargetEnabled) {
            if (!PrepareExtraction(false)) return false;
            RunExtraction(false);
        }
    }
    if (ExtractMasterEnabled) {
        Fire(OnBeforeExtractMaster);
        if (ExtractMasterEnabled && !PrepareExtraction(true)) return false;
    }
    // A failed target makes the master's extraction pointless: nothing will be compared.
    if (FMsgManager.HasErrors())
        CompareEnabled = false;
    else if (ExtractMasterEnabled)
        RunExtraction(true);
    if (FMsgManager.HasErrors()) CompareEnabled = false;

    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    if (ExtractTargetEnabled && target)
        ConnectionOptions.Assign(target->ConnectionOptions);
    else if (ExtractMasterEnabled && master)
        ConnectionOptions.Assign(master->ConnectionOptions);

    if (!FMsgManager.HasErrors() && master && target && master->ServerType() != target->ServerType())
        ConvertMasterToTarget();
    DoAfterExtract();
    return !FMsgManager.HasErrors();
}

void TQuarnel::DoAfterExtract() {
    MatchObjects();
    if (TCustomObjs* m = GetMasterObjs()) m->StoreCreateTexts();
    if (TCustomObjs* t = GetTargetObjs()) t->StoreCreateTexts();
    MarkObjects();
    ApplyDialectFixups();
    Fire(OnAfterExtract);
}

void TQuarnel::ConvertMasterToTarget() {
    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    if (!master || !target || master->ServerType() == target->ServerType()) return;
    switch (target->ServerType()) {
    case stInterBase: ConvertToIB(); break;
    case stASA: ConvertToASA(); break;
    case stMySQL: ConvertToMySQL(); break;
    case stMSSQL: ConvertToMSSQL(); break;
    case stPostgreSQL: ConvertToPostgreSQL(); break;
    default: break;  // none, Oracle and the others: no conversion
    }
}

// ---- pairing, marking, fix-ups ----

void TQuarnel::MatchObjects() {
    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    if (!master || !target) return;
    for (TObjListKind kind : PairingOrder) MatchObjectLists(master->List(kind), target->List(kind), kind);
    for (TObjListKind kind : PairingOrder) MatchObjectLists(target->List(kind), master->List(kind), kind);
    if (master->ServerType() == stInterBase && target->ServerType() == stInterBase) AlignCheckOptionCase(*master);
}

void TQuarnel::MarkObjects() {
    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    if (master)
        for (TObjListKind kind : PairingOrder) MarkList(master->List(kind), kind, false);
    if (target)
        for (TObjListKind kind : PairingOrder) MarkList(target->List(kind), kind, true);
}

void TQuarnel::ApplyDialectFixups() {
    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    if (!master || !target) return;
    const TDbObjList& tables = master->List(olTables);
    if (target->ServerType() == stMySQL) {
        for (int i = 0; i < tables.Count(); ++i)
            if (TDbObj* c = tables.Obj(i)->Counterpart; c && c->Kind == dboTable)
                MergeMySQLTableOptions(*tables.Obj(i), *c);
    } else if (target->ServerType() == stOracle) {
        const TConnectionOptions& conn = target->ConnectionOptions;
        const std::string schema = conn.DatabaseName != conn.HostName ? conn.DatabaseName : std::string();
        if (!schema.empty()) {
            for (TObjListKind kind : {olGenerators, olTables, olViews, olConstraints, olIndices, olTriggers}) {
                TDbObjList& list = master->List(kind);
                for (int i = 0; i < list.Count(); ++i) list.Obj(i)->SetSchema(schema);
                list.Rekey();
            }
        }
        for (int i = 0; i < tables.Count(); ++i)
            if (TDbObj* c = tables.Obj(i)->Counterpart; c && c->Kind == dboTable)
                MergeOracleTableStorage(*tables.Obj(i), *c);
    }
}

// ---- Compare ----

void TQuarnel::DoBeforeCompare() {
    FMsgManager.Clear();
    GetMasterObjs()->CurrentSchema.clear();
    GetTargetObjs()->CurrentSchema.clear();
    MatchObjects();
    GetMasterObjs()->StoreCreateTexts();
    GetTargetObjs()->StoreCreateTexts();
    MarkObjects();
    Fire(OnBeforeCompare);
}

void TQuarnel::DoAfterCompare() { Fire(OnAfterCompare); }

void TQuarnel::Compare() {
    if (!CompareEnabled) return;
    const std::string prefix = ClassName() + "(" + Name() + "): property ";
    if (!DBStructureTarget() || !GetTargetObjs()) {
        DoErrorMessage(prefix + "DBStructureTarget not assigned.");
        return;
    }
    if (!DBStructureMaster() || !GetMasterObjs()) {
        DoErrorMessage(prefix + "DBStructureMaster not assigned.");
        return;
    }
    TCustomObjs& master = *GetMasterObjs();
    TCustomObjs& target = *GetTargetObjs();
    // The texts stored before the passes are written under this comparison's options.
    master.IBServerOptions.IBCompareOptions.Assign(IBCompareOptions());
    target.IBServerOptions.IBCompareOptions.Assign(IBCompareOptions());
    DoBeforeCompare();

    TCustomSQLExec* exec = SQLExec();
    if (!exec) exec = OwnSQLExec();
    exec->ClearStatements();
    if (auto* sqlExec = dynamic_cast<TSQLExec*>(exec)) {
        sqlExec->ConnectionOptions.Assign(target.ConnectionOptions);
        sqlExec->IBServerOptions.Assign(target.IBServerOptions);
        sqlExec->MSSQLServerOptions.Assign(target.MSSQLServerOptions);
        sqlExec->MySQLServerOptions.Assign(target.MySQLServerOptions);
    }
    master.SetSQLExec(exec);
    target.SetSQLExec(exec);
    ConnectionOptions.Assign(target.ConnectionOptions);
    master.UseCounterpartDialect = true;
    DoLogNextLine("Comparing databases...");

    // A pass that fails ends the comparison; the master must still go back to its own dialect.
    bool completed = false;
    // The passes file no object, register no dependency and move no trigger: which views read a
    // table and which triggers fire on a view are indexed once for the whole comparison instead
    // of scanning every view per dropped column and every trigger per view.
    master.KeepIndices(true);
    target.KeepIndices(true);
    try {
        WritePasses(master, target, *exec);
        completed = true;
    } catch (const std::exception& e) {
        DoErrorMessage(e.what());
    } catch (...) {
        DoErrorMessage("Unknown error.");
    }
    master.KeepIndices(false);
    target.KeepIndices(false);
    if (completed) DoAfterCompare();
    master.UseCounterpartDialect = false;
}

void TQuarnel::WritePasses(TCustomObjs& M, TCustomObjs& T, TCustomSQLExec& E) {
    const TCmpObjSetType co = CompareObjects;
    const TServerType type = T.ServerType();
    const bool constraints = HasAny(co, {coPrimaryKey, coForeignKey, coUnique, coCheck});
    const bool packages = type == stInterBase || type == stOracle;

    MatchTables(*this);
    WriteScriptHeader();
    WriteDatabaseCharset();
    WriteCreateCollations(*this);
    WriteAlterCollations(*this);
    WriteCreateSchemas(*this);
    WriteAlterSchemas(*this);
    if (type == stPostgreSQL) {
        WriteCreateConversions(*this);
        WriteAlterConversions(*this);
        WriteCreateOperators(*this);
        WriteAlterOperators(*this);
        WriteCreateOperatorClasses(*this);
        WriteAlterOperatorClasses(*this);
    }
    if (type == stMSSQL) {
        WriteCreateRules(*this);
        WriteCreateDefaults(*this);
        WriteAlterRules(*this);
        WriteAlterDefaults(*this);
    }
    // The drop walk of constraints also takes the defaults, so their kind opens it too.
    if (constraints || co.Contains(coCtrDefault)) WriteDropConstraints(*this);
    if (co.Contains(coDomain)) WriteCreateDomains(*this);
    if (co.Contains(coFunction)) WriteDeclareUDFs(M, T, E, co);
    if (co.Contains(coTrigger)) WriteEmptyTriggerBodies(M, T, E, co);
    // A package the master lacks goes before the routines, views and exceptions its body may
    // use; what calls it is emptied first and gets the master's text in the later passes.
    if (packages) WriteDropPackages(*this);
    if (co.Contains(coProcedure)) WriteDropProcedures(*this);
    if (co.Contains(coTrigger)) WriteDropTriggers(M, T, E, co);
    if (co.Contains(coIndex)) WriteDropIndices(*this);
    if (co.Contains(coView)) WriteDropViews(M, T, E, co);
    if (co.Contains(coFunction)) WriteAlterUDFs(*this);
    if (co.Contains(coException)) WriteDropExceptions(M, T, E, co);
    if (co.Contains(coFunction)) WriteDropUDFs(M, T, E, co);
    if (co.Contains(coDomain)) WriteAlterDomains(*this);
    if (co.Contains(coTable)) {
        WriteCreateTables(*this);
        WriteCreateFields(*this);
        WriteAlterTables(*this);
        WriteDropTables(*this);
    }
    // Package headers come before the routines, views and triggers that may call a packaged
    // routine; their bodies come last, when everything they use exists.
    if (packages) {
        WriteAlterPackages(*this, TPackagePart::Header);
        WriteCreatePackages(*this, TPackagePart::Header);
    }
    if (co.Contains(coProcedure)) WriteCreateProcedures(*this);
    if (co.Contains(coDomain)) WriteDropDomains(*this);
    if (co.Contains(coView)) {
        // A view that cannot be written yet is reported; the second view pass below retries.
        try {
            WriteCreateViews(*this);
        } catch (const std::exception& e) {
            DoErrorMessage(e.what());
        } catch (...) {
            DoErrorMessage("Unknown error.");
        }
        WriteAlterViews(M, T, E, co);
    }
    if (co.Contains(coRule)) WriteCreateRules(*this);
    if (co.Contains(coIndex)) {
        WriteCreateIndices(*this);
        WriteAlterIndices(*this);
    }
    if (co.Contains(coGenerator)) WriteCreateGenerators(M, T, E, co);
    if (co.Contains(coException)) {
        WriteCreateExceptions(M, T, E, co);
        WriteAlterExceptions(M, T, E, co);
    }
    if (constraints) WriteCreateConstraints(*this, AllConstraintTypesButDefault);
    if (co.Contains(coProcedure)) {
        WriteAlterProcedures(*this);
        // Defaults may call procedures: they come once the procedures have their bodies.
        if (constraints) WriteCreateConstraints(*this, DefaultConstraintsOnly);
    }
    if (co.Contains(coTrigger)) WriteCreateTriggers(M, T, E, co);
    if (co.Contains(coView)) WriteCreateViews(*this);
    if (co.Contains(coTrigger)) WriteAlterTriggers(*this);
    if (co.Contains(coGenerator)) {
        WriteAlterGenerators(M, T, E, co);
        WriteDropGenerators(M, T, E, co);
    }
    if (co.Contains(coProcedure)) WriteAlterProcedures(*this);
    if (type == stMSSQL) {
        WriteDropDefaults(*this);
        WriteDropRules(*this);
    }
    if (packages) {
        WriteAlterPackages(*this, TPackagePart::Body);
        WriteCreatePackages(*this, TPackagePart::Body);
    }
    if (co.Contains(coTable)) {
        WriteColumnPositions(*this);
        WriteDropPublications(*this);
        WriteAlterPublications(*this);
        WriteCreatePublications(*this);
    }
    if (co.Contains(coRole)) {
        WriteCreateRoles(*this);
        WriteAlterRoles(*this);
    }
    if (type == stPostgreSQL) {
        WriteDropOperatorClasses(*this);
        WriteDropOperators(*this);
        WriteDropConversions(*this);
        WriteAlterRules(*this);
        WriteDropRules(*this);
    }
    WriteCreateEvents(*this);
    WriteAlterEvents(*this);
    WriteDropEvents(*this);
    WriteDropSchemas(*this);
    WriteDropCollations(*this);
    // Object grants belong to the grant passes as much as role and user grants do.
    if (HasAny(co, {coGrant, coRoleGrant, coUserGrant, coObjGrant})) {
        WriteDropGrants(*this);
        WriteCreateGrants(*this);
    }
    if (co.Contains(coRole)) WriteDropRoles(*this);
}

// ---- script header ----

void TQuarnel::WriteScriptHeader() {
    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    TCustomSQLExec* exec = SQLExec();
    if (!master || !target || !exec) return;
    const std::string& db = ConnectionOptions.DatabaseName;
    auto add = [&](const std::string& Text, TStatementKind Kind, const std::string& ObjName = {},
                   TDbObject ObjKind = dboUnknown, TStatementAction Action = saNone) {
        exec->AddStatement(Text, Kind, ObjName, ObjKind, Action);
    };

    switch (target->ServerType()) {
    case stInterBase: {
        const TIBServerOptions& o = target->IBServerOptions;
        const std::string info = o.GetDatabaseInfoComment();
        if (!Trim(info).empty()) exec->AddComment(info + CRLF);
        const std::string names = o.GetSetNamesStatement();
        if (!Trim(names).empty()) add(names, skSetNames, o.DBCharSet());
        if (o.SQLDialect == 2 || o.SQLDialect == 3)
            add(o.GetSetDialectStatement(), skSqlDialect, std::to_string(o.SQLDialect));
        add(o.GetConnectStatement(target->ConnectionOptions), skConnect);
        if (!o.IBCompareOptions.GenerateCOMMIT) add("SET AUTODDL ON", skSet);
        break;
    }
    case stMySQL: {
        const TMySQLServerOptions& o = target->MySQLServerOptions;
        if (!o.CharSet.empty()) add("SET CHARACTER SET " + o.CharSet, skCharSet);
        if (!o.Names.empty()) add("SET NAMES " + o.Names, skSetNames);
        if (!db.empty()) add("USE " + db, skConnect);
        break;
    }
    case stMSSQL: {
        const TMSSQLServerOptions& o = target->MSSQLServerOptions;
        if (!o.DBCharSet.empty()) add("-- Default character set: " + o.DBCharSet + CRLF, skComment);
        if (!o.Collation.empty()) add("-- Default collation: " + o.Collation + CRLF, skComment);
        if (!db.empty()) add("USE " + db, skConnect);
        if (master->MSSQLServerOptions.MSSQLDatabaseOptions.RecursiveTriggers &&
            !o.MSSQLDatabaseOptions.RecursiveTriggers)
            add("ALTER DATABASE " + QuoteName(db) + " SET RECURSIVE_TRIGGERS ON", skStatement, db, dboDatabase,
                saAlter);
        break;
    }
    case stASE: {
        const TASEDatabaseOptions& d = target->ASEServerOptions.ASEDatabaseOptions;
        if (!d.Header.empty()) exec->AddComment("-- " + d.Header);
        if (!db.empty()) exec->AddComment("-- Database: " + db);
        if (!d.Size.empty()) exec->AddComment("-- Size    : " + d.Size);
        if (!d.Owner.empty()) exec->AddComment("-- Owner   : " + d.Owner);
        if (!d.Created.empty()) exec->AddComment("-- Created : " + d.Created);
        if (!d.Options.empty()) exec->AddComment("-- Options : " + d.Options);
        if (!d.Header.empty()) exec->AddComment(CRLF);
        if (!db.empty()) add("use " + db, skConnect);
        const auto& masterSet = master->ASEServerOptions.ASEDatabaseOptions.DBOptionSet;
        const auto& targetSet = d.DBOptionSet;
        if (ASECompareOptions().CompareDBOptions && masterSet != targetSet && !db.empty()) {
            for (int i = 0; i < TASEDatabaseOptions::OptionCount; ++i) {
                if (masterSet[i] == targetSet[i]) continue;
                add("exec master.dbo.sp_dboption " + db + ", '" + TASEDatabaseOptions::GetOptionName(i) + "', " +
                        (masterSet[i] ? "True" : "False"),
                    skStatement, db, dboDatabase, saAlter);
            }
            add("checkpoint", skStatement, db, dboDatabase);
        }
        break;
    }
    case stOracle: {
        const TConnectionOptions& c = ConnectionOptions;
        if (!c.UserName.empty()) exec->AddComment("-- CONNECT " + c.UserName + "/*****" + "@" + c.DatabaseName + ";");
        if (!c.DatabaseName.empty() && c.DatabaseName != c.HostName)
            add("ALTER SESSION SET CURRENT_SCHEMA = " + c.DatabaseName, skSet);
        break;
    }
    default:
        break;
    }
}

void TQuarnel::WriteDatabaseCharset() {
    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    TCustomSQLExec* exec = SQLExec();
    if (!master || !target || !exec) return;
    if (target->ServerType() != stInterBase || !IBCompareOptions().DbCharsetCompare) return;
    const std::string& charset = master->IBServerOptions.DBCharSet();
    if (charset == target->IBServerOptions.DBCharSet()) return;
    const TIBSQLServerVersionType version = target->IBServerOptions.SQLServerVersion;
    auto statement = [&](const std::string& Text, TStatementKind Kind = skStatement) {
        exec->AddStatement(Text, Kind, {}, dboUnknown, saNone);
    };
    // Firebird 3 and later refuse updates of their system tables: they change the character
    // set only through ALTER DATABASE.
    if (!charset.empty()) {
        if (AtLeast(version, st_Firebird_30)) {
            statement("ALTER DATABASE SET DEFAULT CHARACTER SET " + charset);
            exec->AddComment("/* Database charset: " + charset + " */" + CRLF);
        } else {
            statement("UPDATE RDB$DATABASE SET RDB$CHARACTER_SET_NAME = " + QuotedStr(charset));
        }
        statement("SET NAMES " + charset, skCharSet);
    } else {
        if (IsFirebird3OrLater(version)) {
            statement("ALTER DATABASE SET DEFAULT CHARACTER SET NONE");
            exec->AddComment(std::string("/* Database charset: <none> */") + CRLF);
        } else {
            statement("UPDATE RDB$DATABASE SET RDB$CHARACTER_SET_NAME = Null");
        }
        statement("SET NAMES NONE", skCharSet);
    }
    exec->AddConnect();
}

} // namespace qnl
