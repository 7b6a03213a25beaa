#include "platform/ole/Proxy.h"

#include "platform/ole/ConnectionPoint.h"
#include "platform/ole/Stub.h"
#include "platform/ole/Transport.h"

#include <atomic>

namespace ole {

namespace {

std::atomic<std::uint64_t> g_callsMade{0};

} // namespace

std::uint64_t RemoteObject::CallsMade() {
    return g_callsMade.load(std::memory_order_relaxed);
}

ComPtr<RemoteObject> RemoteObject::Create(DBusTransport& transport, Connection& channel, std::string owner) {
    return ComPtr<RemoteObject>::Attach(new RemoteObject(transport, channel, std::move(owner)));
}

RemoteObject::RemoteObject(DBusTransport& transport, Connection& channel, std::string owner)
    : m_transport(&transport), m_channel(&channel), m_homeId(channel.Id()), m_owner(std::move(owner)) {
    m_transport->Register(this);
    if (!m_owner.empty())
        m_transport->WatchName(channel, m_owner);
}

RemoteObject::~RemoteObject() {
    m_sinks.clear();
    m_parts.clear();
    if (m_transport) {
        m_transport->Unregister(this);
        if (m_peer)
            m_transport->Retire(m_peer);
        if (!m_owner.empty())
            m_transport->UnwatchName(m_homeId, m_owner);
        m_transport->DropUnusedRemoteBus(m_homeId);
    }
}

HRESULT RemoteObject::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (riid == IID_IUnknown) {
        *ppvObject = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    for (auto& [iid, part] : m_parts) {
        if (iid == riid) {
            *ppvObject = part->Interface();
            AddRef();
            return S_OK;
        }
    }
    const InterfaceMarshaler* marshaler = FindInterfaceMarshaler(riid);
    const bool container = riid == IID_IConnectionPointContainer;
    if (!marshaler && !container)
        return E_NOINTERFACE;
    // Only what the object itself confirms is offered.
    MessagePtr call;
    if (const HRESULT hr = Begin(kTransportInterface, "QueryInterface", &call); FAILED(hr))
        return hr;
    if (sd_bus_message_append(call.get(), "s", GuidToString(riid).c_str()) < 0)
        return E_OUTOFMEMORY;
    MessagePtr reply;
    if (const HRESULT hr = Finish(std::move(call), &reply); FAILED(hr))
        return hr;
    int supported = 0;
    if (sd_bus_message_read(reply.get(), "b", &supported) < 0)
        return RPC_S_CALL_FAILED_HR;
    if (!supported)
        return E_NOINTERFACE;
    std::unique_ptr<ProxyPart> part = container ? MakeContainerProxy(*this) : marshaler->makeProxy(*this);
    if (!part)
        return E_OUTOFMEMORY;
    *ppvObject = part->Interface();
    m_parts.emplace_back(riid, std::move(part));
    AddRef();
    return S_OK;
}

ULONG RemoteObject::AddRef() {
    return ++m_refCount;
}

ULONG RemoteObject::Release() {
    const ULONG count = --m_refCount;
    if (count == 0)
        delete this;
    return count;
}

void RemoteObject::UsePeer(Connection& peer) {
    if (m_peer && m_transport)
        m_transport->Retire(m_peer);
    m_peer = &peer;
    m_channel = &peer;
}

void RemoteObject::MarkDead() {
    if (!m_channel)
        return;
    m_channel = nullptr;
    // Sinks go first: they may refer to the channel.
    auto sinks = std::move(m_sinks);
    sinks.clear();
    if (m_peer && m_transport) {
        Connection* peer = std::exchange(m_peer, nullptr);
        m_transport->Retire(peer);
    }
    if (m_transport)
        m_transport->NoteObjectLost();
}

void RemoteObject::Detach() {
    MarkDead();
    m_transport = nullptr;
}

HRESULT RemoteObject::Begin(const std::string& interface, const char* member, MessagePtr* call, const char* path) {
    if (!m_channel || !m_transport)
        return RPC_S_SERVER_UNAVAILABLE_HR;
    // The connection belongs to the thread that made the transport; sd-bus is not to be shared between threads.
    if (!m_transport->OnOwnerThread())
        return RPC_E_WRONG_THREAD;
    int r = 0;
    *call = m_channel->NewMethodCall(m_peer ? nullptr : m_owner.c_str(), path, interface.c_str(), member, &r);
    if (!*call)
        return r == -ENOMEM ? E_OUTOFMEMORY : RPC_S_SERVER_UNAVAILABLE_HR;
    return S_OK;
}

HRESULT RemoteObject::Finish(MessagePtr call, MessagePtr* reply) {
    if (!m_channel || !m_transport)
        return RPC_S_SERVER_UNAVAILABLE_HR;
    Connection& channel = *m_channel;
    g_callsMade.fetch_add(1, std::memory_order_relaxed);
    BusError error;
    const int r = channel.Call(call.get(), kCallTimeoutUsec, reply, &error);
    DBusTransport* transport = m_transport;
    if (r >= 0) {
        transport->AfterCall(channel);
        return S_OK;
    }
    bool gone = false;
    HRESULT hr = HResultFromCallFailure(r, error.get(), &gone);
    if (!gone && error.name() == SD_BUS_ERROR_NO_REPLY && !m_peer) {
        // The daemon answers NoReply both for a timeout and for a peer that left without replying.
        gone = !GetNameOwner(channel, m_owner); // without a private channel, the channel is the object's bus
        transport->AfterCall(channel);
    }
    if (gone || (!channel.IsOpen())) {
        hr = RPC_S_SERVER_UNAVAILABLE_HR;
        MarkDead();
    }
    transport->AfterCall(channel);
    return hr;
}

void RemoteObject::KeepSink(std::unique_ptr<SinkExport> sink) {
    m_sinks.push_back(std::move(sink));
}

std::unique_ptr<SinkExport> RemoteObject::TakeSink(DWORD cookie) {
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if ((*it)->Cookie() == cookie) {
            std::unique_ptr<SinkExport> sink = std::move(*it);
            m_sinks.erase(it);
            return sink;
        }
    }
    return nullptr;
}

} // namespace ole
