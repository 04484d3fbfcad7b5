#include "core/qnlDBEngine.h"

#include "platform/AppHooks.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace qnl {

bool IsSelectStatement(std::string_view Text) { return UpperCase(Trim(Text)).compare(0, 6, "SELECT") == 0; }

// ---- TQNLValue ----

std::string TQNLValue::AsString() const {
    if (const auto* s = std::get_if<std::string>(&FValue)) return *s;
    if (const auto* i = std::get_if<int64_t>(&FValue)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&FValue)) {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, r.ptr);
    }
    return {};
}

int64_t TQNLValue::AsInteger() const {
    if (const auto* i = std::get_if<int64_t>(&FValue)) return *i;
    if (const auto* d = std::get_if<double>(&FValue)) return std::llround(*d);
    if (const auto* s = std::get_if<std::string>(&FValue)) {
        std::string t = Trim(*s);
        int64_t v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
            throw std::invalid_argument("'" + *s + "' is not a valid integer value");
        return v;
    }
    return 0;
}

double TQNLValue::AsFloat() const {
    if (const auto* i = std::get_if<int64_t>(&FValue)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&FValue)) return *d;
    if (const auto* s = std::get_if<std::string>(&FValue)) {
        std::string t = Trim(*s);
        double v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
            throw std::invalid_argument("'" + *s + "' is not a valid floating point value");
        return v;
    }
    return 0;
}

// ---- Fields and parameters ----

TQNLField* TQNLFields::FindField(std::string_view Name) const {
    for (int i = 0; i < Count(); ++i) {
        TQNLField* f = Fields(i);
        if (f && SameText(f->FieldName(), Name)) return f;
    }
    return nullptr;
}

void TQNLParam::SetAsString(const std::string& V) {
    Value = V;
    if (DataType == TQNLDataType::Unknown) DataType = TQNLDataType::String;
}

void TQNLParam::SetAsInteger(int64_t V) {
    Value = V;
    if (DataType == TQNLDataType::Unknown) DataType = TQNLDataType::Integer;
}

void TQNLParam::SetAsFloat(double V) {
    Value = V;
    if (DataType == TQNLDataType::Unknown) DataType = TQNLDataType::Float;
}

void TQNLParam::LoadFromStream(const std::string& Bytes) {
    Value = Bytes;
    DataType = TQNLDataType::Blob;
}

TQNLParam* TQNLParams::FindParam(std::string_view Name) const {
    for (const auto& p : FItems)
        if (SameText(p->Name(), Name)) return p.get();
    return nullptr;
}

TQNLParam* TQNLParams::Add(const std::string& Name) {
    if (TQNLParam* p = FindParam(Name)) return p;
    FItems.push_back(std::make_unique<TQNLParam>(Name));
    return FItems.back().get();
}

// ---- TQNLQuery ----

TQNLField* TQNLQuery::FieldByName(const std::string& Name) {
    TQNLFields* fields = GetFields();
    return fields ? fields->FindField(Name) : nullptr;
}

TQNLParam* TQNLQuery::ParamByName(const std::string& Name) {
    TQNLParams* params = GetParams();
    return params ? params->FindParam(Name) : nullptr;
}

void TQNLQuery::ClearSQL() {
    if (TStringList* sql = GetSQL()) sql->Clear();
    SQLChanged();
}

void TQNLQuery::AddSQL(const std::string& Line) {
    if (TStringList* sql = GetSQL()) sql->Add(Line);
    SQLChanged();
}

void TQNLQuery::SetSQLText(const std::string& Text) {
    if (TStringList* sql = GetSQL()) sql->SetText(Text);
    SQLChanged();
}

std::string TQNLQuery::SQLText() {
    TStringList* sql = GetSQL();
    return sql ? sql->Text() : std::string();
}

// ---- TQNLCustomConnection ----

void TQNLCustomConnection::Assign(const TQNLCustomConnection& Source) {
    if (&Source == this) return;
    SetConnectionType(Source.ConnectionType());
    SetServerType(Source.ServerType());
    ConnectionOptions.Assign(Source.ConnectionOptions);
    IBEngineOptions.Assign(Source.IBEngineOptions);
    MSSQLServerOptions.Assign(Source.MSSQLServerOptions);
    MySQLServerOptions.Assign(Source.MySQLServerOptions);
    ASAServerOptions.Assign(Source.ASAServerOptions);
    ASEServerOptions.Assign(Source.ASEServerOptions);
    OracleServerOptions.Assign(Source.OracleServerOptions);
    PGSQLServerOptions.Assign(Source.PGSQLServerOptions);
    DB2ServerOptions.Assign(Source.DB2ServerOptions);
}

void TQNLCustomConnection::DoLogNextLine(const std::string& Text) {
    if (OnLogNextLine) OnLogNextLine(this, Text);
}

void TQNLCustomConnection::DoErrorMessage(const std::string& ErrText) {
    if (OnErrorMessage)
        OnErrorMessage(this, ErrText);
    else
        ShowErrorText(ErrText);
}

std::string TQNLCustomConnection::GetFullDatabaseName() const {
    const TConnectionOptions& o = ConnectionOptions;
    if (FServerType != stInterBase || o.HostName.empty()) return o.DatabaseName;
    switch (o.Protocol) {
    case ptSPX:
        return o.HostName + "@" + o.DatabaseName;
    case ptNamedPipe:
        return "\\\\" + o.HostName + "\\" + o.DatabaseName;
    case ptTCP:
    case ptLocal:
        if (o.Port == 0) return o.HostName + ":" + o.DatabaseName;
        return o.HostName + "/" + std::to_string(o.Port) + ":" + o.DatabaseName;
    }
    return o.DatabaseName;
}

void TQNLCustomConnection::DoBeforeConnect() {
    std::string name = GetFullDatabaseName();
    if (!name.empty()) DoLogNextLine("Connect to: " + QuoteSQLString(name, stNone) + "...");
    if (OnBeforeConnect) OnBeforeConnect(this);
}

void TQNLCustomConnection::DoBeforeDisconnect() {
    if (OnBeforeDisconnect) OnBeforeDisconnect(this);
}

void TQNLCustomConnection::DoAfterDisconnect() {
    if (OnAfterDisconnect) OnAfterDisconnect(this);
}

void TQNLCustomConnection::DoAfterConnect() {
    std::string info;
    GetDatabaseInfo(true, info);
    if (!Trim(info).empty()) DoLogNextLine("Server version: " + info);
    std::unique_ptr<TQNLQuery> q = CreateQuery(this);
    if (q && FServerType == stMySQL && GetConnected() && !MySQLServerOptions.CharSet.empty()) {
        std::string t = "SET CHARACTER SET " + MySQLServerOptions.CharSet;
        DoLogNextLine(t);
        q->SetSQLText(t);
        q->ExecQuery();
    }
    if (q && FServerType == stOracle && GetConnected() && !ConnectionOptions.DatabaseName.empty() &&
        ConnectionOptions.DatabaseName != ConnectionOptions.HostName) {
        std::string user = UpperCase(ConnectionOptions.UserName);
        if (user == "SYSTEM" || user == "SYS") {
            std::string t = "ALTER SESSION SET CURRENT_SCHEMA = " + ConnectionOptions.DatabaseName;
            DoLogNextLine(t);
            q->AddSQL(t);
            // A schema that cannot be entered is reported; the connection stays usable.
            try {
                q->ExecQuery();
            } catch (const std::exception& e) {
                DoErrorMessage(std::string(e.what()) + "\r\n" + q->SQLText());
            }
        }
    }
    q.reset();
    if (OnAfterConnect) OnAfterConnect(this);
}

bool TQNLCustomConnection::CreateDatabase() {
    DoErrorMessage("CREATE DATABASE not implemented (" + ClassName() + ").");
    return false;
}

namespace {
const char* const CRLF = "\r\n";

// Opens Text on the query and answers the named column of the first row as text ("" when the
// query has no such column).
std::string FieldText(TQNLQuery& Q, const std::string& Name) {
    TQNLField* f = Q.FieldByName(Name);
    return f ? f->AsString() : std::string();
}

std::string FirstFieldText(TQNLQuery& Q) {
    TQNLFields* fields = Q.GetFields();
    TQNLField* f = fields ? fields->Fields(0) : nullptr;
    return f ? f->AsString() : std::string();
}

void Run(TQNLQuery& Q, const std::string& Text, bool Open) {
    Q.SetSQLText(Text);
    if (Open)
        Q.Open();
    else
        Q.ExecQuery();
}

void Done(TQNLQuery& Q) {
    Q.Close();
    Q.ClearSQL();
}
} // namespace

void TQNLCustomConnection::GetDatabaseInfo(bool Short, std::string& Text) {
    Text.clear();
    if (!GetConnected()) return;
    const std::string& dbName = ConnectionOptions.DatabaseName;

    if (FServerType == stInterBase) {
        const TIBDatabaseOptions& d = IBEngineOptions.IBDatabaseOptions;
        if (d.ServerVersion.empty()) return;
        Text = d.ServerVersion;
        if (!d.ServerInfo.empty()) Text += " (" + d.ServerInfo + ")";
        Text += CRLF;
        if (!ConnectionOptions.ClientLibrary.empty()) Text += "Client library: " + ConnectionOptions.ClientLibrary + CRLF;
        if (Short) return;
        Text += "Database name : " + dbName + CRLF;
        if (!IBEngineOptions.DBCharSet().empty()) Text += "Character set : " + IBEngineOptions.DBCharSet() + CRLF;
        Text += "ODS version   : " + std::to_string(d.ODSMajor) + "." + std::to_string(d.ODSMinor) + CRLF;
        Text += "SQL Dialect   : " + std::to_string(d.DBSQLDialect) + CRLF;
        Text += "Sweep interval: " + std::to_string(d.SweepInterval) + CRLF;
        Text += "Page size     : " + std::to_string(d.PageSize) + CRLF;
        Text += std::string("Read-only     : ") + (d.ReadOnly ? "True" : "False") + CRLF;
        Text += std::string("Forced writes : ") + (d.ForcedWrites ? "On" : "Off") + CRLF;
        int64_t kb = std::llround(static_cast<double>(int64_t(d.Buffers) * d.PageSize) / 1024.0);
        Text += "Buffers       : " + std::to_string(d.Buffers) + " pages (" + std::to_string(kb) + " Kb)" + CRLF;
        return;
    }

    bool usesQuery = FServerType == stASA || FServerType == stMySQL || FServerType == stOracle ||
                     FServerType == stMSSQL || FServerType == stPostgreSQL || FServerType == stASE;
    if (!usesQuery) return;
    std::unique_ptr<TQNLQuery> q = CreateQuery(this);
    if (!q) return;

    switch (FServerType) {
    case stASA: {
        q->SetSQLText("SELECT\r\nxp_msver( 'ProductName') PN,\r\nxp_msver( 'ProductVersion') PV,\r\n"
                      "xp_msver( 'CompanyName') CN,\r\nxp_msver('FileDescription') FD,\r\n"
                      "xp_msver('LegalCopyright') LC,\r\nxp_msver('LegalTrademarks') LT,\r\nxp_msver('Language') LG");
        q->Open();
        Text = FieldText(*q, "PN") + " v." + FieldText(*q, "PV");
        if (!Short)
            for (const char* n : {"CN", "FD", "LC", "LT"}) Text += CRLF + FieldText(*q, n);
        Done(*q);
        break;
    }
    case stMySQL:
        Run(*q, "Select version()", true);
        Text = "MySQL " + FirstFieldText(*q);
        Done(*q);
        break;
    case stOracle:
        Run(*q, "select * from v$version", true);
        while (!q->GetEof()) {
            Text += FirstFieldText(*q) + CRLF;
            q->Next();
        }
        Done(*q);
        break;
    case stMSSQL: {
        Run(*q, "Use master", false);
        Done(*q);
        Run(*q, "xp_msver " + QuoteSQLString("ProductName", stMSSQL), true);
        Text = FieldText(*q, "CHARACTER_VALUE");
        Done(*q);
        Run(*q, "Select ServerProperty('Edition') Edition, ServerProperty('ProductLevel') ProductLevel, "
                "ServerProperty('ProductVersion') ProductVersion, ServerProperty('Collation') Collation",
            true);
        Text += " [" + FieldText(*q, "EDITION") + "] ";
        Text += " v." + FieldText(*q, "PRODUCTVERSION");
        std::string level = FieldText(*q, "PRODUCTLEVEL");
        if (!level.empty()) Text += " (" + level + ")";
        std::string collation = FieldText(*q, "COLLATION");
        if (!collation.empty()) Text += CRLF + std::string("Default collation: ") + collation;
        Done(*q);
        Run(*q, "xp_msver " + QuoteSQLString("Language", stMSSQL), true);
        Text += CRLF + std::string("Language: ") + FieldText(*q, "CHARACTER_VALUE");
        Done(*q);
        if (!Short && !dbName.empty()) {
            Run(*q, "sp_helpdb " + dbName, true);
            Text += CRLF + std::string("Database: ") + FieldText(*q, "NAME");
            Text += CRLF + std::string("Owner   : ") + FieldText(*q, "OWNER");
            Text += CRLF + std::string("Size    : ") + Trim(FieldText(*q, "DB_SIZE"));
            Text += CRLF + std::string("Created : ") + FieldText(*q, "CREATED");
            Text += CRLF + std::string("Options : ") + FieldText(*q, "STATUS");
            Done(*q);
        }
        if (!dbName.empty()) {
            Run(*q, "Use " + dbName, false);
            Done(*q);
        }
        break;
    }
    case stPostgreSQL:
        Run(*q, "select version()", true);
        Text = FirstFieldText(*q);
        Done(*q);
        break;
    case stASE:
        Run(*q, "Use master", false);
        Done(*q);
        Run(*q, "select @@version", true);
        Text = FirstFieldText(*q);
        Done(*q);
        if (!Short && !dbName.empty()) {
            Run(*q, "exec sp_helpdb " + dbName, true);
            Text += CRLF + std::string("  Database: ") + FieldText(*q, "NAME");
            Text += CRLF + std::string("  Size    : ") + Trim(FieldText(*q, "DB_SIZE"));
            Text += CRLF + std::string("  Owner   : ") + FieldText(*q, "OWNER");
            Text += CRLF + std::string("  Created : ") + FieldText(*q, "CREATED");
            Text += CRLF + std::string("  Status  : ") + FieldText(*q, "STATUS");
            Done(*q);
        }
        if (!dbName.empty()) {
            Run(*q, "Use " + dbName, false);
            Done(*q);
        }
        break;
    default:
        break;
    }
}

} // namespace qnl
