#include "platform/ole/DeferredReply.h"

#include <utility>

namespace ole {

namespace {
thread_local CallDeferrer* t_deferrer = nullptr;
} // namespace

DeferredReply& DeferredReply::operator=(DeferredReply&& other) noexcept {
    if (this != &other) {
        Complete(E_ABORT);
        m_answer = std::move(other.m_answer);
    }
    return *this;
}

void DeferredReply::Complete(HRESULT result) {
    if (std::unique_ptr<PendingAnswer> answer = std::move(m_answer))
        answer->Complete(result);
}

CallDeferrer* SetCurrentCallDeferrer(CallDeferrer* deferrer) {
    return std::exchange(t_deferrer, deferrer);
}

DeferredReply DeferCurrentCall() {
    return t_deferrer ? t_deferrer->Defer() : DeferredReply();
}

} // namespace ole
