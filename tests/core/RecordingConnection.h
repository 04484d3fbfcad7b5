#pragma once
// A connection and query that run nothing: they record every call the library makes, in order,
// serve canned result rows, and fail on request (throwing, as a binding does). For the contract
// of the abstract connection; live runs against Firebird come with the database binding.
#include "core/qnlDBEngine.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qnl::test {

class RecField : public TQNLField {
public:
    RecField(std::string AName, TQNLValue AValue) : FName(std::move(AName)), FValue(std::move(AValue)) {}
    std::string FieldName() const override { return FName; }
    TQNLValue AsVariant() const override { return FValue; }

private:
    std::string FName;
    TQNLValue FValue;
};

using Row = std::vector<std::pair<std::string, TQNLValue>>;

class RecFields : public TQNLFields {
public:
    int Count() const override { return static_cast<int>(Items.size()); }
    TQNLField* Fields(int Index) const override {
        return Index >= 0 && Index < Count() ? Items[static_cast<size_t>(Index)].get() : nullptr;
    }
    void Load(const Row& R) {
        Items.clear();
        for (auto& [n, v] : R) Items.push_back(std::make_unique<RecField>(n, v));
    }
    std::vector<std::unique_ptr<RecField>> Items;
};

class RecordingConnection;

class RecordingQuery : public TQNLQuery {
public:
    explicit RecordingQuery(RecordingConnection& C);
    ~RecordingQuery() override;

    TQNLFields* GetFields() override { return FRow < FRows.size() ? &FFields : nullptr; }
    bool GetEof() override { return FRow >= FRows.size(); }
    void Next() override {
        if (FRow < FRows.size()) ++FRow;
        if (FRow < FRows.size()) FFields.Load(FRows[FRow]);
    }
    void Open() override;
    void Close() override { FRows.clear(); }
    void ExecQuery() override;

protected:
    // Parses ":name" parameters outside quotes, as a binding does with the parameter check on.
    void SQLChanged() override;

private:
    RecordingConnection& C;
    std::vector<Row> FRows;
    size_t FRow = 0;
    RecFields FFields;
};

class RecordingConnection : public TQNLCustomConnection {
public:
    using TQNLCustomConnection::TQNLCustomConnection;
    std::string ClassName() const override { return "RecordingConnection"; }

    std::vector<std::string> Calls;
    bool Connected = false;
    bool Active = false;
    // Failure switches.
    std::string FailOn;            // ExecQuery of a text holding this throws
    bool ThrowOnConnect = false;   // SetConnected(true) throws
    bool RefuseConnect = false;    // SetConnected(true) reports and stays disconnected
    bool ThrowOnCommit = false;
    bool ThrowOnGetConnected = false;
    bool CanCreate = true;
    std::map<std::string, std::vector<Row>> Results;   // by trimmed SQL text
    int QueriesAlive = 0;
    int QueriesCreated = 0;

    bool GetConnected() override {
        if (ThrowOnGetConnected) throw std::runtime_error("connection state unknown");
        return Connected;
    }
    void SetConnected(bool Value) override {
        if (Value && !Connected) {
            Calls.push_back("connect " + ConnectionOptions.DatabaseName);
            DoBeforeConnect();
            if (ThrowOnConnect) throw std::runtime_error("connect failed");
            if (RefuseConnect) {
                DoErrorMessage("refused");
                return;
            }
            Connected = true;
            DoAfterConnect();
        } else if (!Value && Connected) {
            DoBeforeDisconnect();
            if (Active) Commit();
            Connected = false;
            Calls.push_back("disconnect");
            DoAfterDisconnect();
        }
    }
    std::unique_ptr<TQNLQuery> CreateQuery(TComponent*) override {
        auto q = std::make_unique<RecordingQuery>(*this);
        q->Connection = this;
        return q;
    }
    void StartTransaction() override {
        Calls.push_back("start");
        if (!Connected) throw std::runtime_error("not connected");
        Active = true;
    }
    void Commit() override {
        Calls.push_back("commit");
        if (ThrowOnCommit) throw std::runtime_error("commit failed");
        Active = false;
    }
    void Rollback() override {
        Calls.push_back("rollback");
        Active = false;
    }
    bool InTransaction() override { return Active; }
    bool CreateDatabase() override {
        Calls.push_back("create " + ConnectionOptions.DatabaseName);
        return CanCreate;
    }
};

inline RecordingQuery::RecordingQuery(RecordingConnection& AC) : C(AC) {
    ++C.QueriesAlive;
    ++C.QueriesCreated;
}

inline RecordingQuery::~RecordingQuery() { --C.QueriesAlive; }

inline void RecordingQuery::Open() {
    std::string text = Trim(SQLText());
    C.Calls.push_back("open " + text);
    auto it = C.Results.find(text);
    FRows = it == C.Results.end() ? std::vector<Row>{} : it->second;
    FRow = 0;
    if (!FRows.empty()) FFields.Load(FRows[0]);
}

inline void RecordingQuery::ExecQuery() {
    std::string text = Trim(SQLText());
    std::string call = "exec " + text;
    for (int i = 0; i < GetParams()->Count(); ++i) {
        TQNLParam* p = GetParams()->Items(i);
        call += " [" + p->Name() + "=" + (p->IsNull() ? "<null>" : p->AsString()) +
                (p->DataType == TQNLDataType::Blob ? " blob" : "") + "]";
    }
    C.Calls.push_back(call);
    if (!C.FailOn.empty() && text.find(C.FailOn) != std::string::npos) throw std::runtime_error("failed: " + text);
}

inline void RecordingQuery::SQLChanged() {
    if (!GetParamCheck()) return;
    GetParams()->Clear();
    std::string text = SQLText();
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ':') {
            size_t j = i + 1;
            while (j < text.size() && (isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_' || text[j] == '$')) ++j;
            if (j > i + 1) GetParams()->Add(text.substr(i + 1, j - i - 1));
            i = j - 1;
        }
    }
}

} // namespace qnl::test
