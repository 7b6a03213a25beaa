// IUnknown for a runtime object that offers one interface: thread-safe reference counting and QueryInterface for
// IUnknown and that interface. The object starts with one reference, its creator's; the last Release deletes it.
#pragma once

#include "platform/ole/Unknown.h"

#include <atomic>

namespace ole {

template <class Derived, class Interface, const IID& Iid> class SingleInterface : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, Iid))
            return E_NOINTERFACE;
        *ppvObject = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refCount;
        if (left == 0)
            delete static_cast<Derived*>(this);
        return left;
    }

protected:
    SingleInterface() = default;
    ~SingleInterface() = default;

private:
    std::atomic<ULONG> m_refCount{1};
};

} // namespace ole
