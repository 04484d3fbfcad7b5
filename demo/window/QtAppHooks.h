#pragma once
// Binds the library's window-system hooks to Qt: letting pending messages run processes Qt's
// events and then pumps the main-thread loop (posted work, timers); an idle Qt timer pumps that
// loop too, so the library's timers fire while the window waits for the user; an error that no
// handler took shows in a message box; a quit posted to the main-thread loop ends Qt's loop.
class QObject;

namespace qnl {

// Installs the hooks and starts the idle timer, owned by Parent (the application object).
void BindQtAppHooks(QObject* Parent);
// Only the message step and the idle timer: errors keep going to standard error (tests).
void BindQtMessageHooks(QObject* Parent);

} // namespace qnl
