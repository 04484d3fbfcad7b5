// The database extractor's readers of collations, generators, exceptions, roles and grants.
#include "interbase/qnlIBDBExtract.h"
#include "interbase/qnlIBDBExtractRows.h"

#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Def.h"
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Rol.h"

#include <exception>
#include <iterator>

namespace qnl {

using namespace dbrow;

TDbObject IBObjectTypeToDbObject(int Code) {
    switch (Code) {
    case 0: return dboTable;
    case 1: return dboView;
    case 2: return dboTrigger;
    case 3: return dboComputed;
    case 4: return dboValidation;
    case 5: return dboProcedure;
    case 6: return dboExprIndex;
    case 7: return dboException;
    case 8: return dboUser;
    case 9: return dboField;
    case 10: return dboIndex;
    case 11: return dboCount;
    case 12: return dboUserGroup;
    case 13: return dboRole;
    case 14: return dboGenerator;
    case 15: return dboFunction;
    case 18: return dboPackage;
    default: return dboUnknown;
    }
}

TGrantPrivileges IBPrivilegeToSet(char Letter) {
    switch (Letter) {
    case 'D': return TGrantPrivileges{gpDelete};
    case 'G': return TGrantPrivileges{gpUsage};
    case 'I': return TGrantPrivileges{gpInsert};
    case 'R': return TGrantPrivileges{gpReferences};
    case 'S': return TGrantPrivileges{gpSelect};
    case 'U': return TGrantPrivileges{gpUpdate};
    case 'X': return TGrantPrivileges{gpExecute};
    default: return {};
    }
}

// ---- collations ----

void TIBDBExtract::ExtractCollations() {
    LogLine("Extracting collations...");
    TQNLQuery& q = MainQuery();
    q.AddSQL("select c.*, CS.RDB$CHARACTER_SET_NAME");
    q.AddSQL("from rdb$collations c");
    q.AddSQL("left join RDB$CHARACTER_SETS CS ON CS.RDB$CHARACTER_SET_ID=C.RDB$CHARACTER_SET_ID");
    q.AddSQL("where (c.rdb$system_flag = 0 or c.rdb$system_flag is null)");
    q.AddSQL("order by c.rdb$collation_name");
    try {
        q.Open();
        while (!q.GetEof()) {
            auto collation = std::make_unique<TCltData>(Objs());
            collation->SetName(NameOf(q, "RDB$COLLATION_NAME"));
            collation->SetDescription(Trim(TextOf(q, "RDB$DESCRIPTION")));
            collation->CharacterSet = NameOf(q, "RDB$CHARACTER_SET_NAME");
            // The catalogue keeps the collation of the character set's module the new one is
            // made from, whatever it was created FROM, and every attribute it ended with: a
            // collation made anew from these needs no other collation of the database.
            if (HasBaseCollation) {
                collation->ExternalName = NameOf(q, "RDB$BASE_COLLATION_NAME");
                collation->Attributes = Trim(TextOf(q, "RDB$SPECIFIC_ATTRIBUTES"));
            }
            const int64_t attributes = IntOf(q, "RDB$COLLATION_ATTRIBUTES");
            collation->PadSpace = (attributes & 1) != 0;
            collation->CaseSensitive = (attributes & 2) == 0;
            collation->AccentSensitive = (attributes & 4) == 0;
            if (ShowFullLog) LogLine("---" + collation->Name);
            if (AcceptObjName(collation->Name, dboCollation)) Objs()->AddDbObject(collation.release(), true);
            ProcessAppMessages();
            if (AbortRequested) break;
            q.Next();
        }
    } catch (const std::exception& e) {
        // A column or type used by the columns of the collations is missing from the structure
        // when its collation is: the run says it failed.
        ReportReadError(q.SQLText() + "\r\n");
        ReportReadError(e.what());
    }
    q.Close();
    q.ClearSQL();
}

// ---- generators ----

void TIBDBExtract::ExtractGenerators() {
    LogLine("Extracting generators...");
    TQNLQuery& q = MainQuery();
    const bool ibe = IgnoreIBEObjects();
    int count = 0;
    if (OnProgressStep) {
        q.AddSQL("select Count(*)");
        q.AddSQL("from rdb$generators");
        q.AddSQL("where (Rdb$System_Flag = 0 or Rdb$System_Flag is Null) ");
        if (ibe) q.AddSQL(" and rdb$generator_name not like 'IBE$%' ");
        q.Open();
        count = static_cast<int>(q.GetFields()->Fields(0)->AsInteger());
        q.Close();
        q.ClearSQL();
        OnProgressStep(this, 1, "Generators", 0, count);
    }
    q.AddSQL("select * from rdb$generators ");
    q.AddSQL("where (Rdb$System_Flag = 0 or Rdb$System_Flag is Null) ");
    if (ibe) q.AddSQL(" and rdb$generator_name not like 'IBE$%' ");
    q.AddSQL("order by rdb$generator_name ");
    q.Open();
    int counter = 0;
    while (!q.GetEof()) {
        auto generator = std::make_unique<TGnrData>(Objs(), nullptr);
        generator->SetName(NameOf(q, "RDB$GENERATOR_NAME"));
        if (HasGeneratorDescription) generator->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
        // Firebird 3 keeps START WITH and INCREMENT: a generator made anew from the structure
        // starts and steps as the one read. 0 and 1 are the defaults, kept empty.
        if (HasGeneratorInitialValue)
            if (const int64_t start = IntOf(q, "RDB$INITIAL_VALUE"); start != 0) generator->StartWith = std::to_string(start);
        if (HasGeneratorIncrement)
            if (const int64_t step = IntOf(q, "RDB$GENERATOR_INCREMENT"); step != 1) generator->IncrementBy = std::to_string(step);
        ++counter;
        if (OnProgressStep) OnProgressStep(this, 1, generator->Name, counter, count);
        if (ShowFullLog) LogLine("---" + generator->Name);
        if (AcceptObjName(generator->Name, dboGenerator)) Objs()->AddDbObject(generator.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
}

// ---- exceptions ----

void TIBDBExtract::ExtractExceptions() {
    const std::string charSet = Objs()->IBServerOptions.DBCharSet();
    const TIBSQLServerVersionType version = Objs()->IBServerOptions.SQLServerVersion;
    // Older servers hand exception messages back converted: they are read as stored.
    const bool switchCharSet = (version < st_Firebird_21 || version == st_InterBase_2020) && !charSet.empty() &&
                               charSet != "NONE";
    if (switchCharSet) FConnection->ReconnectWithCharSet("NONE");
    LogLine("Extracting exceptions...");
    TQNLQuery& q = MainQuery();
    q.AddSQL("select * from rdb$exceptions");
    q.AddSQL("where (rdb$system_flag = 0 or rdb$system_flag is null)");
    q.AddSQL("order by rdb$exception_name");
    q.Open();
    while (!q.GetEof()) {
        auto exception = std::make_unique<TExcData>(Objs());
        exception->SetName(NameOf(q, "RDB$EXCEPTION_NAME"));
        exception->Message = TextOf(q, "RDB$MESSAGE");
        exception->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
        if (ShowFullLog) LogLine("---" + exception->Name);
        if (AcceptObjName(exception->Name, dboException)) Objs()->AddDbObject(exception.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
    if (switchCharSet) FConnection->ReconnectWithCharSet(ConnectionCharSet);
}

// ---- roles ----

void TIBDBExtract::ExtractRoles() {
    if (!HasRoles) return;
    LogLine("Extracting roles...");
    TQNLQuery& q = MainQuery();
    q.AddSQL("Select R.* from RDB$Roles R");
    if (HasRoleSystemFlag) q.AddSQL("where (Rdb$System_Flag = 0 or Rdb$System_Flag is Null)");
    q.AddSQL("Order By R.Rdb$Role_Name");
    q.Open();
    while (!q.GetEof()) {
        auto role = std::make_unique<TRolData>(Objs());
        const std::string name = NameOf(q, "RDB$ROLE_NAME");
        role->SetName(name);
        role->Owner = NameOf(q, "RDB$OWNER_NAME");
        if (HasRoleDescription) role->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
        Objs()->AddDbObject(role.release(), true);
        if (ShowFullLog) LogLine("--- " + name);
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
}

// ---- grants ----

namespace {

const char* const GrantHead =
    " SELECT PRV.RDB$USER, PRV.RDB$GRANTOR, PRV.RDB$PRIVILEGE, PRV.RDB$GRANT_OPTION, PRV.RDB$RELATION_NAME, "
    "PRV.RDB$FIELD_NAME, PRV.RDB$USER_TYPE, PRV.RDB$OBJECT_TYPE, Cast(0 as integer) SRT FROM RDB$USER_PRIVILEGES PRV";

// The object's owner holds every privilege on it from its creation (Firebird writes those rows
// itself); a grant names another grantee, or the owner under another kind (a procedure of the
// owner's name).
std::string NotToOwner(const std::string& OwnerColumn) {
    return " AND NOT (PRV.RDB$USER_TYPE = 8 AND PRV.RDB$USER = " + OwnerColumn + ") ";
}

} // namespace

void TIBDBExtract::ExtractGrants() {
    LogLine("Extracting grants...");
    const std::string head = GrantHead;
    // Roles granted to users and to roles.
    ReadGrants(head + " WHERE   PRV.RDB$OBJECT_TYPE = 13   AND PRV.RDB$USER_TYPE = 8   AND PRV.RDB$PRIVILEGE = 'M'   "
                      "AND PRV.RDB$RELATION_NAME <> 'RDB$ADMIN' ");
    // Privileges on user tables and views, whoever holds them.
    ReadGrants(head + " JOIN RDB$RELATIONS REL ON PRV.RDB$RELATION_NAME = REL.RDB$RELATION_NAME WHERE  PRV.RDB$PRIVILEGE "
                      "<> 'M' AND PRV.RDB$OBJECT_TYPE IN (0, 1) " +
               NotToOwner("REL.RDB$OWNER_NAME") +
               " AND REL.RDB$SECURITY_CLASS STARTING WITH 'SQL$'   AND (REL.RDB$SYSTEM_FLAG IS NULL OR "
               "REL.RDB$SYSTEM_FLAG = 0) ");
    // EXECUTE on procedures, functions and packages, whoever holds it.
    ReadGrants(head + " JOIN RDB$PROCEDURES PRC ON PRC.RDB$PROCEDURE_NAME = PRV.RDB$RELATION_NAME WHERE  "
                      "PRV.RDB$OBJECT_TYPE = 5  AND PRV.RDB$PRIVILEGE = 'X' " +
               std::string(HasProcedurePackage ? " AND PRC.RDB$PACKAGE_NAME IS NULL " : "") +
               NotToOwner("PRC.RDB$OWNER_NAME"));
    if (HasFunctionOwner)
        ReadGrants(head + "  JOIN RDB$FUNCTIONS FNC ON FNC.RDB$FUNCTION_NAME = PRV.RDB$RELATION_NAME WHERE  "
                          "PRV.RDB$OBJECT_TYPE = 15   AND PRV.RDB$PRIVILEGE = 'X' " +
                   std::string(HasProcedurePackage ? " AND FNC.RDB$PACKAGE_NAME IS NULL " : "") +
                   NotToOwner("FNC.RDB$OWNER_NAME"));
    if (HasPackages)
        ReadGrants(head + " JOIN RDB$PACKAGES PKG ON PKG.RDB$PACKAGE_NAME=PRV.RDB$RELATION_NAME WHERE  "
                          "PRV.RDB$OBJECT_TYPE = 18   AND PRV.RDB$PRIVILEGE = 'X' " +
                   NotToOwner("PKG.RDB$OWNER_NAME"));
    // USAGE of generators and exceptions, whoever holds it: users, PUBLIC, roles, procedures,
    // functions, packages, triggers (of tables and of the database) and views. Names the server
    // made (RDB$...) belong to no grant of anyone's. USAGE came with Firebird 3, as did the
    // generators' start values and owners.
    if (HasGeneratorInitialValue)
        ReadGrants(head + " LEFT JOIN RDB$GENERATORS GEN ON PRV.RDB$OBJECT_TYPE = 14 AND GEN.RDB$GENERATOR_NAME = "
                          "PRV.RDB$RELATION_NAME LEFT JOIN RDB$EXCEPTIONS EXC ON PRV.RDB$OBJECT_TYPE = 7 AND "
                          "EXC.RDB$EXCEPTION_NAME = PRV.RDB$RELATION_NAME WHERE PRV.RDB$PRIVILEGE = 'G' AND "
                          "PRV.RDB$OBJECT_TYPE IN (7, 14) AND PRV.RDB$RELATION_NAME NOT STARTING WITH 'RDB$' " +
                   NotToOwner("COALESCE(GEN.RDB$OWNER_NAME, EXC.RDB$OWNER_NAME)"));
    if (HasGeneratorInitialValue) ReadDdlGrants();
    MainQuery().Close();
    MainQuery().ClearSQL();
    Objs()->RekeyGrants();
}

namespace {

// The kind of object a DDL privilege row names by its object type; empty for a type without one.
const char* DdlObjectWord(int64_t ObjectType) {
    static const char* const Words[] = {"DATABASE",  "TABLE",  "VIEW",      "PROCEDURE", "FUNCTION",
                                        "PACKAGE",   "GENERATOR", "DOMAIN", "EXCEPTION", "ROLE",
                                        "CHARACTER SET", "COLLATION", "FILTER"};
    const int64_t first = 20;
    return ObjectType >= first && ObjectType < first + int64_t(std::size(Words)) ? Words[ObjectType - first] : "";
}

// The privilege as a GRANT writes it: CREATE of a kind, ALTER ANY and DROP ANY of a kind, ALTER
// and DROP of the database itself; empty for any other row.
std::string DdlPrivilegeText(char Letter, int64_t ObjectType) {
    const std::string word = DdlObjectWord(ObjectType);
    if (word.empty()) return {};
    const bool database = ObjectType == 20;
    switch (Letter) {
    case 'C': return database ? std::string() : "CREATE " + word;
    case 'L': return (database ? "ALTER " : "ALTER ANY ") + word;
    case 'O': return (database ? "DROP " : "DROP ANY ") + word;
    default: return {};
    }
}

} // namespace

void TIBDBExtract::ReadDdlGrants() {
    TQNLQuery& q = MainQuery();
    q.SetSQLText("SELECT PRV.RDB$USER, PRV.RDB$GRANTOR, PRV.RDB$PRIVILEGE, PRV.RDB$GRANT_OPTION, PRV.RDB$USER_TYPE, "
                 "PRV.RDB$OBJECT_TYPE FROM RDB$USER_PRIVILEGES PRV WHERE PRV.RDB$PRIVILEGE IN ('C', 'L', 'O') AND "
                 "PRV.RDB$OBJECT_TYPE >= 20 ORDER BY 1, 6, 3");
    q.Open();
    while (!q.GetEof()) {
        const std::string letters = TextOf(q, "RDB$PRIVILEGE");
        const std::string privilege = DdlPrivilegeText(letters.empty() ? ' ' : letters[0], IntOf(q, "RDB$OBJECT_TYPE"));
        if (!privilege.empty()) {
            auto grant = std::make_unique<TGntData>(Objs());
            grant->Grantee = NameOf(q, "RDB$USER");
            grant->GranteeKind = IBObjectTypeToDbObject(static_cast<int>(IntOf(q, "RDB$USER_TYPE")));
            grant->GrantOption = static_cast<int32_t>(IntOf(q, "RDB$GRANT_OPTION"));
            grant->Grantor = NameOf(q, "RDB$GRANTOR");
            grant->DdlPrivilege = privilege;
            AddGrant(grant.release());
        }
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
}

void TIBDBExtract::ReadGrants(const std::string& Text) {
    TQNLQuery& q = MainQuery();
    TGntData* current = nullptr;
    q.SetSQLText(Text);
    if (IgnoreIBEObjects()) q.AddSQL(" and PRV.RDB$RELATION_NAME not like 'IBE$%' ");
    q.AddSQL(" ORDER BY  9, 1, 6, 4");
    q.Open();
    std::unique_ptr<TGntData> building;
    while (!q.GetEof()) {
        const std::string grantee = NameOf(q, "RDB$USER");
        const std::string object = NameOf(q, "RDB$RELATION_NAME");
        const std::string letters = TextOf(q, "RDB$PRIVILEGE");
        const char privilege = letters.empty() ? ' ' : letters[0];
        const int granteeType = static_cast<int>(IntOf(q, "RDB$USER_TYPE"));
        const int objectType = static_cast<int>(IntOf(q, "RDB$OBJECT_TYPE"));
        const std::string column = NameOf(q, "RDB$FIELD_NAME");
        const int32_t option = static_cast<int32_t>(IntOf(q, "RDB$GRANT_OPTION"));
        const std::string grantor = NameOf(q, "RDB$GRANTOR");
        const TGrantPrivileges privileges = IBPrivilegeToSet(privilege);
        const bool same = current && current->Grantee == grantee && current->ObjectName == object &&
                          current->GrantOption == option && current->Grantor == grantor;
        // A column privilege joins only a column grant: added to a whole-table one it would
        // narrow that to the column and lose the privilege on the rest of the table.
        if (same && column.empty() && current->Fields.Count() == 0) {
            current->Privileges = current->Privileges | privileges;
        } else if (same && !column.empty() && current->Fields.Count() > 0 && current->Privileges == privileges) {
            if (current->Fields.IndexOf(column) < 0) current->Fields.Add(column);
        } else {
            AddGrant(building.release());
            building = std::make_unique<TGntData>(Objs());
            current = building.get();
            current->Grantee = grantee;
            current->ObjectName = object;
            current->GranteeKind = IBObjectTypeToDbObject(granteeType);
            current->ObjectKind = IBObjectTypeToDbObject(objectType);
            // Relations are one kind in the catalogue; a grant on a view names it as a view.
            if (current->ObjectKind == dboTable && Objs()->FindView(object)) current->ObjectKind = dboView;
            current->GrantOption = option;
            current->Grantor = grantor;
            if (!column.empty()) current->Fields.Add(column);
            current->Privileges = privileges;
        }
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    AddGrant(building.release());
    q.Close();
    q.ClearSQL();
}

void TIBDBExtract::AddGrant(TGntData* Grant) {
    std::unique_ptr<TGntData> owned(Grant);
    if (!owned || owned->Grantee.empty()) return;
    owned->SetName(owned->GetKeyName());
    if (Objs()->MergeGrant(owned.get())) owned.release();
}

} // namespace qnl
