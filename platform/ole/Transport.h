// The out-of-process half of the COM runtime: a ComTransport over the user's D-Bus session bus.
//
// Client: GetActiveObject finds the owner of the class's bus name; CreateInstance starts it by D-Bus activation
// and waits until it owns the name. The proxy then asks the server for a private peer-to-peer channel (a socket
// pair handed over the bus as a descriptor) and makes its calls there. A peer that dies or leaves the bus makes
// every later call fail at once with RPC_S_SERVER_UNAVAILABLE_HR.
//
// Server: publishing a class object or a running object takes the class's bus name and offers the object at
// /ole/Object on the bus and on every private channel.
//
// Threads: the transport belongs to the thread that created it; calls are made and events delivered there. Events
// arriving during a call are queued and delivered by the event loop afterwards, never inside another call. A
// server object may raise events from any thread; they are sent from the owner thread.
#pragma once

#include "platform/ole/Bus.h"
#include "platform/ole/ConnectionPoint.h"
#include "platform/ole/Registry.h"
#include "platform/ole/Stub.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace ole {

// What an event loop does for the transport: watch each connection's descriptor (Fd(), Events(), Deadline()) and
// call DBusTransport::ProcessAll() when one is ready, a deadline has passed, or a pass has been scheduled.
class TransportLoop {
public:
    virtual ~TransportLoop() = default;
    virtual void Watch(Connection& connection) = 0;
    virtual void Unwatch(Connection& connection) = 0;
    // Asks for a ProcessAll() pass soon; may be called from any thread.
    virtual void Schedule() = 0;
};

class DBusTransport final : public ComTransport {
public:
    explicit DBusTransport(TransportLoop* loop = nullptr);
    DBusTransport(const DBusTransport&) = delete;
    DBusTransport& operator=(const DBusTransport&) = delete;
    ~DBusTransport() override;

    // Whether new proxies move their calls to a private channel (on by default).
    void SetUsePeer(bool use) { m_usePeer = use; }
    // Called (on the owner thread) when the session bus connection closes, e.g. because the session ends; a
    // server started by activation usually quits then.
    void SetBusLostHandler(std::function<void()> handler) { m_busLost = std::move(handler); }

    // --- ComTransport ---
    HRESULT GetActiveObject(REFCLSID clsid, IUnknown** object) override;
    // Without a session bus, fails with 0x800706BA and says why the bus cannot be reached: nothing can be said
    // about the class then.
    HRESULT CreateInstance(REFCLSID clsid, REFIID iid, void** object, std::string* detail) override;
    // Through the remote user's session bus (RemoteAddress.h); calls then go through that bus, never a private channel.
    HRESULT CreateRemoteInstance(REFCLSID clsid, const std::string& machine, REFIID iid, void** object,
                                 std::string* detail) override;
    HRESULT PublishClassObject(REFCLSID clsid, IUnknown* classObject) override;
    void RevokeClassObject(REFCLSID clsid) override;
    HRESULT PublishActiveObject(REFCLSID clsid, IUnknown* object) override;
    void RevokeActiveObject(REFCLSID clsid) override;
    bool IsConnected(IUnknown* object) override;
    void SetObjectLostHandler(std::function<void()> handler) override { m_objectLost = std::move(handler); }

    // --- the event loop's side ---
    // Dispatches everything that has arrived on every connection, sends events raised on other threads, then
    // delivers queued events to their sinks one by one.
    void ProcessAll();
    // The same for one connection whose descriptor is ready.
    void ProcessReady(Connection& connection);
    // Without an event loop: waits up to `timeoutMs` for activity and processes it. False on a poll failure.
    bool RunOnce(int timeoutMs);
    std::vector<Connection*> Connections() const;

    // --- private channels without a bus (tools and tests) ---
    Connection* Adopt(std::unique_ptr<Connection> connection);
    // Offers `object` at /ole/Object on `connection`.
    HRESULT Serve(Connection& connection, IUnknown* object);
    // A proxy for /ole/Object at the far end of a peer connection.
    HRESULT ConnectPeer(Connection& connection, IUnknown** object);

    // --- for proxies and stubs ---
    Connection* SessionBus(int* error = nullptr);
    Connection* ConnectionById(std::uint64_t id) const;
    bool OnOwnerThread() const { return std::this_thread::get_id() == m_owner; }
    void Schedule();
    // Called after each synchronous call on `channel`: messages queued meanwhile are dispatched by the next pass.
    void AfterCall(Connection& channel);
    // Closes a connection; everything that used it learns that it is gone.
    void Retire(Connection* connection);
    void Register(RemoteObject* object) { m_remotes.insert(object); }
    void Unregister(RemoteObject* object) { m_remotes.erase(object); }
    // Watches a unique name on a bus; when it leaves, proxies to it die and its sinks are withdrawn.
    void WatchName(Connection& bus, const std::string& uniqueName);
    void UnwatchName(std::uint64_t busId, const std::string& uniqueName);
    // A proxy has lost its server: the object-lost handler runs after the current pass.
    void NoteObjectLost();
    // Closes a remote bus that no proxy uses any more.
    void DropUnusedRemoteBus(std::uint64_t id);
    // Queues an event for delivery on the owner thread.
    void QueueEvent(ComPtr<IDispatch> sink, DISPID dispId, std::vector<Variant> arguments);
    // Sends an event to a client's sink without waiting; from any thread.
    void SendEvent(const SinkAddress& address, DISPID dispId, std::vector<Variant> arguments);
    // A new private channel to the served object (the server's half of OpenPeer); returns the client's end.
    int OpenPeerForClient(int* clientFd);

private:
    struct PendingEvent {
        ComPtr<IDispatch> sink;
        DISPID dispId;
        std::vector<Variant> arguments;
    };
    struct OutgoingEvent {
        SinkAddress address;
        DISPID dispId;
        std::vector<Variant> arguments;
    };

    // The session bus for a request made on the owner thread: RPC_E_WRONG_THREAD on another thread, `unavailable`
    // when there is no bus.
    HRESULT RequestBus(HRESULT unavailable, Connection** bus);
    // The same for a request for an object, whose out-pointer is checked and cleared first.
    template <class T> HRESULT StartRequest(T** object, HRESULT unavailable, Connection** bus) {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        return RequestBus(unavailable, bus);
    }
    // Around every pass: events raised on other threads are sent before and after it; then queued events are
    // delivered, and once no pass is running, retired connections are freed and lost objects announced.
    void BeginPass();
    void EndPass();
    void ProcessOne(Connection& connection);
    void DeliverEvents();
    void SendOutgoing();
    void Collect();
    void AnnounceObjectLost();
    void NameLost(Connection& bus, const std::string& name);
    HRESULT ConnectToOwner(Connection& bus, const std::string& owner, ComPtr<RemoteObject>* object);
    HRESULT CreateOnBus(Connection& bus, REFCLSID clsid, REFIID iid, void** object, std::string* detail);
    Connection* RemoteBus(const std::string& address, std::string* detail);
    HRESULT Publish(REFCLSID clsid, IUnknown* object, bool active);
    void Unpublish(REFCLSID clsid, bool active);
    static int HandleNameOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error* error);

    TransportLoop* m_loop;
    std::thread::id m_owner;
    int m_wakeFd = -1;
    bool m_usePeer = true;
    std::function<void()> m_busLost;
    std::function<void()> m_objectLost;
    bool m_objectLostPending = false;
    Connection* m_bus = nullptr;
    int m_busError = 0; // why the session bus could not be opened (an errno), for the caller's message
    bool m_ownsName = false;
    std::string m_ownedName;
    std::uint64_t m_nextId = 1;
    int m_depth = 0;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::vector<std::unique_ptr<Connection>> m_retired;
    std::set<RemoteObject*> m_remotes;
    std::unique_ptr<ExportedObject> m_export;
    std::map<std::pair<std::uint64_t, std::string>, std::pair<int, SlotPtr>> m_watchedNames;
    std::vector<SlotPtr> m_retiredSlots;
    std::deque<PendingEvent> m_events;
    std::mutex m_outgoingMutex;
    std::vector<OutgoingEvent> m_outgoing;
};

} // namespace ole
