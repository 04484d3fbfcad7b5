#pragma once
// Description (comment) statements of schema objects, for every dialect that has them, in one
// place. A kind class tells what it is through one hook, TDbObj::GetDescriptionSubject; the
// statement text of every dialect and InterBase/Firebird mode is written here from that answer.
#include "core/qnlTypes.h"

#include <string>
#include <utility>

namespace qnl {

class TDbObj;

// What an object is for its description statement. The words of each dialect hang on this.
enum TDescriptionClass : uint8_t {
    dcNone,  // no form of its own (an InterBase/Firebird system-table update writes a comment)
    dcDomain,
    dcTable,
    dcView,
    dcProcedure,
    dcFunction,  // a routine whose function flag is set
    dcTrigger,
    dcException,
    dcIndex,
    dcExternalFunction,
    dcGenerator,
    dcRole,
    dcCollation,
    dcPackage,
    dcTableColumn,
    dcViewColumn,
    dcProcedureParameter,
    dcFunctionParameter,
    dcConstraint,
    dcSchema,
};
inline constexpr int DescriptionClassCount = dcSchema + 1;

// The answer of GetDescriptionSubject: the class, and what some dialects name besides the
// object's own name and schema.
struct TDescriptionSubject {
    TDescriptionSubject() = default;
    TDescriptionSubject(TDescriptionClass AClass, std::string AOwnerName = {}, const TDbObj* AOwner = nullptr)
        : Class(AClass), OwnerName(std::move(AOwnerName)), Owner(AOwner) {}

    TDescriptionClass Class = dcNone;
    // A column or parameter: the table, view or routine it belongs to. A trigger, an index, a
    // constraint: its table (or view).
    std::string OwnerName;
    // That owner as an object when it is known; its Schema qualifies OwnerName.
    const TDbObj* Owner = nullptr;
    // Text written after the name: a routine's parameter list (PostgreSQL), a column's
    // definition (MySQL).
    std::string Signature;
    // An MSSQL domain (user type) that is an XML schema collection.
    bool XmlSchemaCollection = false;
};

// A column or a routine parameter: the classes written with their owner's name.
constexpr bool IsOwnedDescriptionClass(TDescriptionClass C) {
    return C == dcTableColumn || C == dcViewColumn || C == dcProcedureParameter || C == dcFunctionParameter;
}

// The description statement of Obj in the dialect it writes for (its GetServerType); empty when
// the dialect has no form for it. Obj's own gates (NoScript, coDescription) are tested by
// TDbObj::GetDescriptionSQL, which calls this.
std::string DescriptionStatement(TDbObj& Obj, const TDescriptionSubject& Subject);

} // namespace qnl
