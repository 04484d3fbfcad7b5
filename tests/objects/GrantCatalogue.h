#pragma once
// The privileges and roles of a real Firebird database as catalogue rows: what the grant tests
// compare between an updated target and the master's reference database.
#include "tests/fixtures/FbFixture.h"

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

} // namespace qnl::test
