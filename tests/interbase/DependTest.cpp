// Dependency recording: column references resolved through FROM lists, named objects, and the
// links made after a whole structure has been read. Containers are filled in code.
#include "interbase/qnlParser.h"

#include "LinkFixture.h"
#include "TestKinds.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::Obj;

// Columns and parameters: owned by their relation, typed by a domain when one is named.
class Col : public TDbObj {
public:
    Col(TCustomObjs* C, TDbObj* AOwner, std::string AName, std::string ADomain = {}, TDbObject K = dboField)
        : TDbObj(C), FOwner(AOwner), FDomain(std::move(ADomain)) {
        Kind = K;
        Name = std::move(AName);
    }
    TDbObj* GetOwner() const override { return FOwner; }
    std::string GetOwnerName() const override { return FOwner->Name; }
    std::string GetDomainName() const override { return FDomain; }

private:
    TDbObj* FOwner;
    std::string FDomain;
};

// A table or view: columns given as "NAME" or "NAME:DOMAIN".
class Relation : public Obj {
public:
    Relation(TCustomObjs* C, TDbObject K, const std::string& AName, const std::vector<std::string>& Cols)
        : Obj(C, K, K == dboTable ? olTables : olViews, AName) {
        for (const std::string& c : Cols) {
            const size_t colon = c.find(':');
            FCols.push_back(colon == std::string::npos ? std::make_unique<Col>(C, this, c)
                                                       : std::make_unique<Col>(C, this, c.substr(0, colon), c.substr(colon + 1)));
        }
    }
    int GetColumnCount() const override { return static_cast<int>(FCols.size()); }
    TDbObj* GetColumn(int I) const override { return FCols.at(static_cast<size_t>(I)).get(); }

private:
    std::vector<std::unique_ptr<Col>> FCols;
};

class Proc : public Obj {
public:
    Proc(TCustomObjs* C, const std::string& AName, const std::vector<std::string>& Outputs = {})
        : Obj(C, dboProcedure, olProcedures, AName) {
        for (const std::string& o : Outputs) FOut.push_back(std::make_unique<Col>(C, this, o, "", dboParam));
    }
    int GetOutputParamCount() const override { return static_cast<int>(FOut.size()); }
    TDbObj* GetOutputParam(int I) const override { return FOut.at(static_cast<size_t>(I)).get(); }

private:
    std::vector<std::unique_ptr<Col>> FOut;
};

TStringList Names(const std::vector<std::string>& V) {
    TStringList l;
    for (const std::string& s : V) l.Add(s);
    return l;
}

class Index : public Obj {
public:
    Index(TCustomObjs* C, const std::string& AName, std::string ATable, const std::vector<std::string>& AFields)
        : Obj(C, dboIndex, olIndices, AName), Table(std::move(ATable)), Fields(Names(AFields)) {}
    std::string GetOwnerName() const override { return Table; }
    const TStringList* GetKeyFields() const override { return &Fields; }
    std::string Table;
    TStringList Fields;
};

class Constraint : public Obj {
public:
    Constraint(TCustomObjs* C, const std::string& AName, int AType, std::string ATable,
               const std::vector<std::string>& AFields, std::string ARefTable = {},
               const std::vector<std::string>& ARefFields = {})
        : Obj(C, AType == 0 ? dboPKey : AType == 1 ? dboUnique : dboFKey, olConstraints, AName), Type(AType),
          Table(std::move(ATable)), RefTable(std::move(ARefTable)), Fields(Names(AFields)), RefFields(Names(ARefFields)) {}
    std::string GetOwnerName() const override { return Table; }
    int GetConstraintType() const override { return Type; }
    const TStringList* GetKeyFields() const override { return &Fields; }
    std::string GetRefTableName() const override { return RefTable; }
    std::string GetRefSchema() const override { return RefSchema; }
    const TStringList* GetRefFields() const override { return &RefFields; }
    int Type;
    std::string Table, RefTable, RefSchema;
    TStringList Fields, RefFields;
};

class GrantOn : public Obj {
public:
    GrantOn(TCustomObjs* C, TDbObject OK, std::string On, TDbObject GK, std::string To)
        : Obj(C, dboGrant, olGrants, On + "->" + To), ObjKind(OK), GranteeKind(GK), ObjName(std::move(On)),
          Grantee(std::move(To)) {}
    TDbObject GetGrantObjectKind() const override { return ObjKind; }
    std::string GetGrantObjectName() const override { return ObjName; }
    TDbObject GetGranteeKind() const override { return GranteeKind; }
    std::string GetGrantee() const override { return Grantee; }
    TDbObject ObjKind, GranteeKind;
    std::string ObjName, Grantee;
};

// Roles, logins and users share one list; the kind keeps equal names apart.
class Role : public Obj {
public:
    Role(TCustomObjs* C, const std::string& AName, int AKind) : Obj(C, dboRole, olRoles, AName), RoleKind(AKind) {}
    int GetRoleKind() const override { return RoleKind; }
    std::string GetKeyName() const override { return std::to_string(RoleKind) + ":" + Name; }
    int RoleKind;
};

using Strings = std::vector<std::string>;
using test::Deps;

class DependFixture : public test::LinkFixture {
protected:
    template <typename T, typename... A>
    T* Add(A&&... Args) {
        auto* o = new T(&Objs, std::forward<A>(Args)...);
        Objs.AddDbObject(o);
        return o;
    }
};

TEST_F(DependFixture, ColumnReferencesResolveThroughTheFromList) {
    Add<Relation>(dboTable, "T1", Strings{"A", "B"});
    Add<Relation>(dboTable, "T2", Strings{"B", "C"});
    Add<Relation>(dboTable, "OUTER_T", Strings{"D"});
    Proc* p = Add<Proc>("P");

    From({{"OUTER_T", ""}});
    From({{"T1", "X"}, {"T2", "Y"}, {"MISSING", "M"}});
    P.ResolveColumnRef(p, "Y", "B");   // through the alias
    P.ResolveColumnRef(p, "", "B");    // both have B: the first relation in FROM order
    P.ResolveColumnRef(p, "", "C");
    P.ResolveColumnRef(p, "T1", "A");  // a relation name stands for its own alias
    P.ResolveColumnRef(p, "", "D");    // found in the outer query
    P.ResolveColumnRef(p, "X", "B");   // repeated: recorded once
    P.ResolveColumnRef(p, "", "NOPE");  // no relation has it
    P.ResolveColumnRef(p, "M", "A");   // the alias names a relation the container lacks
    P.ResolveColumnRef(p, "Q", "A");   // an alias no context knows
    P.ResolveColumnRef(p, "X", "NOPE");
    EXPECT_EQ(Deps(p), (Strings{"T2.B", "T1.B", "T2.C", "T1.A", "OUTER_T.D"}));
    EXPECT_EQ(p->DependsOn.Items(0)->RefLine, P.GetLine());
}

TEST_F(DependFixture, StarAndProcedureOutputsAndViews) {
    Add<Relation>(dboTable, "T1", Strings{"A"});
    Add<Relation>(dboView, "V1", Strings{"VA"});
    Add<Proc>("SP", Strings{"OUTX"});
    Proc* p = Add<Proc>("P");
    Proc* q = Add<Proc>("Q");

    From({{"T1", "A1"}, {"V1", ""}, {"SP", "S"}});
    P.ResolveColumnRef(p, "S", "*");  // only the aliased relation
    EXPECT_EQ(Deps(p), Strings{"SP"});
    P.ResolveColumnRef(q, "", "*");   // every relation of the innermost FROM list
    P.ResolveColumnRef(q, "", "VA");  // a view column
    P.ResolveColumnRef(q, "", "OUTX");  // a procedure's output parameter: the procedure itself
    EXPECT_EQ(Deps(q), (Strings{"T1", "V1", "SP", "V1.VA"}));
}

TEST_F(DependFixture, BareNamesAreGeneratorsUnlessLocal) {
    Add<Obj>(dboGenerator, olGenerators, "GEN");
    Add<Obj>(dboGenerator, olGenerators, "LOCALV");
    Add<Relation>(dboTable, "GEN_T", Strings{"GEN"});
    Proc* p = Add<Proc>("P");
    P.LocalNames.Add("LOCALV");
    P.ResolveColumnRef(p, "", "GEN");     // no context at all
    P.ResolveColumnRef(p, "", "LOCALV");  // a declared variable, never a schema object
    EXPECT_EQ(Deps(p), Strings{"GEN"});

    Proc* q = Add<Proc>("Q");
    TParseContext* c = P.PushContext();
    c->Tables.Add("GEN_T");
    c->Aliases.Add("");
    P.ResolveColumnRef(q, "", "GEN");  // a context not yet resolvable records nothing
    EXPECT_TRUE(Deps(q).empty());
    P.PopContext();
    From({});
    P.ResolveColumnRef(q, "", "GEN");  // resolvable but empty: a bare name again
    EXPECT_EQ(Deps(q), Strings{"GEN"});
}

TEST_F(DependFixture, AViewReadingATableColumnNeedsTheTablesDomains) {
    Add<Obj>(dboDomain, olDomains, "D1");
    Add<Obj>(dboDomain, olDomains, "D2");
    Add<Relation>(dboTable, "T", Strings{"A:D1", "B:D2", "C", "E:MISSING_D"});
    auto* v = Add<Relation>(dboView, "V", Strings{});
    From({{"T", ""}});
    P.ResolveColumnRef(v, "", "C");
    EXPECT_EQ(Deps(v), (Strings{"T.C", "D1", "D2"}));
}

TEST_F(DependFixture, LinkDependLooksNamesUpByKind) {
    Add<Relation>(dboTable, "X", Strings{});
    Add<Relation>(dboView, "X", Strings{});
    Add<Obj>(dboException, olExceptions, "E");
    Add<Obj>(dboIndex, olIndices, "E");
    Add<Obj>(dboGenerator, olGenerators, "RDB$GEN");
    Add<Obj>(dboFunction, olUDFs, "F");
    Proc* p = Add<Proc>("P");

    P.LinkDepend(p, "X", {dboView, dboTable});  // tables are looked up before views
    P.LinkDepend(p, "E", {dboException});
    P.LinkDepend(p, "P", {dboProcedure});      // a procedure calling itself
    P.LinkDepend(p, "rdb$gen", {dboGenerator});
    P.LinkDepend(p, "RDB$GEN", {dboGenerator});  // system names record nothing for InterBase/Firebird
    P.LinkDepend(p, "F", {dboTable, dboFunction});
    P.LinkDepend(p, "NOWHERE", {dboTable, dboView, dboProcedure});
    P.LinkDepend(p, "E", {dboException});  // once only
    EXPECT_EQ(Deps(p), (Strings{"X", "E", "F"}));
    EXPECT_EQ(p->DependsOn.Items(0)->Ref->Kind, dboTable);
    EXPECT_EQ(p->DependsOn.Items(1)->Ref->Kind, dboException);

    TCustomSQLParser bare;  // no container: nothing
    bare.LinkDepend(p, "F", {dboFunction});
    bare.ResolveColumnRef(p, "", "F");
    EXPECT_EQ(p->DependsOn.Count(), 3);
}

TEST_F(DependFixture, AfterParseLinksIndicesConstraintsGrantsAndUsers) {
    Add<Relation>(dboTable, "T", Strings{"A", "B"});
    Add<Relation>(dboTable, "T2", Strings{"ID", "K"});
    Proc* p = Add<Proc>("P");
    Index* idx = Add<Index>("I", "T", Strings{"A", "Z"});
    Index* lost = Add<Index>("I2", "NO_TABLE", Strings{"A"});
    Constraint* pk = Add<Constraint>("PK", 0, "T2", Strings{"ID", "K"});
    Constraint* uq = Add<Constraint>("UQ", 1, "T2", Strings{"K", "ID"});
    Constraint* fk = Add<Constraint>("FK", 2, "T", Strings{"A", "B"}, "T2", Strings{"K", "ID"});
    GrantOn* g1 = Add<GrantOn>(dboTable, "T", dboProcedure, "P");
    GrantOn* g2 = Add<GrantOn>(dboProcedure, "NO_PROC", dboTable, "T");  // tables are never grantees
    Role* login = Add<Role>("BOB", 1);
    Role* user = Add<Role>("BOB", 2);
    Role* orphan = Add<Role>("ANN", 2);

    P.AfterParse();
    EXPECT_EQ(Deps(idx), (Strings{"T", "T.A"}));
    EXPECT_TRUE(Deps(lost).empty());
    EXPECT_EQ(Deps(pk), (Strings{"T2", "T2.ID", "T2.K"}));
    // The foreign key needs the unique key with its columns in the same order, not the primary key.
    EXPECT_EQ(Deps(fk), (Strings{"T", "T.A", "T.B", "T2", "T2.K", "T2.ID", "UQ"}));
    EXPECT_EQ(Deps(uq), (Strings{"T2", "T2.K", "T2.ID"}));
    EXPECT_EQ(Deps(g1), (Strings{"T", "P"}));
    EXPECT_TRUE(Deps(g2).empty());
    EXPECT_EQ(Deps(user), Strings{"BOB"});
    EXPECT_EQ(user->DependsOn.Items(0)->Ref, login);
    EXPECT_TRUE(Deps(orphan).empty());
    EXPECT_EQ(p->UsedBy.Count(), 1);

    P.AfterParse();  // a second run adds nothing
    EXPECT_EQ(Deps(fk).size(), 7u);
}

TEST_F(DependFixture, QualifiedTableNamesPerServerType) {
    // MSSQL files tables under schema.name; the index's schema qualifies its table name.
    TObjs objs;
    objs.SetServerType(stMSSQL);
    TCustomSQLParser p;
    p.Objs = &objs;
    p.SetServerType(stMSSQL);
    auto* t = new Relation(&objs, dboTable, "T", Strings{"A"});
    t->Schema = "dbo";
    objs.AddDbObject(t);
    auto* idx = new Index(&objs, "I", "T", Strings{"A"});
    idx->Schema = "dbo";
    objs.AddDbObject(idx);
    auto* fk = new Constraint(&objs, "FK", 2, "T", Strings{"A"}, "T", Strings{"A"});
    fk->Schema = "dbo";  // no referenced schema: the constraint's own
    objs.AddDbObject(fk);
    p.AfterParse();
    EXPECT_EQ(Deps(idx), (Strings{"T", "T.A"}));
    EXPECT_EQ(Deps(fk), (Strings{"T", "T.A"}));
}

} // namespace
} // namespace qnl
