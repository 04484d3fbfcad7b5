#pragma once
// The program's data module: the two database objects the window's connections work on,
// IBDatabase1 for the master and IBDatabase2 for the target.
#include "client/pFIBDatabase.h"
#include "platform/Component.h"

namespace qnl {

class TDataMdFib : public TComponent {
public:
    explicit TDataMdFib(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TDataMdFib"; }

    TpFIBDatabase* IBDatabase1;   // owned
    TpFIBDatabase* IBDatabase2;   // owned
};

// The program's one data module while it exists.
extern TDataMdFib* DataMdFib;

} // namespace qnl
