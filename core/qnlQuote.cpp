#include "core/qnlQuote.h"

#include "core/qnlIBKeywords.h"
#include "platform/StringList.h"

#include <algorithm>
#include <iterator>
#include <span>

namespace qnl {

namespace {

struct TKeyword {
    std::string_view Word;
    uint8_t Token;
};

// The keyword tables and reserved-word lists, as each dialect's parser holds them (misspelled
// entries such as "REMAME", "COMMITED", "RESERV" and "IACTIVE" included: they are the parsers').

constexpr TKeyword ASAKeywords[] = {
    {"ADD", 30}, {"ALL", 31}, {"ALTER", 32}, {"AND", 33}, {"ANY", 34}, {"AS", 35}, {"ASC", 36},
    {"BEGIN", 37}, {"BETWEEN", 38}, {"BIGINT", 39}, {"BINARY", 40}, {"BIT", 41}, {"BY", 42}, {"CALL", 43},
    {"CASCADE", 44}, {"CHAR", 45}, {"CHARACTER", 46}, {"CHECK", 47}, {"CLOSE", 48}, {"COMMENT", 49},
    {"COMMIT", 50}, {"CONNECT", 51}, {"CONSTRAINT", 52}, {"CREATE", 53}, {"CURRENT", 54},
    {"CURRENT_TIMESTAMP", 55}, {"CURRENT_USER", 56}, {"DATE", 57}, {"DBSPACE", 58}, {"DEC", 59},
    {"DECIMAL", 60}, {"DECLARE", 61}, {"DEFAULT", 62}, {"DELETE", 63}, {"DESC", 64}, {"DOUBLE", 65},
    {"DROP", 66}, {"ENCRYPTED", 67}, {"END", 68}, {"EXCEPTION", 69}, {"EXEC", 70}, {"EXECUTE", 71},
    {"FLOAT", 72}, {"FOR", 73}, {"FOREIGN", 74}, {"FROM", 75}, {"GRANT", 76}, {"GROUP", 77},
    {"IDENTIFIED", 78}, {"IF", 79}, {"IN", 80}, {"INDEX", 81}, {"INOUT", 82}, {"INSERT", 83}, {"INT", 84},
    {"INTEGER", 85}, {"INTO", 86}, {"IS", 87}, {"KEY", 88}, {"LONG", 89}, {"MEMBERSHIP", 90},
    {"MESSAGE", 91}, {"MODE", 92}, {"MODIFY", 93}, {"NATURAL", 94}, {"NO", 95}, {"NOT", 96}, {"NOTIFY", 97},
    {"NULL", 98}, {"NUMERIC", 99}, {"OF", 100}, {"OFF", 101}, {"ON", 102}, {"OPEN", 103}, {"OPTION", 104},
    {"OPTIONS", 105}, {"OR", 106}, {"ORDER", 107}, {"OUT", 108}, {"OUTER", 109}, {"PRECISION", 110},
    {"PRIMARY", 111}, {"PRIVILEGES", 112}, {"PUBLICATION", 113}, {"PROC", 114}, {"PROCEDURE", 115},
    {"REAL", 116}, {"REFERENCES", 117}, {"REMOTE", 118}, {"REMAME", 119}, {"RESOURCE", 120},
    {"RESTORE", 121}, {"RESTRICT", 122}, {"REVOKE", 123}, {"SELECT", 124}, {"SET", 125}, {"SETUSER", 126},
    {"SMALLINT", 127}, {"START", 128}, {"TABLE", 129}, {"TEMPORARY", 130}, {"TIME", 131}, {"TIMESTAMP", 132},
    {"TINYINT", 133}, {"TO", 134}, {"TRAN", 135}, {"TRANSACTION", 136}, {"TRIGGER", 137}, {"TRUNCATE", 138},
    {"UNIQUE", 139}, {"UNIQUEIDENTIFIER", 140}, {"UNKNOWN", 141}, {"UNSIGNED", 142}, {"UPDATE", 143},
    {"USER", 144}, {"USING", 145}, {"VALUES", 146}, {"VARBINARY", 147}, {"VARCHAR", 148}, {"VARIABLE", 149},
    {"VARYING", 150}, {"VIEW", 151}, {"WHEN", 152}, {"WITH", 153}, {"WORK", 154},
};

constexpr std::string_view ASAReservedWords[] = {
    "BACKUP", "BETWEEN", "BOTTOM", "BREAK", "CAPABILITY", "CASE", "CAST", "CHAR_CONVERT", "CHECKPOINT",
    "CONFLICT", "CONTAINS", "CONTINUE", "CONVERT", "CROSS", "CUBE", "CURSOR", "DBSPACE", "DEALLOCATE",
    "DELETING", "DISTINCT", "DO", "DYNAMIC", "ELSE", "ELSEIF", "ENDIF", "ESCAPE", "EXCEPT", "EXISTING",
    "EXISTS", "EXTERNLOGIN", "FETCH", "FIRST", "FORCE", "FORWARD", "FULL", "GOTO", "HAVING", "HOLDLOCK",
    "INDEX_LPAREN", "INNER", "INSENSITIVE", "INSERTING", "INSTALL", "INSTEAD", "INTEGRATED", "INTERSECT",
    "IQ", "ISOLATION", "JOIN", "LATERAL", "LEFT", "LIKE", "LOCK", "LOGIN", "MATCH", "NEW", "NOHOLDLOCK",
    "OTHERS", "OVER", "PASSTHROUGH", "PREPARE", "PRINT", "PUBLICATION", "RAISERROR", "READTEXT", "REFERENCE",
    "RELEASE", "REORGANIZE", "RETURN", "RIGHT", "ROLLBACK", "ROLLUP", "SAVE", "SAVEPOINT", "SCROLL",
    "SENSITIVE", "SESSION", "SHARE", "SOME", "SQLCODE", "SQLSTATE", "START", "STOP", "SUBTRANS",
    "SUBTRANSACTION", "SYNCHRONIZE", "SYNTAX_ERROR", "THEN", "TOP", "TRAN", "TSEQUAL", "UNBOUNDED", "UNION",
    "UPDATING", "VALIDATE", "WAIT", "WAITFOR", "WHERE", "WHILE", "WINDOW", "WITH_CUBE", "WITH_LPAREN",
    "WITH_ROLLUP", "WITHIN", "WRITETEXT",
};

constexpr TKeyword MySQLKeywords[] = {
    {"ADD", 85}, {"ALTER", 84}, {"AS", 98}, {"BIGINT", 34}, {"BINARY", 61}, {"BIT", 100}, {"BOOL", 31},
    {"BLOB", 47}, {"CALL", 93}, {"CASCADE", 91}, {"CHAR", 40}, {"CHARACTER", 40}, {"COLLATE", 88},
    {"CONSTRAINT", 86}, {"CREATE", 70}, {"DATABASE", 81}, {"DATE", 42}, {"DATETIME", 44}, {"DEC", 38},
    {"DECIMAL", 38}, {"DEFAULT", 63}, {"DELETE", 79}, {"DOUBLE", 36}, {"DROP", 71}, {"ENUM", 54},
    {"EXISTS", 75}, {"FLOAT", 37}, {"FOREIGN", 68}, {"FROM", 90}, {"FULLTEXT", 94}, {"IF", 73},
    {"INDEX", 67}, {"INSERT", 77}, {"INT", 30}, {"INTEGER", 30}, {"INTO", 89}, {"KEY", 66}, {"LONGBLOB", 49},
    {"LONGTEXT", 53}, {"MEDIUMBLOB", 48}, {"MEDIUMINT", 33}, {"MEDIUMTEXT", 52}, {"NATIONAL", 60},
    {"NOT", 74}, {"NULL", 62}, {"NUMERIC", 39}, {"ON", 87}, {"OR", 96}, {"PRECISION", 57}, {"PRIMARY", 65},
    {"REAL", 35}, {"REFERENCES", 83}, {"REPLACE", 95}, {"RESTRICT", 92}, {"SET", 55}, {"SELECT", 80},
    {"SMALLINT", 32}, {"SPATIAL", 64}, {"SQL", 97}, {"TABLE", 72}, {"TEMPORARY", 76}, {"TEXT", 51},
    {"TIME", 43}, {"TINYBLOB", 46}, {"TINYINT", 31}, {"TINYTEXT", 50}, {"UPDATE", 78}, {"UNIQUE", 69},
    {"UNSIGNED", 58}, {"USE", 82}, {"VARBINARY", 99}, {"VARCHAR", 41}, {"YEAR", 56}, {"ZEROFILL", 59},
    {"_<charset>", 45},
};

constexpr std::string_view MySQLReservedWords[] = {
    "ADD", "ALL", "ALTER", "ANALYZE", "AND", "AS", "ASC", "ASENSITIVE", "BEFORE", "BETWEEN", "BIGINT",
    "BINARY", "BLOB", "BOTH", "BY", "CALL", "CASCADE", "CASE", "CHANGE", "CHAR", "CHARACTER", "CHECK",
    "COLLATE", "COLUMN", "CONDITION", "CONNECTION", "CONSTRAINT", "CONTINUE", "CONVERT", "CREATE", "CROSS",
    "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "DATABASE", "DATABASES",
    "DAY_HOUR", "DAY_MICROSECOND", "DAY_MINUTE", "DAY_SECOND", "DEC", "DECIMAL", "DECLARE", "DEFAULT",
    "DELAYED", "DELETE", "DESC", "DESCRIBE", "DETERMINISTIC", "DISTINCT", "DISTINCTROW", "DIV", "DOUBLE",
    "DROP", "DUAL", "EACH", "ELSE", "ELSEIF", "ENCLOSED", "ESCAPED", "EXISTS", "EXIT", "EXPLAIN", "FALSE",
    "FETCH", "FLOAT", "FOR", "FORCE", "FOREIGN", "FROM", "FULLTEXT", "GOTO", "GRANT", "GROUP", "HAVING",
    "HIGH_PRIORITY", "HOUR_MICROSECOND", "HOUR_MINUTE", "HOUR_SECOND", "IF", "IGNORE", "IN", "INDEX",
    "INFILE", "INNER", "INOUT", "INSENSITIVE", "INSERT", "INT", "INTEGER", "INTERVAL", "INTO", "IS",
    "ITERATE", "JOIN", "KEY", "KEYS", "KILL", "LEADING", "LEAVE", "LEFT", "LIKE", "LIMIT", "LINES", "LOAD",
    "LOCALTIME", "LOCALTIMESTAMP", "LOCK", "LONG", "LONGBLOB", "LONGTEXT", "LOOP", "LOW_PRIORITY", "MATCH",
    "MEDIUMBLOB", "MEDIUMINT", "MEDIUMTEXT", "MIDDLEINT", "MINUTE_MICROSECOND", "MINUTE_SECOND", "MOD",
    "MODIFIES", "NATURAL", "NOT", "NO_WRITE_TO_BINLOG", "NULL", "NUMERIC", "ON", "OPTIMIZE", "OPTION",
    "OPTIONALLY", "OR", "ORDER", "OUT", "OUTER", "OUTFILE", "PRECISION", "PRIMARY", "PROCEDURE", "PURGE",
    "READ", "READS", "REAL", "REFERENCES", "REGEXP", "RELEASE", "RENAME", "REPEAT", "REPLACE", "REQUIRE",
    "RESTRICT", "RETURN", "REVOKE", "RIGHT", "RLIKE", "SCHEMA", "SCHEMAS", "SECOND_MICROSECOND", "SELECT",
    "SENSITIVE", "SEPARATOR", "SET", "SHOW", "SMALLINT", "SONAME", "SPATIAL", "SPECIFIC", "SQL",
    "SQLEXCEPTION", "SQLSTATE", "SQLWARNING", "SQL_BIG_RESULT", "SQL_CALC_FOUND_ROWS", "SQL_SMALL_RESULT",
    "SSL", "STARTING", "STRAIGHT_JOIN", "TABLE", "TERMINATED", "THEN", "TINYBLOB", "TINYINT", "TINYTEXT",
    "TO", "TRAILING", "TRIGGER", "TRUE", "UNDO", "UNION", "UNIQUE", "UNLOCK", "UNSIGNED", "UPDATE", "USAGE",
    "USE", "USING", "UTC_DATE", "UTC_TIME", "UTC_TIMESTAMP", "VALUES", "VARBINARY", "VARCHAR",
    "VARCHARACTER", "VARYING", "WHEN", "WHERE", "WHILE", "WITH", "WRITE", "XOR", "YEAR_MONTH", "ZEROFILL",
    "FIELD",
};

constexpr TKeyword DB2Keywords[] = {
    {"ADD", 30}, {"AFTER", 31}, {"ALIAS", 32}, {"ALLOW", 33}, {"ALTER", 34}, {"AS", 35},
    {"AUTHORIZATION", 36}, {"BEFORE", 37}, {"BUFFERPOOL", 38}, {"BY", 39}, {"CACHE", 40}, {"CAPTURE", 41},
    {"CARDINALITY", 42}, {"CHAR", 43}, {"CHARACTER", 44}, {"CHECK", 45}, {"CLUSTER", 46}, {"CONNECT", 47},
    {"COMMIT", 48}, {"CONSTRAINT", 49}, {"CREATE", 50}, {"CURRENT", 51}, {"DATA", 52}, {"DATABASE", 53},
    {"DB2SQL", 54}, {"DEFAULT", 55}, {"DELETE", 56}, {"DISALLOW", 57}, {"DOUBLE", 58}, {"EACH", 59},
    {"FILE", 60}, {"FOR", 61}, {"FOREIGN", 62}, {"GENERATED", 63}, {"GRANT", 64}, {"GROUP", 65},
    {"GRAPHIC", 66}, {"IDENTITY", 67}, {"IN", 68}, {"INCREMENT", 69}, {"INDEX", 70}, {"INSERT", 71},
    {"KEY", 72}, {"LONG", 73}, {"MODE", 74}, {"NEW", 75}, {"NEW_TABLE", 76}, {"NO", 77}, {"NOT", 78},
    {"NULL", 79}, {"OF", 80}, {"OLD", 81}, {"OLD_TABLE", 82}, {"ON", 83}, {"OPTIMIZATION", 84},
    {"OPTION", 85}, {"PARTITION", 86}, {"PATH", 87}, {"PRIMARY", 88}, {"RECOVERY", 89}, {"REFERENCES", 90},
    {"REFERENCING", 91}, {"RESET", 92}, {"RESTRICT", 93}, {"ROW", 94}, {"SCHEMA", 95}, {"SELECT", 96},
    {"SET", 97}, {"START", 98}, {"SYSTEM", 99}, {"TABLE", 100}, {"TABLESPACE", 101}, {"TO", 102},
    {"TRIGGER", 103}, {"UNIQUE", 104}, {"UPDATE", 105}, {"USER", 106}, {"USING", 107}, {"VIEW", 108},
    {"WHEN", 109}, {"WITH", 110}, {"YEARS", 111},
};

constexpr TKeyword MSSQLKeywords[] = {
    {"ADD", 30}, {"ALL", 31}, {"ALTER", 32}, {"AND", 33}, {"ANY", 34}, {"AS", 35}, {"ASC", 36},
    {"AUTHORIZATION", 37}, {"BACKUP", 38}, {"BEGIN", 39}, {"BETWEEN", 40}, {"BREAK", 41}, {"BROWSE", 42},
    {"BULK", 43}, {"BY", 44}, {"CASCADE", 45}, {"CASE", 46}, {"CHECK", 47}, {"CHECKPOINT", 48},
    {"CLOSE", 49}, {"CLUSTERED", 50}, {"COALESCE", 51}, {"COLLATE", 52}, {"COLUMN", 53}, {"COMMIT", 54},
    {"COMPUTE", 55}, {"CONSTRAINT", 56}, {"CONTAINS", 57}, {"CONTAINSTABLE", 58}, {"CONTINUE", 59},
    {"CONVERT", 60}, {"CREATE", 61}, {"CROSS", 62}, {"CURRENT", 63}, {"CURRENT_DATE", 64},
    {"CURRENT_TIME", 65}, {"CURRENT_TIMESTAMP", 66}, {"CURRENT_USER", 67}, {"CURSOR", 68}, {"DATABASE", 69},
    {"DBCC", 70}, {"DEALLOCATE", 71}, {"DECLARE", 72}, {"DEFAULT", 73}, {"DELETE", 74}, {"DENY", 75},
    {"DESC", 76}, {"DISK", 77}, {"DISTINCT", 78}, {"DISTRIBUTED", 79}, {"DOUBLE", 80}, {"DROP", 81},
    {"DUMP", 82}, {"ELSE", 83}, {"END", 84}, {"ERRLVL", 85}, {"ESCAPE", 86}, {"EXCEPT", 87}, {"EXEC", 88},
    {"EXECUTE", 89}, {"EXISTS", 90}, {"EXIT", 91}, {"FETCH", 92}, {"FILE", 93}, {"FILLFACTOR", 94},
    {"FOR", 95}, {"FOREIGN", 96}, {"FREETEXT", 97}, {"FREETEXTTABLE", 98}, {"FROM", 99}, {"FULL", 100},
    {"FUNCTION", 101}, {"GOTO", 102}, {"GRANT", 103}, {"GROUP", 104}, {"HAVING", 105}, {"HOLDLOCK", 106},
    {"IDENTITY", 107}, {"IDENTITY_INSERT", 108}, {"IDENTITYCOL", 109}, {"IF", 110}, {"IN", 111},
    {"INDEX", 112}, {"INNER", 113}, {"INSERT", 114}, {"INTERSECT", 115}, {"INTO", 116}, {"IS", 117},
    {"JOIN", 118}, {"KEY", 119}, {"KILL", 120}, {"LEFT", 121}, {"LIKE", 122}, {"LINENO", 123}, {"LOAD", 124},
    {"NATIONAL", 125}, {"NOCHECK", 126}, {"NONCLUSTERED", 127}, {"NOT", 128}, {"NULL", 129}, {"NULLIF", 130},
    {"OF", 131}, {"OFF", 132}, {"OFFSETS", 133}, {"ON", 134}, {"OPEN", 135}, {"OPENDATASOURCE", 136},
    {"OPENQUERY", 137}, {"OPENROWSET", 138}, {"OPENXML", 139}, {"OPTION", 140}, {"OR", 141}, {"ORDER", 142},
    {"OUTER", 143}, {"OVER", 144}, {"PERCENT", 145}, {"PLAN", 146}, {"PRECISION", 147}, {"PRIMARY", 148},
    {"PRINT", 149}, {"PROC", 150}, {"PROCEDURE", 151}, {"PUBLIC", 152}, {"RAISERROR", 153}, {"READ", 154},
    {"READTEXT", 155}, {"RECONFIGURE", 156}, {"REFERENCES", 157}, {"REPLICATION", 158}, {"RESTORE", 159},
    {"RESTRICT", 160}, {"RETURN", 161}, {"REVOKE", 162}, {"RIGHT", 163}, {"ROLLBACK", 164},
    {"ROWCOUNT", 165}, {"ROWGUIDCOL", 166}, {"RULE", 167}, {"SAVE", 168}, {"SCHEMA", 169}, {"SELECT", 170},
    {"SESSION_USER", 171}, {"SET", 172}, {"SETUSER", 173}, {"SHUTDOWN", 174}, {"SOME", 175},
    {"STATISTICS", 176}, {"SYSTEM_USER", 177}, {"TABLE", 178}, {"TEXTSIZE", 179}, {"THEN", 180}, {"TO", 181},
    {"TOP", 182}, {"TRAN", 183}, {"TRANSACTION", 184}, {"TRIGGER", 185}, {"TRUNCATE", 186}, {"TSEQUAL", 187},
    {"UNION", 188}, {"UNIQUE", 189}, {"UPDATE", 190}, {"UPDATETEXT", 191}, {"USE", 192}, {"USER", 193},
    {"VALUES", 194}, {"VARYING", 195}, {"VIEW", 196}, {"WAITFOR", 197}, {"WHEN", 198}, {"WHERE", 199},
    {"WHILE", 200}, {"WITH", 201}, {"WRITETEXT", 202}, {"END CONVERSATION", 203}, {"<::>", 204},
    {"<Label:>", 205},
};

constexpr std::string_view MSSQLReservedWords[] = {
    "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP", "BEGIN", "BETWEEN", "BREAK",
    "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK", "CHECKPOINT", "CLOSE", "CLUSTERED", "COALESCE",
    "COLLATE", "COLUMN", "COMMIT", "COMPUTE", "CONSTRAINT", "CONTAINS", "CONTAINSTABLE", "CONTINUE",
    "CONVERT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_USER", "CURSOR", "DATABASE", "DBCC", "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY",
    "DESC", "DISK", "DISTINCT", "DISTRIBUTED", "DOUBLE", "DROP", "DUMMY", "DUMP", "ELSE", "END", "ERRLVL",
    "ESCAPE", "EXCEPT", "EXEC", "EXECUTE", "EXISTS", "EXIT", "FETCH", "FILE", "FILLFACTOR", "FOR", "FOREIGN",
    "FREETEXT", "FREETEXTTABLE", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT", "GROUP", "HAVING", "HOLDLOCK",
    "IDENTITY", "IDENTITY_INSERT", "IDENTITYCOL", "IF", "IN", "INDEX", "INNER", "INSERT", "INTERSECT",
    "INTO", "IS", "JOIN", "KEY", "KILL", "LEFT", "LIKE", "LINENO", "LOAD", "NATIONAL", "NOCHECK",
    "NONCLUSTERED", "NOT", "NULL", "NULLIF", "OF", "OFF", "OFFSETS", "ON", "OPEN", "OPENDATASOURCE",
    "OPENQUERY", "OPENROWSET", "OPENXML", "OPTION", "OR", "ORDER", "OUTER", "OVER", "PERCENT", "PLAN",
    "PRECISION", "PRIMARY", "PRINT", "PROC", "PROCEDURE", "PUBLIC", "RAISERROR", "READ", "READTEXT",
    "RECONFIGURE", "REFERENCES", "REPLICATION", "RESTORE", "RESTRICT", "RETURN", "REVOKE", "RIGHT",
    "ROLLBACK", "ROWCOUNT", "ROWGUIDCOL", "RULE", "SAVE", "SCHEMA", "SELECT", "SESSION_USER", "SET",
    "SETUSER", "SHUTDOWN", "SOME", "STATISTICS", "SYSTEM_USER", "TABLE", "TEXTSIZE", "THEN", "TO", "TOP",
    "TRAN", "TRANSACTION", "TRIGGER", "TRUNCATE", "TSEQUAL", "UNION", "UNIQUE", "UPDATE", "UPDATETEXT",
    "USE", "USER", "VALUES", "VARYING", "VIEW", "WAITFOR", "WHEN", "WHERE", "WHILE", "WITH", "WRITETEXT",
};

constexpr TKeyword LocalSQLKeywords[] = {
    {"IACTIVE", 30}, {"ADD", 31}, {"ALL", 32}, {"AFTER", 33}, {"ALTER", 34}, {"AND", 35}, {"ANY", 36},
    {"AS", 37}, {"ASC", 38}, {"ASCENDING", 39}, {"AT", 40}, {"AUTO", 41}, {"AUTOINC", 42}, {"AVG", 43},
    {"BASE_NAME", 44}, {"BEFORE", 45}, {"BEGIN", 46}, {"BETWEEN", 47}, {"BLOB", 48}, {"BOOLEAN", 49},
    {"BOTH", 50}, {"BY", 51}, {"BYTES", 52}, {"CACHE", 53}, {"CAST", 54}, {"CHAR", 55}, {"CHARACTER", 56},
    {"CHECK", 57}, {"CHECK_POINT_LENGTH", 58}, {"COLLATE", 59}, {"COLUMN", 60}, {"COMMIT", 61},
    {"COMMITED", 62}, {"COMPUTED", 63}, {"CONDITIONAL", 64}, {"CONSTRAINT", 65}, {"CONTAINING", 66},
    {"COUNT", 67}, {"CREATE", 68}, {"CSTRING", 69}, {"CURRENT", 70}, {"CURSOR", 71}, {"DATABASE", 72},
    {"DATE", 73}, {"DAY", 74}, {"DEBUG", 75}, {"DEC", 76}, {"DECIMAL", 77}, {"DECLARE", 78}, {"DEFAULT", 79},
    {"DELETE", 80}, {"DESC", 81}, {"DESCENDING", 82}, {"DISTINCT", 83}, {"DO", 84}, {"DOMAIN", 85},
    {"DOUBLE", 86}, {"DROP", 87}, {"ELSE", 88}, {"END", 89}, {"ENTRY_POINT", 90}, {"ESCAPE", 91},
    {"EXCEPTION", 92}, {"EXECUTE", 93}, {"EXISTS", 94}, {"EXIT", 95}, {"EXTERNAL", 96}, {"EXTRACT", 97},
    {"FILE", 98}, {"FILTER", 99}, {"FLOAT", 100}, {"FOR", 101}, {"FOREIGN", 102}, {"FROM", 103},
    {"FULL", 104}, {"FUNCTION", 105}, {"GDSCODE", 106}, {"GENERATOR", 107}, {"GEN_ID", 108}, {"GRANT", 109},
    {"GROUP", 110}, {"GROUP_COMMIT_WAIT_TIME", 111}, {"HAVING", 112}, {"HOUR", 113}, {"IF", 114},
    {"IN", 115}, {"INT", 116}, {"INACTIVE", 117}, {"INDEX", 118}, {"INNER", 119}, {"INPUT_TYPE", 120},
    {"INSERT", 121}, {"INTEGER", 122}, {"INTO", 123}, {"IS", 124}, {"ISOLATION", 125}, {"JOIN", 126},
    {"KEY", 127}, {"LONG", 128}, {"LENGTH", 129}, {"LOGFILE", 130}, {"LOWER", 131}, {"LEADING", 132},
    {"LEFT", 133}, {"LEVEL", 134}, {"LIKE", 135}, {"LOG_BUFFER_SIZE", 136}, {"MANUAL", 137}, {"MAX", 138},
    {"MAXIMUM_SEGMENT", 139}, {"MERGE", 140}, {"MESSAGE", 141}, {"MIN", 142}, {"MINUTE", 143},
    {"MODULE_NAME", 144}, {"MONEY", 145}, {"MONTH", 146}, {"NAMES", 147}, {"NATIONAL", 148},
    {"NATURAL", 149}, {"NCHAR", 150}, {"NO", 151}, {"NOT", 152}, {"NULL", 153}, {"NUM_LOG_BUFFERS", 154},
    {"NUMERIC", 155}, {"OF", 156}, {"ON", 157}, {"ONLY", 158}, {"OPTION", 159}, {"OR", 160}, {"ORDER", 161},
    {"OUTER", 162}, {"OUTPUT_TYPE", 163}, {"OVERFLOW", 164}, {"PAGE_SIZE", 165}, {"PAGE", 166},
    {"PAGES", 167}, {"PARAMETER", 168}, {"PASSWORD", 169}, {"PLAN", 170}, {"POSITION", 171},
    {"POST_EVENT", 172}, {"PRECISION", 173}, {"PROCEDURE", 174}, {"PROTECTED", 175}, {"PRIMARY", 176},
    {"PRIVILEGES", 177}, {"RAW_PARTITIONS", 178}, {"RDB$DB_KEY", 179}, {"READ", 180}, {"REAL", 181},
    {"RECORD_VERSION", 182}, {"REFERENCES", 183}, {"RESERV", 184}, {"RESERVING", 185}, {"RETAIN", 186},
    {"RETURNING_VALUES", 187}, {"RETURNS", 188}, {"REVOKE", 189}, {"RIGHT", 190}, {"ROLLBACK", 191},
    {"SECOND", 192}, {"SEGMENT", 193}, {"SELECT", 194}, {"SET", 195}, {"SHARED", 196}, {"SHADOW", 197},
    {"SCHEMA", 198}, {"SINGULAR", 199}, {"SIZE", 200}, {"SMALLINT", 201}, {"SNAPSHOT", 202}, {"SOME", 203},
    {"SORT", 204}, {"SQLCODE", 205}, {"STABILITY", 206}, {"STARTING", 207}, {"STARTS", 208},
    {"STATISTICS", 209}, {"SUB_TYPE", 210}, {"SUBSTRING", 211}, {"SUM", 212}, {"SUSPEND", 213},
    {"TABLE", 214}, {"THEN", 215}, {"TIME", 216}, {"TIMESTAMP", 217}, {"TIMEZONE_HOUR", 218},
    {"TIMEZONE_MINUTE", 219}, {"TO", 220}, {"TRAILING", 221}, {"TRANSACTION", 222}, {"TRIGGER", 223},
    {"TRIM", 224}, {"UNCOMMITTED", 225}, {"UNION", 226}, {"UNIQUE", 227}, {"UPDATE", 228}, {"UPPER", 229},
    {"USER", 230}, {"VALUE", 231}, {"VALUES", 232}, {"VARCHAR", 233}, {"VARIABLE", 234}, {"VARYING", 235},
    {"VIEW", 236}, {"WAIT", 237}, {"WHEN", 238}, {"WHERE", 239}, {"WHILE", 240}, {"WITH", 241},
    {"WORK", 242}, {"WRITE", 243}, {"YEAR", 244},
};

constexpr TKeyword PGKeywords[] = {
    {"ALL", 30}, {"ANALYSE", 31}, {"ANALYZE", 32}, {"AND", 33}, {"ANY", 34}, {"ARRAY", 35}, {"AS", 36},
    {"ASC", 37}, {"ASYMMETRIC", 38}, {"AUTHORIZATION", 39}, {"BETWEEN", 40}, {"BINARY", 41}, {"BOTH", 42},
    {"CASE", 43}, {"CAST", 44}, {"CHECK", 45}, {"COLLATE", 46}, {"COLUMN", 47}, {"CONSTRAINT", 48},
    {"CREATE", 49}, {"CROSS", 50}, {"CURRENT_DATE", 51}, {"CURRENT_ROLE", 52}, {"CURRENT_TIME", 53},
    {"CURRENT_TIMESTAMP", 54}, {"CURRENT_USER", 55}, {"DEFAULT", 56}, {"DEFERRABLE", 57}, {"DESC", 58},
    {"DISTINCT", 59}, {"DO", 60}, {"ELSE", 61}, {"END", 62}, {"EXCEPT", 63}, {"FALSE", 64}, {"FOR", 65},
    {"FOREIGN", 66}, {"FREEZE", 67}, {"FROM", 68}, {"FULL", 69}, {"GRANT", 70}, {"GROUP", 71},
    {"HAVING", 72}, {"ILIKE", 73}, {"IN", 74}, {"INITIALLY", 75}, {"INNER", 76}, {"INTERSECT", 77},
    {"INTO", 78}, {"IS", 79}, {"ISNULL", 80}, {"JOIN", 81}, {"LEADING", 82}, {"LEFT", 83}, {"LIKE", 84},
    {"LIMIT", 85}, {"LOCALTIME", 86}, {"LOCALTIMESTAMP", 87}, {"NATURAL", 88}, {"NEW", 89}, {"NOT", 90},
    {"NOTNULL", 91}, {"NULL", 92}, {"OFF", 93}, {"OFFSET", 94}, {"OLD", 95}, {"ON", 96}, {"ONLY", 97},
    {"OR", 98}, {"ORDER", 99}, {"OUTER", 100}, {"OVERLAPS", 101}, {"PLACING", 102}, {"PRIMARY", 103},
    {"REFERENCES", 104}, {"RIGHT", 105}, {"SELECT", 106}, {"SESSION_USER", 107}, {"SIMILAR", 108},
    {"SOME", 109}, {"SYMMETRIC", 110}, {"TABLE", 111}, {"THEN", 112}, {"TO", 113}, {"TRAILING", 114},
    {"TRUE", 115}, {"UNION", 116}, {"UNIQUE", 117}, {"USER", 118}, {"USING", 119}, {"VERBOSE", 120},
    {"WHEN", 121}, {"WHERE", 122}, {":=", 123}, {"..", 124}, {"::", 125}, {"<<", 126}, {">>", 127},
};

constexpr TKeyword OracleKeywords[] = {
    {"ACCESS", 30}, {"ADD", 31}, {"ALL", 32}, {"ALTER", 33}, {"AND", 34}, {"ANY", 35}, {"ARRAYLEN", 36},
    {"AS", 37}, {"ASC", 38}, {"AUDIT", 39}, {"BETWEEN", 40}, {"BY", 41}, {"CHAR", 42}, {"CHECK", 43},
    {"CLUSTER", 44}, {"COLUMN", 45}, {"COMMENT", 46}, {"COMPRESS", 47}, {"CONNECT", 48}, {"CREATE", 49},
    {"CURRENT", 50}, {"DATE", 51}, {"DECIMAL", 52}, {"DEFAULT", 53}, {"DELETE", 54}, {"DESC", 55},
    {"DISTINCT", 56}, {"DROP", 57}, {"ELSE", 58}, {"EXCLUSIVE", 59}, {"EXISTS", 60}, {"FILE", 61},
    {"FLOAT", 62}, {"FOR", 63}, {"FROM", 64}, {"GRANT", 65}, {"GROUP", 66}, {"HAVING", 67},
    {"IDENTIFIER", 68}, {"IMMEDIATE", 69}, {"IN", 70}, {"INCREMENT", 71}, {"INDEX", 72}, {"INITIAL", 73},
    {"INSERT", 74}, {"INTEGER", 75}, {"INTERSECT", 76}, {"INTO", 77}, {"IS", 78}, {"LEVEL", 79},
    {"LIKE", 80}, {"LOCK", 81}, {"LONG", 82}, {"MAXEXTENTS", 83}, {"MINUS", 84}, {"MODE", 85},
    {"MODIFY", 86}, {"NOAUDIT", 87}, {"NOCOMPRESS", 88}, {"NOT", 89}, {"NOTFOUND", 90}, {"NOWAIT", 91},
    {"NULL", 92}, {"NUMBER", 93}, {"OF", 94}, {"OFFLINE", 95}, {"ON", 96}, {"ONLINE", 97}, {"OPTION", 98},
    {"OR", 99}, {"ORDER", 100}, {"PCTFREE", 101}, {"PRIOR", 102}, {"PRIVILEGES", 103}, {"PUBLIC", 104},
    {"RAW", 105}, {"RENAME", 106}, {"RESOURCE", 107}, {"REVOKE", 108}, {"ROW", 109}, {"ROWID", 110},
    {"ROWLABEL", 111}, {"ROWNUM", 112}, {"ROWS", 113}, {"START", 114}, {"SELECT", 115}, {"SESSION", 116},
    {"SET", 117}, {"SHARE", 118}, {"SIZE", 119}, {"SMALLINT", 120}, {"SQLBUF", 121}, {"SUCCESSFUL", 122},
    {"SYNONYM", 123}, {"SYSDATE", 124}, {"TABLE", 125}, {"THEN", 126}, {"TO", 127}, {"TRIGGER", 128},
    {"UID", 129}, {"UNION", 130}, {"UNIQUE", 131}, {"UPDATE", 132}, {"USER", 133}, {"VALIDATE", 134},
    {"VALUES", 135}, {"VARCHAR", 136}, {"VARCHAR2", 137}, {"VIEW", 138}, {"WHENEVER", 139}, {"WHERE", 140},
    {"WITH", 141},
};

static_assert(std::size(ASAKeywords) == 125 && std::size(ASAReservedWords) == 105);
static_assert(std::size(MySQLKeywords) == 75 && std::size(MySQLReservedWords) == 215);
static_assert(std::size(DB2Keywords) == 82);
static_assert(std::size(MSSQLReservedWords) == 174);
static_assert(std::size(LocalSQLKeywords) == 215);
static_assert(std::size(PGKeywords) == 98);
static_assert(std::size(OracleKeywords) == 112);

uint8_t FindToken(std::span<const TKeyword> Table, std::string_view UpperWord) {
    for (const TKeyword& k : Table)
        if (k.Word == UpperWord) return k.Token;
    return 1;
}

bool InList(std::span<const std::string_view> List, std::string_view Word) {
    return std::find(List.begin(), List.end(), Word) != List.end();
}

bool InRange(char C, char Lo, char Hi) { return C >= Lo && C <= Hi; }
bool IsUpper(char C) { return InRange(C, 'A', 'Z'); }
bool IsLower(char C) { return InRange(C, 'a', 'z'); }
bool IsDigit(char C) { return InRange(C, '0', '9'); }

// True when the first character passes First and every later one passes Rest.
template <typename F, typename R>
bool AllChars(std::string_view S, F First, R Rest) {
    if (S.empty() || !First(S[0])) return false;
    return std::all_of(S.begin() + 1, S.end(), Rest);
}

bool Contains(std::string_view S, char C) { return S.find(C) != std::string_view::npos; }

// Plain characters of the dialects without a character rule of their own: anything else (a
// blank, a quote, a semicolon) would end or change the statement when written bare.
bool PlainNameChar(char C) { return IsUpper(C) || IsLower(C) || IsDigit(C) || C == '_' || C == '$'; }

std::string DoubleQuoted(std::string_view Name) { return QuoteIdentifier(Name, '"', '"'); }

} // namespace

std::string QuoteIdentifier(std::string_view Name, char Open, char Close) {
    std::string out;
    out.reserve(Name.size() + 2);
    out += Open;
    for (char c : Name) {
        if (c == Close) out += Close;
        out += c;
    }
    out += Close;
    return out;
}

std::string QuoteNameForServer(std::string_view Name, TServerType ServerType,
                               TIBSQLServerVersionType ServerVersion, uint8_t Dialect) {
    switch (ServerType) {
    case stInterBase:
        // Dialects 1 and 2 have no quoted names.
        if (Dialect == 3 && IBNeedQuote(Name, ServerVersion)) return DoubleQuoted(Name);
        return std::string(Name);
    case stASA: return ASAQuoteName(Name);
    case stMySQL: return MySQLQuoteName(Name);
    case stOracle: return OracleQuoteName(Name);
    case stMSSQL: return MSSQLQuoteName(Name);
    case stPostgreSQL: return PGQuoteName(Name);
    case stDB2: return DB2QuoteName(Name);
    case stLocalSQL1:
    case stLocalSQL2: return LocalSQLQuoteName(Name);
    default: return std::string(Name);
    }
}

std::string QuoteNameForOption(std::string_view Name, uint8_t QuoteOption) {
    switch (QuoteOption) {
    case 2: return QuoteIdentifier(Name, '\'', '\'');
    case 3: return QuoteIdentifier(Name, '"', '"');
    case 4: return QuoteIdentifier(Name, '[', ']');
    default: return std::string(Name);
    }
}

std::string ASAQuoteName(std::string_view Name) {
    if (Name.empty()) return {};
    std::string u = UpperCase(Name);
    // A keyword is written in upper case; lower-case letters otherwise need no quotes.
    if (FindToken(ASAKeywords, u) != 1 || InList(ASAReservedWords, u)) return DoubleQuoted(u);
    bool plain = AllChars(
        u, [](char c) { return IsUpper(c) || c == '#' || c == '$' || c == '@' || c == '_'; },
        [](char c) { return IsUpper(c) || IsDigit(c) || c == '#' || c == '$' || c == '@' || c == '_'; });
    return plain ? std::string(Name) : DoubleQuoted(Name);
}

std::string MySQLQuoteName(std::string_view Name) {
    std::string u = UpperCase(Name);
    bool quote = u != Name || InList(MySQLReservedWords, u) ||
                 !std::all_of(Name.begin(), Name.end(), PlainNameChar);
    return quote ? QuoteIdentifier(Name, '`', '`') : std::string(Name);
}

std::string DB2QuoteName(std::string_view Name) {
    if (Name.empty()) return {};
    bool plain = FindToken(DB2Keywords, UpperCase(Name)) == 1 &&
                 AllChars(Name, IsUpper, [](char c) {
                     return IsUpper(c) || IsDigit(c) || c == '#' || c == '$' || c == '@' || c == '_';
                 });
    return plain ? std::string(Name) : DoubleQuoted(Name);
}

std::string MSSQLQuoteName(std::string_view Name) {
    if (Name.empty()) return {};
    // Operator and label tokens begin with "<" and pass unchanged; a "]" inside a name still
    // forces the brackets, or the name could close them itself.
    if (Name[0] == '<' && !Contains(Name, ']')) return std::string(Name);
    std::string u = UpperCase(Name);
    bool plain = AllChars(
                     Name, [](char c) { return IsUpper(c) || IsLower(c) || c == '#' || c == '$' || c == '_'; },
                     [](char c) {
                         return IsUpper(c) || IsLower(c) || IsDigit(c) || c == '#' || c == '$' || c == '@' ||
                                c == '_';
                     }) &&
                 FindToken(MSSQLKeywords, u) == 1 && !InList(MSSQLReservedWords, u);
    return plain ? std::string(Name) : QuoteIdentifier(Name, '[', ']');
}

std::string LocalSQLQuoteName(std::string_view Name) {
    bool quote = FindToken(LocalSQLKeywords, UpperCase(Name)) != 1 ||
                 !std::all_of(Name.begin(), Name.end(), PlainNameChar);
    return quote ? DoubleQuoted(Name) : std::string(Name);
}

std::string PGQuoteName(std::string_view Name) {
    if (Name.empty()) return {};
    bool plain = AllChars(
                     Name, [](char c) { return IsLower(c) || c == '_'; },
                     [](char c) { return IsLower(c) || IsDigit(c) || c == '$' || c == '_'; }) &&
                 FindToken(PGKeywords, UpperCase(Name)) == 1;
    return plain ? std::string(Name) : DoubleQuoted(Name);
}

std::string OracleQuoteName(std::string_view Name) {
    if (Name.empty()) return {};
    bool plain = FindToken(OracleKeywords, UpperCase(Name)) == 1 &&
                 AllChars(Name, IsUpper, [](char c) {
                     return IsUpper(c) || IsDigit(c) || c == '#' || c == '$' || c == '_';
                 });
    return plain ? std::string(Name) : DoubleQuoted(Name);
}

uint8_t GetASAKeywordToken(std::string_view Word) { return FindToken(ASAKeywords, UpperCase(Word)); }
uint8_t GetMySQLKeywordToken(std::string_view Word) { return FindToken(MySQLKeywords, UpperCase(Word)); }
uint8_t GetDB2KeywordToken(std::string_view Word) { return FindToken(DB2Keywords, UpperCase(Word)); }
uint8_t GetMSSQLKeywordToken(std::string_view Word) { return FindToken(MSSQLKeywords, UpperCase(Word)); }
uint8_t GetLocalSQLKeywordToken(std::string_view Word) { return FindToken(LocalSQLKeywords, UpperCase(Word)); }
uint8_t GetPGKeywordToken(std::string_view Word) { return FindToken(PGKeywords, UpperCase(Word)); }
uint8_t GetOracleKeywordToken(std::string_view Word) { return FindToken(OracleKeywords, UpperCase(Word)); }

} // namespace qnl
