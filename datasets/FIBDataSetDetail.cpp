// The data set as the detail of a master: following the master's record, the wait while the
// master scrolls, the master's close and refresh, and the end-of-scroll event; see FIBDataSet.h.
// The master's values go into the SELECT's parameters at open (FIBDataSetEdit.cpp).
#include "datasets/FIBDataSet.h"

#include "client/StrUtil.h"
#include "client/fib.h"

#include <cstring>

namespace qnl {

// ---- The link ----

void TFIBDataLink::ActiveChanged() {
    if (Active()) FDataSet->MasterChanged();
    else FDataSet->MasterClosed();
}

void TFIBDataLink::CheckBrowseMode() {
    if (FDataSet->Active()) FDataSet->CheckBrowseMode();
}

void TFIBDataLink::RecordChanged(TField* Field) {
    if (!Field && FDataSet->Active() && FDataSet->MasterFieldsChanged()) FDataSet->MasterChanged();
}

// ---- Following the master ----

bool TFIBCustomDataSet::MasterFieldsChanged() {
    if (FSelectQuery->MacroChangesPending()) {
        FSelectQuery->ApplyMacros();
        return true;
    }
    TDataSet* master = DataSource() ? DataSource()->DataSet() : nullptr;
    if (!master) return false;
    auto* fibMaster = dynamic_cast<TFIBCustomDataSet*>(master);
    auto differs = [&](TFIBXSQLVAR& Param) {
        std::string name = Param.Name();
        if (IsMasParamName(name)) name = name.substr(4);
        TField* field = master->FindField(name);
        if (!field) return false;
        if (field->IsNull() != Param.GetIsNull()) return true;
        if (field->IsNull()) return false;
        switch (field->DataType()) {
        case ftString: return field->AsString() != Param.GetAsString();
        case ftWideString: return field->AsWideString() != Param.GetAsWideString();
        case ftSmallint:
        case ftInteger:
        case ftWord: return field->AsInteger() != Param.GetAsInteger();
        case ftBoolean: return field->AsBoolean() != Param.GetAsBoolean();
        case ftFloat:
        case ftCurrency: return field->AsFloat() != Param.GetAsDouble();
        case ftBCD:
            if (auto* bcd = dynamic_cast<TFIBBCDField*>(field); bcd && bcd->Size() == 0)
                return bcd->AsLargeInt() != Param.GetAsInt64();
            // Both as decimal text: exact whatever the number of digits.
            return BcdToStr(field->AsBCD()) != BcdToStr(Param.GetAsBCD());
        case ftDate: return field->AsDateTime() != Param.GetAsDateTime();
        case ftTime:
        case ftDateTime: {
            // To the ten-thousandth, as the parameter got it.
            ISC_TIMESTAMP stamp{};
            const XSQLVAR* x = Param.GetXSQLVAR();
            if (fibMaster && fibMaster->ReadIscTime(field, stamp) && x->sqldata) {
                if (Param.GetSQLType() == SQL_TYPE_TIME) return std::memcmp(x->sqldata, &stamp.timestamp_time, 4) != 0;
                if (Param.GetSQLType() == SQL_TIMESTAMP) return std::memcmp(x->sqldata, &stamp, 8) != 0;
            }
            return field->AsDateTime() != Param.GetAsDateTime();
        }
        case ftLargeint: return field->AsLargeInt() != Param.GetAsInt64();
        case ftGuid: {
            TGUID guid{};
            Param.GetAsGUID(guid);
            const TGUID master = StringAsGUID(field->AsString());
            return std::memcmp(&master, &guid, sizeof guid) != 0;
        }
        default: return false;
        }
    };
    TFIBXSQLDA& params = FSelectQuery->Params();
    for (int i = 0; i < params.Count(); ++i)
        if (differs(params.GetVar(i))) return true;
    const TStringList& pending = FSelectQuery->PendingConversions();
    for (int i = 0; i < pending.Count(); ++i)
        if (TFIBXSQLVAR* param = FSelectQuery->FindParam(pending[i]); param && differs(*param)) return true;
    return false;
}

void TFIBCustomDataSet::MasterChanged() {
    if (!FDetailTimer || FDetailTimer->Interval() < 1) {
        RefreshDetail();
        return;
    }
    // A detail of a detail that follows by its timer follows at once: one wait for the chain.
    auto* master = dynamic_cast<TFIBCustomDataSet*>(DataSource() ? DataSource()->DataSet() : nullptr);
    if (master && master->FDetailRefreshByTimer) {
        FDetailRefreshByTimer = true;
        Guarded([&] { RefreshDetail(); }, [&] { FDetailRefreshByTimer = false; });
        return;
    }
    FDetailTimer->SetEnabled(false);
    FDetailTimer->SetInterval(EndScrollInterval);
    FDetailTimer->SetEnabled(true);
}

void TFIBCustomDataSet::RefreshDetail() {
    if (FDetailTimer) FDetailTimer->SetEnabled(false);
    DisableControls();
    Guarded(
        [&] {
            if (!HasNonBlankLine(SelectSQL())) return;
            if (!Active() && !InSet(FDetailConditions, dcForceOpen)) return;
            if (Active()) Close();
            Open();
        },
        [&] { EnableControls(); });
    DataEvent(deDataSetScroll, 0);
}

void TFIBCustomDataSet::MasterClosed() {
    if (InSet(FDetailConditions, dcIgnoreMasterClose) || !Active()) return;
    try {
        Close();
    } catch (...) {
        if (auto* master = dynamic_cast<TFIBCustomDataSet*>(DataSource() ? DataSource()->DataSet() : nullptr))
            master->CloseCursor();
        throw;
    }
}

void TFIBCustomDataSet::FinishPendingDetailRefresh() {
    TDataSet* master = DataSource() ? DataSource()->DataSet() : nullptr;
    if (!master || !FDetailTimer || !FDetailTimer->Enabled()) return;
    if (auto* m = dynamic_cast<TFIBCustomDataSet*>(master)) m->FinishPendingDetailRefresh();
    if (MasterFieldsChanged()) RefreshDetail();
    FDetailTimer->SetEnabled(false);
}

void TFIBCustomDataSet::RefreshMaster() {
    TDataSet* master = DataSource() ? DataSource()->DataSet() : nullptr;
    if (!master) return;
    auto* m = dynamic_cast<TFIBCustomDataSet*>(master);
    const bool visibleRecno = m && InSet(m->FOptions, poVisibleRecno);
    if (visibleRecno) m->FOptions = static_cast<TpFIBDsOptions>(m->FOptions & ~SetOf<TpFIBDsOptions>(poVisibleRecno));
    Guarded([&] { master->Refresh(); },
            [&] {
                if (visibleRecno) m->FOptions = static_cast<TpFIBDsOptions>(m->FOptions | SetOf<TpFIBDsOptions>(poVisibleRecno));
            });
}

// ---- The conditions and the timers ----

TDetailConditions TFIBCustomDataSet::DetailConditions() const {
    const bool waits = FDetailTimer && FDetailTimer->Interval() >= 1;
    const auto wait = SetOf<TDetailConditions>(dcWaitEndMasterScroll);
    return static_cast<TDetailConditions>(waits ? (FDetailConditions | wait) : (FDetailConditions & ~wait));
}

void TFIBCustomDataSet::SetDetailConditions(TDetailConditions Value) {
    FDetailConditions = Value;
    if (InSet(Value, dcWaitEndMasterScroll)) {
        if (!FDetailTimer) {
            FDetailTimer = std::make_unique<TFIBCustomTimer>();
            FDetailTimer->SetEnabled(false);
            FDetailTimer->SetInterval(0);
            FDetailTimer->OnTimer = [this](TObject*) {
                FDetailRefreshByTimer = true;
                Guarded([&] { RefreshDetail(); }, [&] { FDetailRefreshByTimer = false; });
            };
        }
        FDetailTimer->SetInterval(EndScrollInterval);
    } else {
        FDetailTimer.reset();
    }
}

void TFIBCustomDataSet::SetOnEndScroll(TNotifyEvent Value) {
    if (Value) {
        if (!FEndScrollTimer) {
            FEndScrollTimer = std::make_unique<TFIBCustomTimer>();
            FEndScrollTimer->SetEnabled(false);
            FEndScrollTimer->SetInterval(0);
            FEndScrollTimer->OnTimer = [this](TObject*) {
                FEndScrollTimer->SetEnabled(false);
                // A copy: the handler may replace the event, or free the data set.
                const TNotifyEvent handler = FOnEndScroll;
                if (handler) handler(this);
            };
        }
        FEndScrollTimer->SetInterval(EndScrollInterval);
    } else {
        FEndScrollTimer.reset();
    }
    FOnEndScroll = std::move(Value);
}

} // namespace qnl
