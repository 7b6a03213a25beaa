#include "platform/ole/ConnectionPoint.h"

#include "platform/ole/Stub.h"
#include "platform/ole/Transport.h"

#include <atomic>
#include <cstring>

namespace ole {

namespace {

const std::string& ContainerInterface() {
    static const std::string name = InterfaceNameFor(IID_IConnectionPointContainer);
    return name;
}

const std::string& PointInterface() {
    static const std::string name = InterfaceNameFor(IID_IConnectionPoint);
    return name;
}

const std::string& SinkInterface() {
    static const std::string name = InterfaceNameFor(IID_IDispatch);
    return name;
}

// A point of a remote object's container.
class PointProxy final : public IConnectionPoint {
public:
    PointProxy(RemoteObject& object, REFIID iid, std::string path)
        : m_object(&object), m_iid(iid), m_path(std::move(path)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
            *ppvObject = static_cast<IConnectionPoint*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = --m_refCount;
        if (count == 0)
            delete this;
        return count;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override {
        if (!pIID)
            return E_POINTER;
        *pIID = m_iid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
        if (!ppCPC)
            return E_POINTER;
        return m_object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(ppCPC));
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        if (!pUnkSink || !pdwCookie)
            return E_POINTER;
        *pdwCookie = 0;
        auto sink = ComPtr<IDispatch>::QueryFrom(pUnkSink);
        if (!sink)
            return CONNECT_E_CANNOTCONNECT;
        Connection* channel = m_object->Channel();
        DBusTransport* transport = m_object->Transport();
        if (!channel || !transport)
            return RPC_S_SERVER_UNAVAILABLE_HR;
        int error = 0;
        std::unique_ptr<SinkExport> exported =
            SinkExport::Create(*transport, *channel, sink.get(), m_object->UsesPeer() ? "" : m_object->Owner(), &error);
        if (!exported)
            return E_OUTOFMEMORY;
        MessagePtr call;
        if (const HRESULT hr = m_object->Begin(PointInterface(), "Advise", &call, m_path.c_str()); FAILED(hr))
            return hr;
        if (sd_bus_message_append(call.get(), "o", exported->Path().c_str()) < 0)
            return E_OUTOFMEMORY;
        MessagePtr reply;
        if (const HRESULT hr = m_object->Finish(std::move(call), &reply); FAILED(hr))
            return hr;
        std::uint32_t cookie = 0;
        if (sd_bus_message_read(reply.get(), "u", &cookie) < 0)
            return RPC_S_CALL_FAILED_HR;
        exported->SetCookie(cookie);
        m_object->KeepSink(std::move(exported));
        *pdwCookie = cookie;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override {
        MessagePtr call;
        if (const HRESULT hr = m_object->Begin(PointInterface(), "Unadvise", &call, m_path.c_str()); FAILED(hr))
            return hr;
        if (sd_bus_message_append(call.get(), "u", static_cast<std::uint32_t>(dwCookie)) < 0)
            return E_OUTOFMEMORY;
        MessagePtr reply;
        if (const HRESULT hr = m_object->Finish(std::move(call), &reply); FAILED(hr))
            return hr;
        m_object->TakeSink(dwCookie); // no longer reachable
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }

private:
    ~PointProxy() = default;
    ULONG m_refCount = 1;
    ComPtr<RemoteObject> m_object;
    IID m_iid;
    std::string m_path;
};

class ContainerProxy final : public IConnectionPointContainer, public ProxyPart {
public:
    explicit ContainerProxy(RemoteObject& object) : ProxyPart(object) {}
    IUnknown* Interface() override { return static_cast<IConnectionPointContainer*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        return m_object.QueryInterface(riid, ppvObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_object.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_object.Release(); }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        if (!ppCP)
            return E_POINTER;
        *ppCP = nullptr;
        MessagePtr call;
        if (const HRESULT hr = m_object.Begin(ContainerInterface(), "FindConnectionPoint", &call); FAILED(hr))
            return hr;
        if (sd_bus_message_append(call.get(), "s", GuidToString(riid).c_str()) < 0)
            return E_OUTOFMEMORY;
        MessagePtr reply;
        if (const HRESULT hr = m_object.Finish(std::move(call), &reply); FAILED(hr))
            return hr;
        const char* path = nullptr;
        if (sd_bus_message_read(reply.get(), "o", &path) < 0 || !path)
            return RPC_S_CALL_FAILED_HR;
        *ppCP = new PointProxy(m_object, riid, path);
        return S_OK;
    }
};

// Copies an argument for later sending: a by-reference value becomes the value it refers to; a reference to an
// interface or to a type the bus does not carry travels as empty.
void CopyArgument(const VARIANT& source, VARIANT* target) {
    VariantInit(target);
    if ((source.vt & VT_BYREF) == 0) {
        VariantCopy(target, &source);
        return;
    }
    VARIANT plain;
    if (!VariantDereference(&source, &plain) || plain.vt == VT_DISPATCH || plain.vt == VT_UNKNOWN)
        return;
    VariantCopy(target, &plain); // plain is a shallow view; the copy owns its own string
}

} // namespace

std::unique_ptr<ProxyPart> MakeContainerProxy(RemoteObject& object) {
    return std::make_unique<ContainerProxy>(object);
}

// --- client sinks ---

std::unique_ptr<SinkExport> SinkExport::Create(DBusTransport& transport, Connection& connection, IDispatch* sink,
                                               std::string sender, int* error) {
    static const sd_bus_vtable kVTable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD_WITH_NAMES("Invoke", "iav", SD_BUS_PARAM(dispid) SD_BUS_PARAM(arguments), "", "",
                                 &SinkExport::HandleInvoke, 0),
        SD_BUS_VTABLE_END,
    };
    static std::atomic<unsigned> counter{0};
    std::unique_ptr<SinkExport> exported(new SinkExport);
    exported->m_transport = &transport;
    exported->m_sink = ComPtr<IDispatch>(sink);
    exported->m_sender = std::move(sender);
    exported->m_path = "/ole/Sink/" + std::to_string(++counter);
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_object_vtable(connection.Bus(), &slot, exported->m_path.c_str(), SinkInterface().c_str(),
                                           kVTable, exported.get());
    *error = r < 0 ? -r : 0;
    if (r < 0)
        return nullptr;
    exported->m_slot.reset(slot);
    return exported;
}

int SinkExport::HandleInvoke(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<SinkExport*>(userdata);
    if (!self->m_sender.empty()) {
        const char* sender = sd_bus_message_get_sender(m);
        if (!sender || self->m_sender != sender)
            return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_ACCESS_DENIED, "Events come only from the server");
    }
    std::int32_t dispId = 0;
    int r = sd_bus_message_read(m, "i", &dispId);
    if (r < 0)
        return r;
    r = sd_bus_message_enter_container(m, 'a', "v");
    if (r < 0)
        return r;
    std::vector<Variant> arguments;
    while ((r = sd_bus_message_at_end(m, 0)) == 0) {
        VARIANT v;
        if (Read(m, &v) < 0) {
            VariantInit(&v);
            sd_bus_message_skip(m, "v"); // an argument that cannot be read arrives empty
        }
        arguments.emplace_back();
        *arguments.back().get() = v;
    }
    if (r < 0)
        return r;
    sd_bus_message_exit_container(m);
    self->m_transport->QueueEvent(self->m_sink, dispId, std::move(arguments));
    if (sd_bus_message_get_expect_reply(m))
        return sd_bus_reply_method_return(m, "");
    return 1;
}

// --- server side ---

RemoteSink::RemoteSink(DBusTransport& transport, SinkAddress address)
    : m_transport(transport), m_address(std::move(address)) {}

HRESULT RemoteSink::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *ppvObject = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG RemoteSink::AddRef() {
    return ++m_refCount;
}

ULONG RemoteSink::Release() {
    const ULONG count = --m_refCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT RemoteSink::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT RemoteSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT RemoteSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT RemoteSink::Invoke(DISPID dispId, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
    if (result)
        VariantInit(result);
    if (m_detached)
        return RPC_S_SERVER_UNAVAILABLE_HR;
    std::vector<Variant> arguments;
    if (params && params->rgvarg) {
        // Positional arguments are stored last first, after the named ones; they travel in call order.
        for (UINT i = params->cArgs; i > params->cNamedArgs; --i) {
            arguments.emplace_back();
            CopyArgument(params->rgvarg[i - 1], arguments.back().get());
        }
    }
    m_transport.SendEvent(m_address, dispId, std::move(arguments));
    return S_OK;
}

ServerPoints::~ServerPoints() {
    Withdraw([](const Advice&) { return true; });
}

template <class Pred> void ServerPoints::Withdraw(Pred pred) {
    std::vector<Advice> gone;
    for (auto it = m_advices.begin(); it != m_advices.end();) {
        if (pred(*it)) {
            gone.push_back(std::move(*it));
            it = m_advices.erase(it);
        } else {
            ++it;
        }
    }
    for (Advice& a : gone) {
        a.sink->Detach();
        a.point->point->Unadvise(a.cookie);
        if (!a.sender.empty())
            m_owner.Transport().UnwatchName(a.connection, a.sender);
    }
}

int ServerPoints::Attach(Connection& connection) {
    static const sd_bus_vtable kContainer[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD_WITH_NAMES("FindConnectionPoint", "s", SD_BUS_PARAM(iid), "o", SD_BUS_PARAM(point),
                                 &ServerPoints::HandleFind, 0),
        SD_BUS_VTABLE_END,
    };
    sd_bus_slot* slot = nullptr;
    const int r =
        sd_bus_add_object_vtable(connection.Bus(), &slot, kObjectPath, ContainerInterface().c_str(), kContainer, this);
    if (r < 0)
        return r;
    m_owner.AddSlot(connection, SlotPtr(slot));
    for (Point& p : m_points)
        if (const int e = ExportPoint(connection, p); e < 0)
            return e;
    return 0;
}

int ServerPoints::ExportPoint(Connection& connection, Point& point) {
    static const sd_bus_vtable kPoint[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD_WITH_NAMES("Advise", "o", SD_BUS_PARAM(sink), "u", SD_BUS_PARAM(cookie),
                                 &ServerPoints::HandleAdvise, 0),
        SD_BUS_METHOD_WITH_NAMES("Unadvise", "u", SD_BUS_PARAM(cookie), "", "", &ServerPoints::HandleUnadvise, 0),
        SD_BUS_VTABLE_END,
    };
    sd_bus_slot* slot = nullptr;
    const int r =
        sd_bus_add_object_vtable(connection.Bus(), &slot, point.path.c_str(), PointInterface().c_str(), kPoint, &point);
    if (r < 0)
        return r;
    m_owner.AddSlot(connection, SlotPtr(slot));
    return 0;
}

void ServerPoints::ConnectionClosed(Connection& connection) {
    const std::uint64_t id = connection.Id();
    Withdraw([id](const Advice& a) { return a.connection == id; });
}

void ServerPoints::ClientLeft(const std::string& uniqueName) {
    Withdraw([&uniqueName](const Advice& a) { return a.sender == uniqueName; });
}

int ServerPoints::HandleFind(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<ServerPoints*>(userdata);
    int r = 0;
    const auto iid = ReadInterfaceId(m, &r);
    if (!iid)
        return r;
    for (Point& p : self->m_points)
        if (p.iid == *iid)
            return sd_bus_reply_method_return(m, "o", p.path.c_str());
    HRESULT hr = S_OK;
    ComPtr<IUnknown> unknown = self->m_owner.Query(IID_IConnectionPointContainer, &hr);
    if (!unknown)
        return ReplyWithResult(m, hr);
    auto* container = reinterpret_cast<IConnectionPointContainer*>(unknown.get());
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(*iid, point.out());
    if (FAILED(hr) || !point)
        return ReplyWithResult(m, FAILED(hr) ? hr : CONNECT_E_NOCONNECTION);
    Point& p = self->m_points.emplace_back(Point{self, *iid, "/ole/Object/ConnectionPoint_" + GuidDigits(*iid), point});
    for (Connection* c : self->m_owner.AttachedConnections())
        self->ExportPoint(*c, p);
    return sd_bus_reply_method_return(m, "o", p.path.c_str());
}

int ServerPoints::HandleAdvise(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* point = static_cast<Point*>(userdata);
    ServerPoints* self = point->owner;
    DBusTransport& transport = self->m_owner.Transport();
    const char* path = nullptr;
    int r = sd_bus_message_read(m, "o", &path);
    if (r < 0)
        return r;
    Connection* connection = nullptr;
    for (Connection* c : transport.Connections())
        if (c->Bus() == sd_bus_message_get_bus(m))
            connection = c;
    if (!connection)
        return ReplyWithResult(m, E_UNEXPECTED);
    const char* sender = connection->IsPeer() ? nullptr : sd_bus_message_get_sender(m);
    SinkAddress address{connection->Id(), sender ? sender : "", path};
    ComPtr<RemoteSink> sink = ComPtr<RemoteSink>::Attach(new RemoteSink(transport, address));
    DWORD cookie = 0;
    const HRESULT hr = point->point->Advise(static_cast<IDispatch*>(sink.get()), &cookie);
    if (FAILED(hr)) {
        sink->Detach();
        return ReplyWithResult(m, hr);
    }
    if (!address.destination.empty())
        transport.WatchName(*connection, address.destination);
    self->m_advices.push_back({address.connection, address.destination, cookie, point, sink});
    return sd_bus_reply_method_return(m, "u", static_cast<std::uint32_t>(cookie));
}

int ServerPoints::HandleUnadvise(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* point = static_cast<Point*>(userdata);
    ServerPoints* self = point->owner;
    std::uint32_t cookie = 0;
    int r = sd_bus_message_read(m, "u", &cookie);
    if (r < 0)
        return r;
    const sd_bus* bus = sd_bus_message_get_bus(m);
    const char* sender = sd_bus_message_get_sender(m);
    for (auto it = self->m_advices.begin(); it != self->m_advices.end(); ++it) {
        Connection* c = self->m_owner.Transport().ConnectionById(it->connection);
        const bool sameClient = c && c->Bus() == bus && (c->IsPeer() || (sender && it->sender == sender));
        if (it->point != point || it->cookie != cookie || !sameClient)
            continue;
        const HRESULT hr = point->point->Unadvise(cookie);
        if (FAILED(hr))
            return ReplyWithResult(m, hr);
        Advice gone = std::move(*it);
        self->m_advices.erase(it);
        gone.sink->Detach();
        if (!gone.sender.empty())
            self->m_owner.Transport().UnwatchName(gone.connection, gone.sender);
        return sd_bus_reply_method_return(m, "");
    }
    return ReplyWithResult(m, CONNECT_E_NOCONNECTION);
}

} // namespace ole
