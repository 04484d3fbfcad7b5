#include "client/FIBMDTInterface.h"
#include "client/pFIBInterfaces.h"

#include <gtest/gtest.h>

#include <vector>

using namespace qnl;

namespace {

// A logger as an outside component would write one; it keeps what the layer passes.
class MemoryLogger : public TComponent, public ISQLLogger {
public:
    void SetActiveLogging(bool Value) override { FActive = Value; }
    bool GetActiveLogging() override { return FActive; }
    TLogFlags GetLogFlags() override { return FFlags; }
    TObject* GetInstance() override { return this; }
    void SetLogFlags(TLogFlags Value) override { FFlags = Value; }
    void SetDatabase(TObject* aDatabase) override { Database = aDatabase; }
    void WriteData(const std::string& ObjectName, const std::string& OperationName, const std::string&,
                   TLogFlag DataType) override {
        Lines.push_back(ObjectName + ":" + OperationName + ":" + std::to_string(DataType));
    }
    TObject* Database = nullptr;
    std::vector<std::string> Lines;

private:
    bool FActive = true;
    TLogFlags FFlags = LogFlagSet(lfQPrepare) | LogFlagSet(lfQExecute);
};

} // namespace

TEST(Interfaces, LogFlagSetsUseOneBitPerOrdinal) {
    EXPECT_EQ(LogFlagSet(lfQPrepare), 1);
    EXPECT_EQ(LogFlagSet(lfMisc), 64);
    const TLogFlags flags = LogFlagSet(lfQExecute) | LogFlagSet(lfConnect);
    EXPECT_EQ(flags, 0b1010);
    EXPECT_TRUE(HasLogFlag(flags, lfConnect));
    EXPECT_FALSE(HasLogFlag(flags, lfQFetch));

    MemoryLogger logger;
    ISQLLogger& asLogger = logger;
    EXPECT_EQ(dynamic_cast<TComponent*>(asLogger.GetInstance()), &logger);
    EXPECT_TRUE(HasLogFlag(asLogger.GetLogFlags(), lfQExecute));
    EXPECT_FALSE(HasLogFlag(asLogger.GetLogFlags(), lfQFetch));
    EXPECT_EQ(se_ServerAfterLocal, 2);
}
