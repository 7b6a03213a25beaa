// Servers on another machine's session bus. The program's own session bus plays the far machine's: the runtime
// reaches it only through "unixexec:" running systemd-stdio-bridge (the remote path with the SSH hop left out),
// and once through a real SSH server on this machine when one can be started.
#include "automation/NavilonixMarshal.h"
#include "automation/Navilonix_OCX.h"
#include "platform/ole/Registry.h"
#include "platform/ole/RemoteAddress.h"
#include "platform/ole/ServiceFile.h"
#include "platform/qt/QtBusPump.h"
#include "platform/rtl/Exceptions.h"
#include "tests/support/BusServers.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/RecordingSink.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

QtComTransport* g_transport = nullptr;
std::string g_busAddress; // the bus that plays the far machine's

std::string BridgeAddress() {
    return "unixexec:path=systemd-stdio-bridge,argv1=-p,argv2=" + ole::EscapeBusAddressValue(g_busAddress);
}

struct Process {
    pid_t pid;
    pid_t parent;
    char state;
    std::string command;
};

// Every process of the machine, from /proc.
std::vector<Process> Processes() {
    std::vector<Process> all;
    DIR* proc = ::opendir("/proc");
    while (dirent* e = proc ? ::readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(e->d_name);
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string line;
        if (pid <= 0 || !std::getline(stat, line))
            continue;
        const auto open = line.find('(');
        const auto close = line.rfind(')');
        char state = 0;
        int parent = 0;
        if (open != std::string::npos && close != std::string::npos &&
            std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2)
            all.push_back({pid, parent, state, line.substr(open + 1, close - open - 1)});
    }
    if (proc)
        ::closedir(proc);
    return all;
}

// This process's children whose command is the bridge.
std::vector<pid_t> BridgeProcesses() {
    std::vector<pid_t> found;
    for (const Process& p : Processes())
        if (p.parent == ::getpid() && p.state != 'Z' && p.command.rfind("systemd-stdio-b", 0) == 0)
            found.push_back(p.pid);
    return found;
}

class RemoteConnectTest : public ::testing::Test {
protected:
    void TearDown() override {
        automation.reset();
        servers.Stop();
        // A link nobody uses any more is closed, and its bridge with it.
        EXPECT_TRUE(RunLoopUntil([] { return BridgeProcesses().empty(); }));
    }

    HRESULT ConnectTo(const std::string& machine) {
        std::u16string name = Utf8ToUtf16(machine);
        COSERVERINFO server{0, name.data(), nullptr, 0};
        MULTI_QI result{&IID_INavilonixAutomation, nullptr, S_OK};
        const HRESULT hr =
            CoCreateInstanceEx(CLSID_NavilonixAutomation, nullptr, CLSCTX_REMOTE_SERVER, &server, 1, &result);
        automation = ComPtr<INavilonixAutomation>::Attach(static_cast<INavilonixAutomation*>(result.pItf));
        return hr;
    }
    pid_t ServerPid() { return servers.AdoptTestServer(automation.get()); }
    pid_t SpawnServer() {
        const pid_t pid = servers.Start();
        EXPECT_TRUE(servers.WaitUntilUp());
        return pid;
    }
    // Connects through the bridge to the running `server`; `*bridge` is the bridge's process.
    void ConnectThroughBridge(pid_t server, pid_t* bridge) {
        ASSERT_EQ(ConnectTo(BridgeAddress()), S_OK);
        ASSERT_EQ(ServerPid(), server);
        const std::vector<pid_t> bridges = BridgeProcesses();
        ASSERT_EQ(bridges.size(), 1u);
        *bridge = bridges.front();
    }
    HRESULT Command(const char* text) {
        BStr command(text);
        return automation->EnterPassword(command.get());
    }
    // The runtime's connections of each kind.
    int Connections(ole::Connection::Kind kind) {
        int n = 0;
        for (ole::Connection* c : g_transport->Transport().Connections())
            n += c->Is(kind);
        return n;
    }

    ComPtr<INavilonixAutomation> automation;
    // The far bus is asked about the server on a connection of the test's own: the runtime reaches it only
    // through the bridge.
    BusServers servers{{.program = NVX_TEST_SERVER, .up = ServerNameOwned}};
};

TEST_F(RemoteConnectTest, TheFarBusActivatesTheServerAndCarriesEveryKindOfCall) {
    ASSERT_TRUE(servers.RegisterForActivation());
    ASSERT_EQ(ConnectTo(BridgeAddress()), S_OK);
    ASSERT_TRUE(automation);
    EXPECT_GT(ServerPid(), 0);
    // Only the far bus carries the calls: no session bus of this machine, no private channel.
    EXPECT_EQ(Connections(ole::Connection::Kind::RemoteBus), 1);
    EXPECT_EQ(Connections(ole::Connection::Kind::SessionBus), 0);
    EXPECT_EQ(Connections(ole::Connection::Kind::PeerClient), 0);

    BStr text("Склад «Южный», ворота №3");
    ASSERT_EQ(automation->set_CheckPointAddress(text.get()), S_OK);
    BStr back;
    ASSERT_EQ(automation->get_CheckPointAddress(back.out()), S_OK);
    EXPECT_EQ(back.utf8(), "Склад «Южный», ворота №3");
    ASSERT_EQ(automation->set_CheckPointLatitude(-33.8688), S_OK);
    double latitude = 0;
    ASSERT_EQ(automation->get_CheckPointLatitude(&latitude), S_OK);
    EXPECT_EQ(latitude, -33.8688);
    ASSERT_EQ(automation->set_CheckPointRadius(250), S_OK);
    LONG radius = 0;
    ASSERT_EQ(automation->get_CheckPointRadius(&radius), S_OK);
    EXPECT_EQ(radius, 250);
    Variant variant;
    ASSERT_EQ(automation->get_TrackCrdsArray(variant.get()), S_OK);
    ASSERT_EQ(variant.get()->vt, VT_BSTR);
    EXPECT_EQ(BstrToUtf8(variant.get()->bstrVal), "Ёжик;55.75");
    // A method with arguments, and a failure that comes back as its own code.
    ASSERT_EQ(Command("fail get_GroupsNum 80020009"), S_OK);
    LONG value = 0;
    EXPECT_EQ(automation->get_GroupsNum(&value), DISP_E_EXCEPTION);

    // A second connect finds the running server over the same link.
    const pid_t first = ServerPid();
    ComPtr<INavilonixAutomation> previous = std::move(automation);
    ASSERT_EQ(ConnectTo(BridgeAddress()), S_OK);
    EXPECT_EQ(ServerPid(), first);
    EXPECT_EQ(Connections(ole::Connection::Kind::RemoteBus), 1);
}

TEST_F(RemoteConnectTest, TheWrapperFindsARunningServerAndReceivesItsEvents) {
    const pid_t running = SpawnServer(); // running, not registered for activation
    TNavilonixAutomation wrapper(nullptr);
    wrapper.RemoteMachineName = BridgeAddress();
    std::vector<DISPID> events;
    wrapper.OnChangeCarsLists = [&](TObject*) { events.push_back(DISPID_OnChangeCarsLists); };
    wrapper.OnReceiveOnlineData = [&](TObject*) { events.push_back(DISPID_OnReceiveOnlineData); };
    wrapper.OnChangeParameters = [&](TObject*) { events.push_back(DISPID_OnChangeParameters); };
    wrapper.OnEndComputing = [&](TObject*) { events.push_back(DISPID_OnEndComputing); };
    wrapper.Connect();
    EXPECT_NE(wrapper.EventsCookie(), 0u);
    BStr version(wrapper.get_CurrentVersion());
    EXPECT_EQ(version.utf8(), "test-server " + std::to_string(running));
    BStr command("raise 201 202 204 205");
    wrapper.EnterPassword(command.get());
    ASSERT_TRUE(RunLoopUntil([&] { return events.size() == 4; }));
    EXPECT_EQ(events, (std::vector<DISPID>{201, 202, 204, 205}));
    wrapper.Disconnect();
    EXPECT_EQ(wrapper.EventsCookie(), 0u);
}

TEST_F(RemoteConnectTest, ALostLinkFailsTheWaitingCallAndEveryLaterOneAndTheNextConnectTriesAgain) {
    const pid_t server = SpawnServer();
    pid_t bridge = -1;
    ASSERT_NO_FATAL_FAILURE(ConnectThroughBridge(server, &bridge));
    // The server stops answering, the call waits, and the link goes while it waits.
    ::kill(server, SIGSTOP);
    std::thread killer([bridge] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(bridge, SIGKILL);
    });
    const auto start = std::chrono::steady_clock::now();
    LONG value = 0;
    const HRESULT waiting = automation->get_GroupsNum(&value);
    const auto waited = std::chrono::steady_clock::now() - start;
    killer.join();
    EXPECT_EQ(waiting, RPC_S_SERVER_UNAVAILABLE_HR);
    // Bounded by the link's end, far below the call timeout of minutes; generous for a loaded machine.
    EXPECT_LT(waited, std::chrono::seconds(30));
    EXPECT_EQ(automation->get_GroupsNum(&value), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(automation->set_GroupIndex(1), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(Command("raise 201"), RPC_S_SERVER_UNAVAILABLE_HR);
    ::kill(server, SIGCONT);
    ASSERT_EQ(ConnectTo(BridgeAddress()), S_OK);
    EXPECT_EQ(ServerPid(), server);
}

// Continues a stopped process unless released first: a call that waits for it ends then instead of hanging the
// test run, and fails its check.
class Rescuer {
public:
    explicit Rescuer(std::vector<pid_t> stopped) : m_stopped(std::move(stopped)) {
        m_thread = std::thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_released.wait_for(lock, std::chrono::seconds(60), [this] { return m_done; }))
                for (pid_t pid : m_stopped)
                    ::kill(pid, SIGCONT);
        });
    }
    ~Rescuer() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_released.notify_all();
        m_thread.join();
    }

private:
    std::vector<pid_t> m_stopped;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_done = false;
    std::thread m_thread;
};

TEST_F(RemoteConnectTest, ASilentLinkFailsTheWaitingCallAndEveryLaterOneButABusyServerIsWaitedFor) {
    int lost = 0;
    g_transport->Transport().SetObjectLostHandler([&lost] { ++lost; });
    const pid_t server = SpawnServer();
    pid_t bridge = -1;
    ASSERT_NO_FATAL_FAILURE(ConnectThroughBridge(server, &bridge));

    // A server that takes its time on a working link is waited for, however long past the link's probes.
    ::kill(server, SIGSTOP);
    std::thread resume([server] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        ::kill(server, SIGCONT);
    });
    LONG value = 0;
    EXPECT_EQ(automation->get_GroupsNum(&value), S_OK);
    resume.join();
    EXPECT_TRUE(CoIsHandlerConnected(automation.get()));

    // A link that stalls for a while (a congested network, a loaded far machine) is waited for as well.
    ::kill(bridge, SIGSTOP);
    std::thread unstall([bridge] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        ::kill(bridge, SIGCONT);
    });
    EXPECT_EQ(automation->get_GroupsNum(&value), S_OK);
    unstall.join();
    EXPECT_TRUE(CoIsHandlerConnected(automation.get()));

    // The link stops answering at all: the call fails soon, the link is ended, later calls fail at once.
    ::kill(bridge, SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    HRESULT waiting = S_OK;
    {
        Rescuer rescuer({bridge});
        waiting = automation->get_GroupsNum(&value);
    }
    EXPECT_EQ(waiting, RPC_S_SERVER_UNAVAILABLE_HR);
    // About five seconds; the bound only tells a hang from a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(automation->set_GroupIndex(1), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_FALSE(CoIsHandlerConnected(automation.get()));
    EXPECT_TRUE(RunLoopUntil([] { return BridgeProcesses().empty(); }));
    EXPECT_TRUE(RunLoopUntil([&lost] { return lost > 0; }));

    // An idle link that ends is noticed by the loop, without a call.
    lost = 0;
    ASSERT_NO_FATAL_FAILURE(ConnectThroughBridge(server, &bridge));
    EXPECT_TRUE(CoIsHandlerConnected(automation.get()));
    ::kill(bridge, SIGKILL);
    EXPECT_TRUE(RunLoopUntil([&lost] { return lost > 0; }));

    EXPECT_FALSE(CoIsHandlerConnected(automation.get()));
    g_transport->Transport().SetObjectLostHandler(nullptr);
}

TEST_F(RemoteConnectTest, ALinkThatCannotStartIsAClearConnectError) {
    const std::string noBridge = "unixexec:path=/nonexistent/bridge";
    const std::string noBus = "unixexec:path=systemd-stdio-bridge,argv1=-p,argv2=unix:path%3d/nonexistent/bus";
    const struct {
        std::string machine;
        HRESULT code;
        std::string says;
    } cases[] = {
        {noBridge, RPC_S_SERVER_UNAVAILABLE_HR, noBridge + ": cannot run /nonexistent/bridge: no such program"},
        {noBus, RPC_S_SERVER_UNAVAILABLE_HR, noBus + ": Failed to start bus client: No such file"},
        {"ops@", E_INVALIDARG, "\"ops@\" is not a machine name of the form [user@]host[:port]"}};
    for (const auto& c : cases) {
        TNavilonixAutomation wrapper(nullptr);
        wrapper.RemoteMachineName = c.machine;
        try {
            wrapper.Connect();
            ADD_FAILURE() << "connected through " << c.machine;
        } catch (const EOleSysError& e) {
            const std::string message = e.what();
            EXPECT_EQ(e.ErrorCode(), c.code) << message;
            EXPECT_NE(message.find(", ClassID: {7166C02F-CFCE-4856-AB71-40F9329297BB}\n" + c.says), std::string::npos)
                << message;
        }
        EXPECT_FALSE(wrapper.Connected());
    }
    EXPECT_EQ(Connections(ole::Connection::Kind::RemoteBus), 0);
}

// Through a real SSH server on this machine: its own host key, client key, port and configuration.
class SshTest : public RemoteConnectTest {
protected:
    void SetUp() override {
        RemoteConnectTest::SetUp();
        if (::access("/usr/sbin/sshd", X_OK) != 0 || std::system("command -v ssh ssh-keygen >/dev/null") != 0)
            GTEST_SKIP() << "no SSH server or client here (Debian packages openssh-server, openssh-client)";
        char pattern[] = "/tmp/nvx-ssh-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_EQ(std::system(("ssh-keygen -q -t ed25519 -N '' -f " + dir +
                               "/host_key && ssh-keygen -q -t ed25519 "
                               "-N '' -f " +
                               dir + "/client_key && cp " + dir + "/client_key.pub " + dir + "/authorized_keys")
                                  .c_str()),
                  0);
        port = FreePort();
        const passwd* user = ::getpwuid(::getuid());
        ASSERT_NE(user, nullptr);
        userName = user->pw_name;
        // The far shell finds the bus as a logged-in user's would: $XDG_RUNTIME_DIR/bus.
        const std::string socket = g_busAddress.substr(0, g_busAddress.find(','));
        ::mkdir((dir + "/run").c_str(), 0700);
        std::string environment = "SetEnv DBUS_SESSION_BUS_ADDRESS=" + g_busAddress + "\n";
        if (socket.rfind("unix:path=", 0) == 0 && ::symlink(socket.substr(10).c_str(), (dir + "/run/bus").c_str()) == 0)
            environment = "SetEnv XDG_RUNTIME_DIR=" + dir + "/run\n";
        Write("sshd_config", "ListenAddress 127.0.0.1\nPort " + std::to_string(port) + "\nHostKey " + dir +
                                 "/host_key\nAuthorizedKeysFile " + dir + "/authorized_keys\nPidFile " + dir +
                                 "/sshd.pid\nUsePAM no\nStrictModes no\nPasswordAuthentication no\n"
                                 "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\n" +
                                 environment);
        Write("ssh_config", "Host *\n  IdentityFile " + dir +
                                "/client_key\n  IdentitiesOnly yes\n"
                                "  UserKnownHostsFile " +
                                dir +
                                "/known_hosts\n  GlobalKnownHostsFile /dev/null\n"
                                "  LogLevel ERROR\n");
        std::ifstream hostKey(dir + "/host_key.pub");
        std::string key;
        std::getline(hostKey, key);
        Write("known_hosts", "[127.0.0.1]:" + std::to_string(port) + " " + key + "\n");
        Write("ssh", "#!/bin/sh\nexec ssh -F " + dir + "/ssh_config \"$@\"\n");
        ::chmod((dir + "/ssh").c_str(), 0755);
        setenv("NAVILONIX_SSH", (dir + "/ssh").c_str(), 1);

        if (::getuid() == 0)
            ::mkdir("/run/sshd", 0755); // the server's privilege separation folder
        const std::string config = dir + "/sshd_config";
        const std::string log = dir + "/sshd.log";
        char* argv[] = {const_cast<char*>("/usr/sbin/sshd"),
                        const_cast<char*>("-D"),
                        const_cast<char*>("-f"),
                        const_cast<char*>(config.c_str()),
                        const_cast<char*>("-E"),
                        const_cast<char*>(log.c_str()),
                        nullptr};
        ASSERT_EQ(::posix_spawn(&sshd, argv[0], nullptr, nullptr, argv, environ), 0);
        if (!RunLoopUntil([this] { return Accepts(port) || ::waitpid(sshd, nullptr, WNOHANG) != 0; }) ||
            !Accepts(port)) {
            std::ifstream in(log);
            const std::string why((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            GTEST_SKIP() << "the SSH server cannot be started here: " << why;
        }
    }
    void TearDown() override {
        RemoteConnectTest::TearDown();
        unsetenv("NAVILONIX_SSH");
        if (sshd > 0) {
            ::kill(sshd, SIGTERM);
            ::waitpid(sshd, nullptr, 0);
        }
        if (!dir.empty())
            std::system(("rm -rf " + dir).c_str());
    }
    void Write(const std::string& name, const std::string& text) { std::ofstream(dir + "/" + name) << text; }
    static int FreePort() {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
        ::close(s);
        return ntohs(a.sin_port);
    }
    static bool Accepts(int port) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(s);
        return ok;
    }

    std::string dir;
    std::string userName;
    int port = 0;
    pid_t sshd = -1;
};

TEST_F(SshTest, TheWrapperReachesTheFarBusThroughSshAndSshsOwnFailureReachesTheUser) {
    ASSERT_TRUE(servers.RegisterForActivation());
    TNavilonixAutomation wrapper(nullptr);
    wrapper.RemoteMachineName = userName + "@127.0.0.1:" + std::to_string(port);
    int changed = 0;
    wrapper.OnChangeCarsLists = [&](TObject*) { ++changed; };
    wrapper.Connect();
    BStr version(wrapper.get_CurrentVersion());
    EXPECT_EQ(version.utf8().rfind("test-server ", 0), 0u) << version.utf8();
    servers.Adopt(BusServers::TestServerPid(version.utf8()));
    BStr command("raise 201");
    wrapper.EnterPassword(command.get());
    ASSERT_TRUE(RunLoopUntil([&] { return changed == 1; }));
    wrapper.Disconnect();

    // Nobody listens on the next port: SSH's own words come with the connect error.
    TNavilonixAutomation refused(nullptr);
    refused.RemoteMachineName = "127.0.0.1:" + std::to_string(FreePort());
    try {
        refused.Connect();
        ADD_FAILURE() << "connected to a closed port";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), RPC_S_SERVER_UNAVAILABLE_HR);
        EXPECT_NE(std::string(e.what()).find("Connection refused"), std::string::npos) << e.what();
    }
}

// The processes below `root` whose command starts with `command`.
std::vector<pid_t> Descendants(pid_t root, const std::string& command) {
    const std::vector<Process> all = Processes();
    std::map<pid_t, pid_t> parents;
    for (const Process& p : all)
        parents[p.pid] = p.parent;
    std::vector<pid_t> found;
    for (const Process& p : all) {
        pid_t up = p.parent;
        while (up > 1 && up != root)
            up = parents.count(up) ? parents[up] : 0;
        if (up == root && p.command.rfind(command, 0) == 0)
            found.push_back(p.pid);
    }
    return found;
}

TEST_F(SshTest, ASilentNetworkFailsTheCallAndEveryLaterOne) {
    ASSERT_TRUE(servers.RegisterForActivation());
    TNavilonixAutomation wrapper(nullptr);
    wrapper.RemoteMachineName = userName + "@127.0.0.1:" + std::to_string(port);
    wrapper.Connect();
    BStr version(wrapper.get_CurrentVersion());
    servers.Adopt(BusServers::TestServerPid(version.utf8()));
    // The far SSH server stops: the connection stays up, but nothing answers any more, as on a dead network. The
    // SSH client stops too, so that its own keep-alives cannot end the link: only the runtime's probe notices.
    std::vector<pid_t> stopped = Descendants(sshd, "sshd");
    ASSERT_FALSE(stopped.empty());
    for (const Process& p : Processes())
        if (p.parent == ::getpid() && p.command == "ssh")
            stopped.push_back(p.pid);
    ASSERT_GT(stopped.size(), Descendants(sshd, "sshd").size());
    for (pid_t pid : stopped)
        ::kill(pid, SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    HRESULT waiting = S_OK;
    {
        Rescuer rescuer(stopped);
        BStr command("raise 201");
        waiting = wrapper.EnterPassword(command.get());
    }
    EXPECT_EQ(waiting, RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)); // only a hang fails this
    BStr command("raise 202");
    EXPECT_EQ(wrapper.EnterPassword(command.get()), RPC_S_SERVER_UNAVAILABLE_HR);
    for (pid_t pid : stopped)
        ::kill(pid, SIGCONT);
    wrapper.Disconnect();
}

} // namespace

int main(int argc, char** argv) {
    // The far machine's bus is a session bus of the program's own, reached only through the bridge.
    ReexecUnderPrivateSessionBus(argc, argv, "NVX_REMOTE_BUS", NVX_REMOTE_SESSION_CONF, NVX_XDG_DATA_HOME);
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        g_busAddress = address;
    // The bridge started here directly logs its errors where the far command has it log them: to its stderr.
    setenv("SYSTEMD_LOG_TARGET", "console", 1);
    return RunBusTests(argc, argv, &g_transport);
}
