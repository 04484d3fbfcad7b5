#pragma once
// Stored packages (Firebird 3 and later, Oracle): the header and body texts, and the passes that
// create, alter and drop them. Headers are written before the routines, triggers and views that
// may call a packaged routine; bodies at the end, when everything they use exists.
#include "core/qnlClasses.h"
#include "core/qnlCustomQuarnel.h"

#include <string>

namespace qnl {

class TPkgData : public TDbObj {
public:
    explicit TPkgData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboPackage; }
    std::string ClassName() const override { return "TPkgData"; }

    bool IsBody = false;       // the statement read last for the package was its body
    std::string HeaderSource;  // the declarations, as read; the body is the inherited Source

    // From Firebird 3 on: CREATE OR ALTER PACKAGE / RECREATE PACKAGE BODY with "AS"; for the
    // versions before (the Oracle form): CREATE OR REPLACE PACKAGE [BODY].
    std::string GetHeaderSQL() override;
    std::string GetBodySQL();
    std::string GetPackageBodySQL() override { return Source().empty() ? std::string() : GetBodySQL(); }
    // The header, and when there is a body, a terminator line ("^" for InterBase/Firebird, "/"
    // otherwise), an empty line and the body.
    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    // The master's header goes to the target now, once, when the target lacks the package or has
    // another header; the package passes then leave the header as it is.
    void PrepareForCaller() override;
    TObjListKind GetObjList() const override { return olPackages; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcPackage}; }

private:
    bool FirebirdForm() const;
};

// Which texts a package pass writes.
enum class TPackagePart : uint8_t { Header, Body };

// Master packages the target lacks: their headers (and descriptions), or their bodies.
void WriteCreatePackages(TCustomQuarnel& Q, TPackagePart Part);
// Packages both sides have whose header or body differs: the master's header, or its body (both
// are written when either differs: a new header leaves the old body invalid). Before a header
// changes, what calls the package in the target is emptied (it may call a routine the new header
// drops) and restored by the later passes. A description that differs is written with the header.
void WriteAlterPackages(TCustomQuarnel& Q, TPackagePart Part);
// Target packages the master lacks; what calls them is emptied first.
void WriteDropPackages(TCustomQuarnel& Q);

} // namespace qnl
