// Implements the binding of the library's connection and query; see qnlConnection_FIB.h.
#include "demo/qnlConnection_FIB.h"

#include "client/StrUtil.h"
#include "platform/Params.h"
#include "platform/Streams.h"
#include "platform/StringList.h"

#include <charconv>
#include <exception>
#include <stdexcept>

namespace qnl {

T_FibQuery::~T_FibQuery() = default;

// ---- The columns of the data set's current row ----

namespace {

// One column of the data set as the library reads it: integers as integers, floating and
// decimal numbers as numbers, everything else (texts, blobs, dates) as text.
class TFIBFieldValue : public TQNLField {
public:
    explicit TFIBFieldValue(TField* AField) : Field(AField) {}
    std::string FieldName() const override { return Field->FieldName(); }
    TQNLValue AsVariant() const override {
        if (Field->IsNull()) return {};
        switch (Field->DataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftLargeint:
            return TQNLValue(Field->AsLargeInt());
        case ftBoolean:
            return TQNLValue(Field->AsBoolean() ? 1 : 0);
        case ftBCD: {
            // A decimal without a fraction stays an integer, so that it reads back exactly.
            const std::string text = Field->AsString();
            int64_t value = 0;
            const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
            if (!text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size()) return TQNLValue(value);
            return TQNLValue(Field->AsFloat());
        }
        case ftFloat:
        case ftCurrency:
            return TQNLValue(Field->AsFloat());
        default:
            return TQNLValue(Field->AsString());
        }
    }

    TField* const Field;
};

} // namespace

// The adapters follow the data set's fields: they are rebuilt whenever the data set's list of
// fields is not the one they were built for (a new open, a close).
class TQNLFIBQuery::TFieldList : public TQNLFields {
public:
    explicit TFieldList(TDataSet& ADataSet) : FDataSet(ADataSet) {}

    int Count() const override {
        Sync();
        return static_cast<int>(FItems.size());
    }
    TQNLField* Fields(int Index) const override {
        Sync();
        if (Index < 0 || Index >= static_cast<int>(FItems.size())) return nullptr;
        return FItems[static_cast<size_t>(Index)].get();
    }
    TQNLField* Find(TField* Field) const {
        Sync();
        for (const auto& item : FItems)
            if (item->Field == Field) return item.get();
        return nullptr;
    }

private:
    void Sync() const {
        TFields& fields = FDataSet.Fields();
        bool same = fields.Count() == static_cast<int>(FItems.size());
        for (int i = 0; same && i < fields.Count(); ++i) same = FItems[static_cast<size_t>(i)]->Field == fields[i];
        if (same) return;
        FItems.clear();
        for (TField* f : fields) FItems.push_back(std::make_unique<TFIBFieldValue>(f));
    }

    TDataSet& FDataSet;
    mutable std::vector<std::unique_ptr<TFIBFieldValue>> FItems;
};

// ---- TQNLFIBQuery ----

TQNLFIBQuery::TQNLFIBQuery()
    : FQuery(std::make_unique<TFIBQuery>()), FDataSet(std::make_unique<T_FibQuery>()),
      FParams(std::make_unique<TFIBParams>(FDataSet.get(), FQuery.get())),
      FFields(std::make_unique<TFieldList>(*FDataSet)) {
    FDataSet->SetUniDirectional(true);
}

TQNLFIBQuery::~TQNLFIBQuery() {
    FFields.reset();
    FParams.reset();
    FDataSet.reset();
    FQuery.reset();
}

bool TQNLFIBQuery::GetEof() { return !FDataSet->Active() || FDataSet->Eof(); }

TQNLFields* TQNLFIBQuery::GetFields() { return FDataSet->Active() ? FFields.get() : nullptr; }

TQNLField* TQNLFIBQuery::FieldByName(const std::string& Name) {
    if (!FDataSet->Active()) return nullptr;
    TField* f = FDataSet->FindField(Name);
    return f ? FFields->Find(f) : nullptr;
}

void TQNLFIBQuery::ParseParams() {
    FParams->Clear();
    TParams parsed;
    parsed.ParseSQL(FSQL.Text(), true);
    for (int i = 0; i < parsed.Count(); ++i) FParams->Add(parsed[i]->Name);
}

void TQNLFIBQuery::CopyParamValues(TFIBQuery& Target) {
    for (int i = 0; i < FParams->Count(); ++i) {
        const TQNLParam& p = *FParams->Items(i);
        TFIBXSQLVAR* var = Target.FindParam(p.Name());
        if (!var) continue;
        if (p.IsNull()) {
            var->SetIsNull(true);
        } else if (p.DataType == TQNLDataType::Blob) {
            TMemoryStream bytes;
            const std::string value = p.AsString();
            bytes.Write(value.data(), static_cast<int64_t>(value.size()));
            bytes.SetPosition(0);
            var->LoadFromStream(bytes);
        } else if (p.Value.IsInteger()) {
            var->SetAsInt64(p.Value.AsInteger());
        } else if (p.Value.IsFloat()) {
            var->SetAsDouble(p.Value.AsFloat());
        } else {
            var->SetAsString(p.AsString());
        }
    }
}

void TQNLFIBQuery::RouteText() {
    const std::string text = FSQL.Text();
    // A new text makes the old result meaningless; the data set refuses a new text while open.
    if (FDataSet->Active()) FDataSet->Close();
    if (IsSelectStatement(text)) {
        if (FDataSet->SelectSQL().Text() != text) FDataSet->SetSelectSQL(text);
        if (!FQuery->SQL().Text().empty()) FQuery->SQL().Clear();
    } else {
        if (FQuery->Open()) FQuery->Close();
        if (FQuery->SQL().Text() != text) FQuery->SQL().SetText(text);
        if (!FDataSet->SelectSQL().Text().empty()) FDataSet->SetSelectSQL("");
    }
}

void TQNLFIBQuery::SQLChanged() {
    FParams->Clear();
    if (FQuery->ParamCheck()) ParseParams();
    RouteText();
}

void TQNLFIBQuery::Open() {
    const std::string text = FSQL.Text();
    if (FDataSet->Active()) FDataSet->Close();
    // The same text keeps its prepared statement: a reader reopens one text for many rows.
    if (FDataSet->SelectSQL().Text() != text) FDataSet->SetSelectSQL(text);
    if (!FDataSet->Prepared()) FDataSet->Prepare();
    CopyParamValues(FDataSet->SelectQuery());
    FDataSet->Open();
}

void TQNLFIBQuery::Close() {
    if (FDataSet->Active()) FDataSet->Close();
    FQuery->Close();
}

void TQNLFIBQuery::ExecQuery() {
    const std::string text = FSQL.Text();
    if (FQuery->Open()) FQuery->Close();
    if (FQuery->SQL().Text() != text) FQuery->SQL().SetText(text);
    CopyParamValues(*FQuery);
    FQuery->ExecQuery();
}

TQNLParam* TQNLFIBQuery::ParamByName(const std::string& Name) {
    if (FParams->Count() == 0) ParseParams();
    return FParams->FindParam(Name);
}

void TQNLFIBQuery::Prepare() {
    // Parameters missing from the list are added; the values of those already there stay.
    TParams parsed;
    parsed.ParseSQL(FSQL.Text(), true);
    for (int i = 0; i < parsed.Count(); ++i) FParams->Add(parsed[i]->Name);
    RouteText();
    if (IsSelectStatement(FSQL.Text()))
        FDataSet->Prepare();
    else
        FQuery->Prepare();
}

// ---- TQNLConnectionFIB ----

TQNLConnectionFIB::TQNLConnectionFIB(TComponent* AOwner)
    : TQNLCustomConnection(AOwner), FTransaction(std::make_unique<TFIBTransaction>()) {
    SetServerType(stInterBase);
    SetConnectionType(2);
    FTransaction->TRParams().Clear();
    FTransaction->TRParams().Add("concurrency");
    FTransaction->TRParams().Add("nowait");
}

TQNLConnectionFIB::~TQNLConnectionFIB() {
    try {
        if (FTransaction->Active()) FTransaction->SetActive(false);
    } catch (...) {
        // A rollback that fails at destruction has nobody to tell; the database ends the
        // transaction when it detaches.
    }
    FTransaction.reset();
    SetDatabase(nullptr);
}

std::string TQNLConnectionFIB::ErrorPrefix() const { return ClassName() + "(" + Name() + "): "; }

void TQNLConnectionFIB::SetDatabase(TFIBDatabase* Value) {
    if (Value == FDatabase) return;
    if (FTransaction && FTransaction->Active()) FTransaction->SetActive(false);
    if (FDatabase) FDatabase->RemoveFreeNotification(this);
    FDatabase = Value;
    if (FDatabase) FDatabase->FreeNotification(this);
    if (FTransaction) FTransaction->SetDefaultDatabase(FDatabase);
}

void TQNLConnectionFIB::Notification(TComponent* AComponent, TOperation Operation) {
    TQNLCustomConnection::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FDatabase) FDatabase = nullptr;
}

bool TQNLConnectionFIB::GetConnected() { return FDatabase && FDatabase->Connected(); }

void TQNLConnectionFIB::DoBeforeConnect() {
    // The options take the database's values first, so that the log line names the database
    // being connected and not the one of the connection before.
    ConnectionOptions.DatabaseName = FDatabase->DBName();
    ConnectionOptions.UserName = FDatabase->ReadDBParam(dpbUserName);
    ConnectionOptions.Password = FDatabase->ReadDBParam(dpbPassword);
    ConnectionOptions.RoleName = FDatabase->ReadDBParam(dpbSqlRoleName);
    IBEngineOptions.SQLDialect = static_cast<TIBSQLDialectType>(FDatabase->SQLDialect());
    IBEngineOptions.SetDBCharSet(Trim(FDatabase->ReadDBParam(dpbLcCtype)));
    TQNLCustomConnection::DoBeforeConnect();
}

bool TQNLConnectionFIB::ConnectPass() {
    try {
        FDatabase->SetConnected(true);
        FTransaction->SetActive(true);
        return true;
    } catch (const std::exception& e) {
        DoErrorMessage(e.what());
    }
    // A database that attached but whose transaction did not start is of no use to anyone:
    // every statement would fail. It is closed again, so the caller sees the failure.
    try {
        if (FTransaction->Active()) FTransaction->SetActive(false);
    } catch (...) {
    }
    try {
        if (FDatabase->Connected()) FDatabase->Close();
    } catch (...) {
        try {
            FDatabase->ForceClose();
        } catch (...) {
        }
    }
    return false;
}

void TQNLConnectionFIB::CopyServerFacts() {
    TIBDatabaseOptions& facts = IBEngineOptions.IBDatabaseOptions;
    facts.ServerVersion = FDatabase->GetVersionText();
    facts.ODSMajor = static_cast<int32_t>(FDatabase->GetODSMajorVersion());
    facts.ODSMinor = static_cast<int32_t>(FDatabase->GetODSMinorVersion());
    facts.PageSize = static_cast<int32_t>(FDatabase->GetPageSize());
    facts.ForcedWrites = static_cast<int32_t>(FDatabase->GetForcedWrites());
    facts.SweepInterval = static_cast<int32_t>(FDatabase->GetSweepInterval());
    facts.ReadOnly = static_cast<int32_t>(FDatabase->GetReadOnly());
    facts.Buffers = static_cast<int32_t>(FDatabase->GetNumBuffers());
    facts.ImplementationNo = FDatabase->GetImplementationNo();
    facts.ImplementationClass = FDatabase->GetImplementationClass();
    facts.DBSQLDialect = FDatabase->GetDBSQLDialect();
}

std::string TQNLConnectionFIB::GetDatabaseCharSet() {
    TFIBQuery q;
    q.SetDatabase(FDatabase);
    q.SetTransaction(FTransaction.get());
    q.SQL().SetText("SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE");
    q.ExecQuery();
    // The column is CHAR(31): without the trim the name never equals the options' and the
    // connection would reconnect for ever.
    std::string result = Trim(q.FieldByName("RDB$CHARACTER_SET_NAME").GetAsString());
    q.Close();
    q.SQL().Clear();
    return result;
}

void TQNLConnectionFIB::SetConnected(bool Value) {
    if (!FDatabase) {
        DoErrorMessage(ErrorPrefix() + "Database not assigned.");
        return;
    }
    if (!Value) {
        if (!FDatabase->Connected()) return;
        DoBeforeDisconnect();
        if (FTransaction->Active()) FTransaction->Commit();
        FDatabase->Close();
        DoAfterDisconnect();
        return;
    }
    if (FDatabase->Connected()) return;
    DoBeforeConnect();
    // Whatever the database's default character set, the connection's is UTF-8: names and texts
    // of every database arrive (and statements leave) in one encoding, and a name the default
    // set cannot hold is still read. The options keep the database's default set.
    FDatabase->WriteDBParam(dpbLcCtype, ConnectionCharSet);
    for (int pass = 1;; ++pass) {
        if (!ConnectPass()) return;
        try {
            CopyServerFacts();
            IBEngineOptions.SetDBCharSet(GetDatabaseCharSet());
            const int dialect = FDatabase->GetDBSQLDialect();
            if (dialect == IBEngineOptions.SQLDialect) break;
            if (pass >= MaxConnectPasses)
                DoErrorMessage(ErrorPrefix() + "The database's dialect did not settle after " + std::to_string(pass) +
                               " connects; the connection is closed.");
            else
                IBEngineOptions.SQLDialect = static_cast<TIBSQLDialectType>(dialect);
            FTransaction->SetActive(false);
            FDatabase->Close();
            if (pass >= MaxConnectPasses) return;
            // The next pass must really use the dialect the options now name, or statements run
            // in the database object's own (dialect 1 by default) and DDL with exact numerics fails.
            FDatabase->SetSQLDialect(IBEngineOptions.SQLDialect);
        } catch (const std::exception& e) {
            DoErrorMessage(e.what());
            try {
                if (FTransaction->Active()) FTransaction->SetActive(false);
                if (FDatabase->Connected()) FDatabase->Close();
            } catch (...) {
                FDatabase->ForceClose();
            }
            return;
        }
    }
    DoAfterConnect();
}

std::unique_ptr<TQNLQuery> TQNLConnectionFIB::CreateQuery(TComponent* /*Owner*/) {
    auto q = std::make_unique<TQNLFIBQuery>();
    q->Connection = this;
    q->OwningConnection = this;
    q->DataSet().SetDatabase(FDatabase);
    q->DataSet().SetTransaction(FTransaction.get());
    q->Query().SetDatabase(FDatabase);
    q->Query().SetTransaction(FTransaction.get());
    return q;
}

bool TQNLConnectionFIB::CreateDatabase() {
    if (!FDatabase) {
        DoErrorMessage(ErrorPrefix() + "Database not assigned.");
        return false;
    }
    try {
        if (FDatabase->Connected()) {
            if (FTransaction->Active()) FTransaction->SetActive(false);
            FDatabase->Close();
        }
        FDatabase->SetDBName(ConnectionOptions.DatabaseName);
        FDatabase->SetSQLDialect(IBEngineOptions.SQLDialect);
        TDBParams& params = FDatabase->DBParams();
        params.Clear();
        const std::string& user = ConnectionOptions.UserName;
        const std::string& password = ConnectionOptions.Password;
        FDatabase->UseLoginPrompt = user.empty() || password.empty();
        if (!user.empty()) params.Add("USER " + SQLQuoted(user));
        if (!password.empty()) params.Add("PASSWORD " + SQLQuoted(password));
        if (const int32_t pageSize = IBEngineOptions.IBDatabaseOptions.PageSize; pageSize != 0)
            params.Add("PAGE_SIZE " + std::to_string(pageSize));
        if (!IBEngineOptions.DBCharSet().empty()) params.Add("DEFAULT CHARACTER SET " + IBEngineOptions.DBCharSet());
        FDatabase->CreateDatabase();
    } catch (const std::exception& e) {
        DoErrorMessage(e.what());
        return false;
    }
    // The parameters now hold clauses of CREATE DATABASE, which no later connect could use
    // ("USER 'X'" is no connect parameter): they become the connect parameters of the new
    // database, and the database is attached again with them.
    try {
        FDatabase->Close();
        TDBParams& params = FDatabase->DBParams();
        params.Clear();
        if (!ConnectionOptions.UserName.empty()) params.Add("user_name=" + ConnectionOptions.UserName);
        if (!ConnectionOptions.Password.empty()) params.Add("password=" + ConnectionOptions.Password);
        params.Add(std::string("lc_ctype=") + ConnectionCharSet);
        FDatabase->SetConnected(true);
    } catch (const std::exception& e) {
        DoErrorMessage(e.what());
    }
    return true;
}

bool TQNLConnectionFIB::ReconnectWithCharSet(const std::string& CharSet) {
    if (!FDatabase) throw std::logic_error(ErrorPrefix() + "Database not assigned.");
    if (FDatabase->Connected()) {
        if (FTransaction->Active()) FTransaction->SetActive(false);
        FDatabase->Close();
    }
    if (!CharSet.empty()) {
        TDBParams& params = FDatabase->DBParams();
        params.Clear();
        if (!ConnectionOptions.UserName.empty()) params.Add("user_name=" + ConnectionOptions.UserName);
        if (!ConnectionOptions.Password.empty()) params.Add("password=" + ConnectionOptions.Password);
        if (!ConnectionOptions.RoleName.empty()) params.Add("sql_role_name=" + ConnectionOptions.RoleName);
        params.Add("lc_ctype=" + CharSet);
    }
    FDatabase->SetConnected(true);
    FTransaction->SetActive(true);
    return true;
}

} // namespace qnl
