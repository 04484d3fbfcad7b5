#include "AppHooks.h"

#include <cstdio>
#include <utility>

namespace qnl {

namespace {
TShowErrorTextHook& ErrorHook() {
    static TShowErrorTextHook hook;
    return hook;
}
TProcessMessagesHook& MessagesHook() {
    static TProcessMessagesHook hook;
    return hook;
}
} // namespace

void ShowErrorText(const std::string& Text) {
    if (ErrorHook())
        ErrorHook()(Text);
    else
        std::fprintf(stderr, "%s\n", Text.c_str());
}

void ProcessAppMessages() {
    if (MessagesHook()) MessagesHook()();
}

TShowErrorTextHook SetShowErrorTextHook(TShowErrorTextHook Hook) { return std::exchange(ErrorHook(), std::move(Hook)); }

TProcessMessagesHook SetProcessMessagesHook(TProcessMessagesHook Hook) {
    return std::exchange(MessagesHook(), std::move(Hook));
}

} // namespace qnl
