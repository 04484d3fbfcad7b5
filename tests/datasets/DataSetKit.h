#pragma once
// What the data-set tests that change their database share: a database of their own made from a
// DDL script, one connection with a read and an update transaction, and isql's view of the rows.
#include "client/FIBDatabase.h"
#include "datasets/pFIBDataSet.h"
#include "fixtures/FbFixture.h"
#include "platform/Component.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qnl::test {

// The message of what Action throws; "no error" when it throws nothing.
inline std::string ErrorOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

class DataSetKit : public ::testing::Test {
protected:
    // A fresh database from Ddl for each test, opened as SYSDBA in UTF8 and dialect 3.
    void OpenDatabase(const std::string& Ddl) {
        Db = std::make_unique<TempDatabase>(Ddl);
        Attach();
    }
    // A fresh database made by Script (which creates it), then changed by Sql through isql.
    void OpenDatabase(const CompleteScript& Script, const std::string& Sql) {
        Db = std::make_unique<TempDatabase>(Script);
        std::string output;
        if (RunSql(*Db, Sql, output) != 0) throw std::runtime_error(output);
        Attach();
    }
    // Connects to Path (the test's own database when empty).
    void Attach(const std::string& Path = {}) {
        Form.SetName("Form1");
        Database.SetName("DB");
        Database.SetDBName(Path.empty() ? Db->Path() : Path);
        Database.ConnectParams().SetUserName("SYSDBA");
        Database.ConnectParams().SetCharSet("UTF8");
        Database.SetSQLDialect(3);
        Database.Open();
        Transaction.SetName("Tr");
        Transaction.SetDefaultDatabase(&Database);
        UpdateTr.SetName("UpdTr");
        UpdateTr.SetDefaultDatabase(&Database);
    }
    // Data sets go before the connection: the derived fixture's TearDown frees them first.
    void TearDown() override {
        for (TFIBTransaction* tr : {&Transaction, &UpdateTr})
            if (tr->Active()) tr->Rollback();
        if (Database.Connected()) Database.Close();
    }
    // An extended data set on the connection and its read transaction.
    std::unique_ptr<TpFIBDataSet> NewDataSet(const std::string& Name) {
        auto ds = std::make_unique<TpFIBDataSet>(&Form);
        ds->SetName(Name);
        ds->SetDatabase(&Database);
        ds->SetTransaction(&Transaction);
        return ds;
    }
    // isql's rows of Select (each wrapped in "<<" and ">>"); the embedded engine lets one
    // process at a time open the file, so our connection is closed first.
    std::vector<std::string> IsqlRows(const std::string& Select) {
        if (Database.Connected()) Database.Close();
        return QueryRows(*Db, Select);
    }

    std::unique_ptr<TempDatabase> Db;
    TComponent Form;
    TFIBDatabase Database{&Form};
    TFIBTransaction Transaction{&Form};
    TFIBTransaction UpdateTr{&Form};
};

} // namespace qnl::test
