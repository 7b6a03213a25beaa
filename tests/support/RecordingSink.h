// An event sink for tests: records every event it receives with its arguments, the thread it arrived on and
// whether the test said it was inside a call, optionally hands each event to a callback, answers with a chosen
// code, and counts references without ever deleting itself (it lives on the test's stack or in its fixture). Each
// event must come as a method call with its parameters while the caller holds a reference.
#pragma once

#include "automation/Navilonix_tlb.h"
#include "platform/ole/Bstr.h"
#include "platform/ole/ComPtr.h"
#include "platform/ole/Guid.h"
#include "platform/ole/Unknown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class RecordingSink final : public IDispatch {
public:
    struct Event {
        DISPID dispId;
        // In order; a BSTR as its UTF-8 text, a VT_I4 as its decimal number, anything else as "vt" and its type.
        std::vector<std::string> arguments;
        std::thread::id thread;
        bool duringCall; // inCall was set when it arrived
    };
    std::vector<Event> events;
    bool inCall = false;
    // Called after each event is recorded (it may run a message loop of its own).
    std::function<void(DISPID)> onEvent;
    ULONG refCount = 1;
    // What Invoke returns.
    HRESULT answer = S_OK;

    // The events' DISPIDs in order of arrival.
    std::vector<DISPID> dispIds() const {
        std::vector<DISPID> ids;
        for (const Event& e : events)
            ids.push_back(e.dispId);
        return ids;
    }
    bool received(DISPID id) const {
        return std::any_of(events.begin(), events.end(), [id](const Event& e) { return e.dispId == id; });
    }
    // Advises this sink on the events connection point of `object`; `point` and `cookie` are what Unadvise needs.
    ::testing::AssertionResult AdviseOn(IUnknown* object, ComPtr<IConnectionPoint>& point, DWORD& cookie) {
        auto container = ComPtr<IConnectionPointContainer>::QueryFrom(object);
        if (!container)
            return ::testing::AssertionFailure() << "the object has no connection points";
        if (const HRESULT hr = container->FindConnectionPoint(DIID_INavilonixAutomationEvents, point.out()); hr != S_OK)
            return ::testing::AssertionFailure() << "FindConnectionPoint answered " << hr;
        if (const HRESULT hr = point->Advise(this, &cookie); hr != S_OK)
            return ::testing::AssertionFailure() << "Advise answered " << hr;
        return ::testing::AssertionSuccess();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID_INavilonixAutomationEvents) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refCount; }
    ULONG STDMETHODCALLTYPE Release() override { return --refCount; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        EXPECT_EQ(flags, DISPATCH_METHOD);
        EXPECT_NE(params, nullptr);
        EXPECT_GT(refCount, 1u);
        Event e{dispId, {}, std::this_thread::get_id(), inCall};
        for (UINT i = params ? params->cArgs : 0; i > 0; --i) {
            const VARIANT& v = params->rgvarg[i - 1];
            e.arguments.push_back(v.vt == VT_BSTR ? BstrToUtf8(v.bstrVal)
                                  : v.vt == VT_I4 ? std::to_string(v.lVal)
                                                  : "vt" + std::to_string(v.vt));
        }
        events.push_back(std::move(e));
        if (onEvent)
            onEvent(dispId);
        return answer;
    }
};
