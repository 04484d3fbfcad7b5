// Dependency linking over the product's own object kinds (tables and their columns, indices,
// constraints, procedures): every hook the parser asks must be answered by these classes, not
// only by stand-ins.
#include "LinkFixture.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnl {
namespace {

using Strings = std::vector<std::string>;
using test::Deps;

class KindLink : public test::LinkFixture {
protected:
    TTblData* Table(const std::string& Name) {
        auto* t = new TTblData(&Objs);
        t->Name = Name;
        Objs.AddDbObject(t);
        return t;
    }
    // A column; "NAME:DOMAIN" gives a column typed by that domain.
    TFldData* Column(TTblData* T, const std::string& Text) {
        auto c = std::make_unique<TFldData>(&Objs, T);
        const size_t colon = Text.find(':');
        c->Name = Text.substr(0, colon);
        c->OwnerName = T->Name;
        c->DataType = dtInteger;
        if (colon != std::string::npos) {
            c->DataType = dtDomain;
            c->DomainName = Text.substr(colon + 1);
        }
        return T->AddColumn(std::move(c));
    }
    // A domain is filed as the container files any object of its list; the column side is what
    // is under test here.
    TDbObj* Domain(const std::string& Name) {
        auto* d = new TDbObj(&Objs);
        d->Kind = dboDomain;
        d->Name = Name;
        Objs.List(olDomains).AddObject(Name, d);
        return d;
    }
};

TEST_F(KindLink, AViewReadingAColumnNeedsTheDomainsOfTheTablesColumns) {
    Domain("D_MONEY");
    Domain("D_NAME");
    TTblData* t = Table("ORDERS");
    Column(t, "ID");
    Column(t, "AMOUNT:D_MONEY");
    Column(t, "CUSTOMER:D_NAME");
    Column(t, "NOTE:D_MISSING");
    // A column typed by another column (TYPE OF COLUMN) names no domain.
    TFldData* typeOf = Column(t, "COPY");
    typeOf->DataType = dtDomain;
    typeOf->TypeOf = true;
    typeOf->SetRare().TypeOfTable = "ORDERS";
    typeOf->SetRare().TypeOfColumn = "ID";
    EXPECT_EQ(typeOf->GetDomainName(), "");

    TDbObj view(&Objs);
    view.Kind = dboView;
    view.Name = "V_ORDERS";
    From({{"ORDERS", "O"}});
    P.ResolveColumnRef(&view, "O", "ID");
    EXPECT_EQ(Deps(&view), (Strings{"ORDERS.ID", "D_MONEY", "D_NAME"}));
}

TEST_F(KindLink, ColumnsIndicesKeysAndProcedureOutputsLinkThroughTheRealKinds) {
    TTblData* parent = Table("PARENT");
    Column(parent, "ID");
    Column(parent, "CODE");
    TTblData* child = Table("CHILD");
    Column(child, "ID");
    Column(child, "PARENT_ID");

    auto* idx = new TIdxData(&Objs);
    idx->Name = "IDX_CODE";
    idx->TableName = "PARENT";
    idx->AddField("CODE");
    idx->AddField("NOT_THERE");
    Objs.AddDbObject(idx);
    auto* pk = new TCtrData(&Objs);
    pk->SetConstraintType(ctPrimaryKey);
    pk->Name = "PK_PARENT";
    pk->SetTableName("PARENT");
    pk->AddField("ID");
    Objs.AddDbObject(pk);
    auto* fk = new TCtrData(&Objs);
    fk->SetConstraintType(ctForeignKey);
    fk->Name = "FK_CHILD";
    fk->SetTableName("CHILD");
    fk->AddField("PARENT_ID");
    fk->SetRefTableName("PARENT");
    fk->AddRefField("ID");
    Objs.AddDbObject(fk);

    auto* proc = new TPrcData(&Objs);
    proc->Name = "P_LIST";
    proc->AddOutputParam("TOTAL", dtInteger);
    Objs.AddDbObject(proc);

    P.AfterParse();
    EXPECT_EQ(Deps(idx), (Strings{"PARENT", "PARENT.CODE"}));
    EXPECT_EQ(Deps(pk), (Strings{"PARENT", "PARENT.ID"}));
    EXPECT_EQ(Deps(fk), (Strings{"CHILD", "CHILD.PARENT_ID", "PARENT", "PARENT.ID", "PK_PARENT"}));

    // Column references resolve to the relation that has the column: a table's column list or
    // a procedure's outputs.
    TDbObj view(&Objs);
    view.Kind = dboView;
    From({{"CHILD", "C"}, {"P_LIST", ""}});
    P.ResolveColumnRef(&view, "", "TOTAL");
    P.ResolveColumnRef(&view, "", "PARENT_ID");
    EXPECT_EQ(Deps(&view), (Strings{"P_LIST", "CHILD.PARENT_ID"}));
}

} // namespace
} // namespace qnl
