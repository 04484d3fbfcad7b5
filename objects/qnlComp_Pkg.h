#pragma once
// Stored packages (Firebird 3 and later, Oracle): the header and body texts, and the passes that
// create, alter and drop them. Headers are written before the routines, triggers and views that
// may call a packaged routine; bodies at the end, when everything they use exists.
#include "core/qnlClasses.h"
#include "core/qnlCustomQuarnel.h"

#include <string>
#include <vector>

namespace qnl {

class TCustomSQLExec;

// The description of a routine of a package (Parameter empty) or of one of its parameters.
struct TMemberDescription {
    bool Function = false;
    std::string Routine;
    std::string Parameter;
    std::string Text;

    bool Describes(const TMemberDescription& Other) const {
        return Function == Other.Function && Routine == Other.Routine && Parameter == Other.Parameter;
    }
};

class TPkgData : public TDbObj {
public:
    explicit TPkgData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboPackage; }
    std::string ClassName() const override { return "TPkgData"; }

    bool IsBody = false;       // the statement read last for the package was its body
    std::string HeaderSource;  // the declarations, as read; the body is the inherited Source
    // The descriptions of its routines and their parameters; none has an empty text.
    std::vector<TMemberDescription> MemberDescriptions;

    // Sets (an empty Text: removes) the description of a routine or of one of its parameters.
    void SetMemberDescription(const TMemberDescription& Description);
    // The text this package has for what Like describes; empty when it has none.
    std::string MemberDescription(const TMemberDescription& Like) const;
    // COMMENT ON PROCEDURE | FUNCTION [PARAMETER] package.routine[.parameter] IS text, or IS NULL
    // for an empty text.
    std::string MemberDescriptionSQL(const TMemberDescription& Description);

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

    // Of the master's package: clears the member descriptions Target has and this package lacks,
    // while Target's routines are still declared (before a new header, which may leave the routine
    // out); Target then lacks them.
    void WriteLostMemberDescriptions(TCustomSQLExec& Exec, TPkgData& Target);
    // Of the master's package: the member descriptions that Target (nullptr: a package the script
    // creates) lacks or has with another text, once the header declares the routines; Target then
    // has them.
    void WriteMemberDescriptions(TCustomSQLExec& Exec, TPkgData* Target);

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
