// The client's side of an object that lives in another process. RemoteObject is the object's identity: where it
// lives, the channel its calls travel on, and whether it can still be reached. Each interface the client asks for
// is a ProxyPart that forwards its slots as synchronous calls through the RemoteObject.
#pragma once

#include "platform/ole/Bus.h"
#include "platform/ole/ComPtr.h"
#include "platform/ole/Marshal.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ole {

class DBusTransport;
class RemoteObject;
class SinkExport;

// How long one call may take before it counts as failed; long enough for the slowest server operation.
inline constexpr std::uint64_t kCallTimeoutUsec = 300'000'000;

// One interface of a remote object. Its IUnknown methods go to the RemoteObject, so all interfaces of one object
// share one identity and one reference count.
class ProxyPart {
public:
    explicit ProxyPart(RemoteObject& object) : m_object(object) {}
    ProxyPart(const ProxyPart&) = delete;
    ProxyPart& operator=(const ProxyPart&) = delete;
    virtual ~ProxyPart() = default;
    virtual IUnknown* Interface() = 0;

protected:
    RemoteObject& m_object;
};

class RemoteObject final : public IUnknown {
public:
    // A proxy for /ole/Object of `owner` (a unique bus name; empty for the far end of a peer connection).
    static ComPtr<RemoteObject> Create(DBusTransport& transport, Connection& channel, std::string owner);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // Moves later calls to a private channel to the same object.
    void UsePeer(Connection& peer);
    bool IsDead() const { return m_channel == nullptr; }
    // From now on every call fails at once with RPC_S_SERVER_UNAVAILABLE_HR; exported sinks are dropped.
    void MarkDead();
    // The transport is going away.
    void Detach();
    Connection* Channel() const { return m_channel; }
    const std::string& Owner() const { return m_owner; }
    // The connection the object was found on (its bus, or the peer connection of ConnectPeer).
    std::uint64_t HomeId() const { return m_homeId; }
    DBusTransport* Transport() const { return m_transport; }
    bool UsesPeer() const { return m_peer != nullptr; }

    // One synchronous call with the given in-arguments and no result.
    template <class... In> HRESULT Call(const std::string& interface, const char* member, const In&... in) {
        MessagePtr call;
        if (const HRESULT hr = Begin(interface, member, &call); FAILED(hr))
            return hr;
        if (!AppendAll(call.get(), in...))
            return DISP_E_BADVARTYPE;
        MessagePtr reply;
        return Finish(std::move(call), &reply);
    }
    // One synchronous call whose reply carries one value (a property read).
    template <class Out> HRESULT CallRead(const std::string& interface, const char* member, Out* out) {
        if (!out)
            return E_POINTER;
        ResetOut(out);
        MessagePtr call;
        if (const HRESULT hr = Begin(interface, member, &call); FAILED(hr))
            return hr;
        MessagePtr reply;
        if (const HRESULT hr = Finish(std::move(call), &reply); FAILED(hr))
            return hr;
        return Read(reply.get(), out) < 0 ? DISP_E_TYPEMISMATCH : S_OK;
    }

    // The two halves of a call, for calls that carry transport-level arguments.
    HRESULT Begin(const std::string& interface, const char* member, MessagePtr* call, const char* path = kObjectPath);
    HRESULT Finish(MessagePtr call, MessagePtr* reply);

    // How many calls proxies of this process have made so far (for benchmarks and diagnostics).
    static std::uint64_t CallsMade();

    // Client sinks exported for this object's connection points, keyed by their cookies.
    void KeepSink(std::unique_ptr<SinkExport> sink);
    std::unique_ptr<SinkExport> TakeSink(DWORD cookie);

private:
    RemoteObject(DBusTransport& transport, Connection& channel, std::string owner);
    ~RemoteObject();

    template <class... In> static bool AppendAll([[maybe_unused]] sd_bus_message* m, const In&... in) {
        return ((Append(m, in) >= 0) && ...);
    }
    static void ResetOut(LONG*) {}
    static void ResetOut(double*) {}
    static void ResetOut(BSTR* out) { *out = nullptr; }
    static void ResetOut(VARIANT* out) { VariantInit(out); }

    ULONG m_refCount = 1;
    DBusTransport* m_transport;
    Connection* m_channel;
    Connection* m_peer = nullptr;
    std::uint64_t m_homeId;
    std::string m_owner;
    std::vector<std::pair<IID, std::unique_ptr<ProxyPart>>> m_parts;
    std::vector<std::unique_ptr<SinkExport>> m_sinks;
};

} // namespace ole
