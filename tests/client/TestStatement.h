#pragma once
// A statement driven straight through the client library with the descriptor areas, so that the
// values can be tested against a real server before the statement object exists: prepare and
// describe both areas, execute with the parameters, fetch rows. It owns its areas as the
// statement will and counts what they tell it.
#include "client/FIBQuery.h"

#include <string>
#include <vector>

namespace qnl::test {

class TTestStatement : public IXSQLDAOwner {
public:
    TTestStatement(TFIBDatabase& Database, TFIBTransaction& Transaction);
    ~TTestStatement() override;
    TTestStatement(const TTestStatement&) = delete;
    TTestStatement& operator=(const TTestStatement&) = delete;

    // Prepares Sql and describes both areas; ParamNames, when given, name the parameters in
    // order as the statement's parameter analysis will (otherwise they are F_1, F_2, ...).
    // Array entries get their array objects.
    void Prepare(const std::string& Sql, const std::vector<std::string>& ParamNames = {});
    // Closes an open cursor, writes pending blob parameters, executes (opening the cursor of a
    // select) and drops the written blob contents.
    void Execute();
    // False at the end of the rows.
    bool Fetch();
    // Prepare, Execute and Fetch of a one-row select.
    void Open(const std::string& Sql);

    TFIBXSQLDA& Params() { return FParams; }
    TFIBXSQLDA& Fields() { return FFields; }
    TFIBXSQLVAR& Field(const std::string& Name);
    TFIBXSQLVAR& Param(int Index) { return FParams.GetVar(Index); }

    TpFIBQueryOptions QueryOptions = 0;
    int NullStateChanges = 0;
    int MacroChanges = 0;
    int BlobNotices = 0;

    TFIBDatabase* Database() const override { return &FDatabase; }
    TFIBTransaction* Transaction() const override { return &FTransaction; }
    TpFIBQueryOptions Options() const override { return QueryOptions; }
    bool Prepared() const override { return FHandle != 0; }
    bool HasOutputRow() const override { return FRowsFetched > 0; }
    TFIBXSQLDA* ParamsArea() const override { return nullptr; }
    TFIBXSQLDA* BindArea() const override { return const_cast<TFIBXSQLDA*>(&FParams); }
    bool MacroChangesPending() const override { return false; }
    void ApplyPendingMacroChanges() override {}
    void ParamNullStateChanged() override { ++NullStateChanges; }
    void MacroValueChanged() override { ++MacroChanges; }
    void BlobParamsPending() override { ++BlobNotices; }
    void WritePendingBlobs(TFIBXSQLDA& Area) override;
    ISC_STATUS CheckStatus(ISC_STATUS Status, bool RaiseOnError) override;

private:
    void Free();
    void Describe(TFIBXSQLDA& Area, bool Input);
    void AttachArrays(TFIBXSQLDA& Area);

    TFIBDatabase& FDatabase;
    TFIBTransaction& FTransaction;
    isc_stmt_handle FHandle = 0;
    TFIBXSQLDA FParams{true};
    TFIBXSQLDA FFields{false};
    int FRowsFetched = 0;
    bool FCursorOpen = false;
};

} // namespace qnl::test
