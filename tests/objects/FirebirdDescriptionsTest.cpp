// Descriptions of every kind written by the comparer and run on real Firebird 3 databases, in
// each description mode: the catalogue's descriptions must equal the master's afterwards, and a
// second comparison must write nothing.
#include "tests/fixtures/LiveSide.h"
#include "tests/objects/CompareKit.h"
#include "tests/objects/RoutineCatalogue.h"
#include "tests/objects/StructureBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

using namespace qnl;
using namespace qnl::test;

namespace {

// Descriptions by "kind|owner|name", the keys the catalogue query below answers.
using Descriptions = std::map<std::string, std::string>;

// A quote, a line break and a comment end, so that no form of writing a description can pass
// such a text through unharmed by accident.
std::string MasterDescription(const std::string& Key) { return Key + ": it's\r\nnot */ the end"; }

// The target database: the objects both sides have, without descriptions.
const char* const TargetDdl =
    "CREATE EXCEPTION E1 'm';\n"
    "CREATE SEQUENCE G1;\n"
    "CREATE TABLE T1 (ID INTEGER NOT NULL, N INTEGER, CONSTRAINT PK_T1 PRIMARY KEY (ID));\n"
    "CREATE INDEX IX_T1 ON T1 (N);\n"
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE P1 (A INTEGER) RETURNS (B INTEGER) AS\nBEGIN\n  B = A;\n  SUSPEND;\nEND^\n"
    "CREATE FUNCTION F1 (X INTEGER) RETURNS INTEGER AS\nBEGIN\n  RETURN X;\nEND^\n"
    "SET TERM ; ^\n";

// Fills a side with the objects of TargetDdl (and, for the master, the objects only it has);
// each object gets the description Describe answers for its key.
void Build(TObjs& O, bool MasterOnlyObjects, const std::function<std::string(const std::string&)>& Describe) {
    auto describe = [&](TDbObj* Obj, const std::string& Key) { Obj->SetDescription(Describe(Key)); };
    auto table = [&](const std::string& Name, const std::vector<std::string>& Columns) {
        TTblData* t = AddTable(O, Name);
        describe(t, "R||" + Name);
        for (const std::string& c : Columns) {
            TFldData& col = AddCol(t, c, dtInteger);
            col.Nullable = c != "ID";
            describe(&col, "C|" + Name + "|" + c);
        }
    };
    auto routine = [&](const RoutineDef& D) {
        TPrcData* p = AddRoutine(O, D);
        const std::string kind = D.Function ? "F" : "P";
        describe(p, kind + "||" + D.Name);
        for (int i = 0; i < p->InputCount(); ++i) describe(p->InputParam(i), "p|" + D.Name + "|" + p->InputParam(i)->Name);
        if (!D.Function)
            for (int i = 0; i < p->OutputCount(); ++i)
                describe(p->OutputParam(i), "p|" + D.Name + "|" + p->OutputParam(i)->Name);
    };

    StructureBuilder b(O);
    describe(b.Exception("E1", "m"), "E||E1");
    describe(b.Generator("G1"), "G||G1");
    table("T1", {"ID", "N"});
    // Firebird keeps no description of a constraint: whatever it has, nothing is written.
    describe(AddKey(O, ctPrimaryKey, "PK_T1", "T1", {"ID"}), "K||PK_T1");
    describe(AddIndex(O, "IX_T1", "T1", {"N"}), "I||IX_T1");
    routine({"P1", false, {"A"}, {"B"}, "BEGIN\n  B = A;\n  SUSPEND;\nEND", {}});
    routine({"F1", true, {"X"}, {""}, "BEGIN\n  RETURN X;\nEND", {}});
    if (!MasterOnlyObjects) return;
    describe(b.Exception("E2", "n"), "E||E2");
    describe(b.Generator("G2"), "G||G2");
    table("T2", {"C"});
    describe(AddIndex(O, "IX_T2", "T2", {"C"}), "I||IX_T2");
    routine({"P2", false, {"Y"}, {}, "BEGIN\nEND", {}});
}

// The descriptions the catalogue holds for the objects of these tests, line breaks kept.
Descriptions ReadDescriptions(const TempDatabase& Db) {
    const auto text = [](const char* Column) {
        return std::string("COALESCE(CAST(REPLACE(REPLACE(") + Column +
               ", ASCII_CHAR(13), '^'), ASCII_CHAR(10), '~') AS VARCHAR(2000)), '')";
    };
    const auto row = [&](const char* Kind, const char* Owner, const char* Name, const char* From) {
        return std::string("SELECT '<<") + Kind + "|' || " + Owner + " || '|' || TRIM(" + Name + ") || '=' || " +
               text("RDB$DESCRIPTION") + " || '>>' FROM " + From +
               " WHERE RDB$DESCRIPTION IS NOT NULL AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0;\n";
    };
    const std::string script =
        row("R", "''", "RDB$RELATION_NAME", "RDB$RELATIONS") +
        row("C", "TRIM(RDB$RELATION_NAME)", "RDB$FIELD_NAME", "RDB$RELATION_FIELDS") +
        row("I", "''", "RDB$INDEX_NAME", "RDB$INDICES") + row("G", "''", "RDB$GENERATOR_NAME", "RDB$GENERATORS") +
        row("E", "''", "RDB$EXCEPTION_NAME", "RDB$EXCEPTIONS") + row("P", "''", "RDB$PROCEDURE_NAME", "RDB$PROCEDURES") +
        row("p", "TRIM(RDB$PROCEDURE_NAME)", "RDB$PARAMETER_NAME", "RDB$PROCEDURE_PARAMETERS") +
        row("F", "''", "RDB$FUNCTION_NAME", "RDB$FUNCTIONS") +
        row("p", "TRIM(RDB$FUNCTION_NAME)", "RDB$ARGUMENT_NAME", "RDB$FUNCTION_ARGUMENTS");
    Descriptions r;
    for (const std::string& line : QueryRows(Db, script)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            ADD_FAILURE() << line;
            continue;
        }
        std::string restored;
        for (char c : line.substr(eq + 1)) restored += c == '^' ? '\r' : c == '~' ? '\n' : c;
        // A reader keeps every line break as CR LF, whichever the script runner stored.
        r[line.substr(0, eq)] = NormalizeLineBreaks(restored);
    }
    return r;
}

// What the master describes: every key Build files with its master description, except the
// constraint, which Firebird cannot describe.
Descriptions MasterDescriptions() {
    Comparison c;
    Descriptions r;
    Build(c.M(), true, [&](const std::string& Key) {
        if (Key.rfind("K|", 0) != 0) r[Key] = MasterDescription(Key);
        return MasterDescription(Key);
    });
    return r;
}

class FirebirdDescriptions : public ::testing::TestWithParam<TUpdateDescriptionType> {};

TEST_P(FirebirdDescriptions, EveryKindGetsTheMastersDescription) {
    TempDatabase db(TargetDdl);
    std::string script;
    {
        Comparison c;
        c.q.IBCompareOptions().UpdateDescriptionMode = GetParam();
        Build(c.M(), true, MasterDescription);
        Build(c.T(), false, [](const std::string&) { return std::string(); });
        std::string out;
        ASSERT_EQ(c.RunOn(db, out), 0) << c.ScriptText() << out;
        script = c.ScriptText();
    }
    // Firebird 3 takes neither system-table updates nor DESCRIBE.
    EXPECT_EQ(script.find("UPDATE RDB$"), std::string::npos) << script;
    EXPECT_EQ(script.find("DESCRIBE"), std::string::npos) << script;
    EXPECT_NE(script.find("COMMENT ON PROCEDURE PARAMETER P1.A IS"), std::string::npos) << script;
    EXPECT_NE(script.find("COMMENT ON FUNCTION PARAMETER F1.X IS"), std::string::npos) << script;

    const Descriptions stored = ReadDescriptions(db);
    EXPECT_EQ(stored, MasterDescriptions());

    // The target as the database reader reads it back, new descriptions and all, equals the
    // master.
    Comparison again;
    again.q.IBCompareOptions().UpdateDescriptionMode = GetParam();
    Build(again.M(), true, MasterDescription);
    LiveSide read(db.Path());
    read.Extractor.SetDBStructure(&again.target);
    ASSERT_TRUE(read.Extract()) << read.ErrorText();
    // The constraint's description lives only in the master; it still writes nothing.
    again.Run();
    EXPECT_TRUE(again.Changes().empty()) << again.ScriptText();
}

INSTANTIATE_TEST_SUITE_P(Modes, FirebirdDescriptions, ::testing::Values(udSysTables, udDescribe, udComment),
                         [](const ::testing::TestParamInfo<TUpdateDescriptionType>& I) {
                             return std::string(I.param == udSysTables  ? "SystemTables"
                                                : I.param == udDescribe ? "Describe"
                                                                        : "Comment");
                         });

} // namespace
