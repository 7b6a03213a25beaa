#include "platform/ole/Connections.h"
#include "platform/ole/SingleInterface.h"

#include <atomic>

namespace ole {

namespace {

// Next/Skip/Reset/Clone over a snapshot of interface references; `Item` is what Next hands out.
template <class Interface, class Item, const IID& Iid>
class SnapshotEnumerator final : public SingleInterface<SnapshotEnumerator<Interface, Item, Iid>, Interface, Iid> {
public:
    explicit SnapshotEnumerator(std::vector<Item> items, std::size_t position = 0)
        : m_items(std::move(items)), m_position(position) {
        for (Item& item : m_items)
            Unknown(item)->AddRef();
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_position < m_items.size()) {
            out[n] = m_items[m_position++];
            Unknown(out[n])->AddRef();
            ++n;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t left = m_items.size() - m_position;
        m_position += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** ppEnum) override {
        if (!ppEnum)
            return E_POINTER;
        *ppEnum = new SnapshotEnumerator(m_items, m_position);
        return S_OK;
    }

private:
    template <class, class, const IID&> friend class ole::SingleInterface;
    ~SnapshotEnumerator() {
        for (Item& item : m_items)
            Unknown(item)->Release();
    }
    static IUnknown* Unknown(IConnectionPoint* point) { return point; }
    static IUnknown* Unknown(const CONNECTDATA& data) { return data.pUnk; }

    std::vector<Item> m_items;
    std::size_t m_position;
};

using PointEnumerator = SnapshotEnumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;
using ConnectionEnumerator = SnapshotEnumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;

} // namespace

HRESULT LocalConnectionPoint::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint))
        return E_NOINTERFACE;
    *ppvObject = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

HRESULT LocalConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID)
        return E_POINTER;
    *pIID = m_iid;
    return S_OK;
}

HRESULT LocalConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC)
        return E_POINTER;
    *ppCPC = &m_container;
    m_container.AddRef();
    return S_OK;
}

HRESULT LocalConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie)
        return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink)
        return E_POINTER;
    if (gate)
        if (const HRESULT hr = gate(true, m_nextCookie); FAILED(hr))
            return hr;
    ComPtr<IDispatch> sink;
    if (FAILED(pUnkSink->QueryInterface(m_iid, sink.outVoid())) &&
        FAILED(pUnkSink->QueryInterface(IID_IDispatch, sink.outVoid())))
        return CONNECT_E_CANNOTCONNECT;
    *pdwCookie = m_nextCookie++;
    m_sinks.emplace_back(*pdwCookie, std::move(sink));
    if (changed)
        changed(true, *pdwCookie, m_sinks.size());
    return S_OK;
}

HRESULT LocalConnectionPoint::Unadvise(DWORD dwCookie) {
    if (gate)
        if (const HRESULT hr = gate(false, dwCookie); FAILED(hr))
            return hr;
    if (!Drop(dwCookie))
        return CONNECT_E_NOCONNECTION;
    if (changed)
        changed(false, dwCookie, m_sinks.size());
    return S_OK;
}

bool LocalConnectionPoint::Drop(DWORD cookie) {
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it)
        if (it->first == cookie) {
            // The reference is released after the entry is gone: a sink's destructor may call back.
            ComPtr<IDispatch> released = std::move(it->second);
            m_sinks.erase(it);
            return true;
        }
    return false;
}

HRESULT LocalConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    std::vector<CONNECTDATA> connections;
    for (const auto& [cookie, sink] : m_sinks)
        connections.push_back({sink.get(), cookie});
    return MakeConnectionEnumerator(connections, ppEnum);
}

void LocalConnectionPoint::Fire(DISPID id, DISPPARAMS* params,
                                const std::function<void(DWORD cookie, HRESULT result)>& answered) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const auto sinks = m_sinks;
    for (const auto& [cookie, sink] : sinks) {
        const ComPtr<IDispatch> hold = sink;
        const HRESULT hr =
            hold->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, params ? params : &none, nullptr, nullptr, nullptr);
        if (answered)
            answered(cookie, hr);
    }
}

HRESULT MakeConnectionPointEnumerator(const std::vector<IConnectionPoint*>& points, IEnumConnectionPoints** ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = new PointEnumerator(points);
    return S_OK;
}

HRESULT MakeConnectionEnumerator(const std::vector<CONNECTDATA>& connections, IEnumConnections** ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = new ConnectionEnumerator(connections);
    return S_OK;
}

} // namespace ole
