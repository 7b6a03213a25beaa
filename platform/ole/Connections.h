// An object's own connection points: one generic IConnectionPoint that keeps the advised sinks and calls them,
// and the enumerators of connections and of a container's points.
#pragma once

#include "platform/ole/ComPtr.h"

#include <functional>
#include <utility>
#include <vector>

namespace ole {

// A connection point for the outgoing interface `iid`, part of `container`: its references are the container's,
// so it lives as long as the object that holds it.
class LocalConnectionPoint final : public IConnectionPoint {
public:
    LocalConnectionPoint(IConnectionPointContainer& container, const IID& iid) : m_container(container), m_iid(iid) {}
    LocalConnectionPoint(const LocalConnectionPoint&) = delete;
    LocalConnectionPoint& operator=(const LocalConnectionPoint&) = delete;
    ~LocalConnectionPoint() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return m_container.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_container.Release(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    // The sink must offer the outgoing interface or IDispatch; cookies count from 1 and are never reused.
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    // A snapshot of the connections made so far.
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

    // Asked before each Advise (true) and Unadvise (false); a failure code refuses the request with that code.
    std::function<HRESULT(bool advising, DWORD cookie)> gate;
    // Told after the set of sinks changed, with the new count and the cookie concerned.
    std::function<void(bool advised, DWORD cookie, std::size_t count)> changed;

    const IID& Iid() const { return m_iid; }
    std::size_t Count() const { return m_sinks.size(); }
    // Forgets a sink without a call from its client (a client that has gone); true when it was advised.
    bool Drop(DWORD cookie);
    void DropAll() { m_sinks.clear(); }
    // Calls Invoke on every sink advised when the call starts; each sink is held during its own call, so a sink
    // may unadvise, or the object be released by a handler. `answered` hears each sink's result.
    void Fire(DISPID id, DISPPARAMS* params, const std::function<void(DWORD cookie, HRESULT result)>& answered = {});

private:
    IConnectionPointContainer& m_container;
    IID m_iid;
    std::vector<std::pair<DWORD, ComPtr<IDispatch>>> m_sinks;
    DWORD m_nextCookie = 1;
};

// A snapshot enumerator of connection points (each held by a reference).
HRESULT MakeConnectionPointEnumerator(const std::vector<IConnectionPoint*>& points, IEnumConnectionPoints** ppEnum);
// A snapshot enumerator of connections (each sink held by a reference; Next hands out new references).
HRESULT MakeConnectionEnumerator(const std::vector<CONNECTDATA>& connections, IEnumConnections** ppEnum);

} // namespace ole
