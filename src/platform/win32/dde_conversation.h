// A DDE conversation with a program manager, as an ANSI client carrying the
// CP932 bytes of its commands; held on a thread of its own, so that a
// server that hangs cannot hang the caller.
#pragma once

#include "platform/win32/win32.h"

#include <memory>
#include <string_view>

namespace tarn::platform {

struct DdeConversationState;

class DdeConversation {
public:
    // Nothing when no server of that service answers on that topic in time.
    static std::unique_ptr<DdeConversation> Connect(std::string_view service, std::string_view topic);
    ~DdeConversation();
    DdeConversation(const DdeConversation&) = delete;
    DdeConversation& operator=(const DdeConversation&) = delete;

    // One execute transaction with the command's bytes and their NUL. True
    // when the server answered in time (a refusal is an answer); false when
    // it was silent, busy or gone.
    bool Send(std::string_view command);
    // Whether the server receives these bytes as the command they are (see
    // the source for when it does not).
    bool Carries(std::string_view command) const;

private:
    DdeConversation(std::shared_ptr<DdeConversationState> state, HANDLE thread);
    std::shared_ptr<DdeConversationState> state_;
    HANDLE thread_;
};

} // namespace tarn::platform
