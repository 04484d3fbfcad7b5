// The master-detail link against the Firebird examples' employee database (and two tables of
// our own): the detail's rows equal isql's for every master row, it reopens only when the key
// changes, waits for the master to stand still, and keeps every key's type.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/fib.h"
#include "fixtures/ScriptFixtures.h"
#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace qnl {
namespace {

// Tables of our own beside the examples' data: BOOLEAN and NUMERIC(18,4) keys.
const char* const KeyTables = R"(
CREATE TABLE BM (K BOOLEAN, N NUMERIC(18,4), TS TIMESTAMP, T TIME);
CREATE TABLE BD (ID INTEGER, K BOOLEAN, N NUMERIC(18,4), TS TIMESTAMP, T TIME);
COMMIT;
INSERT INTO BM VALUES (TRUE, 12345678901234.5678, '2020-01-01 10:00:00.1234', '10:00:00.1234');
INSERT INTO BM VALUES (FALSE, -0.0001, '1900-02-28 23:59:59.9999', '23:59:59.9999');
INSERT INTO BM VALUES (NULL, NULL, NULL, NULL);
INSERT INTO BD VALUES (1, TRUE, 12345678901234.5678, '2020-01-01 10:00:00.1234', '10:00:00.1234');
INSERT INTO BD VALUES (2, TRUE, 12345678901234.5677, '2020-01-01 10:00:00.1233', '10:00:00.1233');
INSERT INTO BD VALUES (3, FALSE, -0.0001, '1900-02-28 23:59:59.9999', '23:59:59.9999');
INSERT INTO BD VALUES (4, FALSE, 0, '1900-02-28 23:59:59.9998', '23:59:59.9998');
INSERT INTO BD VALUES (5, NULL, NULL, NULL, NULL);
COMMIT;
)";

class MasterDetailTest : public test::DataSetKit {
protected:
    // The database is only read (an edit is cancelled): one for the suite.
    static void SetUpTestSuite() {
        std::string why;
        const std::string script = test::EmployeeScript(why);
        if (script.empty()) {
            Missing = why;
            return;
        }
        Shared = new test::TempDatabase(test::CompleteScript{script});
        std::string output;
        if (test::RunSql(*Shared, KeyTables, output) != 0) throw std::runtime_error(output);
        // isql's employees of each department, and the departments under each head.
        for (const std::string& r : test::QueryRows(
                 *Shared, "SELECT '<<' || DEPT_NO || ':' || EMP_NO || '>>' FROM EMPLOYEE ORDER BY DEPT_NO, EMP_NO"))
            IsqlEmployees[r.substr(0, 3)].push_back(r.substr(4));
        for (const std::string& r : test::QueryRows(
                 *Shared, "SELECT '<<' || HEAD_DEPT || ':' || DEPT_NO || '>>' FROM DEPARTMENT ORDER BY DEPT_NO"))
            IsqlChildren[r.substr(0, 3)].push_back(r.substr(4));
    }
    static void TearDownTestSuite() {
        delete Shared;
        Shared = nullptr;
    }
    void SetUp() override {
        if (!Shared) GTEST_SKIP() << Missing;
        Attach(Shared->Path());
        Master = NewDataSet("Master");
        Source.SetDataSet(Master.get());
    }
    void TearDown() override {
        Detail.reset();
        Source.SetDataSet(nullptr);
        Master.reset();
        DataSetKit::TearDown();
    }
    void OpenMaster(const std::string& Select) {
        Master->SetSelectSQL(Select);
        Master->Open();
    }
    // A detail on the master's source; Opens counts its opens.
    void MakeDetail(const std::string& Select, TDetailConditions Conditions = 0) {
        Detail = NewDataSet("Detail");
        Detail->SetSelectSQL(Select);
        Detail->SetDetailConditions(Conditions);
        Detail->SetDataSource(&Source);
        Detail->AfterOpen = [this](TDataSet*) { ++Opens; };
    }
    // The values of Field in the data set's rows (none when it is closed).
    static std::vector<std::string> Rows(TDataSet& DS, const char* Field) {
        std::vector<std::string> values;
        if (!DS.Active()) return values;
        for (DS.First(); !DS.Eof(); DS.Next()) values.push_back(DS.FieldByName(Field)->AsString());
        return values;
    }
    std::string Key(TDataSet& DS) { return DS.FieldByName("DEPT_NO")->AsString(); }
    // Pumps the main thread's loop for Ms milliseconds.
    static void Pump(int Ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
        while (std::chrono::steady_clock::now() < end) PumpMainThread(10);
    }

    static inline test::TempDatabase* Shared = nullptr;
    static inline std::string Missing;
    static inline std::map<std::string, std::vector<std::string>> IsqlEmployees, IsqlChildren;
    std::unique_ptr<TpFIBDataSet> Master;
    std::unique_ptr<TpFIBDataSet> Detail;
    TDataSource Source;
    int Opens = 0;
};

TEST_F(MasterDetailTest, DetailRowsAreIsqlsForEveryMasterRow) {
    OpenMaster("SELECT DEPT_NO, DEPARTMENT, HEAD_DEPT FROM DEPARTMENT ORDER BY DEPT_NO");
    for (const char* where : {"DEPT_NO = :DEPT_NO", "DEPT_NO = ?MAS_DEPT_NO"}) {
        MakeDetail(std::string("SELECT EMP_NO FROM EMPLOYEE WHERE ") + where + " ORDER BY EMP_NO");
        Master->First();
        Detail->Open();
        int masters = 0;
        for (Master->First(); !Master->Eof(); Master->Next(), ++masters)
            EXPECT_EQ(Rows(*Detail, "EMP_NO"), IsqlEmployees[Key(*Master)]) << where << " " << Key(*Master);
        EXPECT_EQ(masters, 21);
        EXPECT_EQ(Opens, masters) << where;   // its own open, then one per move to another key
        Opens = 0;
        Detail.reset();
    }
    // A NULL master value links to no row, never to the rows whose column is NULL.
    MakeDetail("SELECT DEPT_NO FROM DEPARTMENT WHERE HEAD_DEPT = :HEAD_DEPT ORDER BY DEPT_NO");
    Detail->Open();
    int nullHeads = 0;
    for (Master->First(); !Master->Eof(); Master->Next()) {
        const bool null = Master->FieldByName("HEAD_DEPT")->IsNull();
        nullHeads += null;
        EXPECT_EQ(Rows(*Detail, "DEPT_NO"),
                  null ? std::vector<std::string>{} : IsqlChildren[Master->FieldByName("HEAD_DEPT")->AsString()])
            << Key(*Master);
    }
    EXPECT_EQ(nullHeads, 1);
}

TEST_F(MasterDetailTest, SameKeyDoesNotReopenAndScrollsWaitForTheMaster) {
    OpenMaster("SELECT EMP_NO, DEPT_NO FROM EMPLOYEE ORDER BY DEPT_NO, EMP_NO");
    MakeDetail("SELECT DEPT_NO, DEPARTMENT FROM DEPARTMENT WHERE DEPT_NO = :DEPT_NO");
    Detail->Open();
    // The first department with two employees: the second of them has the same key.
    auto shared = std::find_if(IsqlEmployees.begin(), IsqlEmployees.end(), [](const auto& E) { return E.second.size() > 1; });
    ASSERT_NE(shared, IsqlEmployees.end());
    ASSERT_TRUE(Master->Locate("EMP_NO", Variant(shared->second[0]), 0));
    Opens = 0;
    Master->Next();
    EXPECT_EQ(Opens, 0);
    ASSERT_TRUE(Master->Locate("EMP_NO", Variant(IsqlEmployees.rbegin()->second[0]), 0));
    EXPECT_EQ(Opens, 1);
    EXPECT_EQ(Key(*Detail), Key(*Master));

    // With the wait, ten scrolls reopen the detail once, after the master stood still.
    Detail->SetDetailConditions(SetOf<TDetailConditions>(dcWaitEndMasterScroll));
    EXPECT_TRUE(InSet(Detail->DetailConditions(), dcWaitEndMasterScroll));
    const std::string before = Key(*Detail);
    Opens = 0;
    for (int i = 0; i < 10; ++i) {
        if (i % 2 == 0) Master->First();
        else Master->Last();
    }
    EXPECT_EQ(Opens, 0);
    EXPECT_EQ(Key(*Detail), before);   // not yet
    Pump(static_cast<int>(Detail->EndScrollInterval) + 400);
    EXPECT_EQ(Opens, 1);
    EXPECT_EQ(Key(*Detail), Key(*Master));
    // An edit of the detail first finishes a refresh that still waits.
    Master->First();
    EXPECT_EQ(Opens, 1);
    Detail->UpdateSQL().SetText("UPDATE DEPARTMENT SET DEPARTMENT = ?DEPARTMENT WHERE DEPT_NO = ?OLD_DEPT_NO");
    Detail->Edit();
    EXPECT_EQ(Opens, 2);
    EXPECT_EQ(Key(*Detail), Key(*Master));
    Detail->Cancel();
    Detail->SetDetailConditions(0);
    EXPECT_FALSE(InSet(Detail->DetailConditions(), dcWaitEndMasterScroll));

    // OnEndScroll fires once after a series of scrolls.
    int endScrolls = 0;
    Master->SetOnEndScroll([&](TObject*) { ++endScrolls; });
    for (int i = 0; i < 5; ++i) Master->Prior();
    EXPECT_EQ(endScrolls, 0);
    Pump(Master->EndScrollInterval + 400);
    EXPECT_EQ(endScrolls, 1);
}

TEST_F(MasterDetailTest, MasterCloseAndForcedOpen) {
    OpenMaster("SELECT DEPT_NO FROM DEPARTMENT ORDER BY DEPT_NO");
    for (const bool ignore : {false, true}) {
        MakeDetail("SELECT EMP_NO FROM EMPLOYEE WHERE DEPT_NO = :DEPT_NO ORDER BY EMP_NO",
                   ignore ? SetOf<TDetailConditions>(dcIgnoreMasterClose) : 0);
        Detail->Open();
        Master->Close();
        EXPECT_EQ(Detail->Active(), ignore);
        Master->Open();
        Detail.reset();
    }
    for (const bool force : {false, true}) {
        MakeDetail("SELECT EMP_NO FROM EMPLOYEE WHERE DEPT_NO = :DEPT_NO ORDER BY EMP_NO",
                   force ? SetOf<TDetailConditions>(dcForceOpen) : 0);
        Master->Close();
        Master->Open();   // the master opens on 000
        EXPECT_EQ(Detail->Active(), force);
        EXPECT_EQ(Rows(*Detail, "EMP_NO"), force ? IsqlEmployees[Key(*Master)] : std::vector<std::string>{});
        Detail.reset();
    }
}

TEST_F(MasterDetailTest, DetailRefreshRefreshesTheMasterWhenAsked) {
    Master->RefreshSQL().SetText("SELECT DEPT_NO, DEPARTMENT FROM DEPARTMENT WHERE DEPT_NO = ?DEPT_NO");
    // The master re-reads what the update transaction changed (rolled back at the end).
    Master->SetUpdateTransaction(&UpdateTr);
    Master->SetRefreshTransactionKind(tkUpdateTransaction);
    OpenMaster("SELECT DEPT_NO, DEPARTMENT FROM DEPARTMENT ORDER BY DEPT_NO");
    const std::string dept = Key(*Master);
    const std::string name = Master->FieldByName("DEPARTMENT")->AsString();
    UpdateTr.StartTransaction();
    TFIBQuery rename;
    rename.SetDatabase(&Database);
    rename.SetTransaction(&UpdateTr);
    rename.SQL().SetText("UPDATE DEPARTMENT SET DEPARTMENT = 'Renamed' WHERE DEPT_NO = '" + dept + "'");
    rename.ExecQuery();
    for (const bool force : {false, true}) {
        MakeDetail("SELECT EMP_NO, DEPT_NO FROM EMPLOYEE WHERE DEPT_NO = :DEPT_NO ORDER BY EMP_NO",
                   force ? SetOf<TDetailConditions>(dcForceMasterRefresh) : 0);
        Detail->RefreshSQL().SetText("SELECT EMP_NO, DEPT_NO FROM EMPLOYEE WHERE EMP_NO = ?EMP_NO");
        Detail->Open();
        ASSERT_FALSE(Detail->IsEmpty());
        Detail->Refresh();
        EXPECT_EQ(Master->FieldByName("DEPARTMENT")->AsString(), force ? "Renamed" : name);
        EXPECT_EQ(Key(*Master), dept);
        Detail.reset();
    }
}

// A detail's delete refreshes the master with dcForceMasterRefresh, but not under cached updates
// (nothing reached the server). Each case renames the master's row first and deletes a row of
// its own.
TEST_F(MasterDetailTest, ADetailDeleteRefreshesTheMasterWhenAsked) {
    Master->RefreshSQL().SetText("SELECT DEPT_NO, DEPARTMENT FROM DEPARTMENT WHERE DEPT_NO = ?DEPT_NO");
    Master->SetUpdateTransaction(&UpdateTr);
    Master->SetRefreshTransactionKind(tkUpdateTransaction);
    OpenMaster("SELECT DEPT_NO, DEPARTMENT FROM DEPARTMENT WHERE DEPT_NO IN "
               "(SELECT DEPT_NO FROM PROJ_DEPT_BUDGET GROUP BY DEPT_NO HAVING COUNT(*) >= 3) ORDER BY DEPT_NO");
    const std::string dept = Key(*Master);
    UpdateTr.StartTransaction();
    TFIBQuery rename;
    rename.SetDatabase(&Database);
    rename.SetTransaction(&UpdateTr);
    rename.SQL().SetText("UPDATE DEPARTMENT SET DEPARTMENT = ?NAME WHERE DEPT_NO = ?DEPT");
    const struct {
        TDetailConditions Conditions;
        bool Cached, Refreshed;
    } cases[] = {{0, false, false}, {SetOf<TDetailConditions>(dcForceMasterRefresh), false, true},
                 {SetOf<TDetailConditions>(dcForceMasterRefresh), true, false}};
    int i = 0;
    for (const auto& c : cases) {
        const std::string label = "Renamed " + std::to_string(++i);
        SCOPED_TRACE(label);
        rename.Params().ByName("NAME")->SetAsString(label);
        rename.Params().ByName("DEPT")->SetAsString(dept);
        rename.ExecQuery();
        const std::string shown = Master->FieldByName("DEPARTMENT")->AsString();
        MakeDetail("SELECT FISCAL_YEAR, PROJ_ID, DEPT_NO FROM PROJ_DEPT_BUDGET WHERE DEPT_NO = :DEPT_NO "
                   "ORDER BY FISCAL_YEAR, PROJ_ID",
                   c.Conditions);
        Detail->SetUpdateTransaction(&UpdateTr);
        Detail->SetCachedUpdates(c.Cached);
        Detail->DeleteSQL().SetText("DELETE FROM PROJ_DEPT_BUDGET WHERE FISCAL_YEAR = ?OLD_FISCAL_YEAR AND "
                                    "PROJ_ID = ?OLD_PROJ_ID AND DEPT_NO = ?OLD_DEPT_NO");
        Detail->Open();
        Detail->MoveBy(i - 1);   // the detail reads in its own transaction: the rows deleted before are there
        ASSERT_FALSE(Detail->Eof());
        Detail->Delete();
        EXPECT_EQ(Master->FieldByName("DEPARTMENT")->AsString(), c.Refreshed ? label : shown);
        EXPECT_EQ(Key(*Master), dept);
        Detail.reset();
    }
}

TEST_F(MasterDetailTest, BooleanScaledAndTimeKeysKeepTheirTypes) {
    OpenMaster("SELECT K, N, TS, T FROM BM ORDER BY N NULLS LAST");
    const struct {
        const char* Where;
        std::vector<std::vector<std::string>> PerMaster;   // rows for -0.0001, 12345678901234.5678, NULL
    } links[] = {
        {"K = :K", {{"3", "4"}, {"1", "2"}, {}}},
        {"N = ?MAS_N", {{"3"}, {"1"}, {}}},
        {"K = :K AND N = :N", {{"3"}, {"1"}, {}}},
        {"TS = :TS", {{"3"}, {"1"}, {}}},
        {"T = ?MAS_T", {{"3"}, {"1"}, {}}},
    };
    for (const auto& link : links) {
        MakeDetail(std::string("SELECT ID FROM BD WHERE ") + link.Where + " ORDER BY ID");
        Detail->Open();
        size_t row = 0;
        for (Master->First(); !Master->Eof(); Master->Next(), ++row)
            EXPECT_EQ(Rows(*Detail, "ID"), link.PerMaster.at(row)) << link.Where << " row " << row;
        Detail.reset();
    }
}

} // namespace
} // namespace qnl
