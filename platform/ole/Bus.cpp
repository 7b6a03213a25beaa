#include "platform/ole/Bus.h"

#include "platform/ole/ErrorText.h"
#include "platform/ole/PeerReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace ole {

std::string GuidDigits(REFGUID g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X_%04X_%04X_%02X%02X_%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::string BusNameForClass(REFCLSID clsid) {
    return "ole.CLSID_" + GuidDigits(clsid);
}

std::string InterfaceNameFor(REFIID iid) {
    return "ole.IID_" + GuidDigits(iid);
}

std::string ErrorNameFor(HRESULT code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(code));
    return std::string(kErrorPrefix) + buf;
}

std::optional<HRESULT> HResultFromErrorName(std::string_view name) {
    if (name.substr(0, kErrorPrefix.size()) != kErrorPrefix)
        return std::nullopt;
    const std::string_view digits = name.substr(kErrorPrefix.size());
    if (digits.size() != 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        if (d < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return static_cast<HRESULT>(value);
}

std::optional<IID> ReadInterfaceId(sd_bus_message* call, int* handled) {
    const char* text = nullptr;
    *handled = sd_bus_message_read(call, "s", &text);
    if (*handled < 0)
        return std::nullopt;
    const auto iid = GuidFromString(text ? text : "");
    if (!iid)
        *handled = sd_bus_reply_method_errorf(call, SD_BUS_ERROR_INVALID_ARGS, "Not an interface identifier: %s", text);
    return iid;
}

int ReplyWithResult(sd_bus_message* call, HRESULT code) {
    std::string text = SystemErrorLine(code);
    if (text.empty()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "OLE error %08X", static_cast<unsigned>(code));
        text = buf;
    }
    return sd_bus_reply_method_errorf(call, ErrorNameFor(code).c_str(), "%s", text.c_str());
}

HRESULT HResultFromCallFailure(int result, const sd_bus_error* error, bool* peerGone) {
    *peerGone = false;
    const std::string_view name = error && error->name ? error->name : "";
    if (const auto code = HResultFromErrorName(name))
        return *code;
    if (name == SD_BUS_ERROR_SERVICE_UNKNOWN || name == SD_BUS_ERROR_NAME_HAS_NO_OWNER ||
        name == SD_BUS_ERROR_DISCONNECTED || name == SD_BUS_ERROR_NO_SERVER) {
        *peerGone = true;
        return RPC_S_SERVER_UNAVAILABLE_HR;
    }
    if (name == SD_BUS_ERROR_NO_REPLY || name == SD_BUS_ERROR_TIMEOUT || name == "org.freedesktop.DBus.Error.TimedOut")
        return RPC_S_SERVER_UNAVAILABLE_HR;
    if (name == SD_BUS_ERROR_UNKNOWN_METHOD || name == SD_BUS_ERROR_UNKNOWN_PROPERTY)
        return DISP_E_MEMBERNOTFOUND;
    if (name == SD_BUS_ERROR_UNKNOWN_OBJECT || name == SD_BUS_ERROR_UNKNOWN_INTERFACE)
        return E_NOINTERFACE;
    if (name == SD_BUS_ERROR_INVALID_ARGS || name == SD_BUS_ERROR_INCONSISTENT_MESSAGE)
        return E_INVALIDARG;
    if (name == SD_BUS_ERROR_ACCESS_DENIED)
        return E_ACCESSDENIED;
    if (name == SD_BUS_ERROR_NO_MEMORY)
        return E_OUTOFMEMORY;
    if (!name.empty() && name.substr(0, 13) != "System.Error.")
        return RPC_S_CALL_FAILED_HR;
    // A local failure: the errno tells what happened to the channel.
    switch (-result) {
    case ECONNRESET:
    case ENOTCONN:
    case EPIPE:
    case ECONNREFUSED:
    case ESHUTDOWN:
    case ECONNABORTED:
        *peerGone = true;
        return RPC_S_SERVER_UNAVAILABLE_HR;
    case ETIMEDOUT:
        return RPC_S_SERVER_UNAVAILABLE_HR;
    case ENOMEM:
        return E_OUTOFMEMORY;
    default:
        return RPC_S_CALL_FAILED_HR;
    }
}

std::uint64_t MonotonicUsec() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}

std::unique_ptr<Connection> Connection::OpenSessionBus(int* error) {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (error)
        *error = r < 0 ? -r : 0;
    if (r < 0)
        return nullptr;
    return std::unique_ptr<Connection>(new Connection(bus, Kind::SessionBus));
}

std::unique_ptr<Connection> Connection::OpenPeer(int fd, Kind kind, int* error) {
    sd_bus* bus = nullptr;
    int r = sd_bus_new(&bus);
    if (r >= 0)
        r = sd_bus_set_fd(bus, fd, fd);
    if (r >= 0 && kind == Kind::PeerServer) {
        sd_id128_t id;
        r = sd_id128_randomize(&id);
        if (r >= 0)
            r = sd_bus_set_server(bus, 1, id);
    }
    if (r >= 0)
        r = sd_bus_set_trusted(bus, 1); // the peer is the process that asked over the user's own bus
    if (r >= 0)
        r = sd_bus_start(bus);
    if (error)
        *error = r < 0 ? -r : 0;
    if (r < 0) {
        if (bus)
            sd_bus_close_unref(bus); // closes the descriptor once it was handed over
        else
            ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<Connection>(new Connection(bus, kind));
}

Connection::Connection(sd_bus* bus, Kind kind) : m_bus(bus), m_kind(kind) {}

Connection::~Connection() {
    m_held.clear();
    m_holdFilter.reset();
    if (m_kind == Kind::SessionBus)
        sd_bus_flush_close_unref(m_bus);
    else
        sd_bus_close_unref(m_bus); // never wait on a peer that does not read
    if (m_execErrors >= 0)
        ::close(m_execErrors);
}

int Connection::Fd() const {
    return sd_bus_get_fd(m_bus);
}

int Connection::Events() const {
    return sd_bus_get_events(m_bus);
}

std::uint64_t Connection::Deadline() const {
    std::uint64_t usec = UINT64_MAX;
    if (sd_bus_get_timeout(m_bus, &usec) < 0)
        return UINT64_MAX;
    return usec;
}

bool Connection::Process() {
    // Goes on while work is queued in this process; what still waits in the socket wakes the loop again, so no
    // read is spent just to learn that nothing more has come.
    return Dispatch(true);
}

bool Connection::Drain() {
    return Dispatch(false);
}

bool Connection::Dispatch(bool onlyQueued) {
    if (m_processing)
        return IsOpen();
    m_processing = true;
    if (m_reader) {
        // One read of what has come (until nothing is left when draining); sd-bus then dispatches from its
        // queue, which keeps it from reading the socket itself.
        int r = 0;
        do {
            r = m_reader->Fill(0);
        } while (r > 0 && !onlyQueued);
        // What came before the end of the stream is still delivered; the channel closes after it.
        const bool queued = QueueBuffered(nullptr);
        const bool broken = (r < 0 && r != -EAGAIN) || !queued;
        while (Deadline() == 0 && sd_bus_process(m_bus, nullptr) > 0) {
        }
        if (broken)
            sd_bus_close(m_bus);
        else if (IsOpen() && (Events() & POLLOUT))
            sd_bus_flush(m_bus);
        m_processing = false;
        return IsOpen();
    }
    int r = 0;
    do {
        r = sd_bus_process(m_bus, nullptr);
    } while (r > 0 && !m_readDirectlyNext && (!onlyQueued || !m_settled || Deadline() == 0));
    if (m_readDirectlyNext) {
        // The peer waits for the reply just sent, so sd-bus holds no bytes of a later message: the socket is ours.
        m_readDirectlyNext = false;
        AdoptReader();
        m_processing = false;
        return r >= 0 && IsOpen();
    }
    // Authentication reads ahead: a peer may send its first messages in the same write as its last
    // authentication line, and those bytes then sit in sd-bus's buffer where neither the queue nor the socket
    // shows them. Until sd-bus once reports nothing left on a running connection, every pass goes on to that
    // point. From then on sd-bus reads each message by its exact length, so what remains is queued (deadline
    // zero) or still in the socket (the loop wakes).
    if (r == 0 && !m_settled && sd_bus_is_ready(m_bus) > 0)
        m_settled = true;
    m_processing = false;
    return r >= 0 && IsOpen();
}

bool Connection::IsOpen() const {
    return sd_bus_is_open(m_bus) > 0;
}

std::string Connection::UniqueName() const {
    const char* name = nullptr;
    if (sd_bus_get_unique_name(m_bus, &name) < 0 || !name)
        return {};
    return name;
}

void Connection::Close() {
    sd_bus_close(m_bus);
}

MessagePtr Connection::NewMethodCall(const char* destination, const char* path, const char* interface,
                                     const char* member, int* error) {
    sd_bus_message* m = nullptr;
    const int r = sd_bus_message_new_method_call(m_bus, &m, destination, path, interface, member);
    if (error)
        *error = r;
    return MessagePtr(r < 0 ? nullptr : m);
}

int Connection::Call(sd_bus_message* call, std::uint64_t timeoutUsec, MessagePtr* reply, BusError* error) {
    if (m_kind == Kind::PeerClient && m_readerUsable) {
        const int r = StartReader(timeoutUsec);
        if (r < 0)
            return sd_bus_error_set_errno(error->get(), r);
    }
    if (m_reader)
        return CallDirect(call, timeoutUsec, reply, error);
    // Inside a handler sd-bus cannot process messages; the plain call reads them into its queue.
    if (m_kind == Kind::RemoteBus && !m_holding && !sd_bus_get_current_message(m_bus))
        return CallWatched(call, timeoutUsec, reply, error);
    sd_bus_message* answer = nullptr;
    const int r = sd_bus_call(m_bus, call, timeoutUsec, error->get(), &answer);
    reply->reset(answer);
    return r;
}

int Connection::StartReader(std::uint64_t timeoutUsec) {
    if (m_reader)
        return 0;
    // Authentication is sd-bus's. The server says nothing on its own before our first call, so once the channel
    // runs, sd-bus holds no message bytes and the reader can take the socket over.
    const std::uint64_t end = MonotonicUsec() + timeoutUsec;
    for (;;) {
        int r = sd_bus_is_ready(m_bus);
        if (r > 0)
            break;
        if (r < 0)
            return r;
        r = sd_bus_process(m_bus, nullptr);
        if (r < 0)
            return r;
        if (r > 0)
            continue;
        const std::uint64_t now = MonotonicUsec();
        if (now >= end)
            return -ETIMEDOUT;
        r = sd_bus_wait(m_bus, end - now);
        if (r < 0)
            return r;
    }
    AdoptReader();
    if (!m_reader)
        return 0;
    // Lets the server read its side the same way. A server that does not know the call answers with an error and
    // keeps reading through sd-bus; either way the channel works.
    MessagePtr promise = NewMethodCall(nullptr, kObjectPath, kTransportInterface, kReadDirectlyMember);
    if (!promise)
        return -ENOMEM;
    MessagePtr reply;
    BusError error;
    const int r = CallDirect(promise.get(), timeoutUsec, &reply, &error);
    return r < 0 && !IsOpen() ? r : 0;
}

void Connection::AdoptReader() {
    // Only a single stream socket for both directions can be read this way; other channels stay sd-bus's.
    const int fd = sd_bus_get_fd(m_bus);
    int type = 0;
    socklen_t length = sizeof type;
    if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) < 0 || type != SOCK_STREAM) {
        m_readerUsable = false;
        return;
    }
    m_reader = std::make_unique<PeerReader>(m_bus, fd);
}

bool Connection::QueueBuffered(sd_bus_message* call) {
    for (;;) {
        PeerReader::Incoming in;
        const int r = m_reader->Next(call, &in);
        if (r < 0)
            return false;
        if (r == 0)
            return true;
        if (in.message && sd_bus_enqueue_for_read(m_bus, in.message.get()) < 0)
            return false;
    }
}

int Connection::CallDirect(sd_bus_message* call, std::uint64_t timeoutUsec, MessagePtr* reply, BusError* error) {
    reply->reset();
    std::uint64_t cookie = 0;
    int r = sd_bus_send(m_bus, call, &cookie);
    if (r >= 0 && (Events() & POLLOUT))
        r = sd_bus_flush(m_bus); // a large call not yet written whole: the reply cannot come before it is
    if (r < 0)
        return sd_bus_error_set_errno(error->get(), r);
    if (timeoutUsec == 0)
        timeoutUsec = 25'000'000; // sd-bus's own default
    const std::uint64_t end = MonotonicUsec() + timeoutUsec;
    while (r >= 0) {
        // Messages already buffered first: what came before the reply is queued for the loop, in order.
        PeerReader::Incoming in;
        r = m_reader->Next(call, &in);
        if (r < 0)
            break;
        if (r > 0) {
            if (in.stray || in.replyCookie != cookie || (in.type != 2 && in.type != 3)) {
                if (in.message && (r = sd_bus_enqueue_for_read(m_bus, in.message.get())) < 0)
                    break;
                continue;
            }
            if (in.type == 3)
                return sd_bus_error_set(error->get(), in.errorName.c_str(),
                                        in.errorText.empty() ? nullptr : in.errorText.c_str());
            *reply = std::move(in.message);
            return 1;
        }
        const std::uint64_t now = MonotonicUsec();
        if (now >= end) {
            r = -ETIMEDOUT;
            break;
        }
        r = m_reader->Fill(static_cast<int>(std::min<std::uint64_t>((end - now + 999) / 1000, 1 << 30)));
        if (r == -EAGAIN)
            r = 0;
    }
    if (r != -ETIMEDOUT && r != -ENOMEM)
        sd_bus_close(m_bus); // the peer is gone or spoke nonsense: the channel is of no further use
    return sd_bus_error_set_errno(error->get(), r);
}

int Connection::Send(sd_bus_message* message) {
    return sd_bus_send(m_bus, message, nullptr);
}

std::optional<std::string> GetNameOwner(Connection& bus, const std::string& name) {
    MessagePtr call =
        bus.NewMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner");
    if (!call || sd_bus_message_append(call.get(), "s", name.c_str()) < 0)
        return std::nullopt;
    BusError error;
    MessagePtr reply;
    int r = bus.Call(call.get(), 0, &reply, &error);
    if (r < 0)
        return std::nullopt;
    const char* owner = nullptr;
    r = sd_bus_message_read(reply.get(), "s", &owner);
    if (r < 0 || !owner)
        return std::nullopt;
    return std::string(owner);
}

} // namespace ole
