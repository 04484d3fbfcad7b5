// Implements the extended data set's record lock, generator values, default values of a new
// record and the server's record count; see pFIBDataSet.h.
#include "datasets/pFIBDataSet.h"

#include "client/SqlTxtRtns.h"
#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "client/pFIBCacheQueries.h"
#include "datasets/DSContainer.h"
#include "platform/DateTime.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>

namespace qnl {

namespace {

// Firebird's lock-conflict code, which comes with SQL code -901 on a NO WAIT transaction.
constexpr int IscLockConflict = 335544345;

// A random (version 4) GUID for a new record's GUID field.
TGUID NewGuid() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const uint64_t high = random(), low = random();
    TGUID guid;
    guid.D1 = static_cast<uint32_t>(high);
    guid.D2 = static_cast<uint16_t>(high >> 32);
    guid.D3 = static_cast<uint16_t>(((high >> 48) & 0x0FFF) | 0x4000);
    for (size_t i = 0; i < 8; ++i) guid.D4[i] = static_cast<uint8_t>(low >> (8 * i));
    guid.D4[0] = static_cast<uint8_t>((guid.D4[0] & 0x3F) | 0x80);
    return guid;
}

// The value of a quoted literal: without its quotes, a doubled inner quote as one.
std::string StripQuotedLiteral(const std::string& Text) {
    std::string value;
    for (size_t i = 1; i + 1 < Text.size(); ++i) {
        value += Text[i];
        if (Text[i] == '\'' && Text[i + 1] == '\'' && i + 2 < Text.size()) ++i;
    }
    return value;
}

} // namespace

// ---- Lock ----

std::string TpFIBDataSet::LockText() {
    std::string text;
    if (OnLockSQLText) OnLockSQLText(this, text);
    if (!text.empty()) return text;
    const TAutoUpdateOptions& au = AutoUpdateOptions();
    std::string table, condition;
    if (HasNonBlankLine(UpdateSQL()) && !(au.AutoReWriteSqls && au.UpdateOnlyModifiedFields())) {
        table = GetMainTableName(UpdateQuery().ExpandedSQLText(), true);
        condition = UpdateQuery().GetWhereClause(1);
    } else if (au.AutoReWriteSqls && au.KeyFieldList().Count() > 0) {
        table = au.UpdateTableName();
        for (int i = 0; i < au.KeyFieldList().Count(); ++i)
            condition += (i ? " and " : "") + au.KeyFieldList()[i] + "=?" + au.KeyFieldList()[i];
    } else {
        throw Exception(SFIBLockEmptyUpdateQuery);
    }
    if (table.empty()) return {};
    const std::string word = ExtractWord(1, table, MakeCharSet(std::string_view("\0\t\n\r \"(-/;^", 11)));
    if (InSet(Options(), poUseSelectForLock))
        return "SELECT 0 FROM " + table + " WHERE " + condition + " FOR UPDATE WITH LOCK";
    for (TField* f : Fields()) {
        if (f->FieldKind() != fkData || GetRelationName(f) != word) continue;
        const std::string name = GetSqlName(f);
        const std::string column = Database() && Database()->SQLDialect() == 1 ? UpperCase(Trim(name))
                                   : NeedQuote(name)                           ? "\"" + name + "\""
                                                                               : name;
        // The column keeps the server's current value: a value from the client would write its
        // stale copy over what another user committed since it was read.
        return "UPDATE " + table + " SET " + column + "=" + column + " WHERE " + condition;
    }
    return {};
}

TLockStatus TpFIBDataSet::LockRecord(bool RaiseOnError) {
    const std::string text = LockText();
    TFIBQuery& lock = *FLockQuery;
    if (text.empty())
        lock.SQL().Assign(UpdateSQL());
    else if (lock.SQL().Text() != text + "\r\n")
        lock.SQL().SetText(text);
    if (lock.Database() != Database()) lock.SetDatabase(Database());
    if (lock.Transaction() != UpdateTransaction()) lock.SetTransaction(UpdateTransaction());
    TRecordBuffer buffer = ActiveBuffer();
    if (!CachedUpdates() && State() != dsEdit && State() != dsInsert) SaveOldVersion(buffer);
    TLockStatus status = lsSuccess;
    for (;;) {
        std::string message;
        try {
            StartUpdateTransaction();
            CheckUpdateTransaction();
            if (lock.Open()) lock.Close();
            if (!lock.Prepared()) lock.Prepare();
            SetQueryParams(lock, buffer);
            if (CachedUpdates()) {
                // The condition compares with the values the server holds: the saved ones.
                TFIBXSQLDA& params = lock.Params();
                for (int i = 0; i < params.Count(); ++i) {
                    TFIBXSQLVAR& p = params.GetVar(i);
                    TField* f = FindField(p.Name());
                    if (!f || f->IsBlob()) continue;
                    const Variant old = f->OldValue();
                    if (old.IsNull())
                        p.SetIsNull(true);
                    else
                        p.SetAsVariant(old);
                }
            }
            lock.ExecQuery();
            int64_t rows = 0;
            if (lock.SQLType() == SQLSelect || lock.SQLType() == SQLSelectForUpdate) {
                for (; !lock.Eof(); lock.Next()) ++rows;
                lock.Close();
            } else {
                rows = lock.GetRowsAffected();
            }
            status = rows == 1 ? lsSuccess : rows == 0 ? lsNotExist : lsMultiply;
        } catch (const EFIBError& E) {
            if (lock.Open()) lock.Close();
            status = E.SQLCode() == -913 || (E.SQLCode() == -901 && E.IBErrorCode() == IscLockConflict) ? lsDeadLock
                                                                                                        : lsUnknownError;
            message = E.what();
        }
        if (status == lsSuccess || !RaiseOnError) return status;
        message = SFIBErrorRecordUpdating + std::string(status == lsDeadLock    ? SFIBDeadlockDetected
                                                        : status == lsNotExist   ? SFIBRecordNotExist
                                                        : status == lsMultiply   ? SFIBMultipleRecords
                                                                                 : message);
        TDataAction action = daFail;
        if (OnLockError) OnLockError(this, status, message, action);
        if (action == daFail) throw Exception(message);
        if (action == daAbort) throw EAbort();
        if (action != daRetry) return status;
    }
}

// ---- Generator and default values ----

void TpFIBDataSet::IncGenerator() {
    const TAutoUpdateOptions& au = AutoUpdateOptions();
    if (au.WhenGetGenID == wgNever) return;
    if (!Database()) RaiseClientError(cecDatabaseNotAssigned, {ComponentFullName(this)});
    TField* key = FindField(au.KeyFields());
    if (!key || !dynamic_cast<TNumericField*>(key) || !key->IsNull()) return;
    const int64_t value = Database()->Gen_Id(au.GeneratorName, au.GeneratorStep, Transaction());
    // An integer field refuses a value beyond its width with the range error.
    key->SetAsLargeInt(value);
    FGeneratorUsed = true;
}

void TpFIBDataSet::DoApplyDefaultValue(TField* Field, bool& Applied) {
    Applied = false;
    TDataSetsContainer* global = TDataSetsContainer::GlobalContainer();
    if (global && global != FContainer) global->ApplyDefaultValue(this, Field, Applied);
    if (FContainer) FContainer->ApplyDefaultValue(this, Field, Applied);
    if (OnApplyDefaultValue) OnApplyDefaultValue(this, Field, Applied);
}

void TpFIBDataSet::DoOnNewRecord() {
    const TAutoUpdateOptions& au = AutoUpdateOptions();
    TField* key = au.WhenGetGenID != wgNever ? FindField(au.KeyFields()) : nullptr;
    if (au.WhenGetGenID == wgOnNewRecord)
        IncGenerator();
    else if (au.WhenGetGenID == wgBeforePost && key)
        key->SetRequired(false);
    const double shift = Database() ? Database()->ServerTimeDifference() : 0;
    const TDateTime now = Now() - shift;
    const TDateTime today = std::floor(now);
    if (!FDefaultLinksReady) {
        FDefaultLinks.assign(static_cast<size_t>(FieldCount()), nullptr);
        const TStringList& links = au.ParamsToFieldsLinks();
        if (links.Count() > 0)
            for (int i = 0; i < FieldCount(); ++i) {
                const std::string param = links.Values(Fields()[i]->FieldName());
                if (!param.empty()) FDefaultLinks[static_cast<size_t>(i)] = SelectQuery().FindParam(param);
            }
        FDefaultLinksReady = true;
    }
    for (int i = 0; i < FieldCount(); ++i) {
        TField* f = Fields()[i];
        if (f == key) continue;
        if (TFIBXSQLVAR* link = i < static_cast<int>(FDefaultLinks.size()) ? FDefaultLinks[static_cast<size_t>(i)] : nullptr) {
            f->SetAsVariant(link->GetAsVariant());
            continue;
        }
        if (auto* text = dynamic_cast<TFIBStringField*>(f); text && text->DefaultIsEmptyString) {
            text->SetAsString(std::string());
            continue;
        }
        if (auto* guid = dynamic_cast<TFIBGuidField*>(f)) {
            guid->SetAsString(GUIDAsString(NewGuid()));
            continue;
        }
        const std::string expression = f->DefaultExpression;
        if (expression.empty()) continue;
        std::string d = UpperCase(Trim(expression));
        if (!d.empty()) d = StripQuotes(d);
        bool applied = false;
        DoApplyDefaultValue(f, applied);
        if (applied || d == "NULL") continue;
        const TFieldType type = f->DataType();
        if (type == ftDateTime || type == ftDate || type == ftTime) {
            if (d == "NOW" || d == "CURRENT_TIME" || d == "CURRENT_TIMESTAMP")
                f->SetAsDateTime(now);
            else if (d == "TODAY" || d == "CURRENT_DATE")
                f->SetAsDateTime(today);
            else if (d == "TOMORROW")
                f->SetAsDateTime(today + 1);
            else if (d == "YESTERDAY")
                f->SetAsDateTime(today - 1);
            else
                f->SetAsString(expression);
        } else if (dynamic_cast<TFIBStringField*>(f) || dynamic_cast<TFIBWideStringField*>(f)) {
            if (d == "USER" || d == "CURRENT_USER")
                f->SetAsString(Database() ? Database()->ReadDBParam(28) : std::string());
            else if (d == "ROLE" || d == "CURRENT_ROLE")
                f->SetAsString(Database() ? Database()->ReadDBParam(60) : std::string());
            else if (expression.size() >= 2 && expression.front() == '\'')
                // A quoted text: its inner doubled quotes are one quote of the value.
                f->SetAsString(StripQuotedLiteral(expression));
            else
                f->SetAsString(expression);
        } else {
            f->SetAsString(expression);
        }
    }
    ReportEvent(deOnNewRecord);
    TFIBDataSet::DoOnNewRecord();
}

// ---- Record count ----

int64_t TpFIBDataSet::AskRecordCount() {
    TFIBQuery& select = SelectQuery();
    if (!select.Transaction() || !select.Transaction()->Active()) return 0;
    TFIBQuery& count = *FCountQuery;
    if (count.Open()) count.Close();
    if (count.Database() != select.Database()) count.SetDatabase(select.Database());
    if (count.Transaction() != select.Transaction()) count.SetTransaction(select.Transaction());
    std::string text;
    if (OnAskRecordCount) OnAskRecordCount(this, text);
    if (text.empty()) {
        const std::string expanded = select.ExpandedSQLText();
        if (select.Database() && select.Database()->IsFirebirdConnect() && select.Database()->GetServerMajorVersion() >= 2) {
            // The derived table's columns get names of their own: a join's two ID columns or an
            // unnamed expression would otherwise make the count fail.
            if (!select.Prepared()) select.Prepare();
            std::string columns;
            for (int i = 1; i <= select.GetFieldCount(); ++i) columns += (i > 1 ? "," : "") + std::string("C") + std::to_string(i);
            text = "Select Count(*) from (" + expanded + ") FIB$CNT (" + columns + ")";
        } else {
            text = CountSelect(expanded);
        }
    }
    if (count.SQL().Text() != text + "\r\n") count.SQL().SetText(text);
    if (!HasNonBlankLine(count.SQL())) return 0;
    try {
        auto copy = [&](const std::string& Name) {
            if (TFIBXSQLVAR* source = select.FindParam(Name))
                if (TFIBXSQLVAR* target = count.FindParam(Name)) target->Assign(*source);
        };
        for (int i = 0; i < count.Params().Count(); ++i) copy(count.Params().GetVar(i).Name());
        count.Prepare();
        for (int i = 0; i < count.PendingConversions().Count(); ++i) copy(count.PendingConversions()[i]);
        count.ExecQuery();
        // COUNT is a BIGINT in Firebird 3.
        const int64_t result = count.Eof() ? 0 : count.Fields()[0].GetAsInt64();
        count.FreeHandle();
        return result;
    } catch (const std::exception& E) {
        if (count.Open()) count.Close();
        throw Exception(FormatMessage(SFIBCantGetRecordCount, {ComponentFullName(this)}) + "\r\n" + E.what());
    }
}

void TpFIBDataSet::DoAskRecordCount() {
    const int64_t count = InSet(PrepareOptions(), psAskRecordCount) ? AskRecordCount() : 0;
    SetServerRecordCount(static_cast<int>(std::min<int64_t>(count, INT_MAX)));
}

} // namespace qnl
