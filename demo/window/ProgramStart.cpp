// Implements the program's start and shut-down; see ProgramStart.h.
#include "demo/window/ProgramStart.h"

#include "core/qnlMsgManager.h"
#include "demo/window/IBDataModuleFib.h"
#include "demo/window/QtAppHooks.h"
#include "demo/window/Unit1Fib.h"
#include "platform/Files.h"

#include <QApplication>

#include <memory>

namespace qnl {

int RunQuarDemo(int argc, char** argv, const std::function<void(TForm1&)>& AfterShow) {
    static bool noteBound = false;
    if (!noteBound) {
        NoteProc = WriteNoteToLog;
        noteBound = true;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Quarnel Demo (FIB)");
    BindQtAppHooks(&app);
    auto form = std::make_unique<TForm1>(ProgramDir() + "QuarDemo.Ini");
    auto dataModule = std::make_unique<TDataMdFib>();
    DataMdFib = dataModule.get();
    form->DataModuleLoaded(*dataModule);
    form->show();
    if (AfterShow) AfterShow(*form);
    const int exitCode = QApplication::exec();
    DataMdFib = nullptr;
    dataModule.reset();
    form.reset();
    return exitCode;
}

} // namespace qnl
