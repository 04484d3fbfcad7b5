#pragma once
// A logger as an outside component would be: it asks for every kind of line and keeps each as
// "object|operation|text|kind".
#include "client/pFIBInterfaces.h"
#include "platform/Component.h"

#include <string>
#include <vector>

namespace qnl::test {

class TTestLogger : public TComponent, public ISQLLogger {
public:
    std::vector<std::string> Lines;
    TObject* Database = nullptr;
    TLogFlags Flags = 0xFF;
    void SetActiveLogging(bool) override {}
    bool GetActiveLogging() override { return true; }
    TLogFlags GetLogFlags() override { return Flags; }
    TObject* GetInstance() override { return this; }
    void SetLogFlags(TLogFlags) override {}
    void SetDatabase(TObject* aDatabase) override { Database = aDatabase; }
    void WriteData(const std::string& ObjectName, const std::string& OperationName, const std::string& EventText,
                   TLogFlag DataType) override {
        Lines.push_back(ObjectName + "|" + OperationName + "|" + EventText + "|" + std::to_string(DataType));
    }
};

} // namespace qnl::test
