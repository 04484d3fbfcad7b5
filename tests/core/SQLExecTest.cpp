#include "core/qnlClasses.h"
#include "core/qnlSQL_Exec.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace qnl;

namespace {
// Records what ParseScript receives, as a descendant executor would parse it.
class RecordingExec : public TCustomSQLExec {
public:
    using TCustomSQLExec::TCustomSQLExec;
    std::vector<std::string> Parsed;
    int ParseCalls = 0;
    std::vector<std::string> Errors;
    void ParseScript(TStringList& Lines) override {
        ++ParseCalls;
        for (int i = 0; i < Lines.Count(); ++i) Parsed.push_back(Lines[i]);
    }
};

class DescribedColumn : public TDbObj {
public:
    DescribedColumn() : TDbObj(nullptr) {
        Kind = dboField;
        Name = "C";
        SetDescription("first\nsecond  ");
    }
    std::string GetDescriptionSQL() override { return "COMMENT ON COLUMN T.C IS 'x'"; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcTableColumn, "T"}; }
};
} // namespace

TEST(SQLExec, AddStatementTerminatorsEmptyTextsAndLines) {
    TCustomSQLExec exec;
    EXPECT_EQ(exec.AddStatement("", skStatement, "T", dboTable, saCreate), nullptr);
    TStatement* comment = exec.AddStatement("", skComment, "", dboUnknown, saComment);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->Terminator, "");

    TStatement* st = exec.AddStatement("CREATE TABLE T (\r\n  A INTEGER)", skStatement, "T", dboTable, saCreate);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->Terminator, ";\r\n");
    EXPECT_EQ(st->LineCount, 2);
    EXPECT_EQ(st->Lines[1], "  A INTEGER)");
    EXPECT_EQ(exec.AddStatement("X", skProcedure, "P", dboProcedure, saCreate, "", "^")->Terminator, "^");

    exec.ServerType = stMSSQL;
    EXPECT_EQ(exec.AddStatement("X", skStatement, "T", dboTable, saDrop)->Terminator, "\r\nGO\r\n");
    EXPECT_EQ(exec.StatementCount(), 4);
}

TEST(SQLExec, StatementAddVetoAndCreateHook) {
    TCustomSQLExec exec;
    int created = 0;
    struct Mine : TStatement {
        using TStatement::TStatement;
        std::string ClassName() const override { return "Mine"; }
    };
    exec.OnStatementCreate = [&](TObject* sender, std::unique_ptr<TStatement>& st) {
        ++created;
        st = std::make_unique<Mine>(static_cast<TCustomSQLExec*>(sender));
    };
    exec.OnStatementAdd = [](TStatement* st, bool& accept) { accept = st->ObjName != "VETOED"; };
    EXPECT_EQ(exec.AddStatement("DROP TABLE V", skStatement, "VETOED", dboTable, saDrop), nullptr);
    TStatement* kept = exec.AddStatement("DROP TABLE K", skStatement, "K", dboTable, saDrop);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->ClassName(), "Mine");
    EXPECT_EQ(created, 2);
    ASSERT_EQ(exec.StatementCount(), 1);
    EXPECT_EQ(exec.Statements(0), kept);
}

TEST(SQLExec, CaptionsDeleteAndDescription) {
    TCustomSQLExec exec;
    exec.AddStatement("CREATE TABLE T (A INTEGER)", skStatement, "T", dboTable, saCreate);
    exec.AddStatement("ALTER TABLE T ALTER C TYPE BIGINT", skStatement, "C", dboField, saDescription, "T");
    exec.AddStatement("SET SQL DIALECT 3", skSet, "", dboUnknown, saConnectSet);
    exec.AddStatement("x", skStatement, "P", dboProcedure, saEmptyBeforeDrop);
    EXPECT_EQ(exec.Statements(0)->GetCaption(), "T: create");
    EXPECT_EQ(exec.Statements(1)->GetCaption(), "T (C): alter");
    EXPECT_EQ(exec.Statements(2)->GetCaption(), "SET SQL DIALECT 3");
    EXPECT_EQ(exec.Statements(3)->GetCaption(), "P: empty before drop");

    TStatement* third = exec.Statements(2);
    exec.DeleteStatement(1);
    ASSERT_EQ(exec.StatementCount(), 3);
    EXPECT_EQ(exec.Statements(1), third);

    DescribedColumn col;
    TStatement* d = exec.AddDescription(&col);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Kind, skDescription);
    EXPECT_EQ(d->FieldName, "T");
    EXPECT_EQ(d->DescriptionText, "first\r\nsecond");
    EXPECT_EQ(d->GetCaption(), "T (C): alter");
}

TEST(SQLExec, LoadScriptFromFileEventFileAndMissingFile) {
    test::TempDir dir;
    std::string path = dir.File("s.sql");
    std::ofstream(path, std::ios::binary) << "CREATE TABLE T (A INTEGER);\nCOMMIT;\n";

    RecordingExec exec;
    exec.OnErrorMessage = [&](TObject*, const std::string& t) { exec.Errors.push_back(t); };
    exec.LoadScriptFromFile(path);
    EXPECT_EQ(exec.ScriptFileName, path);
    EXPECT_EQ(exec.Parsed, (std::vector<std::string>{"CREATE TABLE T (A INTEGER);", "COMMIT;"}));

    exec.LoadScriptFromFile(dir.File("none.sql"));
    ASSERT_EQ(exec.Errors.size(), 1u);
    EXPECT_EQ(exec.Errors[0], "File not found: " + dir.File("none.sql"));
    EXPECT_EQ(exec.ErrorCount, 1);
    EXPECT_EQ(exec.ScriptFileName, "");
    EXPECT_EQ(exec.ParseCalls, 1);

    bool sawLoaded = true;
    exec.OnLoadScript = [&](TObject*, const std::string&, TStringList& l, bool& loaded) {
        sawLoaded = loaded;
        l.Add("SELECT 1 FROM RDB$DATABASE;");
    };
    exec.LoadScriptFromFile("from-event.sql");
    EXPECT_FALSE(sawLoaded);  // the handler finds False, not garbage
    EXPECT_EQ(exec.ScriptFileName, "from-event.sql");
    EXPECT_EQ(exec.Parsed.back(), "SELECT 1 FROM RDB$DATABASE;");
}

TEST(SQLExec, ErrorWithoutHandlerGoesToShowErrorText) {
    TCustomSQLExec exec;
    std::string shown;
    auto saved = SetShowErrorTextHook([&](const std::string& t) { shown = t; });
    exec.DoErrorMessage("boom");
    SetShowErrorTextHook(saved);
    EXPECT_EQ(shown, "boom");
    EXPECT_EQ(exec.ErrorCount, 1);
    EXPECT_TRUE(exec.Execute());
    EXPECT_EQ(exec.ErrorCount, 0);
}
