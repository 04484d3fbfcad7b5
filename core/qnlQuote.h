#pragma once
// Identifier quoting for every dialect the library writes. Each dialect decides by its character
// rules and keyword lists whether a name needs quotes; a quoted name always has its closing
// quote character doubled inside, so no name can end the quoted text early.
#include "core/qnlTypes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qnl {

// Open + Name + Close, with every Close inside Name doubled.
std::string QuoteIdentifier(std::string_view Name, char Open, char Close);

// The one entry for quoting a name in the dialect of ServerType. For InterBase/Firebird only
// SQL dialect 3 quotes; server types without rules (0, 8 ASE, 13, ...) leave the name bare.
std::string QuoteNameForServer(std::string_view Name, TServerType ServerType,
                               TIBSQLServerVersionType ServerVersion, uint8_t Dialect);

// The generic server type 13 quotes every name by the container's quote option: 2 with "'",
// 3 with double quotes, 4 with "[" and "]", any other value not at all.
std::string QuoteNameForOption(std::string_view Name, uint8_t QuoteOption);

std::string ASAQuoteName(std::string_view Name);
std::string MySQLQuoteName(std::string_view Name);
std::string DB2QuoteName(std::string_view Name);
std::string MSSQLQuoteName(std::string_view Name);
std::string LocalSQLQuoteName(std::string_view Name);
std::string PGQuoteName(std::string_view Name);
std::string OracleQuoteName(std::string_view Name);

// The token number of the upper-cased word in the dialect's keyword table, 1 when absent. The
// MySQL numbers are its parser's codes (the dialect conversion reads them); the other tables
// number their words in table order from 30, and only whether a word is found matters.
uint8_t GetASAKeywordToken(std::string_view Word);
uint8_t GetMySQLKeywordToken(std::string_view Word);
uint8_t GetDB2KeywordToken(std::string_view Word);
uint8_t GetMSSQLKeywordToken(std::string_view Word);
uint8_t GetLocalSQLKeywordToken(std::string_view Word);
uint8_t GetPGKeywordToken(std::string_view Word);
uint8_t GetOracleKeywordToken(std::string_view Word);

} // namespace qnl
