#pragma once
// Privileges and roles of real Firebird databases for the grant tests: read from the catalogue
// as rows, and filed into a structure as a reader files them (each privilege row through the
// container's merge).
#include "objects/qnlComp_Rol.h"
#include "tests/objects/RoutineCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qnl::test {

// The privileges (U) and roles (R) of a database, sorted: the owner's own privileges and those
// on system tables are left out.
inline std::vector<std::string> ReadGrants(const TempDatabase& Db) {
    std::vector<std::string> rows = QueryRows(
        Db,
        "SELECT '<<U|' || TRIM(RDB$USER) || '|' || RDB$USER_TYPE || '|' || TRIM(RDB$PRIVILEGE) || '|' || "
        "RDB$GRANT_OPTION || '|' || TRIM(RDB$RELATION_NAME) || '|' || RDB$OBJECT_TYPE || '|' || "
        "COALESCE(TRIM(RDB$FIELD_NAME), '') || '>>' FROM RDB$USER_PRIVILEGES WHERE RDB$USER <> 'SYSDBA' AND "
        "RDB$RELATION_NAME NOT STARTING WITH 'RDB$' AND RDB$RELATION_NAME NOT STARTING WITH 'MON$' AND "
        "RDB$RELATION_NAME NOT STARTING WITH 'SEC$';\n"
        "SELECT '<<R|' || TRIM(RDB$ROLE_NAME) || '|' || TRIM(RDB$OWNER_NAME) || '>>' FROM RDB$ROLES "
        "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0");
    std::sort(rows.begin(), rows.end());
    return rows;
}

inline TDbObject GrantKindOf(const std::string& CatalogueType) {
    switch (std::stoi(CatalogueType)) {
    case 0: return dboTable;
    case 1: return dboView;
    case 2: return dboTrigger;
    case 5: return dboProcedure;
    case 7: return dboException;
    case 8: return dboUser;
    case 13: return dboRole;
    case 14: return dboGenerator;
    case 15: return dboFunction;
    case 18: return dboPackage;
    default: ADD_FAILURE() << "object type " << CatalogueType; return dboUnknown;
    }
}

inline TGrantPrivilege PrivilegeOf(const std::string& Letter) {
    switch (Letter.at(0)) {
    case 'S': return gpSelect;
    case 'I': return gpInsert;
    case 'U': return gpUpdate;
    case 'D': return gpDelete;
    case 'R': return gpReferences;
    case 'X': return gpExecute;
    case 'G': return gpUsage;
    default: ADD_FAILURE() << "privilege " << Letter; return gpAll;
    }
}

// Files one role per R row and one grant per U row, folded by the container as the readers fold
// them; rows of other tags are skipped.
inline void FillGrants(const std::vector<std::string>& Catalogue, TObjs& O) {
    for (const std::string& row : Catalogue) {
        const auto f = SplitBars(row);
        if (f.at(0) == "R") {
            auto* r = new TRolData(&O);
            r->Name = f.at(1);
            r->Owner = f.at(2);
            O.AddDbObject(r);
            continue;
        }
        if (f.at(0) != "U") continue;
        auto* g = new TGntData(&O);
        g->Grantee = f.at(1);
        g->GranteeKind = GrantKindOf(f.at(2));
        g->GrantOption = std::stoi(f.at(4));
        g->ObjectName = f.at(5);
        g->ObjectKind = GrantKindOf(f.at(6));
        if (f.at(3) != "M") g->Privileges.Include(PrivilegeOf(f.at(3)));
        if (!f.at(7).empty()) g->Fields.Add(f.at(7));
        if (!O.MergeGrant(g)) delete g;
    }
    O.RekeyGrants();
}

} // namespace qnl::test
