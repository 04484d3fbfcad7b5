#pragma once
// The base of every schema object. This holds the identity and text fields that the executor
// and the message manager need; the dependency walks and the writers build on it.
#include "core/qnlTypes.h"

#include <string>

namespace qnl {

class TCustomObjs;

class TDbObj : public TObject {
public:
    explicit TDbObj(TCustomObjs* AContainer) : Container(AContainer) {}
    ~TDbObj() override = default;
    TDbObj(const TDbObj&) = delete;
    TDbObj& operator=(const TDbObj&) = delete;

    std::string ClassName() const override { return "TDbObj"; }

    TDbObj* Counterpart = nullptr;
    TCustomObjs* Container = nullptr;
    bool Exists = true;
    std::string StoredSQL;
    std::string CurrentSQL;
    std::string Name;
    std::string Schema;
    int32_t Id = -1;
    TDbObject Kind = dboUnknown;
    std::string SystemName;
    std::string DbOwner;
    bool QuotedIdentifier = false;
    bool AnsiNulls = false;
    bool NoScript = false;

    const std::string& GetName() const { return Name; }
    const std::string& Description() const { return FDescription; }
    const std::string& Source() const { return FSource; }
    // Both store the text with every line break as CR LF and the ends trimmed.
    void SetDescription(const std::string& Value);
    void SetSource(const std::string& Value);

    virtual std::string GetDescriptionSQL() { return {}; }
    // For a column, parameter or argument whose owner is a table, view or procedure: that
    // owner's name, which description statements carry; empty for every other object.
    virtual std::string GetDescriptionOwnerName() const { return {}; }

private:
    std::string FDescription;
    std::string FSource;
};

// Every line break (CR LF, LF or CR) as CR LF, blanks and control characters trimmed at both ends.
std::string NormalizeLineBreaks(const std::string& Text);

} // namespace qnl
