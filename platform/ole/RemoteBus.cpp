#include "platform/ole/RemoteAddress.h"

#include "platform/ole/Bus.h"
#include "platform/ole/ErrorText.h"
#include "platform/ole/Proxy.h"
#include "platform/ole/Transport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ole {

namespace {

constexpr const char* kLinkEnded = "the link to the remote bus ended before the bus answered";

// A call on a remote bus watches the link: after this long without any message the far bus daemon is pinged, and
// a link that stays silent for kSilentLinkUsec is given up. A link that works answers a ping within a round trip,
// whatever the server is busy with; one whose network, SSH or bridge has stopped never does. The limit leaves room
// for a congested network or a loaded far machine, whose answers can take a second or two.
constexpr std::uint64_t kProbeAfterUsec = 250'000;
constexpr std::uint64_t kSilentLinkUsec = 5'000'000;

// What a watched call waits for: its reply, and the answer to the link probe on its way.
struct WatchedCall {
    std::uint64_t* lastHeard = nullptr;
    bool done = false;
    bool probing = false;
    MessagePtr reply;
};

int TakeReply(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* call = static_cast<WatchedCall*>(userdata);
    *call->lastHeard = MonotonicUsec();
    call->done = true;
    call->reply.reset(sd_bus_message_ref(m));
    return 1;
}

int TakeProbeAnswer(sd_bus_message*, void* userdata, sd_bus_error*) {
    auto* call = static_cast<WatchedCall*>(userdata);
    *call->lastHeard = MonotonicUsec(); // any answer, an error too, proves the link
    call->probing = false;
    return 1;
}

// The last few non-empty lines of what a started program wrote to `fd`: what went wrong comes last.
std::string ErrorTail(int fd) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) < 0 || st.st_size <= 0)
        return {};
    constexpr off_t kTail = 4096;
    const off_t from = st.st_size > kTail ? st.st_size - kTail : 0;
    std::string text(static_cast<std::size_t>(st.st_size - from), '\0');
    const ssize_t n = pread(fd, text.data(), text.size(), from);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    constexpr std::size_t kLines = 4;
    std::string result;
    for (std::size_t i = lines.size() > kLines ? lines.size() - kLines : 0; i < lines.size(); ++i)
        result += (result.empty() ? "" : "\n") + lines[i];
    return result;
}

// The program a "unixexec:" address runs, when it cannot be found: its name; otherwise empty.
std::string MissingProgram(const std::string& address) {
    if (address.rfind("unixexec:", 0) != 0)
        return {};
    const auto key = address.find("path=");
    if (key == std::string::npos)
        return {};
    std::string path;
    for (std::size_t i = key + 5; i < address.size() && address[i] != ',' && address[i] != ';'; ++i) {
        if (address[i] == '%' && i + 2 < address.size()) {
            path.push_back(static_cast<char>(std::stoi(address.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            path.push_back(address[i]);
        }
    }
    if (path.find('/') != std::string::npos)
        return ::access(path.c_str(), X_OK) == 0 ? std::string() : path;
    const char* search = std::getenv("PATH");
    std::string folders = search ? search : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        if (::access(((folder.empty() ? "." : folder) + "/" + path).c_str(), X_OK) == 0)
            return {};
        start = end + 1;
    }
    return path;
}

} // namespace

// --- the connection ---

std::unique_ptr<Connection> Connection::OpenRemote(const std::string& address, int* error, std::string* said) {
    sd_bus* bus = nullptr;
    int r = sd_bus_new(&bus);
    if (r >= 0)
        r = sd_bus_set_address(bus, address.c_str());
    if (r >= 0)
        r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0)
        r = sd_bus_negotiate_fds(bus, 0); // descriptors do not cross machines
    int errors = -1;
    if (r >= 0) {
        // sd-bus starts the program of a "unixexec:" address with our standard error. For the time of the start
        // that is a memory file, so that SSH's own words can be shown when the link fails; a file never blocks
        // the writer the way a full pipe would.
        static std::mutex startMutex;
        std::lock_guard lock(startMutex);
        errors = memfd_create("navilonix-remote-errors", MFD_CLOEXEC);
        const int saved = errors >= 0 ? fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
        std::fflush(stderr);
        if (saved >= 0 && dup2(errors, STDERR_FILENO) < 0) {
            ::close(saved);
            ::close(std::exchange(errors, -1));
        }
        r = sd_bus_start(bus);
        if (saved >= 0) {
            dup2(saved, STDERR_FILENO);
            ::close(saved);
        }
    }
    if (error)
        *error = r < 0 ? -r : 0;
    if (r < 0) {
        if (bus)
            sd_bus_close_unref(bus); // waits for the started program, so all it said is in the file
        if (said)
            *said = ErrorTail(errors);
        if (errors >= 0)
            ::close(errors);
        return nullptr;
    }
    auto connection = std::unique_ptr<Connection>(new Connection(bus, Kind::RemoteBus));
    connection->m_address = address;
    connection->m_execErrors = errors;
    sd_bus_slot* filter = nullptr;
    if (sd_bus_add_filter(bus, &filter, &Connection::HoldIncoming, connection.get()) >= 0)
        connection->m_holdFilter.reset(filter);
    return connection;
}

int Connection::HoldIncoming(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<Connection*>(userdata);
    if (!self->m_holding)
        return 0;
    self->m_lastHeard = MonotonicUsec();
    self->m_held.emplace_back(sd_bus_message_ref(m));
    return 1; // handled for now: it goes back to the queue when the call is over
}

int Connection::CallWatched(sd_bus_message* call, std::uint64_t timeoutUsec, MessagePtr* reply, BusError* error) {
    reply->reset();
    if (!m_holdFilter) {
        sd_bus_message* answer = nullptr;
        const int r = sd_bus_call(m_bus, call, timeoutUsec, error->get(), &answer);
        reply->reset(answer);
        return r;
    }
    // sd-bus runs the reply's callback as it processes; everything else that arrives meanwhile is held by the
    // filter and queued again afterwards, in order, so that no handler runs inside the call.
    WatchedCall pending;
    pending.lastHeard = &m_lastHeard;
    sd_bus_slot* raw = nullptr;
    int r = sd_bus_call_async(m_bus, &raw, call, &TakeReply, &pending, timeoutUsec);
    if (r < 0)
        return sd_bus_error_set_errno(error->get(), r);
    SlotPtr slot(raw);
    SlotPtr probe;
    m_holding = true;
    m_lastHeard = MonotonicUsec();
    bool silent = false;
    while (!pending.done) {
        r = sd_bus_process(m_bus, nullptr);
        if (r < 0)
            break;
        if (r > 0)
            continue;
        const std::uint64_t now = MonotonicUsec();
        std::uint64_t wait = UINT64_MAX;
        if (sd_bus_is_ready(m_bus) <= 0) {
            // Still starting (SSH's own connect timeout bounds that); silence counts once the bus runs.
            m_lastHeard = now;
        } else if (now - m_lastHeard >= kSilentLinkUsec) {
            silent = true;
            break;
        } else {
            if (!pending.probing && now - m_lastHeard >= kProbeAfterUsec) {
                probe.reset();
                r = sd_bus_call_method_async(m_bus, &raw, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                             "org.freedesktop.DBus.Peer", "Ping", &TakeProbeAnswer, &pending, nullptr);
                if (r < 0)
                    break;
                probe.reset(raw);
                pending.probing = true;
            }
            wait = m_lastHeard + (pending.probing ? kSilentLinkUsec : kProbeAfterUsec) - now;
        }
        r = sd_bus_wait(m_bus, wait);
        if (r < 0)
            break;
    }
    // What sd-bus has queued behind the reply is held too, so that the order stays.
    while (pending.done && IsOpen() && Deadline() == 0 && sd_bus_process(m_bus, nullptr) > 0) {
    }
    m_holding = false;
    slot.reset();
    probe.reset();
    // Both ends of the link are told that it is over: SSH quits on it, and the event loop finds the connection
    // closed and retires it (closing it here would leave the loop watching a descriptor that is no more).
    if (silent)
        ::shutdown(sd_bus_get_fd(m_bus), SHUT_RDWR);
    std::vector<MessagePtr> held = std::move(m_held);
    m_held.clear();
    for (MessagePtr& m : held)
        if (!IsOpen() || sd_bus_enqueue_for_read(m_bus, m.get()) < 0)
            break;
    if (silent)
        return sd_bus_error_set(error->get(), SD_BUS_ERROR_DISCONNECTED, "the link to the remote bus went silent");
    if (!pending.done)
        return sd_bus_error_set_errno(error->get(), r < 0 ? r : -ECONNRESET);
    if (const sd_bus_error* e = sd_bus_message_get_error(pending.reply.get()))
        return sd_bus_error_copy(error->get(), e);
    *reply = std::move(pending.reply);
    return 1;
}

std::string Connection::ExecErrors() const {
    return ErrorTail(m_execErrors);
}

// --- the transport's side ---

Connection* DBusTransport::RemoteBus(const std::string& address, std::string* detail) {
    for (const auto& c : m_connections)
        if (c->Is(Connection::Kind::RemoteBus) && c->Address() == address && c->IsOpen())
            return c.get();
    if (const std::string missing = MissingProgram(address); !missing.empty()) {
        *detail = "cannot run " + missing + ": no such program";
        return nullptr;
    }
    int error = 0;
    auto bus = Connection::OpenRemote(address, &error, detail);
    if (!bus) {
        if (detail->empty())
            *detail = std::string(kLinkEnded) + " (" + ErrnoText(error) + ")";
        return nullptr;
    }
    return Adopt(std::move(bus));
}

void DBusTransport::DropUnusedRemoteBus(std::uint64_t id) {
    Connection* bus = ConnectionById(id);
    if (!bus || !bus->Is(Connection::Kind::RemoteBus))
        return;
    for (RemoteObject* remote : m_remotes)
        if (remote->HomeId() == id)
            return;
    Retire(bus); // ends the bridge and the SSH connection behind it
}

HRESULT DBusTransport::CreateRemoteInstance(REFCLSID clsid, const std::string& machine, REFIID iid, void** object,
                                            std::string* detail) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    detail->clear();
    if (!OnOwnerThread())
        return RPC_E_WRONG_THREAD;
    std::string address;
    if (!RemoteBusAddress(machine, &address, detail))
        return E_INVALIDARG;
    // A link kept from an earlier connect may have died unnoticed; then one fresh attempt follows.
    for (int attempt = 0; attempt < 2; ++attempt) {
        Connection* bus = RemoteBus(address, detail);
        if (!bus)
            return RPC_S_SERVER_UNAVAILABLE_HR;
        const std::uint64_t id = bus->Id();
        const bool reused =
            std::any_of(m_remotes.begin(), m_remotes.end(), [id](RemoteObject* r) { return r->HomeId() == id; });
        const HRESULT hr = CreateOnBus(*bus, clsid, iid, object, detail);
        if (SUCCEEDED(hr))
            return hr;
        if (ConnectionById(id) == bus && bus->IsOpen()) {
            DropUnusedRemoteBus(id);
            return hr; // the machine answered: the failure is the server's or the class's
        }
        // The link itself failed: SSH's or the bridge's own words tell why.
        std::string why = bus->ExecErrors();
        if (why.empty())
            why = kLinkEnded;
        *detail = why;
        if (ConnectionById(id) == bus)
            Retire(bus);
        if (!reused)
            return RPC_S_SERVER_UNAVAILABLE_HR;
    }
    return RPC_S_SERVER_UNAVAILABLE_HR;
}

} // namespace ole
