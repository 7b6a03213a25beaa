#include "platform/ole/Transport.h"

#include "platform/ole/ErrorText.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace ole {

namespace {

// How long a server may take to start by activation and take its name.
constexpr std::uint64_t kStartTimeoutUsec = 120'000'000;

} // namespace

DBusTransport::DBusTransport(TransportLoop* loop)
    : m_loop(loop), m_owner(std::this_thread::get_id()), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

DBusTransport::~DBusTransport() {
    for (RemoteObject* remote : std::vector<RemoteObject*>(m_remotes.begin(), m_remotes.end()))
        remote->Detach();
    m_remotes.clear();
    m_events.clear();
    m_export.reset(); // withdraws every advised sink
    SendOutgoing();
    if (m_bus && m_ownsName)
        sd_bus_release_name(m_bus->Bus(), m_ownedName.c_str());
    m_watchedNames.clear();
    m_retiredSlots.clear();
    for (auto& c : m_connections)
        if (m_loop)
            m_loop->Unwatch(*c);
    m_connections.clear();
    m_retired.clear();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

// --- obtaining objects ---

HRESULT DBusTransport::RequestBus(HRESULT unavailable, Connection** bus) {
    *bus = nullptr;
    if (!OnOwnerThread())
        return RPC_E_WRONG_THREAD;
    *bus = SessionBus(&m_busError);
    return *bus ? S_OK : unavailable;
}

HRESULT DBusTransport::GetActiveObject(REFCLSID clsid, IUnknown** object) {
    Connection* bus = nullptr;
    if (const HRESULT hr = StartRequest(object, MK_E_UNAVAILABLE, &bus); FAILED(hr))
        return hr;
    const auto owner = GetNameOwner(*bus, BusNameForClass(clsid));
    AfterCall(*bus);
    // Our own publications are found in this process's running-object table.
    if (!owner || *owner == bus->UniqueName())
        return MK_E_UNAVAILABLE;
    ComPtr<RemoteObject> remote;
    const HRESULT hr = ConnectToOwner(*bus, *owner, &remote);
    if (FAILED(hr))
        return hr == RPC_S_SERVER_UNAVAILABLE_HR ? MK_E_UNAVAILABLE : hr;
    *object = remote.detach();
    return S_OK;
}

HRESULT DBusTransport::CreateInstance(REFCLSID clsid, REFIID iid, void** object, std::string* detail) {
    Connection* bus = nullptr;
    if (const HRESULT hr = StartRequest(object, RPC_S_SERVER_UNAVAILABLE_HR, &bus); FAILED(hr)) {
        if (hr == RPC_S_SERVER_UNAVAILABLE_HR && detail) {
            const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
            *detail = "The session bus cannot be reached (" + ErrnoText(m_busError) + "); " +
                      (address && *address ? "DBUS_SESSION_BUS_ADDRESS=" + std::string(address)
                                           : std::string("DBUS_SESSION_BUS_ADDRESS is not set"));
        }
        return hr;
    }
    std::string said;
    const HRESULT hr = CreateOnBus(*bus, clsid, iid, object, &said);
    if (detail)
        *detail = std::move(said);
    return hr;
}

HRESULT DBusTransport::CreateOnBus(Connection& busRef, REFCLSID clsid, REFIID iid, void** object, std::string* detail) {
    Connection* bus = &busRef;
    const std::string name = BusNameForClass(clsid);
    MessagePtr call = bus->NewMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                         "StartServiceByName");
    if (!call || sd_bus_message_append(call.get(), "su", name.c_str(), 0u) < 0)
        return E_OUTOFMEMORY;
    // The daemon answers once the started server owns the name (or at once when it is running already).
    MessagePtr reply;
    BusError error;
    const int r = bus->Call(call.get(), kStartTimeoutUsec, &reply, &error);
    AfterCall(*bus);
    std::optional<std::string> owner;
    if (r < 0) {
        if (error.name() == SD_BUS_ERROR_SERVICE_UNKNOWN) {
            owner = GetNameOwner(*bus, name); // running, but not registered for activation
            if (!owner)
                return REGDB_E_CLASSNOTREG;
        } else {
            *detail = error.message();
            return CO_E_SERVER_EXEC_FAILURE;
        }
    } else {
        owner = GetNameOwner(*bus, name);
    }
    if (!owner)
        return CO_E_SERVER_EXEC_FAILURE;
    if (*owner == bus->UniqueName())
        return REGDB_E_CLASSNOTREG;
    ComPtr<RemoteObject> remote;
    if (const HRESULT hr = ConnectToOwner(*bus, *owner, &remote); FAILED(hr))
        return hr;
    return remote->QueryInterface(iid, object);
}

HRESULT DBusTransport::ConnectToOwner(Connection& bus, const std::string& owner, ComPtr<RemoteObject>* object) {
    ComPtr<RemoteObject> remote = RemoteObject::Create(*this, bus, owner);
    // A descriptor cannot be handed to another machine: a remote bus carries the calls itself.
    if (m_usePeer && bus.Is(Connection::Kind::SessionBus)) {
        // The fast path: a private socket pair created by the server and handed over the bus.
        MessagePtr call;
        HRESULT hr = remote->Begin(kTransportInterface, "OpenPeer", &call);
        MessagePtr reply;
        if (SUCCEEDED(hr))
            hr = remote->Finish(std::move(call), &reply);
        if (remote->IsDead())
            return RPC_S_SERVER_UNAVAILABLE_HR;
        int fd = -1;
        if (SUCCEEDED(hr) && sd_bus_message_read(reply.get(), "h", &fd) >= 0 && fd >= 0) {
            const int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
            if (own >= 0) {
                if (auto peer = Connection::OpenPeer(own, Connection::Kind::PeerClient))
                    remote->UsePeer(*Adopt(std::move(peer)));
            }
        }
        // Without a private channel the calls go through the bus daemon.
    }
    *object = std::move(remote);
    return S_OK;
}

// --- publishing ---

HRESULT DBusTransport::Publish(REFCLSID clsid, IUnknown* object, bool active) {
    Connection* bus = nullptr;
    if (const HRESULT hr = RequestBus(RPC_S_SERVER_UNAVAILABLE_HR, &bus); FAILED(hr))
        return hr;
    if (m_export && !(m_export->Clsid() == clsid)) {
        if (m_export->IsPublished())
            return CLASS_E_CLASSNOTAVAILABLE; // one class per server process: /ole/Object is the class's object
        m_export.reset();
    }
    if (!m_export)
        m_export = std::make_unique<ExportedObject>(*this, clsid);
    if (active)
        m_export->SetActiveObject(object);
    else
        m_export->SetClassObject(object);
    if (m_export->Attach(*bus) < 0) {
        Unpublish(clsid, active);
        return E_FAIL;
    }
    if (!m_ownsName) {
        const int r = sd_bus_request_name(bus->Bus(), BusNameForClass(clsid).c_str(), 0);
        AfterCall(*bus);
        if (r < 0) {
            Unpublish(clsid, active);
            // Another process serves the class already.
            return r == -EEXIST ? E_ACCESSDENIED : RPC_S_SERVER_UNAVAILABLE_HR;
        }
        m_ownsName = true;
        m_ownedName = BusNameForClass(clsid);
    }
    return S_OK;
}

void DBusTransport::Unpublish(REFCLSID clsid, bool active) {
    if (!m_export || !(m_export->Clsid() == clsid))
        return;
    if (active)
        m_export->SetActiveObject(nullptr);
    else
        m_export->SetClassObject(nullptr);
    // Clients that hold the object keep it; only the name goes, so nobody new finds it.
    if (!m_export->IsPublished() && m_ownsName && m_bus) {
        sd_bus_release_name(m_bus->Bus(), m_ownedName.c_str());
        m_ownsName = false;
        AfterCall(*m_bus);
    }
}

HRESULT DBusTransport::PublishClassObject(REFCLSID clsid, IUnknown* classObject) {
    return Publish(clsid, classObject, false);
}

void DBusTransport::RevokeClassObject(REFCLSID clsid) {
    Unpublish(clsid, false);
}

HRESULT DBusTransport::PublishActiveObject(REFCLSID clsid, IUnknown* object) {
    return Publish(clsid, object, true);
}

void DBusTransport::RevokeActiveObject(REFCLSID clsid) {
    Unpublish(clsid, true);
}

// --- private channels ---

Connection* DBusTransport::Adopt(std::unique_ptr<Connection> connection) {
    connection->SetId(m_nextId++);
    Connection* raw = connection.get();
    m_connections.push_back(std::move(connection));
    if (m_loop)
        m_loop->Watch(*raw);
    Schedule();
    return raw;
}

HRESULT DBusTransport::Serve(Connection& connection, IUnknown* object) {
    if (!m_export)
        m_export = std::make_unique<ExportedObject>(*this, IID_NULL);
    m_export->SetActiveObject(object);
    return m_export->Attach(connection) < 0 ? E_FAIL : S_OK;
}

HRESULT DBusTransport::ConnectPeer(Connection& connection, IUnknown** object) {
    if (!object)
        return E_POINTER;
    ComPtr<RemoteObject> remote = RemoteObject::Create(*this, connection, "");
    remote->UsePeer(connection);
    *object = remote.detach();
    return S_OK;
}

int DBusTransport::OpenPeerForClient(int* clientFd) {
    if (!m_export)
        return -ENOENT;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) < 0)
        return -errno;
    int error = 0;
    auto peer = Connection::OpenPeer(fds[0], Connection::Kind::PeerServer, &error);
    if (!peer) {
        ::close(fds[1]);
        return -error;
    }
    Connection* raw = Adopt(std::move(peer));
    if (const int r = m_export->Attach(*raw); r < 0) {
        Retire(raw);
        ::close(fds[1]);
        return r;
    }
    *clientFd = fds[1];
    return 0;
}

// --- connections ---

Connection* DBusTransport::SessionBus(int* error) {
    if (m_bus)
        return m_bus;
    auto bus = Connection::OpenSessionBus(error);
    if (!bus)
        return nullptr;
    m_bus = Adopt(std::move(bus));
    return m_bus;
}

Connection* DBusTransport::ConnectionById(std::uint64_t id) const {
    for (const auto& c : m_connections)
        if (c->Id() == id)
            return c.get();
    return nullptr;
}

std::vector<Connection*> DBusTransport::Connections() const {
    std::vector<Connection*> all;
    for (const auto& c : m_connections)
        all.push_back(c.get());
    return all;
}

void DBusTransport::Retire(Connection* connection) {
    auto it = std::find_if(m_connections.begin(), m_connections.end(),
                           [connection](const auto& c) { return c.get() == connection; });
    if (it == m_connections.end())
        return;
    std::unique_ptr<Connection> owned = std::move(*it);
    m_connections.erase(it);
    if (m_loop)
        m_loop->Unwatch(*owned);
    const bool wasBus = owned.get() == m_bus;
    if (wasBus) {
        m_bus = nullptr;
        m_ownsName = false;
    }
    for (auto it = m_watchedNames.begin(); it != m_watchedNames.end();) {
        if (it->first.first != owned->Id()) {
            ++it;
            continue;
        }
        m_retiredSlots.push_back(std::move(it->second.second));
        it = m_watchedNames.erase(it);
    }
    for (RemoteObject* remote : std::vector<RemoteObject*>(m_remotes.begin(), m_remotes.end()))
        if (wasBus || remote->Channel() == owned.get())
            remote->MarkDead();
    if (m_export)
        m_export->ConnectionClosed(*owned);
    owned->Close();
    m_retired.push_back(std::move(owned));
    Schedule();
    if (wasBus && m_busLost)
        m_busLost();
}

void DBusTransport::WatchName(Connection& bus, const std::string& uniqueName) {
    auto& entry = m_watchedNames[{bus.Id(), uniqueName}];
    if (entry.first++ > 0)
        return;
    const std::string rule = "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                             "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
                             uniqueName + "'";
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_match(bus.Bus(), &slot, rule.c_str(), &DBusTransport::HandleNameOwnerChanged, this) >= 0)
        entry.second.reset(slot);
    AfterCall(bus); // adding a match waits for the daemon's answer
}

void DBusTransport::UnwatchName(std::uint64_t busId, const std::string& uniqueName) {
    auto it = m_watchedNames.find({busId, uniqueName});
    if (it == m_watchedNames.end())
        return;
    if (--it->second.first > 0)
        return;
    // The match may be the one being dispatched right now; it is freed after the pass.
    m_retiredSlots.push_back(std::move(it->second.second));
    m_watchedNames.erase(it);
}

int DBusTransport::HandleNameOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DBusTransport*>(userdata);
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0 || !name)
        return 0;
    if (newOwner && *newOwner)
        return 0;
    sd_bus* bus = sd_bus_message_get_bus(m);
    for (Connection* c : self->Connections())
        if (c->Bus() == bus)
            self->NameLost(*c, name);
    return 0;
}

void DBusTransport::NameLost(Connection& bus, const std::string& name) {
    for (RemoteObject* remote : std::vector<RemoteObject*>(m_remotes.begin(), m_remotes.end())) {
        if (remote->Owner() != name || remote->HomeId() != bus.Id())
            continue;
        // What the server sent on its private channel before it left still counts (its close event above all):
        // the bus's notice may overtake it, so read the channel to its end first.
        Connection* channel = remote->Channel();
        if (channel && channel->IsPeer() && ConnectionById(channel->Id()) == channel && !channel->Drain())
            Retire(channel);
        remote->MarkDead();
    }
    if (m_export && &bus == m_bus)
        m_export->ClientLeft(name);
}

// --- the loop ---

void DBusTransport::Schedule() {
    if (m_loop) {
        m_loop->Schedule();
    } else if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(m_wakeFd, &one, sizeof one);
    }
}

void DBusTransport::AfterCall(Connection& channel) {
    // A deadline of zero means messages were read while waiting and wait in the queue.
    if (!m_events.empty() || channel.Deadline() == 0)
        Schedule();
}

void DBusTransport::ProcessOne(Connection& connection) {
    if (connection.IsProcessing())
        return;
    if (!connection.Process())
        Retire(&connection);
}

void DBusTransport::BeginPass() {
    ++m_depth;
    SendOutgoing();
}

void DBusTransport::EndPass() {
    SendOutgoing();
    --m_depth;
    DeliverEvents();
    if (m_depth == 0) {
        Collect();
        AnnounceObjectLost();
    }
}

void DBusTransport::ProcessAll() {
    BeginPass();
    for (Connection* c : Connections())
        if (ConnectionById(c->Id()) == c)
            ProcessOne(*c);
    EndPass();
}

void DBusTransport::ProcessReady(Connection& connection) {
    const bool known = std::any_of(m_connections.begin(), m_connections.end(),
                                   [&connection](const auto& c) { return c.get() == &connection; });
    BeginPass();
    if (known)
        ProcessOne(connection);
    EndPass();
}

void DBusTransport::DeliverEvents() {
    // One at a time: a handler may run a nested loop that delivers the next ones, still in order.
    while (!m_events.empty()) {
        PendingEvent e = std::move(m_events.front());
        m_events.pop_front();
        if (!m_events.empty())
            Schedule(); // so that a modal loop opened by this handler delivers the rest
        std::vector<VARIANT> block;
        for (auto it = e.arguments.rbegin(); it != e.arguments.rend(); ++it)
            block.push_back(*it->get()); // shallow: the event keeps ownership
        DISPPARAMS params{block.empty() ? nullptr : block.data(), nullptr, static_cast<UINT>(block.size()), 0};
        try {
            e.sink->Invoke(e.dispId, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        } catch (...) {
            // The sink's own business; it must not unwind into the event loop.
        }
    }
}

void DBusTransport::QueueEvent(ComPtr<IDispatch> sink, DISPID dispId, std::vector<Variant> arguments) {
    m_events.push_back({std::move(sink), dispId, std::move(arguments)});
    if (m_depth == 0)
        Schedule();
}

void DBusTransport::SendEvent(const SinkAddress& address, DISPID dispId, std::vector<Variant> arguments) {
    if (!OnOwnerThread()) {
        {
            std::lock_guard lock(m_outgoingMutex);
            m_outgoing.push_back({address, dispId, std::move(arguments)});
        }
        Schedule();
        return;
    }
    Connection* connection = ConnectionById(address.connection);
    if (!connection || !connection->IsOpen())
        return;
    static const std::string sinkInterface = InterfaceNameFor(IID_IDispatch);
    MessagePtr m = connection->NewMethodCall(address.destination.empty() ? nullptr : address.destination.c_str(),
                                             address.path.c_str(), sinkInterface.c_str(), "Invoke");
    if (!m)
        return;
    // Nobody waits for the answer: a busy or stuck client never holds up the server.
    int r = sd_bus_message_set_expect_reply(m.get(), 0);
    if (r >= 0)
        r = sd_bus_message_append(m.get(), "i", static_cast<std::int32_t>(dispId));
    if (r >= 0)
        r = sd_bus_message_open_container(m.get(), 'a', "v");
    for (Variant& v : arguments) {
        if (r < 0)
            break;
        r = Append(m.get(), *v.get());
        if (r == -EINVAL) {
            VARIANT empty;
            VariantInit(&empty);
            r = Append(m.get(), empty); // what cannot travel arrives empty
        }
    }
    if (r >= 0)
        r = sd_bus_message_close_container(m.get());
    if (r >= 0)
        connection->Send(m.get());
}

void DBusTransport::SendOutgoing() {
    std::vector<OutgoingEvent> pending;
    {
        std::lock_guard lock(m_outgoingMutex);
        pending.swap(m_outgoing);
    }
    for (OutgoingEvent& e : pending)
        SendEvent(e.address, e.dispId, std::move(e.arguments));
}

bool DBusTransport::IsConnected(IUnknown* object) {
    ComPtr<IUnknown> identity;
    if (!object || FAILED(object->QueryInterface(IID_IUnknown, identity.outVoid())))
        return true;
    for (RemoteObject* remote : m_remotes)
        if (static_cast<IUnknown*>(remote) == identity.get())
            return !remote->IsDead();
    return true;
}

void DBusTransport::NoteObjectLost() {
    m_objectLostPending = true;
    Schedule();
}

void DBusTransport::AnnounceObjectLost() {
    if (!std::exchange(m_objectLostPending, false) || !m_objectLost)
        return;
    const auto handler = m_objectLost; // it may replace itself
    handler();
}

void DBusTransport::Collect() {
    m_retiredSlots.clear();
    m_retired.clear();
}

bool DBusTransport::RunOnce(int timeoutMs) {
    std::vector<pollfd> fds;
    fds.push_back({m_wakeFd, POLLIN, 0});
    std::uint64_t deadline = UINT64_MAX;
    for (const auto& c : m_connections) {
        const int events = c->Events();
        if (events < 0)
            continue;
        fds.push_back({c->Fd(), static_cast<short>(events), 0});
        deadline = std::min(deadline, c->Deadline());
    }
    int timeout = timeoutMs;
    if (deadline != UINT64_MAX) {
        const std::uint64_t now = MonotonicUsec();
        const int ms =
            deadline <= now ? 0 : static_cast<int>(std::min<std::uint64_t>((deadline - now + 999) / 1000, 1 << 30));
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
    if (!m_events.empty())
        timeout = 0;
    const int r = ::poll(fds.data(), fds.size(), timeout);
    if (r < 0 && errno != EINTR)
        return false;
    if (fds[0].revents & POLLIN) {
        std::uint64_t value = 0;
        [[maybe_unused]] const auto n = ::read(m_wakeFd, &value, sizeof value);
    }
    ProcessAll();
    return true;
}

} // namespace ole
