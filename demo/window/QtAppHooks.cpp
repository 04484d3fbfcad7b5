// Implements the Qt binding of the window-system hooks; see QtAppHooks.h.
#include "demo/window/QtAppHooks.h"

#include "platform/AppHooks.h"
#include "platform/MainThread.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <exception>

namespace qnl {

namespace {

constexpr int IdlePumpMs = 10;

// The main-thread loop runs posted work and timer events; one failing must not take down the
// Qt loop that called it.
void PumpLibraryLoop() {
    static bool pumping = false;
    if (pumping) return;   // a timer event that lets messages run must not pump itself again
    pumping = true;
    try {
        PumpMainThread(0);
    } catch (const std::exception& e) {
        pumping = false;
        ShowErrorText(e.what());
    }
    pumping = false;
    int exitCode = 0;
    if (TakeQuitRequest(exitCode)) QCoreApplication::exit(exitCode);
}

} // namespace

void BindQtMessageHooks(QObject* Parent) {
    SetProcessMessagesHook([] {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        PumpLibraryLoop();
    });
    auto* idle = new QTimer(Parent);
    QObject::connect(idle, &QTimer::timeout, [] { PumpLibraryLoop(); });
    idle->start(IdlePumpMs);
}

void BindQtAppHooks(QObject* Parent) {
    BindQtMessageHooks(Parent);
    SetShowErrorTextHook([](const std::string& Text) {
        QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                              QString::fromUtf8(Text.c_str()));
    });
}

} // namespace qnl
