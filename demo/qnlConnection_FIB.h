#pragma once
// The comparison library's abstract connection and query bound to the data-access layer:
// TQNLConnectionFIB works over a database object it only refers to and a transaction it owns;
// TQNLFIBQuery runs SELECT text through a unidirectional data set and any other text through a
// statement object, both its own.
//
// On connecting, the connection copies the database's server facts and default character set
// into its engine options and reconnects when the database's dialect differs from the options.
// It always connects with the character set UTF8 (ConnectionCharSet): names and texts of every
// database arrive and leave as UTF-8, whatever the database's default set. Connect and create
// failures never raise: they go to DoErrorMessage and the caller sees GetConnected false or the
// answer false. Everything else (transactions, queries, ReconnectWithCharSet) lets the
// data-access layer's errors pass to the caller, which the library catches.
#include "client/FIBDatabase.h"
#include "client/FIBQuery.h"
#include "core/qnlDBEngine.h"
#include "datasets/FIBDataSet.h"

#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TQNLConnectionFIB;

// The data set a query reads its SELECT text through.
class T_FibQuery : public TFIBDataSet {
public:
    using TFIBDataSet::TFIBDataSet;
    ~T_FibQuery() override;
    std::string ClassName() const override { return "T_FibQuery"; }
    // A query's data set has no modify statements and applies no repository settings: both do
    // nothing (the base class raises).
    void FillParamsToFieldsLinks(TStringList&) override {}
    void ApplyRepositoryInfo() override {}
};

// The query's parameters, knowing the two statement objects their values go to.
class TFIBParams : public TQNLParams {
public:
    TFIBParams(T_FibQuery* ADataSet, TFIBQuery* AQuery) : DataSet(ADataSet), Query(AQuery) {}
    T_FibQuery* const DataSet;
    TFIBQuery* const Query;
};

class TQNLFIBQuery : public TQNLQuery {
public:
    TQNLFIBQuery();
    ~TQNLFIBQuery() override;

    // The connection that created the query (set by CreateQuery).
    TQNLConnectionFIB* OwningConnection = nullptr;
    T_FibQuery& DataSet() { return *FDataSet; }
    TFIBQuery& Query() { return *FQuery; }

    TStringList* GetSQL() override { return &FSQL; }
    bool GetEof() override;
    void SetParamCheck(bool Value) override { FQuery->SetParamCheck(Value); }
    bool GetParamCheck() override { return FQuery->ParamCheck(); }
    TQNLParams* GetParams() override { return FParams.get(); }
    // The columns of the data set's current row (nullptr while the data set is closed).
    TQNLFields* GetFields() override;
    void First() override { FDataSet->First(); }
    void Last() override { FDataSet->Last(); }
    void Next() override { FDataSet->Next(); }
    TQNLField* FieldByName(const std::string& Name) override;
    // Runs the text as a SELECT (the text is not tested for being one) with the parameters'
    // values, preparing it first when needed.
    void Open() override;
    void Close() override;
    // Runs the text through the statement object with the parameters' values.
    void ExecQuery() override;
    // Parses the text for its parameters first when there are none yet.
    TQNLParam* ParamByName(const std::string& Name) override;
    // Parses the parameters and prepares the text on the statement object it belongs to.
    void Prepare() override;

protected:
    // Re-parses the parameters (when ParamCheck is set) and moves the text to the statement
    // object it belongs to: SELECT text to the data set, any other to the statement.
    void SQLChanged() override;

private:
    class TFieldList;

    // The parameters of the text, parsed anew; those not in the text are dropped.
    void ParseParams();
    // Each parameter's value into the statement parameters of the same name.
    void CopyParamValues(TFIBQuery& Target);
    void RouteText();

    TStringList FSQL;
    std::unique_ptr<TFIBQuery> FQuery;
    std::unique_ptr<T_FibQuery> FDataSet;
    std::unique_ptr<TFIBParams> FParams;
    std::unique_ptr<TFieldList> FFields;
};

class TQNLConnectionFIB : public TQNLCustomConnection {
public:
    explicit TQNLConnectionFIB(TComponent* AOwner = nullptr);
    ~TQNLConnectionFIB() override;
    std::string ClassName() const override { return "TQNLConnectionFIB"; }

    // The connect loop stops after this many passes: each pass after the first reconnects with
    // the dialect the one before read, so two passes always suffice unless something keeps
    // changing the options between passes.
    static constexpr int MaxConnectPasses = 3;

    TFIBDatabase* Database() const { return FDatabase; }
    void SetDatabase(TFIBDatabase* Value);
    // Owned; its parameters are "concurrency" and "nowait".
    TFIBTransaction& Transaction() { return *FTransaction; }

    // False without a database.
    bool GetConnected() override;
    // True connects (see the header comment); False commits an active transaction and
    // disconnects. Without a database it reports and does nothing.
    void SetConnected(bool Value) override;
    // Inherited, then the options take the database's name, login, dialect and character set.
    void DoBeforeConnect() override;
    std::unique_ptr<TQNLQuery> CreateQuery(TComponent* Owner) override;
    void StartTransaction() override { FTransaction->StartTransaction(); }
    void Commit() override { FTransaction->Commit(); }
    void Rollback() override { FTransaction->Rollback(); }
    bool InTransaction() override { return FTransaction->Active(); }
    // Creates the database named by ConnectionOptions with the options' dialect, login, page
    // size and character set, and leaves it attached. Failures are reported; answers false.
    bool CreateDatabase() override;
    // Reconnects with another connection character set; errors pass to the caller.
    bool ReconnectWithCharSet(const std::string& CharSet) override;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    // One connect pass: database and transaction. False when it failed, reported, and the
    // database is left closed.
    bool ConnectPass();
    void CopyServerFacts();
    // The database's default character set, trimmed.
    std::string GetDatabaseCharSet();
    std::string ErrorPrefix() const;

    TFIBDatabase* FDatabase = nullptr;
    std::unique_ptr<TFIBTransaction> FTransaction;
};

} // namespace qnl
