// The main window driven with QTest on Qt's offscreen platform, over real databases of the
// embedded engine (and a private local server where passwords must be checked).
#include "demo/window/Unit1Fib.h"

#include "client/FIBSafeTimer.h"
#include "core/qnlDBStructure.h"
#include "demo/window/IBDataModuleFib.h"
#include "demo/window/QtAppHooks.h"
#include "fixtures/FbFixture.h"
#include "fixtures/LocalServer.h"
#include "fixtures/ScriptFixtures.h"
#include "interbase/qnlIBSQLExec.h"
#include "interbase/qnlScriptExtract.h"
#include "objects/FirebirdCompare.h"
#include "platform/AppHooks.h"
#include "platform/IniFiles.h"
#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QFileDialog>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

std::string S(const QString& Text) { return Text.toUtf8().toStdString(); }

std::vector<std::string> LogLines(const TForm1& Form) {
    std::vector<std::string> lines;
    for (const QString& line : Form.MemoExtr->toPlainText().split('\n')) lines.push_back(S(line));
    return lines;
}

bool HasLine(const TForm1& Form, const std::string& Line) {
    for (const std::string& l : LogLines(Form))
        if (l == Line) return true;
    return false;
}

// The log holds Text as its lines (a message of several lines is one log entry).
bool LogHolds(const TForm1& Form, std::string Text) {
    for (size_t p; (p = Text.find("\r\n")) != std::string::npos;) Text.replace(p, 2, "\n");
    return S(Form.MemoExtr->toPlainText()).find(Text) != std::string::npos;
}

bool HasLineStarting(const TForm1& Form, const std::string& Start) {
    for (const std::string& l : LogLines(Form))
        if (l.rfind(Start, 0) == 0) return true;
    return false;
}

// isql's extract in blocks (split at blank lines), sorted: isql lists checks in the order they
// were created, which an update script need not keep. Firebird keeps a CHECK's source as written
// ("CHECK (" in the examples); the structure keeps the condition, written as "CHECK(".
std::vector<std::string> SchemaBlocks(const std::string& DatabasePath) {
    std::string text = test::ExtractSchema(DatabasePath);
    for (size_t p = text.find("CHECK ("); p != std::string::npos; p = text.find("CHECK (", p)) text.erase(p + 5, 1);
    return test::SortedBlocks(text);
}

void WriteFile(const std::string& Path, const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
}

// One program run: the data module and the window, with the settings in a temporary folder and
// every error that would show in a message box recorded instead.
class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::PrepareFirebirdEnvironment(); }
    void SetUp() override {
        FOldHook = SetShowErrorTextHook([this](const std::string& Text) { Boxes.push_back(Text); });
        Start();
    }
    void TearDown() override {
        Stop();
        SetShowErrorTextHook(FOldHook);
    }
    void Start() {
        Form = std::make_unique<TForm1>(Settings());
        DataModule = std::make_unique<TDataMdFib>();
        DataMdFib = DataModule.get();
        Form->DataModuleLoaded(*DataModule);
    }
    // As at shut-down: the data module goes before the window.
    void Stop() {
        DataMdFib = nullptr;
        DataModule.reset();
        Form.reset();
    }
    std::string Settings() const { return Dir.File("QuarDemo.Ini"); }
    void UseScripts(const std::string& Master, const std::string& Target) {
        QTest::mouseClick(Form->rbMasterFromScript, Qt::LeftButton);
        QTest::mouseClick(Form->rbTargetFromScript, Qt::LeftButton);
        Form->fnScriptMaster->setText(QString::fromStdString(Master));
        Form->fnScriptTarget->setText(QString::fromStdString(Target));
    }

    test::TempDir Dir;
    std::vector<std::string> Boxes;
    std::unique_ptr<TForm1> Form;
    std::unique_ptr<TDataMdFib> DataModule;

private:
    TShowErrorTextHook FOldHook;
};

// The library's timers fire while Qt's loop waits, and letting messages run inside a step runs
// both Qt's pending events and the library's posted work.
TEST(QtHooksTest, LibraryLoopRunsInsideQtsLoop) {
    TFIBCustomTimer timer;
    int ticks = 0;
    timer.OnTimer = [&](TObject*) { ++ticks; };
    timer.SetInterval(5);
    timer.SetEnabled(true);
    QTest::qWait(200);
    timer.SetEnabled(false);
    EXPECT_GE(ticks, 2);

    bool qtEvent = false, posted = false;
    QTimer::singleShot(0, [&] { qtEvent = true; });
    PostToMainThread([&] { posted = true; });
    ProcessAppMessages();
    EXPECT_TRUE(qtEvent);
    EXPECT_TRUE(posted);
}

TEST_F(WindowTest, FirstStartWithoutSettingsFile) {
    EXPECT_EQ(S(Form->windowTitle()), "Quarnel Demo (FIB)");
    for (QLineEdit* edit : {Form->fnDatabaseMaster, Form->fnDatabaseTarget, Form->fnScriptMaster, Form->fnScriptTarget})
        EXPECT_TRUE(edit->text().isEmpty()) << S(edit->objectName());
    EXPECT_TRUE(Form->rbMasterFromDatabase->isChecked());
    EXPECT_TRUE(Form->rbTargetFromDatabase->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{Form->fnScriptMaster, Form->BtnSelScriptMaster,
                                                      Form->fnScriptTarget, Form->BtnSelScriptTarget})
        EXPECT_FALSE(w->isEnabled()) << S(w->objectName());
    EXPECT_EQ(S(Form->EditMUser->text()), "SYSDBA");
    EXPECT_EQ(S(Form->EditTPswd->text()), "plumtrees");
    EXPECT_EQ(Form->EditTPswd->echoMode(), QLineEdit::Password);
    EXPECT_EQ(S(Form->BtnSelDatabaseTarget->toolTip()), "Select Target Database");
    EXPECT_EQ(S(QtFileFilter(DatabaseFilter)), "InterBase Databases (*.GDB) (*.gdb);;All Files (*.*) (*.*)");
}

TEST_F(WindowTest, ScriptForTheMasterSwitchesItsControls) {
    const std::vector<QWidget*> database = {Form->fnDatabaseMaster, Form->BtnSelDatabaseMaster, Form->EditMUser,
                                            Form->EditMPswd,        Form->LabelMUser,           Form->LabelMPswd};
    const std::vector<QWidget*> script = {Form->fnScriptMaster, Form->BtnSelScriptMaster};
    for (bool toScript : {true, false}) {
        QTest::mouseClick(toScript ? Form->rbMasterFromScript : Form->rbMasterFromDatabase, Qt::LeftButton);
        for (QWidget* w : database) EXPECT_EQ(w->isEnabled(), !toScript) << S(w->objectName());
        for (QWidget* w : script) EXPECT_EQ(w->isEnabled(), toScript) << S(w->objectName());
        // The target keeps its own choice.
        EXPECT_TRUE(Form->fnDatabaseTarget->isEnabled());
        EXPECT_FALSE(Form->fnScriptTarget->isEnabled());
    }
}

TEST_F(WindowTest, SelectButtonsFillTheEditOfTheirSideAndKind) {
    const std::string file = Dir.File("chosen.sql");
    WriteFile(file, "");
    QTest::mouseClick(Form->rbTargetFromScript, Qt::LeftButton);
    QString filter;
    QTimer::singleShot(0, Form.get(), [&] {
        filter = Form->OpenDialog1->nameFilters().join(";;");
        Form->OpenDialog1->selectFile(QString::fromStdString(file));
        QMetaObject::invokeMethod(Form->OpenDialog1, "accept");
    });
    QTest::mouseClick(Form->BtnSelScriptTarget, Qt::LeftButton);
    EXPECT_EQ(S(filter), S(QtFileFilter(ScriptFilter)));
    EXPECT_EQ(S(Form->fnScriptTarget->text()), file);
    EXPECT_TRUE(Form->fnScriptMaster->text().isEmpty());
    EXPECT_TRUE(Form->fnDatabaseTarget->text().isEmpty());
}

TEST_F(WindowTest, ClosingWritesTheSixKeysAndTheNextStartReadsThem) {
    Form->fnDatabaseMaster->setText("/data/master.fdb");
    Form->fnDatabaseTarget->setText("localhost:target");
    Form->fnScriptMaster->setText("/s/m.sql");
    Form->fnScriptTarget->setText("/s/t.sql");
    QTest::mouseClick(Form->rbTargetFromScript, Qt::LeftButton);
    Form->EditMPswd->setText("secret");
    Stop();
    const TMemIniFile ini(Settings());
    EXPECT_EQ(ini.ReadSection("Databases"), (std::vector<std::string>{"MasterDB", "TargetDB", "MasterScript",
                                                                       "TargetScript", "MasterFromDatabase",
                                                                       "TargetFromDatabase"}));
    EXPECT_EQ(ini.ReadString("Databases", "TargetDB", ""), "localhost:target");
    EXPECT_EQ(ini.ReadString("Databases", "MasterFromDatabase", ""), "1");
    EXPECT_EQ(ini.ReadString("Databases", "TargetFromDatabase", ""), "0");
    Start();
    EXPECT_EQ(S(Form->fnScriptTarget->text()), "/s/t.sql");
    EXPECT_TRUE(Form->rbTargetFromScript->isChecked());
    EXPECT_TRUE(Form->fnScriptTarget->isEnabled());
    EXPECT_EQ(S(Form->EditMPswd->text()), "plumtrees");   // never stored
}

TEST_F(WindowTest, CompareOfTwoEmptyStructuresFinishes) {
    QTest::mouseClick(Form->BtnCompare, Qt::LeftButton);
    EXPECT_TRUE(HasLine(*Form, "< Compare finished. >"));
    EXPECT_TRUE(Form->BtnCompare->isEnabled());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(WindowTest, WrongTargetPasswordIsLoggedAndTheMasterStillExtracted) {
    test::LocalServer server;
    if (const std::string why = server.Start(); !why.empty()) GTEST_SKIP() << why;
    test::TempDatabase master("CREATE TABLE M_ONLY (ID INTEGER);", "UTF8");
    test::TempDatabase target("", "UTF8");
    Form->fnDatabaseMaster->setText(QString::fromStdString(master.Path()));
    Form->fnDatabaseTarget->setText(QString::fromStdString(server.Connection(target.Path())));
    Form->EditTPswd->setText("wrong");
    QTest::mouseClick(Form->BtnExtract, Qt::LeftButton);

    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(LogHolds(*Form, "Error: " + Boxes[0])) << S(Form->MemoExtr->toPlainText());
    EXPECT_FALSE(HasLineStarting(*Form, "Database: " + server.Connection(target.Path())));
    EXPECT_TRUE(HasLine(*Form, "Database: " + master.Path() + " open."));
    EXPECT_EQ(LogLines(*Form).back(), "< Extract finished. >");
    EXPECT_NE(Form->DBStructure1->Objs()->FindTable("M_ONLY"), nullptr);
    EXPECT_FALSE(DataMdFib->IBDatabase2->Connected());
}

// An exception that escapes an extraction (here: the target's database object is still
// attached elsewhere, so its name cannot change) is logged, and the button comes back.
TEST_F(WindowTest, ExceptionInAnExtractionLeavesTheButtonUsable) {
    test::TempDatabase open("", "UTF8");
    DataMdFib->IBDatabase2->SetDBName(open.Path());
    DataMdFib->IBDatabase2->ConnectParams().SetUserName("SYSDBA");
    DataMdFib->IBDatabase2->Connect();
    Form->fnDatabaseTarget->setText("/elsewhere.fdb");
    QTest::mouseClick(Form->BtnExtract, Qt::LeftButton);
    EXPECT_TRUE(Form->BtnExtract->isEnabled());
    EXPECT_TRUE(HasLineStarting(*Form, "Error: ")) << S(Form->MemoExtr->toPlainText());
    EXPECT_EQ(LogLines(*Form).back(), "< Extract finished. >");
    EXPECT_EQ(Boxes.size(), 1u);
}

// While Extract runs, the library lets Qt's events run: clicks on the other buttons and a close
// request arrive inside the step and are refused.
TEST_F(WindowTest, ClicksDuringAStepAreRefused) {
    test::TempDatabase target("", "UTF8");
    Form->fnDatabaseTarget->setText(QString::fromStdString(target.Path()));
    QTest::mouseClick(Form->rbMasterFromScript, Qt::LeftButton);
    Form->fnScriptMaster->setText("/nowhere.sql");
    bool closed = true;
    DataMdFib->IBDatabase2->BeforeConnect = [&](TFIBDatabase*, TStringList&, bool&) {
        EXPECT_TRUE(Form->Busy());
        QTest::mouseClick(Form->BtnCompare, Qt::LeftButton);
        QTest::mouseClick(Form->BtnUpdate, Qt::LeftButton);
        QTest::mouseClick(Form->BtnExtract, Qt::LeftButton);
        closed = Form->close();
    };
    QTest::mouseClick(Form->BtnExtract, Qt::LeftButton);
    EXPECT_FALSE(closed);
    EXPECT_FALSE(HasLine(*Form, "< Compare finished. >"));
    EXPECT_FALSE(HasLine(*Form, "Update script is empty."));
    int finished = 0;
    for (const std::string& l : LogLines(*Form)) finished += l == "< Extract finished. >";
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(Form->Busy());
}

TEST_F(WindowTest, ScriptsThroughTheWindowGiveTheUpdateScript) {
    test::TempDir scripts;
    std::string why;
    const std::string employee = test::EmployeeScript(why);
    if (employee.empty()) GTEST_SKIP() << why;
    WriteFile(scripts.File("employee.sql"), employee);
    UseScripts(test::FixtureScriptPath("fb3_features.sql"), scripts.File("employee.sql"));
    QTest::mouseClick(Form->BtnExtract, Qt::LeftButton);
    QTest::mouseClick(Form->BtnCompare, Qt::LeftButton);
    const std::string result = S(Form->MemoResult->toPlainText());
    EXPECT_NE(result.find("CREATE TABLE ORDERS"), std::string::npos) << result.substr(0, 2000);
    EXPECT_NE(result.find("DROP TABLE EMPLOYEE"), std::string::npos);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_TRUE(HasLine(*Form, "< Compare finished. >"));
}

// Our Firebird 3 feature script read with the window's defaults, against the database built
// from it, either side: read as written for that server, it pairs with it and nothing changes.
TEST_F(WindowTest, Firebird3ScriptAgainstItsDatabaseFindsNothingToChange) {
    const std::string script = test::FixtureScriptPath("fb3_features.sql");
    const test::TempDatabase db(test::CompleteScript{test::FixtureScript("fb3_features.sql")});
    for (const bool scriptMaster : {true, false}) {
        SCOPED_TRACE(scriptMaster ? "script master" : "script target");
        QTest::mouseClick(scriptMaster ? Form->rbMasterFromScript : Form->rbMasterFromDatabase, Qt::LeftButton);
        QTest::mouseClick(scriptMaster ? Form->rbTargetFromDatabase : Form->rbTargetFromScript, Qt::LeftButton);
        (scriptMaster ? Form->fnScriptMaster : Form->fnScriptTarget)->setText(QString::fromStdString(script));
        (scriptMaster ? Form->fnDatabaseTarget : Form->fnDatabaseMaster)->setText(QString::fromStdString(db.Path()));
        Form->MemoExtr->clear();
        QTest::mouseClick(Form->BtnExtract, Qt::LeftButton);
        TIBScriptExtract* reader = scriptMaster ? Form->IBScriptExtract1 : Form->IBScriptExtract2;
        EXPECT_FALSE(reader->GetMsgManager().HasErrors()) << S(Form->MemoExtr->toPlainText()).substr(0, 3000);
        QTest::mouseClick(Form->BtnCompare, Qt::LeftButton);
        std::vector<std::string> changes;
        for (int i = 0; i < Form->IBSQLExec1->StatementCount(); ++i)
            if (!test::IsHeaderOrComment(*Form->IBSQLExec1->Statements(i)))
                changes.push_back(Form->IBSQLExec1->Statements(i)->Lines.Text());
        EXPECT_EQ(changes, std::vector<std::string>{}) << S(Form->MemoResult->toPlainText());
        EXPECT_TRUE(Boxes.empty()) << Boxes.front();
    }
}

TEST_F(WindowTest, DatabasesThroughTheWindowMakeTheTargetEqualTheMaster) {
    std::string why;
    const std::string employee = test::EmployeeScript(why);
    if (employee.empty()) GTEST_SKIP() << why;
    test::TempDatabase master(test::CompleteScript{employee});
    test::TempDatabase target("CREATE TABLE GONE (ID INTEGER);", "NONE");
    Form->fnDatabaseMaster->setText(QString::fromStdString(master.Path()));
    Form->fnDatabaseTarget->setText(QString::fromStdString(target.Path()));
    QTest::mouseClick(Form->BtnExtract, Qt::LeftButton);
    QTest::mouseClick(Form->BtnCompare, Qt::LeftButton);
    ASSERT_FALSE(Form->MemoResult->toPlainText().isEmpty());
    QTest::mouseClick(Form->BtnUpdate, Qt::LeftButton);
    EXPECT_TRUE(Boxes.empty()) << Boxes.front();
    Stop();
    const std::vector<std::string> want = SchemaBlocks(master.Path()), got = SchemaBlocks(target.Path());
    std::vector<std::string> onlyGot, onlyWant;
    std::set_difference(got.begin(), got.end(), want.begin(), want.end(), std::back_inserter(onlyGot));
    std::set_difference(want.begin(), want.end(), got.begin(), got.end(), std::back_inserter(onlyWant));
    for (const std::string& b : onlyGot) ADD_FAILURE() << "updated target only:\n" << b;
    for (const std::string& b : onlyWant) ADD_FAILURE() << "master only:\n" << b;
}

} // namespace
} // namespace qnl

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qnl::BindQtMessageHooks(&app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
