#pragma once
// The section of a script pass: its title comment goes out right before the pass's first
// statement (never for a pass that writes nothing), and a comment holding CR LF closes a section
// that was opened.
#include "core/qnlDBStructure.h"
#include "core/qnlSQL_Exec.h"

#include <functional>
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

// The drop pass of a kind matched by counterpart: every object of the target's List that the
// master lacks and that exists at this point of the script is dropped (with what uses it) in a
// section under Title; After runs on each object dropped.
inline void DropTargetOnly(TCustomSQLExec& Exec, const TDbObjList& List, const std::string& Title,
                           const std::function<void(TDbObj&)>& After = {}) {
    TPassSection section(Exec, Title);
    for (int i = 0; i < List.Count(); ++i) {
        TDbObj* t = List.Obj(i);
        if (t->NoScript || t->Counterpart || !t->GetExists()) continue;
        section.Open();
        t->DoDrop();
        if (After) After(*t);
    }
    section.Close();
}

} // namespace qnl
