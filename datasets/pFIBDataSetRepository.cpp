// The extended data set and the repository tables: its statements and update options from
// FIB$DATASETS_INFO (by DataSet_ID) and back, and its fields' settings from their columns and
// from FIB$FIELDS_INFO; see pFIBDataSet.h and pFIBDataInfo.h.
#include "datasets/pFIBDataInfo.h"
#include "datasets/pFIBDataSet.h"

#include "client/StrUtil.h"
#include "client/fib.h"
#include "client/pFIBCacheQueries.h"

#include <algorithm>
#include <memory>
#include <string>

namespace qnl {

namespace {

// F widened to Digits decimals: "#,##0." gets Digits zeros, "0.0" (one character after its
// first ".") repeats that character; any other format stays.
std::string WidenFormat(const std::string& Format, int Digits) {
    if (Format.empty() || Digits <= 0) return Format;
    if (Format.back() == '.') return Format + std::string(static_cast<size_t>(Digits), '0');
    const size_t dot = Format.find('.');
    if (dot != std::string::npos && dot + 2 == Format.size())
        return Format.substr(0, dot + 1) + std::string(static_cast<size_t>(Digits), Format.back());
    return Format;
}

bool IsDateTimeField(TField* Field) { return dynamic_cast<TDateTimeField*>(Field) != nullptr; }

bool IsDateTimeWord(const std::string& Value) {
    const std::string word = UpperCase(Trim(Value));
    for (const char* w : {"", "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_DATE", "NULL", "NOW", "TODAY", "TOMORROW",
                          "YESTERDAY"})
        if (word == w) return true;
    return false;
}

// The column default as the field's DefaultExpression; a string field also learns whether the
// default is the empty string.
std::string DefaultExpressionFor(TField* Field, const TpFIBFieldInfo& Info) {
    const std::string& value = Info.DefaultValue;
    if (dynamic_cast<TNumericField*>(Field)) {
        const char separator = FormatSettings.DecimalSeparator;
        if (separator != '.') return ReplaceStr(value, ".", std::string(1, separator));
        return IsNumericStr(value) ? value : std::string();
    }
    if (IsDateTimeField(Field)) {
        if (IsDateTimeWord(value)) return Trim(value);
        const int kind = dynamic_cast<TDateField*>(Field) ? 1 : dynamic_cast<TTimeField*>(Field) ? 2 : 0;
        try {
            return NormalizeDateTimeText(value, kind);
        } catch (const EConvertError&) {
            // A literal the program's date format does not read (an ISO timestamp under
            // another format) is kept as the server wrote it; the open goes on.
            return value;
        }
    }
    if (auto* boolean = dynamic_cast<TFIBBooleanField*>(Field)) {
        if (value == "1") return boolean->StringTrue;
        if (value == "0") return boolean->StringFalse;
        return value;
    }
    // An empty-string default ("DEFAULT ''") is the field's flag, not an expression.
    if (auto* text = dynamic_cast<TFIBStringField*>(Field)) {
        text->DefaultIsEmptyString = Info.DefaultIsEmptyString;
        return value.empty() ? value : SQLQuoted(value);
    }
    return value;
}

} // namespace

// ---- The data set ----

void TpFIBDataSet::SetDataSet_ID(int32_t Value) {
    if (Value == FDataSet_ID) return;
    CheckDataSetClosed(" change DataSetID ");
    FDataSet_ID = Value;
    ClearPrepared();
    if (Value != 0) SetPrepareOptions(PrepareOptions() | SetOf<TpPrepareOptions>(psApplyRepositary));
}

void TpFIBDataSet::Prepare() {
    ResolveDatabaseAndTransaction();
    if (InSet(PrepareOptions(), psApplyRepositary) && FDataSet_ID != 0 && FDataSet_ID != FAppliedRepositoryID) {
        const bool conditionsApplied = Conditions().Applied();
        DataSetInfoCache().ApplyDataSetInfo(*this);
        FAppliedRepositoryID = FDataSet_ID;
        if (conditionsApplied) Conditions().Apply();
    }
    TFIBDataSet::Prepare();
}

void TpFIBDataSet::ApplyRepositoryInfo() { DataSetInfoCache().ApplyDataSetInfo(*this); }

void TpFIBDataSet::SetPrepareOptions(TpPrepareOptions Value) {
    const bool switchedOn = InSet(Value, psApplyRepositary) && !InSet(PrepareOptions(), psApplyRepositary);
    TFIBDataSet::SetPrepareOptions(Value);
    if (switchedOn && Active()) ApplyFieldsInfo();
}

void TpFIBDataSet::InternalOpen() {
    TFIBDataSet::InternalOpen();
    if (IsCursorOpen()) ApplyFieldsInfo();
}

void TpFIBDataSet::ApplyFieldsInfo() {
    TFIBDatabase* db = Database();
    if (!db) return;
    TAutoUpdateOptions& au = AutoUpdateOptions();
    const TpPrepareOptions po = PrepareOptions();
    std::string updateTable, updateAlias;
    if (au.AutoReWriteSqls) {
        updateTable = au.GetQuotedTableName();
        updateAlias = au.GetQuotedTableAlias();
    } else {
        updateTable = (HasNonBlankLine(UpdateSQL()) ? UpdateQuery() : InsertQuery()).GetFirstTableName();
    }
    const bool useRepo = InSet(po, psApplyRepositary) && (db->UseRepositories & (1u << urFieldsInfo)) != 0;
    const bool readOnlyRule = InSet(po, pfSetReadOnlyFields);
    const bool anyRule = InSet(po, pfSetRequiredFields) || readOnlyRule || InSet(po, pfImportDefaultValues) ||
                         InSet(po, psUseBooleanField) || useRepo;
    const bool dialect1 = db->SQLDialect() < 3;
    for (int i = 0; i < FieldCount(); ++i) {
        TField* field = Fields()[i];
        const bool dataField = field->FieldKind() == fkData;
        // Formats from DefaultFormats.
        if (InSet(Options(), poAutoFormatFields)) {
            if (auto* numeric = dynamic_cast<TNumericField*>(field)) {
                int digits = 0;
                if (auto* bcd = dynamic_cast<TBCDField*>(field))
                    digits = !bcd->IsCurrency && bcd->Size() >= 1 ? bcd->Size() : 0;
                else if (dataField && GetFieldScale(field) < 0)
                    digits = -GetFieldScale(field);
                if (digits > 0) {
                    if (numeric->DisplayFormat.empty())
                        numeric->DisplayFormat = WidenFormat(FDefaultFormats.NumericDisplayFormat, digits);
                    if (numeric->EditFormat.empty())
                        numeric->EditFormat = WidenFormat(FDefaultFormats.NumericEditFormat, digits);
                }
            } else if (auto* dt = dynamic_cast<TDateTimeField*>(field); dt && dt->DisplayFormat.empty()) {
                dt->DisplayFormat = dynamic_cast<TDateField*>(field)   ? FDefaultFormats.DisplayFormatDate
                                    : dynamic_cast<TTimeField*>(field) ? FDefaultFormats.DisplayFormatTime
                                                                       : FDefaultFormats.DateTimeDisplayFormat;
            }
        }
        auto* memo = dynamic_cast<TFIBMemoField*>(field);
        if (!anyRule && !(memo && InSet(po, psSupportUnicodeBlobs))) continue;
        TpFIBFieldInfo* aliasInfo = TableInfoCache().GetFieldInfo(db, "ALIAS", useRepo, field->FieldName());
        const std::string originTable = dataField ? GetRelationName(field) : std::string();
        const std::string originColumn = dataField ? GetSqlName(field) : std::string();
        if (dataField && !field->ReadOnly() && readOnlyRule) {
            if (au.AutoReWriteSqls) {
                std::string origin = dialect1 ? UpperCase(Trim(originTable))
                                     : NeedQuote(originTable) ? "\"" + originTable + "\""
                                                              : originTable;
                field->SetReadOnly(!EqualStr(origin, updateTable, false));
                if (!field->ReadOnly() && au.HasAlias())
                    field->SetReadOnly(!SameIdentifiers(GetFieldTableAlias(field), updateAlias));
            } else if (!(CachedUpdates() && OnUpdateRecord)) {
                field->SetReadOnly(originTable != updateTable);
            }
        }
        TpFIBFieldInfo* info = nullptr;
        if (!originTable.empty() && !originColumn.empty())
            info = TableInfoCache().GetFieldInfo(db, originTable, useRepo, originColumn);
        if (!info) info = aliasInfo;
        if (!info) continue;
        if (memo && (InSet(po, psSupportUnicodeBlobs) || db->NeedUnicodeFieldTranslation())) memo->CharSetID = info->CharSetID;
        if (InSet(po, pfImportDefaultValues)) field->DefaultExpression = DefaultExpressionFor(field, *info);
        if (aliasInfo) info = aliasInfo;
        if (dataField) {
            if (!field->ReadOnly() && readOnlyRule && !InSet(po, psCanEditComputedFields))
                field->SetReadOnly(info->IsComputed);
            if (InSet(po, pfSetRequiredFields))
                field->SetRequired((GetFieldXSQLVar(field).sqltype & 1) == 0 && IsBlankStr(info->DefaultValue) &&
                                   !info->Triggered);
        }
        if (!InSet(po, psApplyRepositary)) continue;
        if (info->HasRepositoryInfo) {
            if (info->DisplayWidth != 0) field->DisplayWidth = info->DisplayWidth;
            if (!info->DisplayLabel.empty()) field->SetDisplayLabel(info->DisplayLabel);
            field->Visible = info->Visible;
            if (auto* numeric = dynamic_cast<TNumericField*>(field)) {
                if (!info->DisplayFormat.empty()) numeric->DisplayFormat = info->DisplayFormat;
                if (!info->EditFormat.empty()) numeric->EditFormat = info->EditFormat;
            } else if (auto* dt = dynamic_cast<TDateTimeField*>(field); dt && !info->DisplayFormat.empty()) {
                dt->DisplayFormat = info->DisplayFormat;
            }
        }
        TDataSetsContainer* global = TDataSetsContainer::GlobalContainer();
        if (global && global != Container()) global->ApplyFieldRepository(this, field, info);
        if (Container()) Container()->ApplyFieldRepository(this, field, info);
        if (OnApplyFieldRepository) OnApplyFieldRepository(this, field, info);
    }
}

// ---- FIB$DATASETS_INFO ----

bool SaveDataSetInfo(TFIBCustomDataSet& DataSet, TpDataSetInfo* Info, const std::string& Description) {
    auto* ds = dynamic_cast<TpFIBDataSet*>(&DataSet);
    if (!ds) return true;
    const int32_t id = ds->DataSet_ID();
    if (id == 0) throw Exception(ds->Name() + SFIBDataSetIDPositive);
    TFIBDatabase* db = ds->Database();
    if (!db) throw Exception(SFIBDatabaseNotAssigned);
    if ((db->UseRepositories & (1u << urDataSetInfo)) == 0) throw Exception(SFIBDataSetsInfoNotUsed);
    if (!RepositoryTableExists(db, 2)) throw Exception(SFIBNoDataSetsInfoTable);
    TFIBTransaction transaction;
    transaction.SetDefaultDatabase(db);
    transaction.StartTransaction();
    Guarded(
        [&] {
            if (Info) {
                Info->ReadFromRepository(transaction, id);
            } else {
                const std::string key = std::to_string(id);
                TpFIBDataSet work;
                work.SetDatabase(db);
                work.SetTransaction(&transaction);
                work.SetUpdateTransaction(&transaction);
                work.SetSelectSQL("SELECT * FROM FIB$DATASETS_INFO WHERE DS_ID=" + key);
                work.InsertSQL().SetText("INSERT INTO FIB$DATASETS_INFO (DS_ID,UPDATE_ONLY_MODIFIED_FIELDS) VALUES(" + key +
                                         ",1)");
                work.UpdateSQL().SetText(
                    "UPDATE FIB$DATASETS_INFO SET SELECT_SQL=?SELECT_SQL,DESCRIPTION=?DESCRIPTION,UPDATE_SQL=?UPDATE_SQL,"
                    "INSERT_SQL=?INSERT_SQL,DELETE_SQL=?DELETE_SQL,REFRESH_SQL=?REFRESH_SQL,NAME_GENERATOR=?NAME_GENERATOR,"
                    "KEY_FIELD=?KEY_FIELD, UPDATE_TABLE_NAME=?UPDATE_TABLE_NAME, "
                    "UPDATE_ONLY_MODIFIED_FIELDS=?UPDATE_ONLY_MODIFIED_FIELDS, CONDITIONS=?CONDITIONS WHERE DS_ID=" +
                    key);
                try {
                    work.UpdateQuery().Prepare();
                } catch (const std::exception&) {
                    // A table of the older layout gets its newer columns.
                    UpgradeDataSetsInfoTable(&transaction);
                    transaction.Commit();
                    transaction.StartTransaction();
                    work.UpdateQuery().Prepare();
                }
                work.Open();
                if (work.Eof()) {
                    work.InsertQuery().ExecQuery();
                    work.Close();
                    work.Open();
                    if (work.Eof()) throw Exception(SFIBErrorInsertingInfo);
                }
                const std::string description =
                    Description.empty() ? work.FieldByName("DESCRIPTION")->AsString() : Description;
                const TAutoUpdateOptions& au = ds->AutoUpdateOptions();
                work.Edit();
                work.FieldByName("SELECT_SQL")->SetAsString(ds->SelectSQL().Text());
                work.FieldByName("INSERT_SQL")->SetAsString(ds->InsertSQL().Text());
                work.FieldByName("DELETE_SQL")->SetAsString(ds->DeleteSQL().Text());
                work.FieldByName("UPDATE_SQL")->SetAsString(ds->UpdateSQL().Text());
                work.FieldByName("REFRESH_SQL")->SetAsString(ds->RefreshSQL().Text());
                work.FieldByName("KEY_FIELD")->SetAsString(au.KeyFields());
                work.FieldByName("NAME_GENERATOR")->SetAsString(au.GeneratorName);
                work.FieldByName("DESCRIPTION")->SetAsString(description);
                work.FieldByName("UPDATE_TABLE_NAME")->SetAsString(au.UpdateTableName());
                work.FieldByName("UPDATE_ONLY_MODIFIED_FIELDS")->SetAsInteger(au.UpdateOnlyModifiedFields() ? 1 : 0);
                work.FieldByName("CONDITIONS")->SetAsString(ds->Conditions().SaveConditionsToText());
                work.Post();
                work.Close();
            }
            transaction.Commit();
        },
        [&] {
            if (transaction.Active()) transaction.Rollback();
        });
    return true;
}

int32_t TpDataSetInfoCollect::ReadDataSetVersion(TpFIBDataSet& DataSet) {
    TFIBTransaction* tr = DataSet.Transaction();
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(&DataSet)});
    const std::unique_ptr<TFIBQuery, decltype(&FreeQueryForUse)> q(
        GetQueryForUse(tr, "SELECT FIB$VERSION FROM FIB$DATASETS_INFO WHERE DS_ID=:DS_ID"), &FreeQueryForUse);
    if (!q) throw Exception("No pooled statement for FIB$DATASETS_INFO");
    q->SetOptions(SetOf<TpFIBQueryOptions>(qoStartTransaction));
    q->ParamByName("DS_ID").SetAsInteger(DataSet.DataSet_ID());
    q->ExecQuery();
    const int32_t version = q->Eof() || q->Fields()[0].GetIsNull() ? 0 : q->Fields()[0].GetAsInteger();
    q->Close();
    return version;
}

TpDataSetInfo* TpDataSetInfoCollect::GetInfo(TpFIBDataSet& DataSet) {
    TFIBDatabase* db = DataSet.Database();
    const int32_t id = DataSet.DataSet_ID();
    if (!db || id == 0) return nullptr;
    std::lock_guard lock(FLock);
    TpDataSetInfo* info = FindInfo(id, db->DBName());
    if (info && info->NeedsCheck && ValidateOnUse) {
        if (ReadDataSetVersion(DataSet) != info->FIBVersion) {
            std::erase_if(FInfos, [&](const auto& e) { return e.second.get() == info; });
            info = nullptr;
        } else {
            info->NeedsCheck = false;
        }
    }
    if (info) return info;
    if (db->DBName().empty())
        throw Exception(SFIBCantGetInfo + std::to_string(id) + "\r\n" + SFIBDatabaseNotAssigned);
    auto fresh = std::make_unique<TpDataSetInfo>();
    fresh->DBName = db->DBName();
    SaveDataSetInfo(DataSet, fresh.get());
    return AddInfo(id, std::move(fresh));
}

void TpDataSetInfoCollect::RemoveInfo(TpFIBDataSet& DataSet) {
    if (!DataSet.Database()) return;
    std::lock_guard lock(FLock);
    const std::string& name = DataSet.Database()->DBName();
    const auto found = std::find_if(FInfos.begin(), FInfos.end(), [&](const auto& e) {
        return e.first == DataSet.DataSet_ID() && e.second->DBName == name;
    });
    if (found != FInfos.end()) FInfos.erase(found);
}

void TpDataSetInfoCollect::ApplyDataSetInfo(TpFIBDataSet& DataSet) {
    std::lock_guard lock(FLock);
    TpDataSetInfo* info = GetInfo(DataSet);
    if (!info) return;
    auto take = [](THookedStringList& Target, const TStringList& Source) {
        if (Source.Count() > 0 && Target.Text() != Source.Text()) Target.SetText(Source.Text());
    };
    if (info->SelectSQL.Count() > 0 && DataSet.SelectSQL().Text() != info->SelectSQL.Text()) {
        // Conditions applied to the text keep the text they were applied to.
        const TConditions& conditions = DataSet.Conditions();
        if (!(conditions.Applied() && conditions.SavedSQL() == info->SelectSQL.Text()))
            DataSet.SetSelectSQL(info->SelectSQL.Text());
    }
    take(DataSet.InsertSQL(), info->InsertSQL);
    take(DataSet.UpdateSQL(), info->UpdateSQL);
    take(DataSet.DeleteSQL(), info->DeleteSQL);
    take(DataSet.RefreshSQL(), info->RefreshSQL);
    TAutoUpdateOptions& au = DataSet.AutoUpdateOptions();
    au.SetSelectGenID(!info->KeyField.empty() && !info->NameGenerator.empty());
    au.SetKeyFields(info->KeyField);
    au.GeneratorName = info->NameGenerator;
    au.SetUpdateOnlyModifiedFields(info->UpdateOnlyModifiedFields);
    au.SetUpdateTableName(info->UpdateTableName);
    DataSet.Conditions().LoadConditionsFromText(info->Conditions);
    DataSet.Description = info->Description;
}

} // namespace qnl
