// The class object of CLSID_NavilonixAutomation: every client gets the one server object.
#pragma once

#include "platform/ole/ComPtr.h"

#include <atomic>

namespace navilonix::server {

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(IUnknown* object) : object_(object) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references_; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (!object_)
            return CO_E_SERVER_EXEC_FAILURE;
        return object_->QueryInterface(riid, object);
    }
    STDMETHOD(LockServer)(int) override { return S_OK; }

    // The server is going: later requests fail.
    void detach() { object_.reset(); }

private:
    ~ClassFactory() = default;

    std::atomic<ULONG> references_{1};
    ComPtr<IUnknown> object_;
};

} // namespace navilonix::server
