#pragma once
// The program's start and shut-down: the note procedure into the window's log, the Qt hooks,
// the main window first and the data module second, Qt's loop until the main window closes,
// then the data module freed before the window (which writes its settings).
#include <functional>

namespace qnl {

class TForm1;

// AfterShow, when given, runs once the window is shown (the screenshot tool drives the window
// through it). Answers the exit code of Qt's loop.
int RunQuarDemo(int argc, char** argv, const std::function<void(TForm1&)>& AfterShow = {});

} // namespace qnl
