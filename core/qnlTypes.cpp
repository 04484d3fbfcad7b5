#include "core/qnlTypes.h"

#include "platform/IntText.h"

#include <cstdio>

namespace qnl {

const std::array<const char*, StatementKindCount> StatementKindNames = {
    "Connect", "ReConnect", "CreateDb", "Set",         "BlobFile",   "Commit",    "Statement",
    "Comment", "Procedure", "Trigger",  "SetNames",    "CharSet",    "SqlDialect", "Description",
    "Select",  "Insert",    "Update",   "Delete",      "ExecuteBlock", "Package"};

bool CharInSet(char C, std::string_view Chars) { return Chars.find(C) != std::string_view::npos; }

bool TryStrToInteger(std::string_view S, int& Value) {
    int32_t v;
    if (!TryStrToInt(S, v)) return false;
    Value = v;
    return true;
}

std::string QualifiedName(const std::string& Schema, const std::string& Name) {
    return Schema.empty() ? Name : Schema + "." + Name;
}

std::string GetStatementTerminator(TServerType ServerType) {
    switch (ServerType) {
    case stASA:
    case stASE:
        return "\r\ngo\r\n";
    case stMSSQL:
        return "\r\nGO\r\n";
    default:
        return ";\r\n";
    }
}

std::string QuoteSQLString(std::string_view S, TServerType ServerType) {
    std::string out;
    out.reserve(S.size() + 2);
    out += '\'';
    if (ServerType == stMySQL) {
        for (char c : S) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\'': out += "\\'"; break;
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\b': out += "\\b"; break;
            case '\x1a': out += "\\z"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default: out += c;
            }
        }
    } else if (ServerType == stPostgreSQL) {
        for (char c : S) {
            switch (c) {
            case '\'': out += "''"; break;
            case '\\': {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%2x", static_cast<unsigned char>(c));
                out += '\\';
                out += 'x';
                out += hex;
                break;
            }
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\x00"; break;
            default: out += c;
            }
        }
    } else {
        for (char c : S) {
            if (c == '\'') out += '\'';
            out += c;
        }
    }
    out += '\'';
    return out;
}

std::string TTableSpace::GetStorageText() const {
    std::string t;
    auto num = [&t](const char* word, int32_t v) {
        if (v != 0) t += std::string("\r\n   ") + word + " " + std::to_string(v);
    };
    num("pctfree", pctfree);
    num("pctused", pctused);
    num("initrans", initrans);
    num("maxtrans", maxtrans);
    if (!Storage.empty()) t += "\r\n   storage" + Storage;
    if (!TableSpace.empty()) t += "\r\n   " + TableSpace;
    return Trim(t);
}

void TTableSpace::Merge(TTableSpace& A, TTableSpace& B) {
    auto mergeNum = [](int32_t& a, int32_t& b) {
        if (a == 0 && b != 0) a = b;
        if (b == 0 && a != 0) b = a;
    };
    mergeNum(A.pctfree, B.pctfree);
    mergeNum(A.pctused, B.pctused);
    mergeNum(A.initrans, B.initrans);
    mergeNum(A.maxtrans, B.maxtrans);
    if (A.Storage.empty() && !B.Storage.empty()) A.Storage = B.Storage;
    if (B.Storage.empty() && !A.Storage.empty()) B.Storage = A.Storage;
}

std::string TTypeDirective::GetText() const {
    std::string t;
    if (Overriding) t += "OVERRIDING ";
    if (NotInstantiable) t += "NOT INSTANTIABLE ";
    if (NotFinal) t += "NOT FINAL";
    if (Instantiable) t += "INSTANTIABLE ";
    if (Final) t += "FINAL ";
    return t;
}

} // namespace qnl
