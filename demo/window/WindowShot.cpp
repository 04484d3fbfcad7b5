// Drives the program's window once for a picture: master and target scripts from the command
// line, Extract, Compare, then the window is saved as PNG and closed as a user would close it.
// Exits with 0 only when the window was shown, the picture written and the program shut down.
//   WindowShot OUT.png MASTER.sql TARGET.sql
#include "demo/window/ProgramStart.h"
#include "demo/window/Unit1Fib.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUT.png MASTER.sql TARGET.sql\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString master = QString::fromLocal8Bit(argv[2]);
    const QString target = QString::fromLocal8Bit(argv[3]);
    bool saved = false;
    int appArgc = 1;
    const int code = qnl::RunQuarDemo(appArgc, argv, [&](qnl::TForm1& Form) {
        QTimer::singleShot(200, &Form, [&] {
            Form.rbMasterFromScript->click();
            Form.rbTargetFromScript->click();
            Form.fnScriptMaster->setText(master);
            Form.fnScriptTarget->setText(target);
            Form.BtnExtract->click();
            Form.BtnCompare->click();
            QApplication::processEvents();
            Form.MemoResult->moveCursor(QTextCursor::Start);
            saved = Form.isVisible() && Form.grab().save(out, "PNG");
            Form.close();
        });
    });
    if (!saved) std::fprintf(stderr, "the window was not saved to %s\n", argv[1]);
    return code == 0 && saved ? 0 : 1;
}
