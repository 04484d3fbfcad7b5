#pragma once
// The only road from the comparison library to a live database: an abstract connection that
// connects, runs transactions and hands out queries, and an abstract query that runs one SQL text
// at a time, as a result set (SELECT) or as a statement. The library implements bookkeeping,
// logging and the per-dialect server information here; a binding derived from both classes does
// the real work.
//
// The contract between the library and a binding:
// - A binding may throw (any std::exception) from every operation of both classes; the message
//   of the exception is the text to show. The library catches around every call it makes,
//   reports the message through its own DoErrorMessage and goes on or stops as its caller says.
//   Nothing the library offers (extraction, TSQLExec::Execute) lets an exception out.
// - SetConnected(true) connects with ConnectionOptions and IBEngineOptions, calls DoBeforeConnect
//   before and DoAfterConnect after a successful connect; afterwards GetConnected answers true,
//   IBEngineOptions holds the character set and dialect the database really uses and
//   IBEngineOptions.IBDatabaseOptions the facts of the database. SetConnected(false) calls
//   DoBeforeDisconnect, commits an active transaction, disconnects and calls DoAfterDisconnect;
//   it is harmless when not connected.
// - CreateDatabase creates the database named by ConnectionOptions (page size and character set
//   from the options) and answers true; on failure it reports through DoErrorMessage and
//   answers false.
// - CreateQuery answers a new query bound to the connection (its Connection set); it works in the
//   connection's transaction and stays usable until its caller frees it, across SetConnected
//   (false) and (true). The caller frees every query before the connection.
#include "core/qnlDBOptions.h"
#include "core/qnlTypes.h"
#include "platform/Component.h"
#include "platform/StringList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qnl {

using TNotifyEvent = std::function<void(TObject* Sender)>;

// True when the first six characters of the trimmed, upper-cased text are "SELECT" (so a word
// such as SELECTED counts). Bindings route such text to a result set, any other to a statement.
bool IsSelectStatement(std::string_view Text);

// The value of one column or parameter: Null, an integer, a floating-point number or a text
// (8-bit bytes; blob contents are texts too). A Null reads as empty text or 0.
class TQNLValue {
public:
    TQNLValue() = default;
    TQNLValue(int64_t V) : FValue(V) {}
    TQNLValue(int V) : FValue(static_cast<int64_t>(V)) {}
    TQNLValue(double V) : FValue(V) {}
    TQNLValue(std::string V) : FValue(std::move(V)) {}
    TQNLValue(const char* V) : FValue(std::string(V)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(FValue); }
    bool IsInteger() const { return std::holds_alternative<int64_t>(FValue); }
    bool IsFloat() const { return std::holds_alternative<double>(FValue); }
    bool IsString() const { return std::holds_alternative<std::string>(FValue); }

    // Empty for Null; numbers in their shortest exact decimal form.
    std::string AsString() const;
    // 0 for Null; a float is rounded to the nearest integer; a text must hold an integer
    // (blanks around it allowed), else std::invalid_argument is thrown.
    int64_t AsInteger() const;
    // 0 for Null; a text must hold a number, else std::invalid_argument is thrown.
    double AsFloat() const;

    bool operator==(const TQNLValue&) const = default;

private:
    std::variant<std::monostate, int64_t, double, std::string> FValue;
};

// One column of the current row of an open result. A binding derives from it.
class TQNLField {
public:
    virtual ~TQNLField() = default;
    virtual std::string FieldName() const = 0;
    virtual TQNLValue AsVariant() const = 0;

    bool IsNull() const { return AsVariant().IsNull(); }
    std::string AsString() const { return AsVariant().AsString(); }
    int64_t AsInteger() const { return AsVariant().AsInteger(); }
};

// The columns of an open result, by position (0 is the first column) or by name.
class TQNLFields {
public:
    virtual ~TQNLFields() = default;
    virtual int Count() const = 0;
    // nullptr outside 0..Count()-1.
    virtual TQNLField* Fields(int Index) const = 0;
    TQNLField* operator[](int Index) const { return Fields(Index); }
    // Names compare without regard to ASCII case; nullptr when there is no such column.
    TQNLField* FindField(std::string_view Name) const;
};

enum class TQNLDataType : uint8_t { Unknown, String, Integer, Float, Blob };

// One parameter (":name") of the current SQL text: its data type and value. Setting a value
// gives an unknown data type the value's own.
class TQNLParam {
public:
    explicit TQNLParam(std::string AName) : FName(std::move(AName)) {}

    const std::string& Name() const { return FName; }
    TQNLDataType DataType = TQNLDataType::Unknown;
    TQNLValue Value;

    bool IsNull() const { return Value.IsNull(); }
    void Clear() { Value = TQNLValue(); }
    std::string AsString() const { return Value.AsString(); }
    int64_t AsInteger() const { return Value.AsInteger(); }
    void SetAsString(const std::string& V);
    void SetAsInteger(int64_t V);
    void SetAsFloat(double V);
    // The bytes become the value of a blob parameter.
    void LoadFromStream(const std::string& Bytes);

private:
    std::string FName;
};

// The parameters of one SQL text, in order of first appearance. Names compare without regard to
// ASCII case; a name that appears twice in a text is one parameter.
class TQNLParams {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    TQNLParam* Items(int Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
    TQNLParam* FindParam(std::string_view Name) const;
    // The parameter of that name, created at the end when missing.
    TQNLParam* Add(const std::string& Name);
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TQNLParam>> FItems;
};

class TQNLCustomConnection;

// One SQL text at a time. A binding derives from it; the base holds the text, the parameter
// collection and the parameter-check flag, and answers "no result" to everything else.
//
// What a binding must do:
// - GetSQL: the query's text lines. The library changes them only through ClearSQL, AddSQL and
//   SetSQLText, which call SQLChanged afterwards; when GetParamCheck is true, SQLChanged must
//   parse the ":name" parameters of the new text into GetParams (existing values may be lost).
// - Prepare: prepare the text; its parameters become available (Prepare fills GetParams).
// - Open: run the text as a SELECT with the current parameter values and make the first row
//   current; an unprepared text is prepared first. GetEof answers true when no row is current
//   (empty result, or Next past the last row). Close releases the result and is harmless when
//   nothing is open.
// - GetFields / FieldByName: the columns of the open result; names compare without regard to
//   case; a Null column reads as empty text, 0 or a Null value.
// - ExecQuery: run the text (any statement) with the current parameter values, in the
//   connection's current transaction. Blob parameters carry their bytes as a text value with
//   data type Blob.
// - ParamByName: the parameter of that name (without regard to case); a text whose parameters
//   were not parsed yet is parsed first.
class TQNLQuery {
public:
    TQNLQuery() = default;
    virtual ~TQNLQuery() = default;
    TQNLQuery(const TQNLQuery&) = delete;
    TQNLQuery& operator=(const TQNLQuery&) = delete;

    // The connection that created the query (set by CreateQuery); not owned.
    TQNLCustomConnection* Connection = nullptr;

    virtual TStringList* GetSQL() { return &FSQL; }
    virtual bool GetEof() { return true; }
    virtual void SetParamCheck(bool Value) { FParamCheck = Value; }
    virtual bool GetParamCheck() { return FParamCheck; }
    virtual TQNLParams* GetParams() { return &FParams; }
    virtual TQNLFields* GetFields() { return nullptr; }
    virtual void First() {}
    virtual void Last() {}
    virtual void Next() {}
    // The column of that name of the open result; nullptr when there is none.
    virtual TQNLField* FieldByName(const std::string& Name);
    virtual void Open() {}
    virtual void Close() {}
    virtual void ExecQuery() {}
    // The parameter of that name; nullptr when there is none.
    virtual TQNLParam* ParamByName(const std::string& Name);
    virtual void Prepare() {}

    // The only ways the library changes the text. AddSQL adds Line as one entry of the list
    // (line breaks inside it stay as they are).
    void ClearSQL();
    void AddSQL(const std::string& Line);
    void SetSQLText(const std::string& Text);
    // The lines joined with CR LF after each.
    std::string SQLText();

protected:
    // Called after every change of the text made through the three operations above.
    virtual void SQLChanged() {}

private:
    TStringList FSQL;
    TQNLParams FParams;
    bool FParamCheck = true;
};

// The character set every connection of the library reads the catalogue and runs statements
// in, whatever the database's default: names and texts live in the structures as UTF-8, and
// the server transliterates them from and to what the database stores.
inline constexpr const char* ConnectionCharSet = "UTF8";

class TQNLCustomConnection : public TComponent {
public:
    explicit TQNLCustomConnection(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
    std::string ClassName() const override { return "TQNLCustomConnection"; }

    TServerType ServerType() const { return FServerType; }
    virtual void SetServerType(TServerType Value) { FServerType = Value; }
    // The kind of binding; 0 means not specified (the database extractor refuses it).
    uint8_t ConnectionType() const { return FConnectionType; }
    virtual void SetConnectionType(uint8_t Value) { FConnectionType = Value; }

    TConnectionOptions ConnectionOptions;
    TIBEngineOptions IBEngineOptions;
    TMSSQLServerOptions MSSQLServerOptions;
    TMySQLServerOptions MySQLServerOptions;
    TASAServerOptions ASAServerOptions;
    TASEServerOptions ASEServerOptions;
    TOracleServerOptions OracleServerOptions;
    TPGSQLServerOptions PGSQLServerOptions;
    TDB2ServerOptions DB2ServerOptions;

    TNotifyEvent OnBeforeConnect;
    TNotifyEvent OnAfterConnect;
    TNotifyEvent OnBeforeDisconnect;
    TNotifyEvent OnAfterDisconnect;
    TErrorMessageEvent OnErrorMessage;
    TLogNextLineEvent OnLogNextLine;

    // Copies the connection type and server type (through their setters), then each option
    // object with its own Assign.
    void Assign(const TQNLCustomConnection& Source);
    void AssignTo(TQNLCustomConnection& Dest) const { Dest.Assign(*this); }

    virtual bool GetConnected() { return false; }
    virtual void SetConnected(bool /*Value*/) {}
    // Logs "Connect to: '<full database name>'..." (when there is a name), then OnBeforeConnect.
    virtual void DoBeforeConnect();
    virtual void DoBeforeDisconnect();
    // Logs the server version and runs the dialect's session set-up, then OnAfterConnect.
    virtual void DoAfterConnect();
    virtual void DoAfterDisconnect();
    // A new query bound to this connection, for the given component; nullptr in the base.
    virtual std::unique_ptr<TQNLQuery> CreateQuery(TComponent* /*Owner*/) { return nullptr; }
    virtual void StartTransaction() {}
    virtual void Commit() {}
    virtual void Rollback() {}
    virtual bool InTransaction() { return false; }
    virtual bool CreateDatabase();
    virtual bool ReconnectWithCharSet(const std::string& /*CharSet*/) { return false; }
    virtual void DoErrorMessage(const std::string& ErrText);
    // The server information of the connected database (empty when not connected); Short
    // leaves out the per-database lines. Errors of the information queries are not caught.
    virtual void GetDatabaseInfo(bool Short, std::string& Text);

    void DoLogNextLine(const std::string& Text);
    // The database name, or for InterBase/Firebird with a host the connection string of the
    // protocol: "host/port:db", "host:db", "host@db" (SPX) or "\\host\db" (named pipes).
    std::string GetFullDatabaseName() const;

private:
    TServerType FServerType = stNone;
    uint8_t FConnectionType = 0;
};

} // namespace qnl
