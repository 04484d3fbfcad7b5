// The trace texts of a data set's statements name the data set: a monitor in its own process
// (the trace tests' sqlmonitor_reader) reads them from a channel of this program's own.
#include "DataSetKit.h"
#include "monitor/MonitorProcess.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

namespace qnl {
namespace {

TEST(DataSetTrace, StatementsOwnedByADataSetAreNamedAfterIt) {
    const std::string channel = "qnl-trace-ds-test-" + std::to_string(getpid());
    SetMonitorChannelName(channel);
    {
        test::TempDatabase db("CREATE TABLE T (ID INTEGER); INSERT INTO T VALUES (1);");
        test::TMonitorProcess monitor(channel, "read");
        std::string line;
        ASSERT_TRUE(monitor.ReadLine(line, std::chrono::seconds(10)) && line == "READY") << line;

        TFIBDatabase database;
        database.SetDBName(db.Path());
        database.ConnectParams().SetUserName("SYSDBA");
        database.SetSQLDialect(3);
        database.SynchronizeTime = false;
        database.Open();
        TFIBTransaction tr;
        tr.SetDefaultDatabase(&database);
        TpFIBDataSet ds;
        ds.SetName("DS");
        ds.SetDatabase(&database);
        ds.SetTransaction(&tr);
        ds.SetSelectSQL("SELECT ID FROM T");
        tr.StartTransaction();
        ds.Open();
        ds.Close();
        tr.Commit();
        database.Close();
        MonitorHook()->WriteSQLData("END", tcExecute);

        const std::string select = "SELECT ID FROM T\r\n";
        std::vector<std::string> ours;
        for (const test::TMessage& m : monitor.MessagesUntil("END"))
            if (m.Text.rfind("DS", 0) == 0 || m.Text.rfind("\r\nDS", 0) == 0) ours.push_back(m.Text);
        ASSERT_GE(ours.size(), 3u);
        EXPECT_EQ(ours[0], "DS: [Prepare] " + select + "\r\n  Plan: PLAN (T NATURAL)");
        EXPECT_EQ(ours[1].rfind("DS.SelectQuery: [Execute] " + select + "\r\nExecute tick count ", 0), 0u) << ours[1];
        EXPECT_EQ(ours[2], "\r\nDS: [Fetch] " + select + "ID = 1\r\n");
    }
    SetMonitorChannelName("FIB.SQL.MONITOR");
    shm_unlink(TSQLMonitorChannel::BlockObjectName(channel).c_str());
    shm_unlink(TSQLMonitorChannel::SyncObjectName(channel).c_str());
}

} // namespace
} // namespace qnl
