// The extended data set's provider operations: the calls through which another layer learns the
// data set's table and keys, runs statements and drives the update transaction; see
// pFIBDataSet.h.
#include "datasets/pFIBDataSet.h"

#include "client/SqlTxtRtns.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "client/pFIBCacheQueries.h"

namespace qnl {

namespace {

constexpr const char* CommandCommit = "FIB$COMMIT";
constexpr const char* CommandRollback = "FIB$ROLLBACK";
constexpr const char* CommandInTransaction = "FIB$GET_INTRANSACTION";

bool IsCommand(const std::string& Text) {
    return Text == CommandCommit || Text == CommandRollback || Text == CommandInTransaction;
}

TFieldType ParamFieldType(TFIBXSQLVAR& Var) {
    switch (Var.GetSQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: return ftString;
    case SQL_SHORT: return ftSmallint;
    case SQL_LONG: return ftInteger;
    case SQL_FLOAT:
    case SQL_DOUBLE: return ftFloat;
    case SQL_TIMESTAMP: return ftDateTime;
    case SQL_TYPE_DATE: return ftDate;
    case SQL_TYPE_TIME: return ftTime;
    case SQL_BLOB:
    case SQL_ARRAY: return ftBlob;
    case SQL_INT64: return Var.GetScale() == 0 ? ftLargeint : Var.GetScale() >= -4 ? ftFloat : ftBCD;
    default: return ftString;
    }
}

// The positional values go to the statement's parameters in order.
void AssignByPosition(TFIBXSQLDA& Target, const TParams& Values) {
    for (int i = 0; i < Values.Count() && i < Target.Count(); ++i) Target.GetVar(i).SetAsVariant(Values[i]->Value());
}

bool IsSelect(TFIBQuery& Query) {
    return Query.SQLType() == SQLSelect || Query.SQLType() == SQLSelectForUpdate;
}

} // namespace

std::string TpFIBDataSet::PSGetQuoteChar() { return Database() && Database()->SQLDialect() >= 3 ? "\"" : ""; }

std::string TpFIBDataSet::PSGetTableName() {
    TStringList tables;
    GetSelectTableNames(SelectQuery().ExpandedSQLText(), tables, false, false);
    if (tables.Count() == 0) return {};
    const std::string update = AutoUpdateOptions().UpdateTableName();
    for (int i = 0; i < tables.Count(); ++i)
        if (!update.empty() && SameIdentifiers(tables[i], update)) return tables[i];
    return tables[0];
}

bool TpFIBDataSet::PSInTransaction() { return UpdateTransaction() && UpdateTransaction()->Active(); }

void TpFIBDataSet::PSSetCommandText(const std::string& CommandText) {
    if (IsCommand(CommandText))
        FPSCommand = CommandText;
    else if (!CommandText.empty())
        SetSelectSQL(CommandText);
}

std::string TpFIBDataSet::PSGetCommandText() { return FPSCommand.empty() ? SelectSQL().Text() : FPSCommand; }

void TpFIBDataSet::PSExecute() {
    if (FPSCommand == CommandCommit || FPSCommand == CommandRollback) {
        TFIBTransaction* tr = UpdateTransaction();
        if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(this)});
        if (FPSCommand == CommandCommit)
            tr->Commit();
        else
            tr->Rollback();
    } else if (FPSCommand.empty()) {
        if (!Prepared()) Prepare();
        SelectQuery().ExecQuery();
    }
}

TParams& TpFIBDataSet::PSGetParams() {
    if (!FPSCommand.empty()) {
        if (!FPSCommandParams) FPSCommandParams = std::make_unique<TParams>();
        FPSCommandParams->Clear();
        if (FPSCommand == CommandInTransaction)
            FPSCommandParams->CreateParam(ftBoolean, "Active", ptOutput)->SetAsBoolean(PSInTransaction());
        FPSCommand.clear();
        return *FPSCommandParams;
    }
    if (!FPSParams) FPSParams = std::make_unique<TParams>();
    FPSParams->Clear();
    if (!Prepared()) Prepare();
    TFIBXSQLDA& params = Params();
    for (int i = 0; i < params.Count(); ++i) {
        TFIBXSQLVAR& var = params.GetVar(i);
        TParam* param = FPSParams->CreateParam(ParamFieldType(var), var.Name(), ptInput);
        if (!var.GetIsNull()) param->SetValue(var.GetAsVariant());
    }
    return *FPSParams;
}

void TpFIBDataSet::PSSetParams(const TParams& Values) {
    if (!Prepared()) Prepare();
    for (int i = 0; i < Values.Count(); ++i) {
        const TParam* value = Values[i];
        int index = -1;
        if (SelectQuery().ParamExists(value->Name, index)) Params().GetVar(index).SetAsVariant(value->Value());
    }
}

void TpFIBDataSet::PSStartTransaction() {
    if (!Database()) RaiseClientError(cecDatabaseNotAssigned, {ComponentFullName(this)});
    TFIBTransaction* tr = UpdateTransaction();
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(this)});
    if (!Database()->Connected()) Database()->Open();
    if (!tr->Active()) tr->StartTransaction();
}

void TpFIBDataSet::PSEndTransaction(bool Commit) {
    TFIBTransaction* tr = UpdateTransaction();
    if (!tr || !tr->Active()) return;
    if (Commit)
        tr->Commit();
    else
        tr->Rollback();
}

int64_t TpFIBDataSet::PSExecuteStatement(const std::string& SQL, const TParams& Params,
                                         std::unique_ptr<TpFIBDataSet>* ResultSet) {
    const std::string text = NamePositionalParams(SQL, "Param");
    if (ResultSet) {
        auto ds = std::make_unique<TpFIBDataSet>();
        ds->SetDatabase(Database());
        ds->SetTransaction(Transaction());
        if (Transaction() && !Transaction()->Active()) Transaction()->StartTransaction();
        ds->SetSelectSQL(text);
        ds->Prepare();
        AssignByPosition(ds->Params(), Params);
        int64_t answer = 0;
        if (IsSelect(ds->SelectQuery())) {
            ds->Open();
            ds->FetchAll();
            answer = ds->CachedRecordCount();
        } else {
            ds->SelectQuery().ExecQuery();
            answer = ds->SelectQuery().GetRowsAffected();
            ds->SelectQuery().Close();
        }
        *ResultSet = std::move(ds);
        return answer;
    }
    TFIBTransaction* tr = UpdateTransaction();
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(this)});
    if (!tr->Active()) tr->StartTransaction();
    TFIBQuery* query = GetQueryForUse(tr, text);
    if (!query) throw Exception("No pooled statement for " + ComponentFullName(this));
    int64_t answer = 0;
    Guarded(
        [&] {
            query->Prepare();
            AssignByPosition(query->Params(), Params);
            query->ExecQuery();
            if (IsSelect(*query)) {
                while (query->Next()) {
                }
                answer = query->GetRecordCount();
            } else {
                answer = query->GetRowsAffected();
            }
        },
        [&] { FreeQueryForUse(query); });
    return answer;
}

void TpFIBDataSet::PSReset() {
    if (!Active()) return;
    Close();
    Open();
}

} // namespace qnl
