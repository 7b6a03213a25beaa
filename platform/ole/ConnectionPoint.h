// Connection points across the bus.
//
// Client: IConnectionPointContainer::FindConnectionPoint on a remote object gives a point proxy; its Advise exports
// the client's sink on the object's channel (at /ole/Sink/N, method Invoke(i dispid, av arguments) of the IDispatch
// interface) and registers it with the server, which answers with the cookie. Incoming Invoke calls are queued and
// delivered by the transport on the owner thread.
//
// Server: /ole/Object answers FindConnectionPoint(s iid) -> o with the path of a point object, whose Advise(o sink)
// -> u and Unadvise(u cookie) reach the served object's real connection point. The sink handed to the real point
// sends each event without waiting for a reply; the sinks of a client that has left are withdrawn.
#pragma once

#include "platform/ole/Bus.h"
#include "platform/ole/ComPtr.h"
#include "platform/ole/Proxy.h"

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace ole {

class DBusTransport;
class ExportedObject;

std::unique_ptr<ProxyPart> MakeContainerProxy(RemoteObject& object);

// A client's sink made reachable by the server on one connection.
class SinkExport {
public:
    // `sender`: the only bus name whose events are accepted (empty on a peer connection).
    static std::unique_ptr<SinkExport> Create(DBusTransport& transport, Connection& connection, IDispatch* sink,
                                              std::string sender, int* error);
    SinkExport(const SinkExport&) = delete;
    SinkExport& operator=(const SinkExport&) = delete;
    ~SinkExport() = default;

    const std::string& Path() const { return m_path; }
    DWORD Cookie() const { return m_cookie; }
    void SetCookie(DWORD cookie) { m_cookie = cookie; }

private:
    SinkExport() = default;
    static int HandleInvoke(sd_bus_message* m, void* userdata, sd_bus_error* error);

    DBusTransport* m_transport = nullptr;
    ComPtr<IDispatch> m_sink;
    SlotPtr m_slot;
    std::string m_sender;
    std::string m_path;
    DWORD m_cookie = 0;
};

// Where a server sends the events of one advised sink.
struct SinkAddress {
    std::uint64_t connection;
    std::string destination; // the client's unique name; empty on a peer connection
    std::string path;
};

// The sink a server's connection point holds for a client: Invoke sends the event and returns at once.
class RemoteSink final : public IDispatch {
public:
    RemoteSink(DBusTransport& transport, SinkAddress address);
    void Detach() { m_detached = true; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispId, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

private:
    ~RemoteSink() = default;
    std::atomic<ULONG> m_refCount{1};
    std::atomic<bool> m_detached{false};
    DBusTransport& m_transport;
    SinkAddress m_address;
};

// The served object's connection points as seen from the bus.
class ServerPoints {
public:
    explicit ServerPoints(ExportedObject& owner) : m_owner(owner) {}
    ServerPoints(const ServerPoints&) = delete;
    ServerPoints& operator=(const ServerPoints&) = delete;
    ~ServerPoints();

    // Offers the container interface and every point found so far on a connection.
    int Attach(Connection& connection);
    void ConnectionClosed(Connection& connection);
    void ClientLeft(const std::string& uniqueName);
    std::size_t AdviceCount() const { return m_advices.size(); }

private:
    struct Point {
        ServerPoints* owner;
        IID iid;
        std::string path;
        ComPtr<IConnectionPoint> point;
    };
    struct Advice {
        std::uint64_t connection;
        std::string sender;
        DWORD cookie;
        Point* point;
        ComPtr<RemoteSink> sink;
    };

    static int HandleFind(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int HandleAdvise(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int HandleUnadvise(sd_bus_message* m, void* userdata, sd_bus_error* error);
    int ExportPoint(Connection& connection, Point& point);
    template <class Pred> void Withdraw(Pred pred);

    ExportedObject& m_owner;
    std::deque<Point> m_points;
    std::vector<Advice> m_advices;
};

} // namespace ole
