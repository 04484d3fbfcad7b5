// Implements the data module; see IBDataModuleFib.h.
#include "demo/window/IBDataModuleFib.h"

namespace qnl {

TDataMdFib* DataMdFib = nullptr;

namespace {

TpFIBDatabase* MakeDatabase(TComponent* Owner, const char* Name) {
    auto* db = new TpFIBDatabase(Owner);
    db->SetName(Name);
    db->SetSQLDialect(3);
    db->SetTimeout(0);
    db->SetWaitForRestoreConnect(0);
    return db;
}

} // namespace

TDataMdFib::TDataMdFib(TComponent* AOwner)
    : TComponent(AOwner), IBDatabase1(MakeDatabase(this, "IBDatabase1")), IBDatabase2(MakeDatabase(this, "IBDatabase2")) {
    SetName("DataMdFib");
}

} // namespace qnl
