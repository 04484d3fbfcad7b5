#include "datasets/DSContainer.h"

#include "../platform/VectorDataSet.h"

#include <gtest/gtest.h>

#include <thread>

using namespace qnl;
using test::TVectorDataSet;

TEST(DataSetsContainer, ChainHearsTopFirstAndPassesOnWhenInactive) {
    TDataSetsContainer a, b;
    a.SetName("A");
    b.SetName("B");
    std::vector<std::string> heard;
    a.OnDataSetEvent = [&](TDataSet*, TKindDataSetEvent E) { heard.push_back("A" + std::to_string(E)); };
    b.OnDataSetEvent = [&](TDataSet*, TKindDataSetEvent E) { heard.push_back("B" + std::to_string(E)); };
    TVectorDataSet ds;
    b.AddDataSet(&ds);
    b.SetMasterContainer(&a);
    EXPECT_EQ(a.DataSetCount(), 1);   // a master lists the data sets below it

    b.DataSetEvent(&ds, deAfterPost);
    EXPECT_EQ(heard, (std::vector<std::string>{"A9", "B9"}));
    heard.clear();
    b.Active = false;
    b.DataSetEvent(&ds, deBeforeScroll);
    EXPECT_EQ(heard, (std::vector<std::string>{"A14"}));

    // Errors, default values and repository settings go the same way.
    std::vector<std::string> order;
    a.OnDataSetError = [&](TDataSet*, TKindDataSetError, EDatabaseError&, TDataAction& Action) {
        order.push_back("A");
        Action = daRetry;
    };
    b.Active = true;
    b.OnDataSetError = [&](TDataSet*, TKindDataSetError K, EDatabaseError&, TDataAction& Action) {
        order.push_back("B" + std::to_string(K) + (Action == daRetry ? " sees retry" : ""));
    };
    EDatabaseError error("x");
    TDataAction action = daFail;
    b.DataSetError(&ds, deOnPostError, error, action);
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B1 sees retry"}));
    bool applied = false;
    a.OnApplyDefaultValue = [](TDataSet*, TField*, bool& Applied) { Applied = true; };
    b.ApplyDefaultValue(&ds, nullptr, applied);
    EXPECT_TRUE(applied);

    // Comparison and blob progress are not chained and ignore Active.
    int result = 0;
    EXPECT_FALSE(b.CompareFieldValues(nullptr, Variant(1), Variant(2), result));
    b.Active = false;
    b.OnCompareFieldValues = [](TField*, const Variant&, const Variant&, bool& Compared) {
        Compared = true;
        return -1;
    };
    EXPECT_TRUE(b.CompareFieldValues(nullptr, Variant(1), Variant(2), result));
    EXPECT_EQ(result, -1);
    bool stop = false;
    b.OnReadBlobField = [](TBlobField*, int Size, int Progress, bool& Stop) { Stop = Progress >= Size; };
    b.ReadBlobProgress(nullptr, 10, 10, stop);
    EXPECT_TRUE(stop);

    // Moving B under another master moves its data sets there.
    TDataSetsContainer c;
    b.SetMasterContainer(&c);
    EXPECT_EQ(a.DataSetCount(), 0);
    EXPECT_EQ(c.DataSetCount(), 1);
}

TEST(DataSetsContainer, CircularLinksAreRefused) {
    TDataSetsContainer a, b, c;
    b.SetMasterContainer(&a);
    c.SetMasterContainer(&b);
    for (TDataSetsContainer* master : {&b, &c}) {
        try {
            a.SetMasterContainer(master);
            ADD_FAILURE() << "linked";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Circular link is not allowed.");
        }
    }
    EXPECT_THROW(a.SetMasterContainer(&a), Exception);
    EXPECT_EQ(a.MasterContainer(), nullptr);
    EXPECT_EQ(c.MasterContainer(), &b);
}

TEST(DataSetsContainer, GlobalContainerPerThread) {
    {
        TDataSetsContainer first, second;
        first.SetIsGlobalContainer(true);
        second.SetIsGlobalContainer(true);   // only the last keeps the flag
        EXPECT_FALSE(first.IsGlobalContainer());
        EXPECT_TRUE(second.IsGlobalContainer());
        EXPECT_EQ(TDataSetsContainer::GlobalContainer(), &second);

        TDataSetsContainer* seen = &second;
        std::thread other([&] { seen = TDataSetsContainer::GlobalContainer(); });
        other.join();
        EXPECT_EQ(seen, nullptr);   // another thread has its own

        first.SetIsGlobalContainer(false);   // not the global one: changes nothing else
        EXPECT_EQ(TDataSetsContainer::GlobalContainer(), &second);
    }
    // The global container was destroyed: the thread no longer points at it.
    EXPECT_EQ(TDataSetsContainer::GlobalContainer(), nullptr);
}

TEST(DataSetsContainer, ForgetsDestroyedDataSetsAndMasters) {
    auto master = std::make_unique<TDataSetsContainer>();
    TDataSetsContainer own;
    own.SetMasterContainer(master.get());
    auto ds = std::make_unique<TVectorDataSet>();
    own.AddDataSet(ds.get());
    own.AddDataSet(ds.get());   // listed once
    EXPECT_EQ(own.DataSetCount(), 1);
    EXPECT_EQ(master->DataSetCount(), 1);
    ds.reset();
    EXPECT_EQ(own.DataSetCount(), 0);
    EXPECT_EQ(master->DataSetCount(), 0);
    master.reset();
    EXPECT_EQ(own.MasterContainer(), nullptr);
    own.DataSetEvent(nullptr, deAfterOpen);   // no master to call
}
