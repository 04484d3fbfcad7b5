#pragma once
// Security principals and privileges: roles, logins and users (one class told apart by its kind)
// and grants, their CREATE / GRANT and DROP / REVOKE texts for every dialect, and the comparer's
// passes. Grants are matched by their GRANT text, so a grant whose privileges, columns, grantee
// or option changed is revoked and granted again; revoking never leaves a privilege behind that
// the master lacks, and never takes one along that the master keeps.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace qnl {

class TCustomQuarnel;

inline constexpr uint8_t rkRole = 0, rkLogin = 1, rkUser = 2;

class TRolData : public TDbObj {
public:
    explicit TRolData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboRole; }
    std::string ClassName() const override { return "TRolData"; }

    std::string Owner;
    std::string AppRole;    // MSSQL: set for an application role
    std::string LoginName;  // MSSQL, ASE: the login a user belongs to
    uint8_t RoleKind = rkRole;

    // ---- TDbObj ----
    // "Role: ", "Login: " or "User: " and the name: a role and a user of one name are two objects.
    std::string GetKeyName() const override;
    std::string GetCreateSQL() override;
    // ASE logins and roles switch back to the database after their work in master.
    std::string GetCreateStatement() override;
    // Empty for the MSSQL users that every database has.
    std::string GetDropSQL() override;
    TObjListKind GetObjList() const override { return olRoles; }
    int GetRoleKind() const override { return RoleKind; }
    // Only a role has a description statement.
    TDescriptionSubject GetDescriptionSubject() override;

private:
    std::string ASECreateText(bool SwitchBack);
};

// Members of a grant's privilege set.
enum TGrantPrivilege : uint8_t {
    gpAll, gpInsert, gpUpdate, gpDelete, gpSelect, gpExecute, gpReferences, gpConnect,
    gpCreateDatabaseLink = 9, gpCreateSequence, gpCreateSession, gpCreateTrigger, gpCreateProcedure, gpCreateType,
    gpCreateSynonym, gpCreatePublicSynonym, gpDropSynonym, gpDropPublicSynonym, gpCreateTable, gpCreateView,
    gpCreateIndexType, gpCreateRule, gpCreateDefault, gpCreateFunction, gpCreateDatabase, gpBackupDatabase,
    gpBackupLog, gpDumpDatabase, gpDumpTransaction, gpViewAnyDatabase, gpTruncateTable, gpUpdateStatistics,
    gpDeleteStatistics, gpUnlimitedTablespace, gpDropTable, gpDropView, gpDropTrigger, gpDropProcedure,
    gpDropSequence, gpDropType, gpDropIndexType, gpForceAnyTransaction, gpUsage
};
inline constexpr int GrantPrivilegeCount = 48;

// The privilege keyword as written ("CREATE DATABASE LINK", ...); empty for members without one.
const char* GrantPrivilegeWord(TGrantPrivilege Privilege);

// A set of privileges: bit n is member n.
class TGrantPrivileges {
public:
    constexpr TGrantPrivileges() = default;
    constexpr TGrantPrivileges(std::initializer_list<TGrantPrivilege> Members) {
        for (TGrantPrivilege p : Members) Include(p);
    }
    constexpr void Include(TGrantPrivilege P) { FBits |= uint64_t{1} << P; }
    constexpr void Exclude(TGrantPrivilege P) { FBits &= ~(uint64_t{1} << P); }
    constexpr bool Contains(TGrantPrivilege P) const { return (FBits >> P) & 1u; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool Intersects(TGrantPrivileges Other) const { return (FBits & Other.FBits) != 0; }
    constexpr TGrantPrivileges operator|(TGrantPrivileges Other) const { return FromBits(FBits | Other.FBits); }
    constexpr bool operator==(const TGrantPrivileges&) const = default;

private:
    static constexpr TGrantPrivileges FromBits(uint64_t Bits) {
        TGrantPrivileges s;
        s.FBits = Bits;
        return s;
    }
    uint64_t FBits = 0;
};

class TGntData : public TDbObj {
public:
    explicit TGntData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboGrant; }
    std::string ClassName() const override { return "TGntData"; }

    std::string Text;  // a complete grant text, written as it stands
    TGrantPrivileges Privileges;
    std::string Grantee;
    // dboProcedure, dboTrigger, dboFunction, dboView, dboRole, dboPackage, dboUser, or dboUnknown
    // for a plain user name.
    TDbObject GranteeKind = dboUnknown;
    // The object granted on, or the role granted.
    std::string ObjectName;
    // dboUnknown (system or statement privileges), dboTable, dboProcedure, dboTrigger,
    // dboFunction, dboException, dboView, dboGenerator, dboRole (a role granted), dboPackage.
    TDbObject ObjectKind = dboUnknown;
    // Not 0: WITH GRANT OPTION, or WITH ADMIN OPTION for a role (which Firebird 3 stores as 2).
    int32_t GrantOption = 0;
    TStringList Fields;  // the columns of a column grant
    // coGrant until a reader tells a role grant, a user grant and an object grant apart.
    TCmpObjType GrantType = coGrant;
    // The user who made the grant (InterBase/Firebird GRANTED BY); empty when not known.
    std::string Grantor;
    // A Firebird DDL privilege as isql writes it ("CREATE TABLE", "ALTER ANY GENERATOR", "DROP
    // DATABASE"); such a grant names no object. Empty for every other grant.
    std::string DdlPrivilege;

    bool IsRoleGrant() const { return ObjectKind == dboRole; }
    // True unless the grant's type is one of the three grant kinds that Compare lacks.
    bool InCompareSet(TCmpObjSetType Compare) const;
    // The REVOKE text; OptionOnly takes back only the grant or admin option (the privilege stays).
    // Empty when there is nothing to revoke.
    std::string GetRevokeSQL(bool OptionOnly) const;

    // ---- TDbObj ----
    // The GRANT text written in dialect 1, where no name is quoted: two grants match when their
    // texts agree.
    std::string GetKeyName() const override;
    std::string GetCreateSQL() override { return GrantText(); }
    // The REVOKE of the privileges, or of the option alone when the grant has one.
    std::string GetDropSQL() override { return GetRevokeSQL(GrantOption != 0); }
    TObjListKind GetObjList() const override { return olGrants; }
    // Folds a grant of the same object, grantee, kinds and option in: the privileges of two grants
    // without columns, or the columns of two column grants of the same privileges.
    bool MergeGrant(TDbObj* Other) override;
    TDbObject GetGrantObjectKind() const override { return ObjectKind; }
    std::string GetGrantObjectName() const override { return ObjectName; }
    TDbObject GetGranteeKind() const override { return GranteeKind; }
    std::string GetGrantee() const override { return Grantee; }

private:
    std::string GrantText() const;
    // The privileges (or the role) with their column lists and the ON clause.
    std::string PrivilegePart() const;
    std::string GranteePart() const;
    // " GRANTED BY grantor" for an InterBase/Firebird grant made by another user than SYSDBA (a
    // grant without the clause is made in the name of the user who runs the script); empty else.
    std::string GrantorClause() const;
};

// Firebird removes the grants on an object and those the object holds as grantee with its DROP.
// The grants of both sides that name Dropped (a view, or an external function) are marked gone:
// no REVOKE is written for the target's, and the master's are granted again after the object
// is back.
void GrantsGoWith(const TDbObj& Dropped);
// A dropped table column leaves the target's column grants on its table: the column leaves their
// lists (so a grant that differs from the master's now is revoked and granted again), and a grant
// left without columns is gone.
void ColumnGrantsLose(const TDbObj& Column);

// The comparer's passes over roles, logins, users and grants.
// Roles, then logins, then users of the master that the target lacks.
void WriteCreateRoles(TCustomQuarnel& Q);
// The descriptions of roles both sides have.
void WriteAlterRoles(TCustomQuarnel& Q);
// Users, then (not for MSSQL and ASE) logins and roles that only the target has.
void WriteDropRoles(TCustomQuarnel& Q);
// The master's grants that the target lacks or lost during the script.
void WriteCreateGrants(TCustomQuarnel& Q);
// The target's grants that the master lacks or has in another form.
void WriteDropGrants(TCustomQuarnel& Q);

} // namespace qnl
