#pragma once
// A comparison of two Firebird 3 structures whose target points at a real database, and the
// checks the tests make on the script it writes.
#include "objects/qnlQuarnel.h"
#include "tests/fixtures/FbFixture.h"
#include "tests/fixtures/LiveSide.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qnl::test {

// Master and target of Firebird 3, the target pointing at a real database; the executor renders
// Firebird scripts (SET TERM blocks). Comparer errors are collected in errors.
struct FirebirdComparison {
    TDBStructure master, target;
    TSQLExec exec;
    TQuarnel q;
    std::vector<std::string> errors;

    explicit FirebirdComparison(const std::string& TargetPath) : targetPath(TargetPath) {
        for (TObjs* o : {master.Objs(), target.Objs()}) {
            o->SetServerType(stInterBase);
            o->IBServerOptions.SQLServerVersion = st_Firebird_30;
        }
        target.Objs()->ConnectionOptions.DatabaseName = TargetPath;
        exec.ServerType = stInterBase;
        q.SetDBStructureMaster(&master);
        q.SetDBStructureTarget(&target);
        q.SetSQLExec(&exec);
        q.OnErrorMessage = [this](TObject*, const std::string& Text) { errors.push_back(Text); };
    }

    // Reads a side from a database through the binding and the database reader, as the tool
    // does; the reader stays linked to the structure while the comparison lives. Answers whether
    // the read was whole, and fails the test with the reader's messages when it was not.
    bool ReadMaster(const std::string& Path) { return Read(Path, master, masterSide); }
    bool ReadTarget() { return Read(targetPath, target, targetSide); }

    // The script as it is saved, one LF after each line. isql has no RECONNECT: the executor runs
    // it by connecting again, and so does the saved script.
    std::string Script() {
        const TObjs& t = *target.Objs();
        for (int i = 0; i < exec.StatementCount(); ++i)
            if (exec.Statements(i)->Kind == skReConnect)
                exec.Statements(i)->Lines.SetText(t.IBServerOptions.GetConnectStatement(t.ConnectionOptions));
        TStringList lines;
        exec.GetScriptText(lines, false);
        std::string s;
        for (int i = 0; i < lines.Count(); ++i) s += lines[i] + "\n";
        return s;
    }

    // Every statement and comment line, trimmed, with LF line breaks, one after the other.
    std::string Flow() const {
        std::string r;
        for (int i = 0; i < exec.StatementCount(); ++i) {
            std::string t = Trim(exec.Statements(i)->Lines.Text());
            std::erase(t, '\r');
            r += t + "\n";
        }
        return r;
    }

    // Every statement that is not a comment, trimmed, in script order.
    std::vector<std::string> Statements() const {
        std::vector<std::string> r;
        for (int i = 0; i < exec.StatementCount(); ++i)
            if (exec.Statements(i)->Kind != skComment) r.push_back(Trim(exec.Statements(i)->Lines.Text()));
        return r;
    }

private:
    bool Read(const std::string& Path, TDBStructure& Into, std::unique_ptr<LiveSide>& Side) {
        Side = std::make_unique<LiveSide>(Path);
        // The password the side was given, which its script's CONNECT repeats.
        Side->Db.ConnectParams().SetPassword(Into.Objs()->ConnectionOptions.Password);
        Side->Extractor.SetDBStructure(&Into);
        const bool whole = Side->Extract();
        EXPECT_TRUE(whole) << Path << ":\n" << Side->ErrorText();
        return whole;
    }

    std::string targetPath;
    // Declared last, so gone first: the readers let go of the structures while they stand.
    std::unique_ptr<LiveSide> masterSide, targetSide;
};

// The statements of a script's header and its comment lines: what a comparison writes whether
// or not it finds a change.
inline bool IsHeaderOrComment(const TStatement& St) {
    switch (St.Kind) {
    case skComment:
    case skConnect:
    case skReConnect:
    case skSet:
    case skSqlDialect:
    case skSetNames:
    case skCharSet: return true;
    default: return false;
    }
}

// What a comparison that finds nothing to change writes for a Firebird 3 target: the header.
inline std::vector<std::string> HeaderOnly(const std::string& DatabasePath) {
    return {"SET SQL DIALECT 3", "CONNECT '" + DatabasePath + "' USER 'SYSDBA' PASSWORD 'plumtrees'", "SET AUTODDL ON"};
}

// How often a text stands in a script.
inline size_t Count(const std::string& Script, const std::string& Text) {
    size_t n = 0;
    for (size_t p = Script.find(Text); p != std::string::npos; p = Script.find(Text, p + 1)) ++n;
    return n;
}

// Position of a text in a script, to check the order of steps; a missing text fails the test.
inline size_t At(const std::string& Script, const std::string& Text) {
    const size_t p = Script.find(Text);
    EXPECT_NE(p, std::string::npos) << "missing: " << Text << "\n" << Script;
    return p;
}

} // namespace qnl::test
