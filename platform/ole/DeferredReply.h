// Answers given later. While one of a served object's members is called from another process, the object may take
// the call over (DeferCurrentCall) and complete it once the outcome is known; meanwhile the server serves its other
// calls, and the caller still waits for its answer. For members without an out-value. Complete it on the thread
// that serves the object, before the transport goes; one dropped unanswered is answered with E_ABORT.
//
// The transport that carries the call supplies the answer's channel; the object sees only this handle.
#pragma once

#include "platform/ole/Types.h"

#include <memory>

namespace ole {

// A call whose answer is owed; the transport's side of a DeferredReply.
class PendingAnswer {
public:
    virtual ~PendingAnswer() = default;
    // Sends the answer: nothing for a success, the error of a failure code otherwise. A caller that has gone is no
    // failure.
    virtual void Complete(HRESULT result) = 0;
};

class DeferredReply {
public:
    DeferredReply() = default;
    explicit DeferredReply(std::unique_ptr<PendingAnswer> answer) : m_answer(std::move(answer)) {}
    DeferredReply(DeferredReply&& other) noexcept = default;
    DeferredReply& operator=(DeferredReply&& other) noexcept;
    DeferredReply(const DeferredReply&) = delete;
    DeferredReply& operator=(const DeferredReply&) = delete;
    ~DeferredReply() { Complete(E_ABORT); }

    explicit operator bool() const { return m_answer != nullptr; }
    void Complete(HRESULT result);

private:
    std::unique_ptr<PendingAnswer> m_answer;
};

// What serves a call on this thread and can hand its answer over, once.
class CallDeferrer {
public:
    virtual ~CallDeferrer() = default;
    // Empty when the call cannot be answered later (it has an out-value, or it was taken already).
    virtual DeferredReply Defer() = 0;
};

// Installs the deferrer of the call being served on this thread (null when none); returns the previous one, for
// calls served inside calls.
CallDeferrer* SetCurrentCallDeferrer(CallDeferrer* deferrer);

// Inside a member called from another process: takes over the call's answer, and what the member returns is not
// sent. Empty when the member is called in-process or has an out-value: the member answers by returning, as usual.
DeferredReply DeferCurrentCall();

} // namespace ole
