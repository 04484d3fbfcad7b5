// Implements the extended data set's generated modify statements and value literals; see
// pFIBDataSet.h.
#include "datasets/pFIBDataSet.h"

#include "client/SqlTxtRtns.h"
#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "datasets/pFIBDataInfo.h"
#include "platform/DateTime.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qnl {

namespace {

const std::string Indent = "     ";
const std::string NewLine(CRLF);
const char* const KindNames[4] = {"UpdateSQL", "InsertSQL", "DeleteSQL", "RefreshSQL"};

// A text blob longer than this goes to the server as a parameter, not a literal (Firebird 3
// takes literals up to 65535 bytes, and an execute block holds several statements).
constexpr size_t MaxTextLiteral = 32000;

template <typename T>
T Load(const char* Data) {
    T value;
    std::memcpy(&value, Data, sizeof value);
    return value;
}

// A scaled integer as its exact decimal text: 12345 at scale -2 is 123.45.
std::string ScaledText(int64_t Value, int Scale) {
    if (Scale >= 0) {
        std::string text = std::to_string(Value);
        if (Value != 0) text.append(static_cast<size_t>(Scale), '0');
        return text;
    }
    const bool negative = Value < 0;
    // The magnitude as unsigned: the lowest 64-bit value has no positive counterpart.
    const uint64_t magnitude = negative ? uint64_t{0} - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
    std::string digits = std::to_string(magnitude);
    const auto decimals = static_cast<size_t>(-Scale);
    if (digits.size() <= decimals) digits.insert(0, decimals - digits.size() + 1, '0');
    digits.insert(digits.size() - decimals, ".");
    return (negative ? "-" : "") + digits;
}

// The shortest text that reads back as the same value.
template <typename T>
std::string FloatText(T Value) {
    if (!std::isfinite(Value)) throw Exception("A value that is not a finite number has no SQL literal");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, Value);
    return std::string(buffer, result.ptr);
}

std::string HexLiteral(std::string_view Bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "X'";
    for (unsigned char c : Bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text + "'";
}

std::string QuotedLiteral(std::string_view Text) {
    std::string text = "'";
    for (char c : Text) {
        text += c;
        if (c == '\'') text += '\'';
    }
    return text + "'";
}

// YYYY-MM-DD of a day number counted from 1 January 0001 as day 1.
std::string DateText(int32_t Day) {
    int year = 0, month = 0, day = 0;
    DecodeDate(static_cast<double>(Day - DateDelta), year, month, day);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    return buffer;
}

// HH:MM:SS.ffff of the ten-thousandths of a second since midnight.
std::string TimeText(int64_t Units) {
    const int64_t seconds = Units / 10000;
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%04d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60), static_cast<int>(Units % 10000));
    return buffer;
}

// Whether a column's stored value differs between two record buffers (null flags included).
bool ColumnChanged(const TFIBFieldDescr& D, int Column, const char* New, const char* Old) {
    const bool newNull = New[6 + Column - 1] != 0, oldNull = Old[6 + Column - 1] != 0;
    if (newNull || oldNull) return newNull != oldNull;
    const char* a = New + D.DataOffset;
    const char* b = Old + D.DataOffset;
    if (D.InStringCollection) return StoredText(D, a) != StoredText(D, b);
    return std::memcmp(a, b, D.DataSize) != 0;
}

} // namespace

// What the generation needs of a field, from the data set's fields or, without fields, from the
// prepared statement's columns.
struct TpFIBDataSet::TGenField {
    TField* Field = nullptr;
    std::string Name, Relation, SqlName, Alias;
    bool IsBlob = false;
    int Column = 0;   // 1-based output column; 0 for none
};

std::string TpFIBDataSet::AliasByTableName(const std::string& TableName) {
    const auto options = SelectQuery().Options();
    SelectQuery().SetOptions(options | SetOf<TpFIBQueryOptions>(qoNoForceIsNull));
    std::string text = SelectQuery().ExpandedSQLText();
    SelectQuery().SetOptions(options);
    return qnl::AliasByTableName(text, TableName);
}

bool TpFIBDataSet::DatabaseNameRules(int& SQLDialect, bool& NeedUpperNames) {
    if (!Database()) return false;
    SQLDialect = Database()->SQLDialect();
    NeedUpperNames = Database()->NeedUpperNames();
    return true;
}

std::string TpFIBDataSet::NormalizedName(const std::string& Name, bool TableOrAlias) {
    const int dialect = Database() ? Database()->SQLDialect() : 3;
    if (dialect == 1) return UpperCase(Trim(Name));
    if (Name.empty() || Name[0] == '"') return Name;
    const bool quote = TableOrAlias && Database() && Database()->NeedUpperNames() ? NeedQuoteNoCase(Name) : NeedQuote(Name);
    return quote ? "\"" + Name + "\"" : UpperCase(Name);
}

std::vector<TpFIBDataSet::TGenField> TpFIBDataSet::GenerationFields() {
    std::vector<TGenField> result;
    if (FieldCount() > 0) {
        for (TField* f : Fields())
            result.push_back({f, f->FieldName(), GetRelationName(f), GetSqlName(f), GetFieldTableAlias(f), f->IsBlob(),
                              f->FieldKind() == fkData ? f->FieldNo() : 0});
        return result;
    }
    TFIBQuery& select = SelectQuery();
    if (!select.Prepared()) select.Prepare();
    for (int i = 0; i < select.GetFieldCount(); ++i) {
        TFIBXSQLVAR& v = select.Fields()[i];
        const int type = v.GetSQLType();
        result.push_back({nullptr, v.Name(), v.GetRelationName(), v.GetSqlName(), select.GetFieldTableAlias(i),
                          type == SQL_BLOB || type == SQL_QUAD, 0});
    }
    return result;
}

std::string TpFIBDataSet::SQLValueLiteral(TField* Field, bool UseOldValue, TRecordBuffer Buffer) {
    if (!Field || Field->FieldKind() != fkData || Field->FieldNo() < 1)
        throw Exception(ComponentFullName(this) + ": no stored value for a literal of field " +
                        (Field ? Field->FieldName() : std::string("(none)")));
    TRecordBuffer record = Buffer ? Buffer : ActiveBuffer();
    if (!record) RaiseClientError(cecBufferNotSet);
    std::unique_ptr<char[]> old;
    if (UseOldValue) {
        old = GetOldRecordBuffer(RecordNumberOf(record));
        if (old) record = old.get();
    }
    const int column = Field->FieldNo();
    const TFIBFieldDescr& d = FieldDescriptions().Items(column - 1);
    if (record[6 + column - 1]) return "NULL";
    const char* data = record + d.DataOffset;
    switch (d.SqlType) {
    case SQL_SHORT: return ScaledText(Load<int16_t>(data), d.Scale);
    case SQL_LONG: return ScaledText(Load<int32_t>(data), d.Scale);
    case SQL_INT64:
        if (d.Scale >= -4 || InSet(PrepareOptions(), psSQLINT64ToBCD)) return ScaledText(Load<int64_t>(data), d.Scale);
        return FloatText(Load<double>(data));
    case SQL_FLOAT: return FloatText(Load<float>(data));
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return FloatText(Load<double>(data));
    case SQL_TYPE_DATE: return "'" + DateText(Load<int32_t>(data)) + "'";
    case SQL_TYPE_TIME: return "'" + TimeText(Load<ISC_TIME>(data)) + "'";
    case SQL_TIMESTAMP: {
        // The record's milliseconds keep the ten-thousandths as their fraction.
        const int64_t units = std::llround(Load<double>(data) * IscTimeUnitsPerMSec);
        const int64_t unitsPerDay = MSecsPerDay * IscTimeUnitsPerMSec;
        return "'" + DateText(static_cast<int32_t>(units / unitsPerDay)) + " " + TimeText(units % unitsPerDay) + "'";
    }
    case SQL_BOOLEAN: return data[0] ? "TRUE" : "FALSE";
    case SQL_IB_BOOLEAN: return Load<int16_t>(data) == 1 ? "TRUE" : "FALSE";
    case SQL_TEXT:
    case SQL_VARYING: {
        if (d.IsDBKey || d.FieldKind == 1) return HexLiteral(std::string_view(data, d.DataSize));
        const std::string_view value = StoredText(d, data);
        // Octets may hold any byte, a zero too; a statement text cannot.
        if ((d.SubType & 0xFF) == 1) return HexLiteral(value);
        return QuotedLiteral(value);
    }
    case SQL_BLOB:
        if (d.SubType == 1 && !UseOldValue) {   // a text blob
            const std::string text = Field->AsString();
            if (text.size() <= MaxTextLiteral && text.find('\0') == std::string::npos) return QuotedLiteral(text);
        }
        break;
    default: break;
    }
    throw Exception(ComponentFullName(this) + ": the value of field " + Field->FieldName() +
                    " cannot be written as an SQL literal");
}

std::string TpFIBDataSet::GenerateSQLText(const std::string& TableName, const std::string& KeyFieldNames, uint8_t Kind,
                                          uint8_t FieldsKind, TSetReturningFields ReturningFields) {
    return GenerateText(TableName, KeyFieldNames, Kind, FieldsKind, ReturningFields, nullptr, false);
}

std::string TpFIBDataSet::GenerateValuesSQLText(const std::string& TableName, const std::string& KeyFieldNames,
                                                uint8_t Kind, TRecordBuffer Buffer, bool* UsesParameters) {
    TRecordBuffer record = Buffer ? Buffer : ActiveBuffer();
    if (!record) RaiseClientError(cecBufferNotSet);
    if (UsesParameters) *UsesParameters = false;
    return GenerateText(TableName, KeyFieldNames, Kind, 0, 0, record, true, UsesParameters);
}

std::string TpFIBDataSet::GenerateText(const std::string& TableName, const std::string& KeyFieldNames, uint8_t Kind,
                                       uint8_t FieldsKind, TSetReturningFields ReturningFields, TRecordBuffer Record,
                                       bool Values, bool* UsesParameters) {
    TRecordBuffer ValuesOf = Values ? Record : nullptr;
    if (TableName.empty() || Kind > 3) return {};
    TAutoUpdateOptions& au = AutoUpdateOptions();
    std::string table, alias;
    if (TableName == au.UpdateTableName()) {
        table = au.GetQuotedTableName();
        alias = au.GetQuotedTableAlias();
    } else if (const int pos = TableAliasPos(TableName); pos > 0) {
        table = NormalizedName(ExtractTableName(TableName, pos), true);
        alias = NormalizedName(ExtractTableAlias(TableName, pos), true);
    } else {
        table = alias = NormalizedName(TableName, true);
    }
    if (au.UpdateOnlyModifiedFields() && FieldCount() == 0) return {};
    const std::vector<TGenField> fields = GenerationFields();
    TpFIBTableInfo* info = TableInfoCache().GetTableInfo(Database(), table, false);
    if (!info) return {};
    const bool values = ValuesOf != nullptr;

    // The key condition: the key fields of the update table that a WHERE can compare.
    std::vector<const TGenField*> keys;
    for (size_t start = 0; start <= KeyFieldNames.size();) {
        size_t end = KeyFieldNames.find(';', start);
        if (end == std::string::npos) end = KeyFieldNames.size();
        std::string name = Trim(std::string_view(KeyFieldNames).substr(start, end - start));
        start = end + 1;
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
        if (name.empty()) continue;
        for (const TGenField& f : fields)
            if (SameText(f.Name, name)) {
                keys.push_back(&f);
                break;
            }
    }
    if (keys.empty()) return {};
    std::string condition, returning;
    const bool keyReturning = InSet(ReturningFields, rfKeyFields) && !InSet(ReturningFields, rfAll);
    for (auto k = keys.rbegin(); k != keys.rend(); ++k) {
        const TGenField& f = **k;
        if (!SameIdentifiers(NormalizedName(f.Relation, true), table)) continue;
        const TpFIBFieldInfo* fi = info->FieldInfo(f.SqlName);
        // Firebird 3 describes the row key as RDB$DB_KEY, older servers as DB_KEY.
        const bool dbKey = !fi && (f.SqlName == "DB_KEY" || f.SqlName == "RDB$DB_KEY");
        if (fi ? !fi->UsableInWhere : !dbKey) continue;
        // The server knows the row key by its full name only.
        const std::string column = dbKey ? std::string("RDB$DB_KEY") : NormalizedName(f.SqlName, false);
        condition += condition.empty() ? "" : " and ";
        if (!values) {
            condition += alias + "." + column + "=?" + NormalizedName("OLD_" + f.Name, false);
        } else {
            // A null key matches with IS NULL; "= NULL" would match nothing.
            const std::string literal = SQLValueLiteral(f.Field, true, ValuesOf);
            condition += alias + "." + column + (literal == "NULL" ? " IS NULL" : "=" + literal);
        }
        if (keyReturning) returning += column + ",";
    }
    if (condition.empty())
        throw Exception(FormatMessage(SFIBCantGenerateSQL, {ComponentFullName(this), KindNames[Kind], TableName}));
    std::string selectText;
    {
        const auto options = SelectQuery().Options();
        SelectQuery().SetOptions(options | SetOf<TpFIBQueryOptions>(qoNoForceIsNull));
        selectText = SelectQuery().ExpandedSQLText();
        SelectQuery().SetOptions(options);
    }
    if (!values && TableName == au.UpdateTableName()) {
        au.CachedKeyCondition = condition;
        au.CachedSelectText = selectText;
    }
    const bool rows = !values && au.UseRowsClause;

    if (Kind == 2)
        return "Delete from " + table + " " + alias + NewLine + "where " + condition + (rows ? NewLine + " ROWS 1" : "");
    if (Kind == 3) return SetOrderClause(AddWhereCondition(selectText, condition, true), "");

    TRecordBuffer record = Record ? Record : ActiveBuffer();
    std::unique_ptr<char[]> old;
    if (au.UpdateOnlyModifiedFields() && Kind == 0 && record) old = GetOldRecordBuffer(RecordNumberOf(record));
    std::string result = Kind == 0 ? "Update " + table + " " + alias + " Set" : "Insert into " + table + "(";
    std::string valueList = "values (";
    bool any = false;
    for (const TGenField& f : fields) {
        if (f.Field) {
            if (f.Field->FieldKind() != fkData) continue;
            if ((FieldsKind == 1 && f.IsBlob) || (FieldsKind == 2 && !f.IsBlob)) continue;
            if (au.UpdateOnlyModifiedFields() && record && f.Column > 0) {
                const TFIBFieldDescr& d = FieldDescriptions().Items(f.Column - 1);
                if (Kind == 0) {
                    const bool changed = f.IsBlob ? IsBlobFieldModified(f.Field)
                                         : f.Field->DataType() == ftBytes ? true
                                         : old ? ColumnChanged(d, f.Column, record, old.get())
                                               : true;
                    if (!changed) continue;
                } else if (record[6 + f.Column - 1]) {
                    continue;   // a new record writes only what it holds
                }
            }
        }
        if (NormalizedName(f.Relation, true) != table || NormalizedName(f.Alias, true) != alias) continue;
        const TpFIBFieldInfo* fi = info->FieldInfo(f.SqlName);
        if (!fi || (fi->IsComputed && !InSet(PrepareOptions(), psCanEditComputedFields))) continue;
        const std::string column = NormalizedName(f.SqlName, false);
        const std::string param = "?" + NormalizedName("NEW_" + f.Name, false);
        const std::string sep = any ? "," : "";
        any = true;
        if (!values) {
            if (Kind == 0) {
                result += sep + NewLine + Indent + column + "=" + param;
            } else {
                result += sep + NewLine + Indent + column;
                valueList += sep + NewLine + Indent + param;
            }
            if (InSet(ReturningFields, rfAll) || (InSet(ReturningFields, rfBlobFields) && f.IsBlob))
                returning += column + ",";
            continue;
        }
        // A value no literal can carry stays a parameter the caller fills from the record.
        std::string literal = param;
        if (f.Field) {
            try {
                literal = SQLValueLiteral(f.Field, false, ValuesOf);
            } catch (const Exception&) {
                if (!f.IsBlob && f.Field->DataType() != ftBytes) throw;
                if (UsesParameters) *UsesParameters = true;
            }
        }
        if (Kind == 0) {
            result += sep + " " + column + "=" + literal;
        } else {
            result += sep + " " + column;
            valueList += sep + " " + literal;
        }
    }
    if (!any) return values ? std::string() : std::string("No Action");
    if (values) return Kind == 0 ? result + " where " + condition : result + NewLine + ")" + valueList + ")";
    if (Kind == 0)
        result += NewLine + "where " + condition + (rows ? NewLine + " ROWS 1" : "");
    else
        result += NewLine + ")" + NewLine + valueList + NewLine + ")";
    // ROWS comes before RETURNING: Firebird refuses it after.
    if (!returning.empty()) result += NewLine + "RETURNING " + returning.substr(0, returning.size() - 1);
    return result;
}

std::string TpFIBDataSet::TableFieldsAsKeyFields(const std::string& TableName) {
    std::string result;
    for (const TGenField& f : GenerationFields())
        if (!f.IsBlob && f.Relation == TableName) result += (result.empty() ? "" : ";") + f.Name;
    return result;
}

void TpFIBDataSet::SettleKeyFields() {
    TAutoUpdateOptions& au = AutoUpdateOptions();
    if (!Trim(au.KeyFields()).empty() || au.UpdateTableName().empty()) return;
    const std::string table = au.GetQuotedTableName();
    std::string primary;
    if (TpFIBTableInfo* info = TableInfoCache().GetTableInfo(Database(), table, false))
        primary = info->GetPrimaryKeys(Database());
    // Every column as the key could change or delete every duplicate of the row, and a part of
    // a composite key every row sharing that part: only a whole primary key is taken by itself.
    if (primary.empty() || primary == "@FIB_DEFERRED")
        throw Exception(ComponentFullName(this) + ": unable to generate modify statements for \"" + au.UpdateTableName() +
                        "\": the table has no primary key; name the key fields in AutoUpdateOptions.KeyFields");
    const std::string keys = GetTableKeyFields(table, false);
    if (keys.empty())
        throw Exception(ComponentFullName(this) + ": unable to generate modify statements for \"" + au.UpdateTableName() +
                        "\": its primary key (" + primary + ") is not among the data set's fields");
    au.SetKeyFields(keys);
}

void TpFIBDataSet::GenerateModifySQLs() {
    TAutoUpdateOptions& au = AutoUpdateOptions();
    au.ClearQuotedNames();
    // Writing the texts must not count as the user changing them.
    std::array<TFIBQuery*, 4> queries = {&DeleteQuery(), &UpdateQuery(), &InsertQuery(), &RefreshQuery()};
    std::array<TNotifyEvent, 4> saved;
    for (size_t i = 0; i < queries.size(); ++i) saved[i] = std::exchange(queries[i]->OnSQLChanging, nullptr);
    struct TRestore {
        std::array<TFIBQuery*, 4>& Queries;
        std::array<TNotifyEvent, 4>& Saved;
        ~TRestore() {
            for (size_t i = 0; i < Queries.size(); ++i) Queries[i]->OnSQLChanging = Saved[i];
        }
    } restore{queries, saved};
    SettleKeyFields();
    const std::string table = au.UpdateTableName();
    if (Trim(au.KeyFields()).empty()) return;
    const uint8_t fieldsKind = au.SeparateBlobUpdate ? 1 : 0;
    auto write = [&](TFIBQuery& Query, uint8_t Kind, uint8_t FieldsKind, TSetReturningFields Returning) {
        if (au.CanChangeSQLs || !HasNonBlankLine(Query.SQL()))
            Query.SQL().SetText(GenerateSQLText(table, au.KeyFields(), Kind, FieldsKind, Returning));
    };
    write(DeleteQuery(), 2, 0, 0);
    write(UpdateQuery(), 0, fieldsKind, au.UseReturningFields());
    write(InsertQuery(), 1, fieldsKind, au.UseReturningFields());
    PrepareBlobUpdateObject();
    write(RefreshQuery(), 3, 0, 0);
}

void TpFIBDataSet::RegenerateChangedFieldsSQL(TDataSetState ForState, TRecordBuffer Buffer) {
    TAutoUpdateOptions& au = AutoUpdateOptions();
    if (au.UpdateOnlyModifiedFields() && !Trim(au.KeyFields()).empty() && !au.UpdateTableName().empty() &&
        (ForState == dsEdit || ForState == dsInsert)) {
        TFIBQuery& query = ForState == dsEdit ? UpdateQuery() : InsertQuery();
        const std::string text = GenerateText(au.UpdateTableName(), au.KeyFields(), ForState == dsEdit ? 0 : 1,
                                              au.SeparateBlobUpdate ? 1 : 0, 0, Buffer, false);
        TStringList lines;
        lines.SetText(text);
        if (lines.Text() != query.SQL().Text()) {
            // The data set's own rewrite for this record: the updates already run in the
            // transaction stay counted.
            FRewritingForRecord = true;
            Guarded([&] { query.SQL().SetText(text); }, [&] { FRewritingForRecord = false; });
        }
    }
    PrepareBlobUpdateObject();
}

void TpFIBDataSet::PrepareBlobUpdateObject() {
    TAutoUpdateOptions& au = AutoUpdateOptions();
    if (!au.SeparateBlobUpdate) return;
    bool hasBlob = false;
    for (TField* f : Fields()) hasBlob = hasBlob || (f->FieldKind() == fkData && f->IsBlob());
    if (!hasBlob) return;
    if (!FBlobUpdateObject) {
        FBlobUpdateObject = std::make_unique<TpFIBUpdateObject>();
        FBlobUpdateObject->SetName("BlobUpdateObject");
    }
    TpFIBUpdateObject& blob = *FBlobUpdateObject;
    blob.SetDatabase(Database());
    blob.SetTransaction(UpdateTransaction());
    blob.ExecuteOrder = oeAfterDefault;
    blob.SetKindUpdate(ukModify);
    blob.SetDataSet(this);
    blob.SQL().SetText(GenerateSQLText(au.UpdateTableName(), au.KeyFields(), 0, 2, 0));
    blob.Active = HasNonBlankLine(blob.SQL()) && blob.SQL()[0] != "No Action";
}

void TpFIBDataSet::DoAfterOpen() {
    TAutoUpdateOptions& au = AutoUpdateOptions();
    if ((SelectSQLChanged() || au.Changed) && au.AutoReWriteSqls) {
        if (!au.UpdateOnlyModifiedFields()) {
            GenerateModifySQLs();
        } else if (!au.UpdateTableName().empty()) {
            // The modify and insert statements are written per record at post.
            SettleKeyFields();
            RefreshQuery().SQL().SetText(GenerateSQLText(au.UpdateTableName(), au.KeyFields(), 3, 0, 0));
            DeleteQuery().SQL().SetText(GenerateSQLText(au.UpdateTableName(), au.KeyFields(), 2, 0, 0));
        }
        au.Changed = false;
    }
    FDefaultLinksReady = false;
    SetUpdatesPending(false);
    ReportEvent(deAfterOpen);
    if (au.AutoParamsToFields && SelectQuery().SQLChangeCount() > FParamLinkMark) {
        FParamLinkMark = SelectQuery().SQLChangeCount();
        TStringList links;
        links.Assign(au.ParamsToFieldsLinks());
        FillParamsToFieldsLinks(links);
        au.SetParamsToFieldsLinks(links);
    }
    TFIBDataSet::DoAfterOpen();
}

void TpFIBDataSet::FillParamsToFieldsLinks(TStringList& Links) {
    const std::string text = SelectQuery().ExpandedSQLText();
    auto bare = [](const std::string& Name) {
        if (Name.size() >= 2 && Name.front() == '"' && Name.back() == '"') return Name.substr(1, Name.size() - 2);
        return UpperCase(Name);
    };
    TFIBXSQLDA& params = Params();
    for (int i = 0; i < params.Count(); ++i) {
        const std::string param = params.GetVar(i).Name();
        const std::string reference = FieldNameForParam(text, param);
        if (reference.empty()) continue;
        std::string field;
        const size_t dot = reference[0] == '"' ? reference.find("\".") + 1 : reference.find('.');
        if (dot != std::string::npos && dot > 0) {
            const std::string table = TableByAlias(text, reference.substr(0, dot));
            if (TField* f = FindFieldByOrigin(table, bare(reference.substr(dot + 1)))) field = f->FieldName();
        } else {
            const std::string column = bare(reference);
            TField* f = FindField(column);
            field = f ? f->FieldName() : column;
        }
        if (!field.empty()) Links.SetValue(field, param);
    }
}

void TpFIBDataSet::DoAfterClose() {
    FDefaultLinks.clear();
    FDefaultLinksReady = false;
    ForgetShown();
    FUpdatesBeforeRollback = false;
    ReportEvent(deAfterClose);
    TFIBDataSet::DoAfterClose();
    FParamLinkMark = SelectQuery().SQLChangeCount();
}

void TpFIBDataSet::DoBeforeEdit() {
    if (!CanEdit()) throw EAbort();
    if (InSet(Options(), poProtectedEdit) && UpdateStatus() == usUnmodified) {
        // The row is locked first, then read again: the edit starts from what the server holds.
        LockRecord(true);
        TAutoUpdateOptions& au = AutoUpdateOptions();
        const bool generate = au.AutoReWriteSqls || au.UpdateOnlyModifiedFields();
        if (!HasNonBlankLine(RefreshSQL()) && generate)
            RefreshSQL().SetText(GenerateSQLText(au.UpdateTableName(), au.KeyFields(), 3, 0, 0));
        InternalRefresh();
        if (!HasNonBlankLine(UpdateSQL()) && generate) {
            const bool onlyModified = au.UpdateOnlyModifiedFields();
            au.SetUpdateOnlyModifiedFields(false);
            UpdateSQL().SetText(GenerateSQLText(au.UpdateTableName(), au.KeyFields(), 0, 0, 0));
            au.SetUpdateOnlyModifiedFields(onlyModified);
        }
    }
    ReportEvent(deBeforeEdit);
    TFIBDataSet::DoBeforeEdit();
}

void TpFIBDataSet::DoBeforePost() {
    if (State() == dsInsert && AutoUpdateOptions().WhenGetGenID == wgBeforePost) IncGenerator();
    ReportEvent(deBeforePost);
    TFIBDataSet::DoBeforePost();
    if (!CachedUpdates()) RegenerateChangedFieldsSQL(State());
}

} // namespace qnl
