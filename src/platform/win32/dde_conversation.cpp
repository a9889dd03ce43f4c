// The DDE conversation with a program manager. DDEML instances belong to the
// thread that made them and wait for their server with their own message
// loops, so the conversation lives on a thread of its own; the caller waits
// for it a limited time, answering the messages sent to its own windows
// meanwhile (a connection asks every top-level window who serves the
// program manager, the caller's too).
#include "platform/win32/dde_conversation.h"

#include <ddeml.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>

#include "base/text.h"

namespace tarn::platform {

namespace {

constexpr DWORD kConnectTimeoutMs = 5000;
constexpr DWORD kTransactionTimeoutMs = 5000;
// What the caller waits beyond the conversation's own limits before it
// gives the conversation's thread up.
constexpr DWORD kGraceMs = 2000;

// Waits for an object while answering the messages other threads send to
// this one.
bool WaitAnswering(HANDLE object, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        DWORD rc = MsgWaitForMultipleObjectsEx(1, &object, timeoutMs - elapsed, QS_SENDMESSAGE, 0);
        if (rc == WAIT_OBJECT_0)
            return true;
        if (rc != WAIT_OBJECT_0 + 1)
            return WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool HasNonAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

} // namespace

struct DdeRequest {
    std::string bytes; // the command with its terminating NUL
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> answered{ false };
    ~DdeRequest() { CloseHandle(done); }
};

// What the caller and the conversation's thread share; whichever goes last frees it.
struct DdeConversationState {
    AnsiString service, topic;
    HANDLE connected = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE closing = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE work = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::mutex lock;
    std::deque<std::shared_ptr<DdeRequest>> requests;
    std::atomic<bool> ok{ false };
    std::atomic<bool> partnerUnicode{ false };
    std::atomic<bool> disconnected{ false };
    ~DdeConversationState()
    {
        for (HANDLE h : { connected, closing, work })
            CloseHandle(h);
    }
    std::shared_ptr<DdeRequest> Next()
    {
        std::lock_guard<std::mutex> guard(lock);
        if (requests.empty())
            return nullptr;
        std::shared_ptr<DdeRequest> r = requests.front();
        requests.pop_front();
        return r;
    }
};

namespace {

thread_local DdeConversationState* t_conversation = nullptr;

HDDEDATA CALLBACK ClientCallback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    if (type == XTYP_DISCONNECT && t_conversation)
        t_conversation->disconnected = true;
    return nullptr;
}

void Transact(DWORD instance, HCONV conv, DdeConversationState& state, DdeRequest& request)
{
    // DDEML keeps its own message loop while it waits, up to the limit. A
    // rejected command is an answer; silence, a busy server or a broken
    // conversation are none.
    if (!state.disconnected && WaitForSingleObject(state.closing, 0) != WAIT_OBJECT_0) {
        DWORD result = 0;
        HDDEDATA h = DdeClientTransaction(reinterpret_cast<LPBYTE>(request.bytes.data()),
                                          static_cast<DWORD>(request.bytes.size()), conv, nullptr, CF_TEXT, XTYP_EXECUTE,
                                          kTransactionTimeoutMs, &result);
        request.answered = h != nullptr || DdeGetLastError(instance) == DMLERR_NOTPROCESSED;
    }
    SetEvent(request.done);
}

DWORD WINAPI ConversationThread(void* parameter)
{
    std::shared_ptr<DdeConversationState> state;
    {
        std::unique_ptr<std::shared_ptr<DdeConversationState>> holder(static_cast<std::shared_ptr<DdeConversationState>*>(parameter));
        state = *holder;
    }
    t_conversation = state.get();
    DWORD instance = 0;
    HSZ service = nullptr, topic = nullptr;
    HCONV conv = nullptr;
    if (DdeInitializeA(&instance, ClientCallback, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR) {
        service = DdeCreateStringHandleA(instance, state->service.c_str(), CP_WINANSI);
        topic = DdeCreateStringHandleA(instance, state->topic.c_str(), CP_WINANSI);
        if (service && topic)
            conv = DdeConnect(instance, service, topic, nullptr);
        CONVINFO info = {};
        info.cb = sizeof info;
        if (conv && DdeQueryConvInfo(conv, QID_SYNC, &info))
            state->partnerUnicode = IsWindowUnicode(info.hwndPartner) != FALSE;
    }
    state->ok = conv != nullptr;
    SetEvent(state->connected);

    // Requests and closing come as events, not as thread messages: a modal
    // loop of the system may dispatch (and so lose) those.
    HANDLE handles[2] = { state->closing, state->work };
    while (conv) {
        DWORD rc = MsgWaitForMultipleObjectsEx(2, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (rc == WAIT_OBJECT_0 + 1) {
            while (std::shared_ptr<DdeRequest> r = state->Next())
                Transact(instance, conv, *state, *r);
        } else if (rc == WAIT_OBJECT_0 + 2) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        } else {
            break; // closing, or the wait itself failed
        }
    }
    if (conv)
        DdeDisconnect(conv);
    if (service)
        DdeFreeStringHandle(instance, service);
    if (topic)
        DdeFreeStringHandle(instance, topic);
    if (instance)
        DdeUninitialize(instance);
    while (std::shared_ptr<DdeRequest> r = state->Next())
        SetEvent(r->done);
    t_conversation = nullptr;
    return 0;
}

} // namespace

std::unique_ptr<DdeConversation> DdeConversation::Connect(std::string_view service, std::string_view topic)
{
    auto state = std::make_shared<DdeConversationState>();
    state->service = AnsiString(service);
    state->topic = AnsiString(topic);
    auto* parameter = new std::shared_ptr<DdeConversationState>(state);
    HANDLE thread = CreateThread(nullptr, 0, ConversationThread, parameter, 0, nullptr);
    if (!thread) {
        delete parameter;
        return nullptr;
    }
    std::unique_ptr<DdeConversation> c(new DdeConversation(state, thread));
    if (!WaitAnswering(state->connected, kConnectTimeoutMs + kGraceMs) || !state->ok)
        return nullptr; // the destructor lets the thread go
    return c;
}

DdeConversation::DdeConversation(std::shared_ptr<DdeConversationState> state, HANDLE thread)
    : state_(std::move(state)), thread_(thread)
{
}

DdeConversation::~DdeConversation()
{
    SetEvent(state_->closing);
    // A thread still held by the system ends by itself once it is let go.
    WaitAnswering(thread_, kGraceMs);
    CloseHandle(thread_);
}

bool DdeConversation::Send(std::string_view command)
{
    auto request = std::make_shared<DdeRequest>();
    request->bytes = AnsiString(command) + '\0';
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->requests.push_back(request);
    }
    SetEvent(state_->work);
    return WaitAnswering(request->done, kTransactionTimeoutMs + kGraceMs) && request->answered;
}

// An ANSI client's bytes reach a Unicode server converted from the system's
// code page, not from CP932: there, a text that is not ASCII would arrive as
// another text.
bool DdeConversation::Carries(std::string_view command) const
{
    return !state_->partnerUnicode || GetACP() == 932 || !HasNonAscii(command);
}

} // namespace tarn::platform
