#pragma once
// The section of a script pass: its title comment goes out right before the pass's first
// statement (never for a pass that writes nothing), and a comment holding CR LF closes a section
// that was opened.
#include "core/qnlSQL_Exec.h"

#include <string>

namespace qnl {

class TPassSection {
public:
    TPassSection(TCustomSQLExec& AExec, std::string ATitle) : FExec(AExec), FTitle(std::move(ATitle)) {}
    // Call before each statement of the pass; writes the title the first time.
    void Open() {
        if (!FOpened) FExec.AddComment(FTitle);
        FOpened = true;
    }
    // Call after the pass's last object.
    void Close() {
        if (FOpened) FExec.AddComment("\r\n");
    }
    bool Opened() const { return FOpened; }

private:
    TCustomSQLExec& FExec;
    std::string FTitle;
    bool FOpened = false;
};

} // namespace qnl
