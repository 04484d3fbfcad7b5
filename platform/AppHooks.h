#pragma once
// The two places where library code meets the window system: showing an error that no handler
// took, and letting pending window messages run between long steps. The window binds both;
// by default the text goes to standard error and the message step does nothing, so no test can
// hang on a modal dialog.
#include <functional>
#include <string>

namespace qnl {

using TShowErrorTextHook = std::function<void(const std::string&)>;
using TProcessMessagesHook = std::function<void()>;

void ShowErrorText(const std::string& Text);
void ProcessAppMessages();

// Each setter answers the previous hook; an empty function restores the default.
TShowErrorTextHook SetShowErrorTextHook(TShowErrorTextHook Hook);
TProcessMessagesHook SetProcessMessagesHook(TProcessMessagesHook Hook);

} // namespace qnl
