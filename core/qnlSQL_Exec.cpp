#include "core/qnlSQL_Exec.h"

#include "core/qnlClasses.h"
#include "platform/Files.h"

namespace qnl {

const char* StatementActionCaption(TStatementAction Action) {
    switch (Action) {
    case saCreate: return ": create";
    case saAlter: return ": alter";
    case saDrop: return ": drop";
    case saEmptyBody: return ": empty body";
    case saRestoreBody: return ": restore body";
    case saCreateEmpty: return ": create empty";
    case saEmptyBeforeDrop: return ": empty before drop";
    case saDescription: return ": description";
    case saInsert: return ": insert";
    case saUpdate: return ": update";
    case saDelete: return ": delete";
    default: return "";
    }
}

std::string TStatement::GetCaption() const {
    std::string caption = ObjName + StatementActionCaption(Action);
    if (ObjKind == dboField) caption = FieldName + " (" + ObjName + ")" + ": alter";
    if (caption.empty() && Lines.Count() > 0) caption = Lines[0];
    return caption;
}

TCustomSQLExec::TCustomSQLExec(TComponent* AOwner) : TComponent(AOwner) {}

// A descendant that overrides ClearStatements calls it from its own destructor: by the time this
// one runs, only the base behaviour is left.
TCustomSQLExec::~TCustomSQLExec() { TCustomSQLExec::ClearStatements(); }

void TCustomSQLExec::DoLogNextLine(const std::string& Text) {
    if (OnLogNextLine) OnLogNextLine(this, Text);
}

void TCustomSQLExec::DoProgressUpdate(int Value, int MaxValue) {
    if (OnProgressUpdate) OnProgressUpdate(this, Value, MaxValue);
}

void TCustomSQLExec::DoErrorMessage(const std::string& ErrText) {
    if (OnErrorMessage)
        OnErrorMessage(this, ErrText);
    else
        ShowErrorText(ErrText);
    ++ErrorCount;
}

void TCustomSQLExec::DoStatementAdd(TStatement* St, bool& Accept) {
    if (OnStatementAdd) OnStatementAdd(St, Accept);
}

void TCustomSQLExec::DoBeforeStatementExecute(int Index) {
    if (OnBeforeStatementExecute) OnBeforeStatementExecute(this, Index);
}

void TCustomSQLExec::DoAfterStatementExecute(int Index) {
    if (OnAfterStatementExecute) OnAfterStatementExecute(this, Index);
}

std::unique_ptr<TStatement> TCustomSQLExec::CreateStatement() {
    std::unique_ptr<TStatement> st;
    if (OnStatementCreate) OnStatementCreate(this, st);
    if (!st) st = std::make_unique<TStatement>(this);
    return st;
}

void TCustomSQLExec::LoadScriptFromFile(const std::string& FileName) {
    if (OnLoadScript) {
        TStringList lines;
        ScriptFileName = FileName;
        bool loaded = false;
        OnLoadScript(this, FileName, lines, loaded);
        // The handler's answer is not consulted: whatever it put into the list is parsed.
        ParseScript(lines);
        return;
    }
    ScriptFileName.clear();
    std::string bytes;
    if (FileExists(FileName) && ReadFileBytes(FileName, bytes)) {
        ScriptFileName = FileName;
        LoadScriptFromStream(&bytes);
    } else {
        DoErrorMessage("File not found: " + FileName);
    }
}

void TCustomSQLExec::LoadScriptFromStream(const std::string* Stream) {
    TStringList lines;
    if (Stream) lines.SetText(*Stream);
    ParseScript(lines);
}

TStatement* TCustomSQLExec::AddStatement(const std::string& Text, TStatementKind StatementKind,
                                         const std::string& ObjName, TDbObject ObjKind, TStatementAction Action,
                                         const std::string& FieldName, const std::string& Terminator) {
    if (Text.empty() && StatementKind != skComment) return nullptr;
    std::unique_ptr<TStatement> st = CreateStatement();
    st->Lines.SetText(Text);
    st->Kind = StatementKind;
    st->ObjName = ObjName;
    st->FieldName = FieldName;
    st->ObjKind = ObjKind;
    st->Action = Action;
    st->LineCount = st->Lines.Count();
    if (!Terminator.empty())
        st->Terminator = Terminator;
    else if (StatementKind != skComment)
        st->Terminator = GetStatementTerminator(ServerType);
    bool accept = true;
    DoStatementAdd(st.get(), accept);
    if (!accept) return nullptr;
    FStatements.push_back(std::move(st));
    return FStatements.back().get();
}

void TCustomSQLExec::ClearStatements() { FStatements.clear(); }

void TCustomSQLExec::DeleteStatement(int Index) {
    if (Index < 0 || Index >= StatementCount()) return;
    FStatements.erase(FStatements.begin() + Index);
}

TStatement* TCustomSQLExec::AddDescription(TDbObj* Obj) {
    if (!Obj) return nullptr;
    std::string fieldName;
    if (Obj->Kind == dboField || Obj->Kind == dboParam) fieldName = Obj->GetDescriptionOwnerName();
    TStatement* st = AddStatement(Obj->GetDescriptionSQL(), skDescription, Obj->Name, Obj->Kind, saDescription, fieldName);
    if (st) st->DescriptionText = Obj->Description();
    return st;
}

bool TCustomSQLExec::Execute() {
    ErrorCount = 0;
    return true;
}

} // namespace qnl
