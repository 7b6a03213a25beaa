#include "platform/ole/Registry.h"

#include "platform/ole/Bstr.h"
#include "platform/ole/ComPtr.h"

#include <mutex>
#include <vector>

namespace {

struct Registration {
    DWORD cookie;
    CLSID clsid;
    ComPtr<IUnknown> object;
    DWORD context;
    bool published;
};

struct Tables {
    std::mutex mutex;
    std::vector<Registration> classObjects;
    std::vector<Registration> activeObjects;
    DWORD nextCookie = 1;
    ComTransport* transport = nullptr;
};

Tables& GetTables() {
    static Tables tables;
    return tables;
}

thread_local int t_initCount = 0;

ComPtr<IUnknown> Find(std::vector<Registration>& list, REFCLSID clsid) {
    for (const Registration& r : list)
        if (r.clsid == clsid)
            return r.object;
    return nullptr;
}

// The class objects and the running objects are kept alike; they differ in their list and in how the transport
// offers them to other processes.
struct RegistrationKind {
    std::vector<Registration> Tables::*list;
    HRESULT (ComTransport::*publish)(REFCLSID, IUnknown*);
    void (ComTransport::*unpublish)(REFCLSID);
};
constexpr RegistrationKind kClassObjects{&Tables::classObjects, &ComTransport::PublishClassObject,
                                         &ComTransport::RevokeClassObject};
constexpr RegistrationKind kActiveObjects{&Tables::activeObjects, &ComTransport::PublishActiveObject,
                                          &ComTransport::RevokeActiveObject};

HRESULT Revoke(const RegistrationKind& kind, DWORD cookie) {
    Tables& t = GetTables();
    ComPtr<IUnknown> dropped;
    CLSID clsid{};
    bool published = false;
    ComTransport* transport = nullptr;
    {
        std::lock_guard lock(t.mutex);
        std::vector<Registration>& list = t.*kind.list;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->cookie == cookie) {
                dropped = std::move(it->object);
                clsid = it->clsid;
                published = it->published;
                list.erase(it);
                transport = t.transport;
                break;
            }
        }
    }
    if (!dropped)
        return E_INVALIDARG;
    if (published && transport)
        (transport->*kind.unpublish)(clsid);
    return S_OK;
}

// Registers `object`; with `publish`, the transport (if any) offers it to other processes too, and a failure to do so
// undoes the registration.
HRESULT Register(const RegistrationKind& kind, REFCLSID clsid, IUnknown* object, DWORD context, bool publish,
                 DWORD* cookie) {
    if (!object || !cookie)
        return E_INVALIDARG;
    Tables& t = GetTables();
    ComTransport* transport = nullptr;
    {
        std::lock_guard lock(t.mutex);
        *cookie = t.nextCookie++;
        (t.*kind.list).push_back({*cookie, clsid, ComPtr<IUnknown>(object), context, false});
        transport = t.transport;
    }
    if (transport && publish) {
        const HRESULT hr = (transport->*kind.publish)(clsid, object);
        if (FAILED(hr)) {
            Revoke(kind, *cookie);
            *cookie = 0;
            return hr;
        }
        std::lock_guard lock(t.mutex);
        for (Registration& r : t.*kind.list)
            if (r.cookie == *cookie)
                r.published = true;
    }
    return S_OK;
}

} // namespace

HRESULT CoInitialize(void*) {
    return t_initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_initCount > 0)
        --t_initCount;
}

bool CoIsInitialized() {
    return t_initCount > 0;
}

ComTransport* CoSetTransport(ComTransport* transport) {
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    ComTransport* previous = t.transport;
    t.transport = transport;
    return previous;
}

ComTransport* CoGetTransport() {
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    return t.transport;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD clsContext, DWORD, DWORD* cookie) {
    return Register(kClassObjects, clsid, classObject, clsContext, (clsContext & CLSCTX_LOCAL_SERVER) != 0, cookie);
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    return Revoke(kClassObjects, cookie);
}

HRESULT RegisterActiveObject(IUnknown* object, REFCLSID clsid, DWORD, DWORD* cookie) {
    return Register(kActiveObjects, clsid, object, 0, true, cookie);
}

HRESULT RevokeActiveObject(DWORD cookie, void*) {
    return Revoke(kActiveObjects, cookie);
}

HRESULT GetActiveObject(REFCLSID clsid, void*, IUnknown** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    Tables& t = GetTables();
    ComPtr<IUnknown> found;
    ComTransport* transport = nullptr;
    {
        std::lock_guard lock(t.mutex);
        found = Find(t.activeObjects, clsid);
        transport = t.transport;
    }
    if (found) {
        *object = found.detach();
        return S_OK;
    }
    if (transport)
        return transport->GetActiveObject(clsid, object);
    return MK_E_UNAVAILABLE;
}

namespace {
thread_local std::string t_errorDetail;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    t_errorDetail.clear();
    if (!CoIsInitialized())
        return CO_E_NOTINITIALIZED;
    Tables& t = GetTables();
    ComPtr<IUnknown> factoryUnknown;
    ComTransport* transport = nullptr;
    {
        std::lock_guard lock(t.mutex);
        if (clsContext & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER))
            factoryUnknown = Find(t.classObjects, clsid);
        transport = t.transport;
    }
    if (factoryUnknown) {
        auto factory = ComPtr<IClassFactory>::QueryFrom(factoryUnknown.get());
        if (!factory)
            return E_NOINTERFACE;
        return factory->CreateInstance(outer, iid, object);
    }
    if (transport && (clsContext & CLSCTX_LOCAL_SERVER)) {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return transport->CreateInstance(clsid, iid, object, &t_errorDetail);
    }
    return REGDB_E_CLASSNOTREG;
}

std::string CoTakeErrorDetail() {
    return std::exchange(t_errorDetail, {});
}

bool CoIsHandlerConnected(IUnknown* object) {
    ComTransport* transport = CoGetTransport();
    return !object || !transport || transport->IsConnected(object);
}

HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD clsContext, COSERVERINFO* serverInfo, DWORD count,
                           MULTI_QI* results) {
    if (count == 0 || !results)
        return E_INVALIDARG;
    for (DWORD i = 0; i < count; ++i) {
        if (!results[i].pIID)
            return E_INVALIDARG;
        results[i].pItf = nullptr;
        results[i].hr = E_NOINTERFACE;
    }
    t_errorDetail.clear();
    if (!CoIsInitialized())
        return CO_E_NOTINITIALIZED;
    ComPtr<IUnknown> first;
    HRESULT hr = S_OK;
    if (serverInfo && serverInfo->pwszName && *serverInfo->pwszName && (clsContext & CLSCTX_REMOTE_SERVER)) {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ComTransport* transport = CoGetTransport();
        if (!transport)
            return REGDB_E_CLASSNOTREG;
        hr = transport->CreateRemoteInstance(clsid, Utf16ToUtf8(serverInfo->pwszName), *results[0].pIID,
                                             first.outVoid(), &t_errorDetail);
    } else {
        hr = CoCreateInstance(clsid, outer, clsContext, *results[0].pIID, first.outVoid());
    }
    if (FAILED(hr)) {
        for (DWORD i = 0; i < count; ++i)
            results[i].hr = hr;
        return hr;
    }
    DWORD answered = 0;
    for (DWORD i = 0; i < count; ++i) {
        results[i].hr =
            i == 0 ? S_OK : first->QueryInterface(*results[i].pIID, reinterpret_cast<void**>(&results[i].pItf));
        if (i == 0)
            results[i].pItf = ComPtr<IUnknown>(first).detach();
        answered += SUCCEEDED(results[i].hr);
    }
    return answered == count ? S_OK : CO_S_NOTALLINTERFACES;
}
