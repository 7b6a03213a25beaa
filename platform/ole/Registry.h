// Apartment initialisation, registered class objects, the running-object table and object creation.
#pragma once

#include "platform/ole/Unknown.h"

#include <functional>
#include <string>

HRESULT CoInitialize(void* reserved);
void CoUninitialize();
bool CoIsInitialized();

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD clsContext, DWORD flags, DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);
HRESULT RegisterActiveObject(IUnknown* object, REFCLSID clsid, DWORD flags, DWORD* cookie);
HRESULT RevokeActiveObject(DWORD cookie, void* reserved);

// A running object of the class: this process's running-object table first, then the transport.
// MK_E_UNAVAILABLE when there is none.
HRESULT GetActiveObject(REFCLSID clsid, void* reserved, IUnknown** object);
// A new object: a class object registered in this process first (CLSCTX_INPROC_SERVER), then the transport
// (CLSCTX_LOCAL_SERVER). REGDB_E_CLASSNOTREG when neither knows the class.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid, void** object);

struct COSERVERINFO {
    DWORD dwReserved1;
    LPOLESTR pwszName; // the machine: "[user@]host[:port]"
    void* pAuthInfo;
    DWORD dwReserved2;
};
struct MULTI_QI {
    const IID* pIID;
    IUnknown* pItf;
    HRESULT hr;
};
// CoCreateInstance with a machine: with CLSCTX_REMOTE_SERVER and a server name, the object is made (or the running
// one found) on that machine; otherwise as CoCreateInstance. Answers every MULTI_QI entry.
HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD clsContext, COSERVERINFO* serverInfo, DWORD count,
                           MULTI_QI* results);
// Why the last creation on this thread failed, in the words of whatever stood in the way (SSH's message, the
// session bus's, the bus's report of a server that would not start); empty when nothing said more than the code.
// Taken once.
std::string CoTakeErrorDetail();
// Whether an object can still be reached: false once the server or the link behind a proxy is gone; true for this
// process's own objects.
bool CoIsHandlerConnected(IUnknown* object);

// The out-of-process half of the runtime plugs in here; without one, only this process's objects are reached.
class ComTransport {
public:
    virtual ~ComTransport() = default;
    virtual HRESULT GetActiveObject(REFCLSID clsid, IUnknown** object) = 0;
    // A new object of a class started on demand; `detail` says why it failed, where more than the code is known.
    virtual HRESULT CreateInstance(REFCLSID clsid, REFIID iid, void** object, std::string* detail) = 0;
    // A new object (or the running one) on another machine; `detail` says why it failed in the link's own words.
    virtual HRESULT CreateRemoteInstance(REFCLSID, const std::string& /*machine*/, REFIID, void**,
                                         std::string* /*detail*/) {
        return REGDB_E_CLASSNOTREG;
    }
    // Called when this process registers a class object for CLSCTX_LOCAL_SERVER or a running object, so
    // that other processes can reach it; and when it revokes them.
    virtual HRESULT PublishClassObject(REFCLSID clsid, IUnknown* classObject) = 0;
    virtual void RevokeClassObject(REFCLSID clsid) = 0;
    virtual HRESULT PublishActiveObject(REFCLSID clsid, IUnknown* object) = 0;
    virtual void RevokeActiveObject(REFCLSID clsid) = 0;
    // Whether the transport can still reach `object` (one of its proxies); true for any other object.
    virtual bool IsConnected(IUnknown* /*object*/) { return true; }
    // Called from the event loop, never inside a call, after proxies of the transport have lost their server.
    virtual void SetObjectLostHandler(std::function<void()> /*handler*/) {}
};

// Installs the transport (not owned; null removes it). Returns the previous one.
ComTransport* CoSetTransport(ComTransport* transport);
ComTransport* CoGetTransport();
