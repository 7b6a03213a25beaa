// Call round-trip benchmark: the time of one `long` property read (get_GroupsNum) through the proxy, over the
// private peer-to-peer channel (the path the console uses) and through the bus daemon, against a raw Unix-socket
// ping-pong between two processes, all in the same run, and the system calls each path costs per call. Prints figures
// and asserts nothing; the last line is the ratio of the console's path to the raw ping-pong (the median of the
// ratios of rounds run side by side).
//
// It uses the session bus it finds (or starts one with dbus-run-session) and starts its own server process, which
// publishes a benchmark class of its own, so a NavilonixServer that may be running is left alone.
#include "automation/NavilonixMarshal.h"
#include "platform/ole/Bstr.h"
#include "platform/ole/Registry.h"
#include "platform/ole/RemoteAddress.h"
#include "platform/ole/Transport.h"
#include "platform/qt/QtBusPump.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <linux/perf_event.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const CLSID kBenchClass = {0x3C5E9A51, 0x7D2B, 0x4F1E, {0x9A, 0x40, 0x6B, 0x21, 0xC8, 0x0D, 0x55, 0xE3}};
// Many short rounds, the paths taking turns: on a shared machine a busy moment then falls on neighbouring rounds of
// every path alike, and the ratio of each round's pair is far steadier than a ratio of separate medians.
// NVX_BENCH_QUICK=1 runs a few calls only, for profiling under valgrind.
const bool kQuick = std::getenv("NVX_BENCH_QUICK") != nullptr;
const int kRounds = kQuick ? 3 : 61;
const int kCallsPerRound = kQuick ? 100 : 1000;
const int kWarmUp = kQuick ? 300 : 2000;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
// Answers every member at once: long reads give 7, other reads zero, writes and methods do nothing.
class BenchObject final : public INavilonixAutomation {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_INavilonixAutomation) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<INavilonixAutomation*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

#define BENCH_READ(slot, name, type)                                                                                   \
    HRESULT STDMETHODCALLTYPE get_##name(type* Value) override {                                                       \
        return Answer(Value);                                                                                          \
    }
#define BENCH_WRITE(slot, name, type)                                                                                  \
    HRESULT STDMETHODCALLTYPE set_##name(type Value) override {                                                        \
        return S_OK;                                                                                                   \
    }
#define BENCH_METHOD(slot, name, params, args)                                                                         \
    HRESULT STDMETHODCALLTYPE name params override {                                                                   \
        return S_OK;                                                                                                   \
    }
    NAVILONIX_MEMBERS(BENCH_READ, BENCH_WRITE, BENCH_METHOD)
#undef BENCH_READ
#undef BENCH_WRITE
#undef BENCH_METHOD

private:
    static HRESULT Answer(LONG* v) {
        return *v = 7, S_OK;
    }
    static HRESULT Answer(double* v) {
        return *v = 0, S_OK;
    }
    static HRESULT Answer(BSTR* v) {
        return *v = nullptr, S_OK;
    }
    static HRESULT Answer(VARIANT* v) {
        return VariantInit(v), S_OK;
    }
};
#pragma GCC diagnostic pop

} // namespace

namespace {

int RunServer(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RegisterNavilonixMarshaling();
    auto transport = InstallQtComTransport();
    transport->Transport().SetBusLostHandler([] { QCoreApplication::exit(0); });
    CoInitialize(nullptr);
    static BenchObject object;
    DWORD cookie = 0;
    if (FAILED(RegisterActiveObject(&object, kBenchClass, ACTIVEOBJECT_STRONG, &cookie))) {
        std::fprintf(stderr, "bench server: cannot publish on the session bus\n");
        return 1;
    }
    return app.exec();
}

// The raw reference: four bytes there and back over a socket pair between two processes.
void RunPong(int fd) {
    char buf[4];
    for (;;) {
        if (::read(fd, buf, sizeof buf) != sizeof buf)
            _exit(0);
        if (::send(fd, buf, sizeof buf, MSG_NOSIGNAL) != sizeof buf)
            _exit(0);
    }
}

// Counts the system calls a process enters (its thread that exists now, and threads it starts later), through the
// kernel's raw_syscalls:sys_enter tracepoint. Invalid where the tracepoint cannot be opened (no tracefs, or not
// allowed).
class SyscallCounter {
public:
    explicit SyscallCounter(pid_t pid) {
        for (const char* path : {"/sys/kernel/tracing/events/raw_syscalls/sys_enter/id",
                                 "/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id"}) {
            std::ifstream in(path);
            unsigned long long id = 0;
            if (!(in >> id))
                continue;
            perf_event_attr attr{};
            attr.type = PERF_TYPE_TRACEPOINT;
            attr.size = sizeof attr;
            attr.config = id;
            attr.inherit = 1;
            m_fd = static_cast<int>(::syscall(SYS_perf_event_open, &attr, pid, -1, -1, PERF_FLAG_FD_CLOEXEC));
            if (m_fd >= 0)
                break;
        }
    }
    SyscallCounter(const SyscallCounter&) = delete;
    SyscallCounter& operator=(const SyscallCounter&) = delete;
    ~SyscallCounter() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool valid() const { return m_fd >= 0; }
    std::uint64_t value() const {
        std::uint64_t v = 0;
        if (m_fd < 0 || ::read(m_fd, &v, sizeof v) != sizeof v)
            return 0;
        return v;
    }

private:
    int m_fd = -1;
};

double MicrosecondsPerCall(const std::function<bool()>& once, int calls) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        if (!once())
            return -1;
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / calls;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

ComPtr<INavilonixAutomation> Connect(ole::DBusTransport& transport, bool usePeer) {
    transport.SetUsePeer(usePeer);
    ComPtr<IUnknown> unknown;
    for (int i = 0; i < 200 && FAILED(GetActiveObject(kBenchClass, nullptr, unknown.out())); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ComPtr<INavilonixAutomation>::QueryFrom(unknown.get());
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--server") == 0)
        return RunServer(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--pong") == 0) {
        RunPong(std::atoi(argv[2]));
        return 0;
    }
    // Without a session bus, start one for this run.
    if (!ole::Connection::OpenSessionBus() && !std::getenv("NVX_BENCH_SESSION")) {
        setenv("NVX_BENCH_SESSION", "1", 1);
        char* args[] = {const_cast<char*>("dbus-run-session"), const_cast<char*>("--"), argv[0], nullptr};
        ::execvp("dbus-run-session", args);
        std::perror("dbus-run-session");
        return 1;
    }

    RegisterNavilonixMarshaling();
    ole::DBusTransport transport;
    CoSetTransport(&transport);
    CoInitialize(nullptr);

    pid_t server = -1;
    char serverFlag[] = "--server";
    char* serverArgs[] = {argv[0], serverFlag, nullptr};
    // The program's own path, read once: under valgrind /proc/self/exe names valgrind's launcher when spawned.
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        std::strcpy(self, argv[0]);
    if (::posix_spawn(&server, self, nullptr, nullptr, serverArgs, environ) != 0) {
        std::perror("bench server");
        return 1;
    }
    ComPtr<INavilonixAutomation> viaBus = Connect(transport, false);
    ComPtr<INavilonixAutomation> viaPeer = Connect(transport, true);
    // The remote path without the network: the bus reached through systemd-stdio-bridge, as over SSH.
    ComPtr<INavilonixAutomation> viaBridge;
    {
        const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        std::u16string bridge = Utf8ToUtf16("unixexec:path=systemd-stdio-bridge,argv1=-p,argv2=" +
                                            ole::EscapeBusAddressValue(session ? session : ""));
        COSERVERINFO machine{0, bridge.data(), nullptr, 0};
        MULTI_QI result{&IID_INavilonixAutomation, nullptr, S_OK};
        if (SUCCEEDED(CoCreateInstanceEx(kBenchClass, nullptr, CLSCTX_REMOTE_SERVER, &machine, 1, &result)))
            viaBridge = ComPtr<INavilonixAutomation>::Attach(static_cast<INavilonixAutomation*>(result.pItf));
        else
            std::fprintf(stderr, "systemd-stdio-bridge: %s\n", CoTakeErrorDetail().c_str());
    }
    if (!viaBus || !viaPeer || !viaBridge) {
        std::fprintf(stderr, "the benchmark server did not come up on the session bus\n");
        ::kill(server, SIGTERM);
        return 1;
    }

    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return 1;
    pid_t pong = ::fork();
    if (pong == 0) {
        ::close(fds[0]);
        RunPong(fds[1]);
    }
    ::close(fds[1]);

    auto raw = [fd = fds[0]] {
        char buf[4] = {'p', 'i', 'n', 'g'};
        return ::send(fd, buf, sizeof buf, MSG_NOSIGNAL) == sizeof buf && ::read(fd, buf, sizeof buf) == sizeof buf;
    };
    auto read = [](INavilonixAutomation* a) {
        return [a] {
            LONG value = 0;
            return SUCCEEDED(a->get_GroupsNum(&value)) && value == 7;
        };
    };
    const std::function<bool()> paths[] = {raw, read(viaBus.get()), read(viaPeer.get()), read(viaBridge.get())};
    std::vector<double> results[4];
    for (const auto& path : paths)
        MicrosecondsPerCall(path, kWarmUp);
    // System calls per call, client and server (or pong) together; the bus daemon's own are not counted.
    double syscallsPerCall[3] = {-1, -1, -1};
    {
        SyscallCounter self(0);
        SyscallCounter peerServer(server);
        SyscallCounter peerPong(pong);
        for (int p = 0; p < 3; ++p) {
            const SyscallCounter& other = p == 0 ? peerPong : peerServer;
            if (!self.valid() || !other.valid())
                break;
            const std::uint64_t before = self.value() + other.value();
            MicrosecondsPerCall(paths[p], kWarmUp);
            const std::uint64_t after = self.value() + other.value();
            syscallsPerCall[p] = static_cast<double>(after - before) / kWarmUp;
        }
    }
    // Rounds interleave the three paths, so that a busy moment of the machine falls on all of them alike.
    for (int round = 0; round < kRounds; ++round)
        for (int p = 0; p < 4; ++p)
            results[p].push_back(MicrosecondsPerCall(paths[p], kCallsPerRound));

    ::close(fds[0]);
    ::waitpid(pong, nullptr, 0);
    viaBus.reset();
    viaPeer.reset();
    viaBridge.reset();
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);

    for (const auto& r : results)
        if (std::find(r.begin(), r.end(), -1.0) != r.end()) {
            std::fprintf(stderr, "a call failed during the benchmark\n");
            return 1;
        }
    // Each round's ratio of path `a` to path `b`.
    const auto roundRatios = [&results](int a, int b) {
        std::vector<double> ratios;
        for (std::size_t round = 0; round < results[a].size(); ++round)
            ratios.push_back(results[a][round] / results[b][round]);
        return ratios;
    };
    const std::vector<double> pairRatios = roundRatios(2, 0);
    const std::vector<double> bridgeToBus = roundRatios(3, 1);
    const double rawUs = Median(results[0]);
    const double busUs = Median(results[1]);
    const double peerUs = Median(results[2]);
    std::printf("Round trip of one long property read (get_GroupsNum), median of %d rounds of %d calls:\n", kRounds,
                kCallsPerRound);
    std::printf("  raw Unix-socket ping-pong between two processes   %8.2f us\n", rawUs);
    std::printf("  proxy through the bus daemon                      %8.2f us   %.2f x raw\n", busUs, busUs / rawUs);
    std::printf("  proxy over the private peer-to-peer channel       %8.2f us   %.2f x raw\n", peerUs, peerUs / rawUs);
    const double bridgeUs = Median(results[3]);
    std::printf("  proxy through systemd-stdio-bridge -p (remote     %8.2f us   %.2f x raw\n"
                "    path without the network; SSH's round trip comes on top)\n",
                bridgeUs, bridgeUs / rawUs);
    const double rawBest = *std::min_element(results[0].begin(), results[0].end());
    const double busBest = *std::min_element(results[1].begin(), results[1].end());
    const double peerBest = *std::min_element(results[2].begin(), results[2].end());
    if (syscallsPerCall[0] >= 0)
        std::printf("System calls per call (both processes; the bus daemon's not counted): raw %.2f, bus daemon path "
                    "%.2f, private channel %.2f\n",
                    syscallsPerCall[0], syscallsPerCall[1], syscallsPerCall[2]);
    else
        std::printf("System calls per call: not counted here (the raw_syscalls tracepoint cannot be opened; count with "
                    "strace -f -c)\n");
    const double bridgeBest = *std::min_element(results[3].begin(), results[3].end());
    std::printf("Best rounds: raw %.2f us, bus daemon %.2f us (%.2f x), private channel %.2f us (%.2f x), "
                "systemd-stdio-bridge %.2f us (%.2f x)\n",
                rawBest, busBest, busBest / rawBest, peerBest, peerBest / rawBest, bridgeBest, bridgeBest / rawBest);
    std::printf("The remote path against the bus daemon's, round by round: median %.2f x\n", Median(bridgeToBus));
    std::printf("The console uses the private channel. Its ratio to the raw ping-pong, round by round: median %.2f, "
                "best %.2f\n",
                Median(pairRatios), *std::min_element(pairRatios.begin(), pairRatios.end()));
    std::printf("ratio: %.2f\n", Median(pairRatios));
    return 0;
}
