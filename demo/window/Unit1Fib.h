#pragma once
// The main window: master and target each from a database (file name or connection string,
// user name, password) or from a DDL script file; Extract reads both sides, Compare writes the
// update script into the result box, Update runs the last compared script on the target. The
// window owns every library component of the program; all work runs on the main thread inside
// its button handlers. The chosen files and sources live in the settings file "QuarDemo.Ini"
// (section "Databases"); user names and passwords are never stored.
//
// While one step runs, the library lets Qt's events run between its steps: the window repaints,
// but a click on any button (or an attempt to close the window) is refused until the step ends,
// because its handler would work on the structures and the executor that the step is changing.
#include "core/qnlTypes.h"
#include "platform/Component.h"

#include <QWidget>

#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;
class QRadioButton;
class QPushButton;
class QPlainTextEdit;
class QSplitter;
class QProgressBar;
class QFileDialog;
class QFrame;

namespace qnl {

class TDBStructure;
class TQNLConnectionFIB;
class TIBDBExtract;
class TIBScriptExtract;
class TQuarnel;
class TIBSQLExec;
class TDataMdFib;

inline constexpr const char* DatabaseFilter = "InterBase Databases (*.GDB)|*.gdb|All Files (*.*)|*.*";
inline constexpr const char* ScriptFilter = "SQL Script (*.SQL)|*.sql|SQL Script (*.DDL)|*.ddl|All Files (*.*)|*.*";
// A filter of "description|patterns" pairs as Qt's file dialog takes it.
QString QtFileFilter(const char* Filter);

class TForm1 : public QWidget {
public:
    // Creates the controls and the library components, then runs FormCreate, which reads
    // SettingsFile (the program passes "QuarDemo.Ini" in its own folder).
    explicit TForm1(std::string SettingsFile);
    // Runs FormDestroy, which writes the settings file.
    ~TForm1() override;

    // Points the two connections at the data module's databases.
    void DataModuleLoaded(TDataMdFib& DataModule);
    const std::string& SettingsFile() const { return FSettingsFile; }
    // True while a button's step runs.
    bool Busy() const { return FBusy; }

    // --- Handlers
    void FormCreate();
    void FormDestroy();
    void rbFromClick();
    void BtnSelFileClick(QToolButton* Sender);
    void BtnExtractClick();
    void BtnCompareClick();
    void BtnUpdateClick();
    void LogNextLine(TObject* Sender, const std::string& Text);
    void ProgressUpdate(TObject* Sender, int Value, int MaxValue);

    // --- Controls (owned by Qt's parent chain)
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QFrame* Panel1;
    QFrame* Panel2;
    QRadioButton* rbMasterFromDatabase;
    QRadioButton* rbMasterFromScript;
    QRadioButton* rbTargetFromDatabase;
    QRadioButton* rbTargetFromScript;
    QLineEdit* fnDatabaseMaster;
    QLineEdit* fnDatabaseTarget;
    QLineEdit* fnScriptMaster;
    QLineEdit* fnScriptTarget;
    QToolButton* BtnSelDatabaseMaster;
    QToolButton* BtnSelDatabaseTarget;
    QToolButton* BtnSelScriptMaster;
    QToolButton* BtnSelScriptTarget;
    QLabel* LabelMUser;
    QLabel* LabelTUser;
    QLabel* LabelMPswd;
    QLabel* LabelTPswd;
    QLineEdit* EditMUser;
    QLineEdit* EditTUser;
    QLineEdit* EditMPswd;
    QLineEdit* EditTPswd;
    QPushButton* BtnExtract;
    QPushButton* BtnCompare;
    QPushButton* BtnUpdate;
    QGroupBox* GroupBox2;
    QPlainTextEdit* MemoExtr;
    QSplitter* Splitter1;
    QGroupBox* GroupBox3;
    QPlainTextEdit* MemoResult;
    QProgressBar* Gauge1;
    QFileDialog* OpenDialog1;

    // --- Library components (owned by Components)
    TComponent Components;
    TDBStructure* DBStructure1;
    TDBStructure* DBStructure2;
    TQNLConnectionFIB* QNLConnectionFIB1;
    TQNLConnectionFIB* QNLConnectionFIB2;
    TIBDBExtract* IBDBExtract1;
    TIBDBExtract* IBDBExtract2;
    TIBScriptExtract* IBScriptExtract1;
    TIBScriptExtract* IBScriptExtract2;
    TQuarnel* Quarnel1;
    TIBSQLExec* IBSQLExec1;

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    void CreateControls();
    void CreateComponents();
    // Runs Step unless another step runs; answers false when the click was refused.
    template <class F>
    bool RunStep(F Step);
    // True when the side's database was read (its structure then holds the server's version).
    bool ExtractFromDatabase(bool Master);
    // Reads the side's script as written for the server version given.
    void ExtractFromScript(bool Master, TIBSQLServerVersionType Version);
    void ReportException(const std::string& Message);

    std::string FSettingsFile;
    bool FBusy = false;
};

// The program's main window while it exists; WriteNoteToLog writes into its log.
extern TForm1* Form1;
// The target of the comparison library's note procedure.
void WriteNoteToLog(const std::string& Text);

} // namespace qnl
