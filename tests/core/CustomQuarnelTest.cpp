#include "core/qnlCustomQuarnel.h"

#include <gtest/gtest.h>

#include <memory>

using namespace qnl;

namespace {
// A comparer whose Compare, like the real one, writes into its own executor when none is assigned.
class Comparer : public TCustomQuarnel {
public:
    using TCustomQuarnel::TCustomQuarnel;
    bool ExtractResult = false;
    int Compares = 0;
    bool Extract() override { return ExtractResult; }
    void Compare() override {
        ++Compares;
        if (!SQLExec()) OwnSQLExec();
        SQLExec()->AddStatement("CREATE TABLE T (A INTEGER)", skStatement, "T", dboTable, saCreate);
    }
};
} // namespace

TEST(CustomQuarnel, Defaults) {
    Comparer q;
    EXPECT_EQ(q.CompareObjects.Bits(), 8388607u);
    EXPECT_TRUE(q.ShowFullLog());
    EXPECT_EQ(q.SQLExec(), nullptr);
    EXPECT_FALSE(q.ExtractMasterEnabled || q.ExtractTargetEnabled || q.CompareEnabled);
    EXPECT_EQ(q.GetMasterObjs(), nullptr);
    EXPECT_EQ(q.QuoteName("my col"), "my col") << "no target: the name stays bare";
}

TEST(CustomQuarnel, StructuresAreLinkedAsSidesAndUnlinkedWhenReplaced) {
    Comparer q;
    TDBStructure master, target, other;
    q.SetDBStructureMaster(&master);
    EXPECT_EQ(master.Objs()->Side, sideMaster) << "the side is set at once";
    EXPECT_EQ(master.Objs()->CounterpartObjs, nullptr);
    q.SetDBStructureTarget(&target);
    EXPECT_EQ(target.Objs()->Side, sideTarget);
    EXPECT_EQ(master.Objs()->CounterpartObjs, target.Objs());
    EXPECT_EQ(target.Objs()->CounterpartObjs, master.Objs());

    q.SetDBStructureMaster(&master);
    EXPECT_EQ(master.Objs()->Side, sideMaster);
    EXPECT_EQ(master.Objs()->CounterpartObjs, target.Objs()) << "the same structure again keeps its links";

    q.SetDBStructureTarget(&other);
    EXPECT_EQ(target.Objs()->CounterpartObjs, nullptr);
    EXPECT_EQ(master.Objs()->CounterpartObjs, other.Objs());
    EXPECT_EQ(other.Objs()->CounterpartObjs, master.Objs());

    q.SetDBStructureMaster(nullptr);
    EXPECT_EQ(other.Objs()->CounterpartObjs, nullptr) << "no link to a container the comparer let go";
    EXPECT_EQ(master.Objs()->CounterpartObjs, nullptr);
}

TEST(CustomQuarnel, FreedStructuresAndExtractorsLeaveNoReferences) {
    Comparer q;
    TDBStructure target;
    auto master = std::make_unique<TDBStructure>();
    q.SetDBStructureMaster(master.get());
    q.SetDBStructureTarget(&target);
    master.reset();
    EXPECT_EQ(q.DBStructureMaster(), nullptr);
    EXPECT_EQ(target.Objs()->CounterpartObjs, nullptr);

    auto extractor = std::make_unique<TCustomExtract>();
    q.SetExtractorTarget(extractor.get());
    q.SetExtractorMaster(extractor.get());
    q.SetExtractorMaster(nullptr);
    extractor.reset();
    EXPECT_EQ(q.ExtractorTarget(), nullptr) << "still registered for the target after leaving the master";

    // A comparer freed before its structures leaves them unlinked.
    TDBStructure a, b;
    {
        Comparer inner;
        inner.SetDBStructureMaster(&a);
        inner.SetDBStructureTarget(&b);
    }
    EXPECT_EQ(a.Objs()->CounterpartObjs, nullptr);
    EXPECT_EQ(b.Objs()->CounterpartObjs, nullptr);
}

TEST(CustomQuarnel, ShowFullLogReachesTheExtractors) {
    Comparer q;
    q.SetShowFullLog(false);
    TDBStructure s;
    TCustomExtract e;
    e.SetDBStructure(&s);
    q.SetDBStructureTarget(&s);
    EXPECT_FALSE(e.ShowFullLog) << "a structure assigned later passes the setting on";
    q.SetShowFullLog(true);
    EXPECT_TRUE(e.ShowFullLog);
}

TEST(CustomQuarnel, OwnExecutorIsReplacedAndFreedOnce) {
    Comparer q;
    std::vector<std::string> errors;
    q.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
    TDBStructure master, target;
    q.SetDBStructureMaster(&master);
    q.SetDBStructureTarget(&target);

    q.ExtractAndCompare();
    EXPECT_EQ(q.Compares, 0) << "no Compare after a failed Extract";
    q.ExtractResult = true;
    q.ExtractAndCompare();
    ASSERT_EQ(q.Compares, 1);
    TCustomSQLExec* own = q.SQLExec();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->ClassName(), "TSQLExec");
    own->DoErrorMessage("from the executor");
    EXPECT_EQ(errors, (std::vector<std::string>{"from the executor"})) << "the own executor reports through the comparer's handler";

    // The own executor assigned, then replaced: it is freed, and a container that wrote to it
    // forgets it.
    q.SetSQLExec(own);
    target.Objs()->SetSQLExec(own);
    TSQLExec assigned;
    q.SetSQLExec(&assigned);
    EXPECT_EQ(q.SQLExec(), &assigned);
    EXPECT_EQ(target.Objs()->SQLExec(), nullptr);

    auto temporary = std::make_unique<TSQLExec>();
    q.SetSQLExec(temporary.get());
    temporary.reset();
    EXPECT_EQ(q.SQLExec(), nullptr) << "a freed executor is no longer answered";
}

TEST(CustomQuarnel, QuoteNameUsesTheTargetDialect) {
    Comparer q;
    TDBStructure target;
    target.Objs()->SetServerType(stInterBase);
    q.SetDBStructureTarget(&target);
    EXPECT_EQ(q.QuoteName("my col"), "\"my col\"");
    target.Objs()->IBServerOptions.SQLDialect = 1;
    EXPECT_EQ(q.QuoteName("my col"), "my col");
}

TEST(CustomQuarnel, CompareOptionsAreCopiedNotReplaced) {
    Comparer q;
    TIBCompareOptions o;
    o.GenerateCOMMIT = true;
    o.UseRECONNECT = false;
    TIBCompareOptions* before = &q.IBCompareOptions();
    q.SetIBCompareOptions(o);
    EXPECT_EQ(&q.IBCompareOptions(), before);
    EXPECT_TRUE(q.IBCompareOptions().GenerateCOMMIT);
    EXPECT_TRUE(q.IBCompareOptions().UseRECONNECT) << "Assign keeps the receiver's UseRECONNECT";
}
