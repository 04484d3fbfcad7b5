// The comparer's passes over tables, columns, column positions, schemas and publications.
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlComp_TblAlter.h"

namespace qnl {

namespace {

TTblData* AsTable(TDbObj* Obj) { return dynamic_cast<TTblData*>(Obj); }

bool HasDescriptions(const TCustomQuarnel& Q) { return Q.CompareObjects.Contains(coDescription); }

bool ColumnsEqual(const TCustomQuarnel& Q, TFldData& M, TFldData& T) {
    if (M.DataType == dtDomain && T.DataType == dtDomain) return M.DomainName == T.DomainName;
    if (M.IsComputed()) return M.Source() == T.Source() && !M.ComputedTypeDiffers(T);
    return M.GetTypeSQL() == T.GetTypeSQL() && M.Nullable == T.Nullable && M.DomainName == T.DomainName &&
           M.GetDefault() == T.GetDefault() && (M.Nullable || M.Rare().NotNullName == T.Rare().NotNullName) &&
           !IBCharSetsDiffer(Q, M, T);
}

} // namespace

void MatchTables(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    if (!master || !target) return;
    const TDbObjList& list = master->List(olTables);
    for (int i = 0; i < list.Count(); ++i) {
        TTblData* m = AsTable(list.Obj(i));
        TTblData* t = m ? AsTable(m->Counterpart) : nullptr;
        if (!t) continue;
        m->Matched = true;
        m->SetExists(true);
        m->Equal = true;
        const TServerType st = m->GetServerType();
        if (m->Description() != t->Description()) m->Equal = false;
        if (target->ServerType() == stMySQL && m->MySQLOptions.DefaultCharset != t->MySQLOptions.DefaultCharset)
            m->Equal = false;
        if ((st == stInterBase || st == stASA || st == stMSSQL) &&
            (m->GlobalTemporary != t->GlobalTemporary || m->OnCommit != t->OnCommit))
            m->Equal = false;
        if (st == stMySQL && m->MySQLOptions.Engine != t->MySQLOptions.Engine) m->Equal = false;
        for (int c = 0; c < m->GetColumnCount(); ++c) {
            TFldData* mc = m->Column(c);
            TFldData* tc = t->ColumnByName(mc->Name);
            if (!tc) {
                m->Equal = false;
                continue;
            }
            mc->ExistsInTarget = true;
            mc->Exists = true;
            tc->Exists = true;
            mc->CounterpartPosition = tc->Position;
            tc->CounterpartPosition = mc->Position;
            mc->Equal = ColumnsEqual(Q, *mc, *tc);
            if (!mc->Equal) m->Equal = false;
        }
    }
}

void WriteCreateTables(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !exec) return;
    bool opened = false;
    const TDbObjList& list = master->List(olTables);
    for (int i = 0; i < list.Count(); ++i) {
        TTblData* m = AsTable(list.Obj(i));
        if (!m || m->NoScript || m->GetExists()) continue;
        if (!opened) exec->AddComment(m->MakeComment("Create Table..."));
        opened = true;
        for (const bool plainOnly : {true, false}) {
            const TCreatePhase phase(*m, plainOnly);
            m->CreateDependDef();
        }
        if (HasDescriptions(Q)) {
            if (!m->Description().empty()) exec->AddDescription(m);
            for (int c = 0; c < m->GetColumnCount(); ++c)
                if (!m->Column(c)->Description().empty()) exec->AddDescription(m->Column(c));
        }
    }
    if (opened) exec->AddComment("\r\n");
}

void WriteCreateFields(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    if (!master) return;
    const TDbObjList& list = master->List(olTables);
    // Plain columns of the tables both sides have first, so that computed columns added in the
    // second walk find every column they read.
    for (bool plain : {true, false}) {
        for (int i = 0; i < list.Count(); ++i) {
            TTblData* m = AsTable(list.Obj(i));
            if (!m || m->NoScript || (plain && !m->Counterpart)) continue;
            m->SetCreatePhase(plain);
            for (int c = 0; c < m->GetColumnCount(); ++c) {
                TFldData* col = m->Column(c);
                if (col->NoScript || col->GetExists() || (plain && col->IsComputed())) continue;
                col->CreateDependDef();
                m->SetNeedsReorder(true);
            }
        }
    }
}

void WriteAlterTables(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const TDbObjList& list = master->List(olTables);
    for (int i = 0; i < list.Count(); ++i) {
        TTblData* m = AsTable(list.Obj(i));
        TTblData* t = m ? AsTable(m->Counterpart) : nullptr;
        if (!t || !m->Matched || m->Equal) continue;
        if (HasDescriptions(Q) && m->Description() != t->Description()) exec->AddDescription(m);
        if (m->GlobalTemporary != t->GlobalTemporary) {
            // The table cannot be changed in place: it is dropped with everything that depends
            // on it (the later passes write those again) and created anew, without its rows.
            exec->AddComment(m->MakeComment("WARNING: table " + m->Name +
                                            " is dropped and created again; the data of the table is lost"));
            t->DropForReplace();
            exec->AddStatement(m->GetCreateStatement(), skStatement, m->Name, dboTable, saCreate);
            m->SetExists(true);
            for (int c = 0; c < m->GetColumnCount(); ++c) m->Column(c)->SetExists(true);
            if (HasDescriptions(Q))
                for (int c = 0; c < m->GetColumnCount(); ++c)
                    if (!m->Column(c)->Description().empty()) exec->AddDescription(m->Column(c));
        }
        if (target->ServerType() == stMySQL) {
            const std::string head = "ALTER TABLE " + Q.QuoteName(m->Name);
            if (!m->MySQLOptions.Engine.empty() && !t->MySQLOptions.Engine.empty() &&
                m->MySQLOptions.Engine != t->MySQLOptions.Engine)
                exec->AddStatement(head + " ENGINE=" + m->MySQLOptions.Engine, skStatement, m->Name, dboTable, saAlter);
            if (!m->MySQLOptions.DefaultCharset.empty() &&
                m->MySQLOptions.DefaultCharset != t->MySQLOptions.DefaultCharset)
                exec->AddStatement(head + " DEFAULT CHARSET=" + m->MySQLOptions.DefaultCharset, skStatement, m->Name,
                                   dboTable, saAlter);
        }
    }
    WriteAlterColumns(Q);
    CheckColumnOrder(Q);
}

void CheckColumnOrder(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    if (!master) return;
    const TDbObjList& list = master->List(olTables);
    for (int i = 0; i < list.Count(); ++i) {
        TTblData* m = AsTable(list.Obj(i));
        TTblData* t = m ? AsTable(m->Counterpart) : nullptr;
        if (!t || m->GetColumnCount() != t->GetColumnCount()) continue;
        bool differs = false;
        bool complete = true;
        for (int c = 0; c < m->GetColumnCount() && complete; ++c) {
            TFldData* tc = t->ColumnByName(m->Column(c)->Name);
            if (!tc)
                complete = false;
            else if (tc->Position != m->Column(c)->Position)
                differs = true;
        }
        if (complete && differs) m->SetNeedsReorder(true);
    }
}

void WriteDropTables(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!target || !exec) return;
    const TDbObjList& list = target->List(olTables);
    bool opened = false;
    for (int i = 0; i < list.Count(); ++i) {
        TTblData* t = AsTable(list.Obj(i));
        TTblData* m = t ? AsTable(t->Counterpart) : nullptr;
        if (!m || t->NoScript) continue;
        for (int c = 0; c < t->GetColumnCount(); ++c) {
            TFldData* tc = t->Column(c);
            if (m->ColumnByName(tc->Name) || !tc->GetExists()) continue;
            if (!opened) exec->AddComment(t->MakeComment("Drop table-fields..."));
            opened = true;
            tc->DoDrop();
            m->SetNeedsReorder(true);
        }
    }
    if (opened) exec->AddComment("\r\n");
    opened = false;
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* t = list.Obj(i);
        if (t->NoScript || t->Counterpart || !t->GetExists()) continue;
        if (!opened) {
            exec->AddConnect();
            exec->AddComment(t->MakeComment("Drop tables..."));
        }
        opened = true;
        t->DoDrop();
    }
    if (opened) exec->AddComment("\r\n");
}

void WriteIBColumnPositions(TCustomQuarnel& Q, TTblData& Table) {
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!target || !exec || !Table.NeedsReorder) return;
    const TIBSQLServerVersionType v = target->IBServerOptions.SQLServerVersion;
    for (int i = 0; i < Table.GetColumnCount(); ++i) {
        TFldData* c = Table.Column(i);
        if (c->GetServerType() != stInterBase) continue;
        const std::string pos = std::to_string(i + 1);
        std::string s;
        if (v == st_InterBase_4x || v == st_InterBase_5x)
            s = "UPDATE RDB$RELATION_FIELDS SET RDB$FIELD_POSITION = " + pos + "\r\n" +
                " WHERE RDB$RELATION_NAME = " + QuoteSQLString(Table.Name, stInterBase) +
                " AND RDB$FIELD_NAME = " + QuoteSQLString(c->GetKeyName(), stInterBase);
        else
            s = "ALTER TABLE " + Q.QuoteName(Table.Name) + " ALTER COLUMN " + Q.QuoteName(c->Name) + " POSITION " + pos;
        exec->AddStatement(s, skStatement, c->Name, dboField, saAlter, Table.Name);
    }
    Table.SetNeedsReorder(false);
}

void WriteColumnPositions(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    if (!master || !target) return;
    if (target->ServerType() == stMSSQL && Q.MSSQLCompareOptions().UpdateColumnPosition) {
        WriteMSSQLRecreateTables(Q);
        return;
    }
    if (target->ServerType() != stInterBase || !Q.IBCompareOptions().UpdateFieldPosition) return;
    const TDbObjList& list = master->List(olTables);
    for (int i = 0; i < list.Count(); ++i)
        if (TTblData* m = AsTable(list.Obj(i)); m && !m->NoScript) WriteIBColumnPositions(Q, *m);
}

// ---- fix-ups ----

void MergeMySQLTableOptions(TDbObj& MasterTable, TDbObj& TargetTable) {
    TTblData* m = AsTable(&MasterTable);
    TTblData* t = AsTable(&TargetTable);
    if (!m || !t) return;
    auto fill = [](std::string& A, std::string& B) {
        if (A.empty() && !B.empty()) A = B;
        if (B.empty() && !A.empty()) B = A;
    };
    fill(m->MySQLOptions.Engine, t->MySQLOptions.Engine);
    if (m->MySQLOptions.DefaultCharset.empty() && !t->MySQLOptions.DefaultCharset.empty())
        m->MySQLOptions.SetDefaultCharSet(t->MySQLOptions.DefaultCharset);
    if (t->MySQLOptions.DefaultCharset.empty() && !m->MySQLOptions.DefaultCharset.empty())
        t->MySQLOptions.SetDefaultCharSet(m->MySQLOptions.DefaultCharset);
    fill(m->MySQLOptions.DefaultCollate, t->MySQLOptions.DefaultCollate);
}

void MergeOracleTableStorage(TDbObj& MasterTable, TDbObj& TargetTable) {
    TTblData* m = AsTable(&MasterTable);
    TTblData* t = AsTable(&TargetTable);
    if (!m || !t) return;
    TTableSpace::Merge(m->TableSpace, t->TableSpace);
    auto clearOneSided = [](std::string& A, std::string& B) {
        if (A.empty() != B.empty()) {
            A.clear();
            B.clear();
        }
    };
    clearOneSided(m->Storage, t->Storage);
    clearOneSided(m->TablespaceName, t->TablespaceName);
}

// ---- schemas ----

namespace {

bool SchemaTarget(const TCustomObjs& Target) {
    const TServerType st = Target.ServerType();
    return st == stOracle || st == stMSSQL || st == stPostgreSQL || st == stDB2;
}

// The PostgreSQL "public" schema and an MSSQL schema named as its system name are the server's own.
bool ServerSchema(const TDbObj& S) {
    const TServerType st = S.GetServerType();
    return (st == stPostgreSQL && S.Name == "public") || (st == stMSSQL && S.Name == S.SystemName());
}

} // namespace

void WriteCreateSchemas(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec || !SchemaTarget(*target)) return;
    const TDbObjList& list = master->List(olSchemas);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* s = list.Obj(i);
        if (s->NoScript || ServerSchema(*s) || (s->Counterpart && s->GetExists())) continue;
        s->CreateDependDef();
    }
}

void WriteAlterSchemas(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec || !SchemaTarget(*target)) return;
    const TDbObjList& list = master->List(olSchemas);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* s = list.Obj(i);
        if (!s->Counterpart || s->Description() == s->Counterpart->Description()) continue;
        if (target->ServerType() == stPostgreSQL && s->Name == "public") continue;
        exec->AddDescription(s);
    }
}

void WriteDropSchemas(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    if (!target || !SchemaTarget(*target)) return;
    const TDbObjList& list = target->List(olSchemas);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* s = list.Obj(i);
        if (s->NoScript || ServerSchema(*s) || s->Counterpart || !s->GetExists()) continue;
        s->DoDrop();
    }
}

// ---- publications ----

void WriteCreatePublications(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    if (!master) return;
    const TDbObjList& list = master->List(olPublications);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* p = list.Obj(i);
        if (!(p->Counterpart && p->GetExists())) p->CreateDependDef();
    }
}

void WriteAlterPublications(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    if (!master) return;
    const TDbObjList& list = master->List(olPublications);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* p = list.Obj(i);
        if (!p->Counterpart || p->GetCreateSQL() == p->Counterpart->GetCreateSQL()) continue;
        p->Counterpart->DoDrop();
        p->CreateDependDef();
    }
}

void WriteDropPublications(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    if (!target) return;
    const TDbObjList& list = target->List(olPublications);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* p = list.Obj(i);
        if (!p->Counterpart && p->GetExists()) p->DoDrop();
    }
}

} // namespace qnl
