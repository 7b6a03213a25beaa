// Call round-trip benchmark: the time of one `long` property read (get_GroupsNum) through the proxy, over the
// private peer-to-peer channel (the path the console uses) and through the bus daemon, against a raw Unix-socket
// ping-pong between two processes, all in the same run. Prints figures and asserts nothing; the last line is the
// ratio of the console's path to the raw ping-pong.
//
// It uses the session bus it finds (or starts one with dbus-run-session) and starts its own server process, which
// publishes a benchmark class of its own, so a NavilonixServer that may be running is left alone.
#include "automation/NavilonixMarshal.h"
#include "platform/ole/Bstr.h"
#include "platform/ole/Registry.h"
#include "platform/ole/RemoteBus.h"
#include "platform/ole/Transport.h"
#include "platform/qt/QtBusPump.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const CLSID kBenchClass = {0x3C5E9A51, 0x7D2B, 0x4F1E, {0x9A, 0x40, 0x6B, 0x21, 0xC8, 0x0D, 0x55, 0xE3}};
constexpr int kRounds = 15;
constexpr int kCallsPerRound = 5000;
constexpr int kWarmUp = 2000;

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
    transport->transport().SetBusLostHandler([] { QCoreApplication::exit(0); });
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
    if (::posix_spawn(&server, "/proc/self/exe", nullptr, nullptr, serverArgs, environ) != 0) {
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
            std::fprintf(stderr, "systemd-stdio-bridge: %s\n", CoTakeRemoteErrorText().c_str());
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
    std::printf("Best rounds: raw %.2f us, bus daemon %.2f us (%.2f x), private channel %.2f us (%.2f x)\n", rawBest,
                busBest, busBest / rawBest, peerBest, peerBest / rawBest);
    std::printf("The console uses the private channel.\n");
    std::printf("ratio: %.2f\n", peerUs / rawUs);
    return 0;
}
