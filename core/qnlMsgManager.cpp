#include "core/qnlMsgManager.h"

namespace qnl {

namespace {
void NoNote(const std::string&) {}
} // namespace

TNoteProc NoteProc = &NoNote;
bool AbortRequested = false;

void Note(const std::string& Text) {
    if (NoteProc) NoteProc(Text);
}

TMsgData& TMsgManager::Append() {
    FItems.push_back(std::make_unique<TMsgData>());
    return *FItems.back();
}

void TMsgManager::AddMessage(const std::string& Text, const std::string& ScriptName, int Column, int Line,
                             uint8_t Kind) {
    TMsgData& m = Append();
    m.Text = Text;
    m.ScriptName = ScriptName;
    m.Column = Column;
    m.Line = Line;
    m.Kind = Kind;
}

void TMsgManager::AddObjectMessage(const std::string& Text, TDbObj* Obj, int Column, int Line, uint8_t Kind) {
    TMsgData& m = Append();
    m.Text = Text;
    m.DbObj = Obj;
    m.Column = Column;
    m.Line = Line;
    m.Kind = Kind;
}

void TMsgManager::AddSimpleMessage(const std::string& Text, uint8_t Kind, TDbObj* Obj) {
    TMsgData& m = Append();
    m.Text = Text;
    m.Kind = Kind;
    m.DbObj = Obj;
}

bool TMsgManager::HasKind(uint8_t Kind) const {
    for (const auto& m : FItems)
        if (m->Kind == Kind) return true;
    return false;
}

void TMsgManager::AddFrom(const TMsgManager* Other) {
    if (!Other) return;
    size_t n = Other->FItems.size();  // a manager copied into itself copies what it held
    for (size_t i = 0; i < n; ++i) Append().Assign(*Other->FItems[i]);
}

} // namespace qnl
