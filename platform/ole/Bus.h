// The one seam over sd-bus: the names this runtime publishes, owning handles for messages and slots, and
// connections (the user's session bus, or a private peer-to-peer channel on a descriptor).
#pragma once

#include "platform/ole/Guid.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ole {

class PeerReader;

inline constexpr const char* kObjectPath = "/ole/Object";
inline constexpr const char* kTransportInterface = "ole.Transport";
// Called by a client first on a private channel: it promises to send nothing more until it has the reply, so the
// server's side can take the socket over from sd-bus with no bytes left in sd-bus's buffer.
inline constexpr const char* kReadDirectlyMember = "ReadDirectly";
inline constexpr std::string_view kErrorPrefix = "ole.Error.HRESULT_";

// "7166C02F_CFCE_4856_AB71_40F9329297BB": the identifier's digits, upper-case, dashes as underscores.
std::string GuidDigits(REFGUID guid);
std::string BusNameForClass(REFCLSID clsid); // ole.CLSID_<digits>
std::string InterfaceNameFor(REFIID iid);    // ole.IID_<digits>
std::string ErrorNameFor(HRESULT code);      // ole.Error.HRESULT_80004005
std::optional<HRESULT> HResultFromErrorName(std::string_view name);

// Replies to a call with the error of a result code: its name and the system's text as the message.
int ReplyWithResult(sd_bus_message* call, HRESULT code);

// Reads a call's interface identifier argument ("s"). Without one, `*handled` is what the handler returns: the read's
// errno, or the outcome of replying that the text is no identifier.
std::optional<IID> ReadInterfaceId(sd_bus_message* call, int* handled);

// The result code of a failed call: our own error names carry it; everything that means the peer cannot be
// reached becomes RPC_S_SERVER_UNAVAILABLE_HR. `peerGone` tells whether the failure proves the peer is gone.
HRESULT HResultFromCallFailure(int result, const sd_bus_error* error, bool* peerGone);

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

struct SlotUnref {
    void operator()(sd_bus_slot* s) const { sd_bus_slot_unref(s); }
};
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

// Owns an sd_bus_error and frees it. Its members are named like the standard owners', as ComPtr's are.
class BusError {
public:
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&m_error); }
    sd_bus_error* get() { return &m_error; }
    const sd_bus_error* get() const { return &m_error; }
    std::string_view name() const { return m_error.name ? m_error.name : ""; }
    std::string_view message() const { return m_error.message ? m_error.message : ""; }

private:
    sd_bus_error m_error = SD_BUS_ERROR_NULL;
};

class Connection {
public:
    enum class Kind { SessionBus, PeerClient, PeerServer, RemoteBus };

    // The user's own session bus; null (with the errno in `error`) when there is none.
    static std::unique_ptr<Connection> OpenSessionBus(int* error = nullptr);
    // A private channel on a connected stream socket; takes the descriptor in every case.
    static std::unique_ptr<Connection> OpenPeer(int fd, Kind kind, int* error = nullptr);
    // A bus at a D-Bus address, usually "unixexec:" running a bridge to another machine's bus. What the started
    // program writes to its standard error is kept for ExecErrors(); if the start fails, it is in `said`.
    static std::unique_ptr<Connection> OpenRemote(const std::string& address, int* error = nullptr,
                                                  std::string* said = nullptr);

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    bool Is(Kind kind) const { return m_kind == kind; }
    bool IsPeer() const { return m_kind == Kind::PeerClient || m_kind == Kind::PeerServer; }
    sd_bus* Bus() const { return m_bus; }
    std::uint64_t Id() const { return m_id; }
    void SetId(std::uint64_t id) { m_id = id; }

    // For an event loop: the descriptor, the poll events wanted now and the next deadline (CLOCK_MONOTONIC
    // microseconds, UINT64_MAX for none).
    int Fd() const;
    int Events() const;
    std::uint64_t Deadline() const;

    // Dispatches everything that has arrived. Returns false once the connection is closed. A connection that is
    // already being processed further up the stack is left alone.
    bool Process();
    // Dispatches everything that can be read now, also what still waits in the socket. Returns false once the
    // connection is closed.
    bool Drain();
    bool IsOpen() const;
    bool IsProcessing() const { return m_processing; }
    // Whether this private channel reads its socket itself rather than through sd-bus.
    bool ReadsDirectly() const { return m_reader != nullptr; }
    std::string UniqueName() const;
    void Close();
    // The last lines the program behind a "unixexec:" address wrote to its standard error, or empty.
    std::string ExecErrors() const;
    const std::string& Address() const { return m_address; }

    MessagePtr NewMethodCall(const char* destination, const char* path, const char* interface, const char* member,
                             int* error = nullptr);
    // Sends and waits for the reply; other messages that arrive meanwhile stay queued for the next Process(). On a
    // remote bus, a link that stays silent for about a second fails the call and is closed.
    int Call(sd_bus_message* call, std::uint64_t timeoutUsec, MessagePtr* reply, BusError* error);
    int Send(sd_bus_message* message);
    // The server's side of kReadDirectlyMember: once the message being dispatched is done, this connection reads
    // its socket itself. Only a private channel on one stream socket can; others stay sd-bus's.
    void ReadDirectlyAfterThisMessage() { m_readDirectlyNext = IsPeer() && !m_reader; }

private:
    Connection(sd_bus* bus, Kind kind);
    bool Dispatch(bool onlyQueued);
    int StartReader(std::uint64_t timeoutUsec);
    // Hands the socket to a PeerReader when it is a single stream socket; from then on sd-bus never reads it.
    void AdoptReader();
    int CallDirect(sd_bus_message* call, std::uint64_t timeoutUsec, MessagePtr* reply, BusError* error);
    // A remote bus's call: waits for the reply while probing the link (RemoteBus.cpp).
    int CallWatched(sd_bus_message* call, std::uint64_t timeoutUsec, MessagePtr* reply, BusError* error);
    static int HoldIncoming(sd_bus_message* m, void* userdata, sd_bus_error* error);
    // Moves what the reader has buffered to sd-bus's queue; false when the channel is broken.
    bool QueueBuffered(sd_bus_message* call);

    sd_bus* m_bus;
    Kind m_kind;
    std::uint64_t m_id = 0;
    bool m_processing = false;
    std::string m_address;
    int m_execErrors = -1;
    SlotPtr m_holdFilter; // a remote bus: keeps what arrives during a call for the loop
    bool m_holding = false;
    std::uint64_t m_lastHeard = 0; // CLOCK_MONOTONIC microseconds of the last message during a watched call
    std::vector<MessagePtr> m_held;
    bool m_settled = false;               // sd-bus has once reported nothing left since it started running
    std::unique_ptr<PeerReader> m_reader; // a private channel reads through it once running
    bool m_readerUsable = true;           // false for channels that are not one stream socket
    bool m_readDirectlyNext = false;      // the server's side: take the socket over after the current message
};

// CLOCK_MONOTONIC in microseconds, the clock of sd-bus's deadlines.
std::uint64_t MonotonicUsec();

// org.freedesktop.DBus.GetNameOwner: the unique name owning `name`, or nothing.
std::optional<std::string> GetNameOwner(Connection& bus, const std::string& name);

} // namespace ole
