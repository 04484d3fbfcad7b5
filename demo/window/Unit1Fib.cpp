// Implements the main window; see Unit1Fib.h.
#include "demo/window/Unit1Fib.h"

#include "client/pFIBDatabase.h"
#include "core/qnlDBStructure.h"
#include "demo/qnlConnection_FIB.h"
#include "demo/window/IBDataModuleFib.h"
#include "interbase/qnlIBDBExtract.h"
#include "interbase/qnlIBSQLExec.h"
#include "interbase/qnlScriptExtract.h"
#include "objects/qnlQuarnel.h"
#include "platform/AppHooks.h"
#include "platform/IniFiles.h"
#include "platform/StringList.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>
#include <optional>

namespace qnl {

TForm1* Form1 = nullptr;

void WriteNoteToLog(const std::string& Text) {
    if (Form1) Form1->LogNextLine(nullptr, Text);
}

namespace {

constexpr const char* SettingsSection = "Databases";

// The newest Firebird the tool is made and tested for: a script with nothing else to go by is
// read as written for it (identity columns, BOOLEAN, packages and the rest).
constexpr TIBSQLServerVersionType NewestScriptServerVersion = st_Firebird_30;

// Library texts end lines with CR LF; the text boxes take LF.
QString Q(const std::string& Text) {
    QString text = QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
    text.replace("\r\n", "\n");
    return text;
}
std::string S(const QString& Text) { return Text.toUtf8().toStdString(); }

template <class W, class... A>
W* Named(QWidget* Parent, const char* Name, A&&... Args) {
    auto* w = new W(std::forward<A>(Args)..., Parent);
    w->setObjectName(Name);
    return w;
}

} // namespace

QString QtFileFilter(const char* Filter) {
    const QStringList parts = QString::fromUtf8(Filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    return filters.join(";;");
}

// --- Creation ------------------------------------------------------------------------------

TForm1::TForm1(std::string SettingsFile) : FSettingsFile(std::move(SettingsFile)) {
    setObjectName("Form1");
    setWindowTitle("Quarnel Demo (FIB)");
    resize(688, 446);
    Components.SetName("Form1");
    CreateControls();
    CreateComponents();
    if (!Form1) Form1 = this;
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::CreateControls() {
    GroupBox1 = Named<QGroupBox>(this, "GroupBox1", "Databases...");
    auto* grid = new QGridLayout(GroupBox1);
    auto side = [&](bool Master) {
        const int row = Master ? 0 : 3;
        QLabel* label = Named<QLabel>(GroupBox1, Master ? "Label1" : "Label2", Master ? "Master..." : "Target...");
        QFrame* panel = Named<QFrame>(GroupBox1, Master ? "Panel1" : "Panel2");
        auto* panelLayout = new QHBoxLayout(panel);
        panelLayout->setContentsMargins(0, 0, 0, 0);
        auto* fromDb = Named<QRadioButton>(panel, Master ? "rbMasterFromDatabase" : "rbTargetFromDatabase", "Database");
        auto* fromScript = Named<QRadioButton>(panel, Master ? "rbMasterFromScript" : "rbTargetFromScript", "Script");
        fromDb->setChecked(true);
        panelLayout->addWidget(fromDb);
        panelLayout->addWidget(fromScript);
        auto* dbEdit = Named<QLineEdit>(GroupBox1, Master ? "fnDatabaseMaster" : "fnDatabaseTarget");
        auto* scriptEdit = Named<QLineEdit>(GroupBox1, Master ? "fnScriptMaster" : "fnScriptTarget");
        const char* hint = Master ? "Select Master Database" : "Select Target Database";
        auto* selDb = Named<QToolButton>(GroupBox1, Master ? "BtnSelDatabaseMaster" : "BtnSelDatabaseTarget");
        auto* selScript = Named<QToolButton>(GroupBox1, Master ? "BtnSelScriptMaster" : "BtnSelScriptTarget");
        for (QToolButton* b : {selDb, selScript}) {
            b->setText("...");
            b->setToolTip(hint);
        }
        auto* userLabel = Named<QLabel>(GroupBox1, Master ? "LabelMUser" : "LabelTUser", "User");
        auto* pswdLabel = Named<QLabel>(GroupBox1, Master ? "LabelMPswd" : "LabelTPswd", "Password");
        auto* user = Named<QLineEdit>(GroupBox1, Master ? "EditMUser" : "EditTUser", "SYSDBA");
        auto* pswd = Named<QLineEdit>(GroupBox1, Master ? "EditMPswd" : "EditTPswd", "plumtrees");
        pswd->setEchoMode(QLineEdit::Password);
        pswd->setStyleSheet("lineedit-password-character: 35");   // "#"
        grid->addWidget(label, row, 0);
        grid->addWidget(panel, row, 1, 1, 3);
        grid->addWidget(dbEdit, row + 1, 1);
        grid->addWidget(selDb, row + 1, 2);
        grid->addWidget(userLabel, row + 1, 3);
        grid->addWidget(user, row + 1, 4);
        grid->addWidget(scriptEdit, row + 2, 1);
        grid->addWidget(selScript, row + 2, 2);
        grid->addWidget(pswdLabel, row + 2, 3);
        grid->addWidget(pswd, row + 2, 4);
        if (Master) {
            Label1 = label, Panel1 = panel, rbMasterFromDatabase = fromDb, rbMasterFromScript = fromScript;
            fnDatabaseMaster = dbEdit, fnScriptMaster = scriptEdit, BtnSelDatabaseMaster = selDb;
            BtnSelScriptMaster = selScript, LabelMUser = userLabel, LabelMPswd = pswdLabel, EditMUser = user;
            EditMPswd = pswd;
        } else {
            Label2 = label, Panel2 = panel, rbTargetFromDatabase = fromDb, rbTargetFromScript = fromScript;
            fnDatabaseTarget = dbEdit, fnScriptTarget = scriptEdit, BtnSelDatabaseTarget = selDb;
            BtnSelScriptTarget = selScript, LabelTUser = userLabel, LabelTPswd = pswdLabel, EditTUser = user;
            EditTPswd = pswd;
        }
        QObject::connect(fromDb, &QRadioButton::clicked, this, [this] { rbFromClick(); });
        QObject::connect(fromScript, &QRadioButton::clicked, this, [this] { rbFromClick(); });
        QObject::connect(selDb, &QToolButton::clicked, this, [this, selDb] { BtnSelFileClick(selDb); });
        QObject::connect(selScript, &QToolButton::clicked, this, [this, selScript] { BtnSelFileClick(selScript); });
    };
    side(true);
    side(false);
    grid->setColumnStretch(1, 1);

    BtnExtract = Named<QPushButton>(GroupBox1, "BtnExtract", "Extract");
    BtnCompare = Named<QPushButton>(GroupBox1, "BtnCompare", "Compare");
    BtnUpdate = Named<QPushButton>(GroupBox1, "BtnUpdate", "Update");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnExtract);
    buttons->addWidget(BtnCompare);
    buttons->addWidget(BtnUpdate);
    grid->addLayout(buttons, 6, 0, 1, 5);
    QObject::connect(BtnExtract, &QPushButton::clicked, this, [this] { BtnExtractClick(); });
    QObject::connect(BtnCompare, &QPushButton::clicked, this, [this] { BtnCompareClick(); });
    QObject::connect(BtnUpdate, &QPushButton::clicked, this, [this] { BtnUpdateClick(); });

    Splitter1 = Named<QSplitter>(this, "Splitter1", Qt::Vertical);
    GroupBox2 = Named<QGroupBox>(Splitter1, "GroupBox2", "Log...");
    MemoExtr = Named<QPlainTextEdit>(GroupBox2, "MemoExtr");
    GroupBox3 = Named<QGroupBox>(Splitter1, "GroupBox3", "Result Script...");
    MemoResult = Named<QPlainTextEdit>(GroupBox3, "MemoResult");
    MemoExtr->setReadOnly(true);
    for (QPlainTextEdit* memo : {MemoExtr, MemoResult}) {
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        auto* box = new QVBoxLayout(static_cast<QWidget*>(memo->parent()));
        box->addWidget(memo);
    }
    Splitter1->addWidget(GroupBox2);
    Splitter1->addWidget(GroupBox3);

    Gauge1 = Named<QProgressBar>(this, "Gauge1");
    OpenDialog1 = Named<QFileDialog>(this, "OpenDialog1");
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setNameFilter(QtFileFilter(DatabaseFilter));

    auto* main = new QVBoxLayout(this);
    main->addWidget(GroupBox1);
    main->addWidget(Splitter1, 1);
    main->addWidget(Gauge1);
}

void TForm1::CreateComponents() {
    auto name = [](auto* Component, const char* Name) {
        Component->SetName(Name);
        return Component;
    };
    DBStructure1 = name(new TDBStructure(&Components), "DBStructure1");
    DBStructure2 = name(new TDBStructure(&Components), "DBStructure2");
    QNLConnectionFIB1 = name(new TQNLConnectionFIB(&Components), "QNLConnectionFIB1");
    QNLConnectionFIB2 = name(new TQNLConnectionFIB(&Components), "QNLConnectionFIB2");
    IBDBExtract1 = name(new TIBDBExtract(&Components), "IBDBExtract1");
    IBDBExtract2 = name(new TIBDBExtract(&Components), "IBDBExtract2");
    IBScriptExtract1 = name(new TIBScriptExtract(&Components), "IBScriptExtract1");
    IBScriptExtract2 = name(new TIBScriptExtract(&Components), "IBScriptExtract2");
    Quarnel1 = name(new TQuarnel(&Components), "Quarnel1");
    IBSQLExec1 = name(new TIBSQLExec(&Components), "IBSQLExec1");

    IBDBExtract1->SetQNLConnection(QNLConnectionFIB1);
    IBDBExtract1->SetDBStructure(DBStructure1);
    IBDBExtract2->SetQNLConnection(QNLConnectionFIB2);
    IBDBExtract2->SetDBStructure(DBStructure2);
    IBScriptExtract1->SetDBStructure(DBStructure1);
    IBScriptExtract2->SetDBStructure(DBStructure2);
    Quarnel1->SetDBStructureMaster(DBStructure1);
    Quarnel1->SetDBStructureTarget(DBStructure2);
    Quarnel1->SetSQLExec(IBSQLExec1);
    IBSQLExec1->SetQNLConnection(QNLConnectionFIB2);

    const auto progress = [this](TObject* Sender, int Value, int MaxValue) { ProgressUpdate(Sender, Value, MaxValue); };
    const auto log = [this](TObject* Sender, const std::string& Text) { LogNextLine(Sender, Text); };
    for (TCustomExtract* e : std::initializer_list<TCustomExtract*>{IBDBExtract1, IBDBExtract2, IBScriptExtract1,
                                                                     IBScriptExtract2}) {
        e->SetOnProgressUpdate(progress);
        e->SetOnLogNextLine(log);
        e->SetOnErrorMessage(log);
    }
    Quarnel1->OnProgressUpdate = progress;
    Quarnel1->OnLogNextLine = log;
    Quarnel1->OnErrorMessage = log;
    IBSQLExec1->OnProgressUpdate = progress;
    IBSQLExec1->OnLogNextLine = log;
    IBSQLExec1->OnErrorMessage = log;
}

void TForm1::DataModuleLoaded(TDataMdFib& DataModule) {
    QNLConnectionFIB1->SetDatabase(DataModule.IBDatabase1);
    QNLConnectionFIB2->SetDatabase(DataModule.IBDatabase2);
}

// --- Settings ------------------------------------------------------------------------------

void TForm1::FormCreate() {
    for (QLineEdit* edit : {fnDatabaseMaster, fnDatabaseTarget, fnScriptMaster, fnScriptTarget}) edit->clear();
    MemoExtr->clear();
    MemoResult->clear();
    const TMemIniFile ini(FSettingsFile);
    fnDatabaseMaster->setText(Q(ini.ReadString(SettingsSection, "MasterDB", "")));
    fnDatabaseTarget->setText(Q(ini.ReadString(SettingsSection, "TargetDB", "")));
    fnScriptMaster->setText(Q(ini.ReadString(SettingsSection, "MasterScript", "")));
    fnScriptTarget->setText(Q(ini.ReadString(SettingsSection, "TargetScript", "")));
    (ini.ReadBool(SettingsSection, "MasterFromDatabase", true) ? rbMasterFromDatabase : rbMasterFromScript)->setChecked(true);
    (ini.ReadBool(SettingsSection, "TargetFromDatabase", true) ? rbTargetFromDatabase : rbTargetFromScript)->setChecked(true);
    rbFromClick();
}

void TForm1::FormDestroy() {
    TMemIniFile ini(FSettingsFile);
    ini.WriteString(SettingsSection, "MasterDB", S(fnDatabaseMaster->text()));
    ini.WriteString(SettingsSection, "TargetDB", S(fnDatabaseTarget->text()));
    ini.WriteString(SettingsSection, "MasterScript", S(fnScriptMaster->text()));
    ini.WriteString(SettingsSection, "TargetScript", S(fnScriptTarget->text()));
    ini.WriteBool(SettingsSection, "MasterFromDatabase", rbMasterFromDatabase->isChecked());
    ini.WriteBool(SettingsSection, "TargetFromDatabase", rbTargetFromDatabase->isChecked());
    ini.UpdateFile();
}

// --- Handlers ------------------------------------------------------------------------------

void TForm1::rbFromClick() {
    const bool masterDb = rbMasterFromDatabase->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{fnDatabaseMaster, BtnSelDatabaseMaster, EditMUser, EditMPswd,
                                                      LabelMUser, LabelMPswd})
        w->setEnabled(masterDb);
    fnScriptMaster->setEnabled(!masterDb);
    BtnSelScriptMaster->setEnabled(!masterDb);
    const bool targetDb = rbTargetFromDatabase->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{fnDatabaseTarget, BtnSelDatabaseTarget, EditTUser, EditTPswd,
                                                      LabelTUser, LabelTPswd})
        w->setEnabled(targetDb);
    fnScriptTarget->setEnabled(!targetDb);
    BtnSelScriptTarget->setEnabled(!targetDb);
}

template <class F>
bool TForm1::RunStep(F Step) {
    if (FBusy) return false;
    FBusy = true;
    struct TClearBusy {
        bool& Busy;
        ~TClearBusy() { Busy = false; }
    } clear{FBusy};
    Step();
    return true;
}

void TForm1::BtnSelFileClick(QToolButton* Sender) {
    RunStep([&] {
        const bool database = Sender == BtnSelDatabaseMaster || Sender == BtnSelDatabaseTarget;
        OpenDialog1->setNameFilter(QtFileFilter(database ? DatabaseFilter : ScriptFilter));
        if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return;
        const QString file = OpenDialog1->selectedFiles().first();
        if (Sender == BtnSelDatabaseMaster) fnDatabaseMaster->setText(file);
        else if (Sender == BtnSelDatabaseTarget) fnDatabaseTarget->setText(file);
        else if (Sender == BtnSelScriptMaster) fnScriptMaster->setText(file);
        else fnScriptTarget->setText(file);
    });
}

void TForm1::ReportException(const std::string& Message) {
    ShowErrorText(Message);
    MemoExtr->appendPlainText(Q("Error: " + Message));
}

void TForm1::BtnExtractClick() {
    RunStep([&] {
        BtnExtract->setEnabled(false);
        // An exception escaping an extraction must not leave the button disabled.
        try {
            // A script does not say which server it is written for: it is read as the server
            // of the other side when that side is a database (read first, so its version is
            // known), else as the newest Firebird the tool is made for.
            const bool targetDb = rbTargetFromDatabase->isChecked(), masterDb = rbMasterFromDatabase->isChecked();
            std::optional<TIBSQLServerVersionType> server;
            auto serverOf = [&](bool Master) {
                if (ExtractFromDatabase(Master))
                    server = (Master ? DBStructure1 : DBStructure2)->Objs()->IBServerOptions.SQLServerVersion;
            };
            if (targetDb) serverOf(false);
            if (masterDb) serverOf(true);
            const TIBSQLServerVersionType scriptVersion = server.value_or(NewestScriptServerVersion);
            if (!targetDb) ExtractFromScript(false, scriptVersion);
            if (!masterDb) ExtractFromScript(true, scriptVersion);
        } catch (const std::exception& e) {
            ReportException(e.what());
        }
        BtnExtract->setEnabled(true);
        MemoExtr->appendPlainText("< Extract finished. >");
    });
}

bool TForm1::ExtractFromDatabase(bool Master) {
    TpFIBDatabase* db = Master ? DataMdFib->IBDatabase1 : DataMdFib->IBDatabase2;
    db->SetDBName(S((Master ? fnDatabaseMaster : fnDatabaseTarget)->text()));
    db->ConnectParams().SetUserName(S((Master ? EditMUser : EditTUser)->text()));
    db->ConnectParams().SetPassword(S((Master ? EditMPswd : EditTPswd)->text()));
    try {
        db->SetConnected(true);
    } catch (const std::exception& e) {
        ReportException(e.what());
        db->SetConnected(false);
        return false;
    }
    MemoExtr->appendPlainText(Q("Database: " + db->DBName() + " open."));
    (Master ? DBStructure1 : DBStructure2)->Clear();
    const bool read = (Master ? IBDBExtract1 : IBDBExtract2)->ExtractDatabase();
    db->SetConnected(false);
    return read;
}

void TForm1::ExtractFromScript(bool Master, TIBSQLServerVersionType Version) {
    TIBScriptExtract* extract = Master ? IBScriptExtract1 : IBScriptExtract2;
    (Master ? DBStructure1 : DBStructure2)->Objs()->IBServerOptions.SQLServerVersion = Version;
    extract->SetScriptFileName(S((Master ? fnScriptMaster : fnScriptTarget)->text()));
    extract->ExtractDatabase();
}

void TForm1::BtnCompareClick() {
    RunStep([&] {
        MemoResult->clear();
        BtnCompare->setEnabled(false);
        try {
            Quarnel1->Compare();
            TStringList lines;
            if (TCustomSQLExec* exec = Quarnel1->SQLExec()) exec->GetScriptText(lines, true);
            MemoResult->setPlainText(Q(lines.Text()));
        } catch (const std::exception& e) {
            ShowErrorText(e.what());
            MemoResult->appendPlainText(Q(std::string("Error: ") + e.what()));
        }
        MemoExtr->appendPlainText("< Compare finished. >");
        BtnCompare->setEnabled(true);
    });
}

void TForm1::BtnUpdateClick() {
    RunStep([&] {
        try {
            IBSQLExec1->Execute();
        } catch (const std::exception& e) {
            ReportException(e.what());
        }
    });
}

void TForm1::LogNextLine(TObject*, const std::string& Text) { MemoExtr->appendPlainText(Q(Text)); }

void TForm1::ProgressUpdate(TObject*, int Value, int MaxValue) {
    Gauge1->setMaximum(MaxValue);
    Gauge1->setValue(Value);
}

void TForm1::closeEvent(QCloseEvent* Event) {
    // Closing inside a step would free the window under the library call that runs it.
    if (FBusy) Event->ignore();
    else Event->accept();
}

} // namespace qnl
