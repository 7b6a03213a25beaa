// The runtime against real server processes on a session bus of the tests' own: obtaining the object running or
// new, calls and events through both channels, servers and clients that die, malformed calls and introspection.
#include "automation/NavilonixMarshal.h"
#include "automation/Navilonix_OCX.h"
#include "platform/ole/Registry.h"
#include "platform/ole/ServiceFile.h"
#include "platform/qt/QtBusPump.h"
#include "platform/rtl/Exceptions.h"
#include "tests/support/BusServers.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/RecordingSink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

QtComTransport* g_transport = nullptr;

// Runs a command line, returning its exit status and what it printed.
int Shell(const std::string& command, std::string* output) {
    output->clear();
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return -1;
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), p))
        output->append(buf.data(), n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class BusTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { g_transport->Transport().SetUsePeer(GetParam()); }
    void TearDown() override {
        point.reset();
        automation.reset();
        servers.Stop();
    }

    // Starts the server as an ordinary program and waits until it can be found.
    void StartServer() {
        server = servers.Start();
        ASSERT_TRUE(servers.WaitUntilUp());
    }
    ComPtr<INavilonixAutomation> Attach() {
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(GetActiveObject(CLSID_NavilonixAutomation, nullptr, unknown.out()), S_OK);
        return ComPtr<INavilonixAutomation>::QueryFrom(unknown.get());
    }
    HRESULT Command(const char* text) {
        BStr command(text);
        return automation->EnterPassword(command.get());
    }
    void Advise() { ASSERT_TRUE(sink.AdviseOn(automation.get(), point, cookie)); }
    LONG ServerSinks() {
        LONG n = -1;
        automation->get_FieldsComputingTotalPercents(&n);
        return n;
    }

    BusServers servers{{.program = NVX_TEST_SERVER}};
    pid_t server = -1; // the one StartServer started
    ComPtr<INavilonixAutomation> automation;
    ComPtr<IConnectionPoint> point;
    RecordingSink sink;
    DWORD cookie = 0;
};

TEST_P(BusTest, WithNothingRunningOrRegisteredTheClassIsUnavailable) {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(GetActiveObject(CLSID_NavilonixAutomation, nullptr, unknown.out()), MK_E_UNAVAILABLE);
    EXPECT_EQ(CoCreateInstance(CLSID_NavilonixAutomation, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                               IID_IUnknown, unknown.outVoid()),
              REGDB_E_CLASSNOTREG);
    TNavilonixAutomation wrapper(nullptr);
    try {
        wrapper.Connect();
        FAIL() << "connected to nothing";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), REGDB_E_CLASSNOTREG);
        EXPECT_STREQ(e.what(), "Class not registered, ClassID: {7166C02F-CFCE-4856-AB71-40F9329297BB}");
    }
}

TEST_P(BusTest, CreateInstanceStartsARegisteredServerByActivation) {
    ASSERT_TRUE(servers.RegisterForActivation());
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(CoCreateInstance(CLSID_NavilonixAutomation, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                               IID_IUnknown, unknown.outVoid()),
              S_OK);
    automation = ComPtr<INavilonixAutomation>::QueryFrom(unknown.get());
    ASSERT_TRUE(automation);
    const pid_t started = servers.AdoptTestServer(automation.get());
    EXPECT_GT(started, 0);
    // Once it runs, both ways reach the same server.
    EXPECT_EQ(servers.AdoptTestServer(Attach().get()), started);
    ComPtr<INavilonixAutomation> again;
    ASSERT_EQ(CoCreateInstance(CLSID_NavilonixAutomation, nullptr, 5, IID_INavilonixAutomation, again.outVoid()), S_OK);
    EXPECT_EQ(servers.AdoptTestServer(again.get()), started);
}

TEST_P(BusTest, ARunningServerIsFoundBothWays) {
    StartServer();
    automation = Attach();
    const pid_t running = servers.AdoptTestServer(automation.get());
    EXPECT_EQ(running, server);
    // Not registered for activation, yet running: CoCreateInstance attaches to it.
    ComPtr<INavilonixAutomation> created;
    ASSERT_EQ(CoCreateInstance(CLSID_NavilonixAutomation, nullptr, 5, IID_INavilonixAutomation, created.outVoid()),
              S_OK);
    EXPECT_EQ(servers.AdoptTestServer(created.get()), running);
}

TEST_P(BusTest, StringsNumbersAndVariantsRoundTrip) {
    StartServer();
    automation = Attach();
    for (const char* text : {"Склад «Южный», ворота №3", ""}) {
        BStr in(text);
        ASSERT_EQ(automation->set_CheckPointAddress(in.get()), S_OK);
        BStr out;
        ASSERT_EQ(automation->get_CheckPointAddress(out.out()), S_OK);
        EXPECT_EQ(out.utf8(), text);
    }
    ASSERT_EQ(automation->set_CheckPointAddress(nullptr), S_OK);
    BStr out;
    ASSERT_EQ(automation->get_CheckPointAddress(out.out()), S_OK);
    EXPECT_EQ(out.length(), 0u);
    ASSERT_EQ(automation->set_CheckPointLatitude(-33.8688), S_OK);
    double latitude = 0;
    ASSERT_EQ(automation->get_CheckPointLatitude(&latitude), S_OK);
    EXPECT_EQ(latitude, -33.8688);
    // The test server holds a text, a whole number and a real number in three VARIANT properties.
    Variant text;
    Variant whole;
    Variant real;
    Variant empty;
    ASSERT_EQ(automation->get_TrackCrdsArray(text.get()), S_OK);
    ASSERT_EQ(automation->get_Counters12Array(whole.get()), S_OK);
    ASSERT_EQ(automation->get_Counters34Array(real.get()), S_OK);
    ASSERT_EQ(automation->get_Counters78Array(empty.get()), S_OK);
    ASSERT_EQ(text.get()->vt, VT_BSTR);
    EXPECT_EQ(BstrToUtf8(text.get()->bstrVal), "Ёжик;55.75");
    ASSERT_EQ(whole.get()->vt, VT_I4);
    EXPECT_EQ(whole.get()->lVal, -12);
    ASSERT_EQ(real.get()->vt, VT_R8);
    EXPECT_EQ(real.get()->dblVal, 0.125);
    EXPECT_EQ(empty.get()->vt, VT_EMPTY);
    ASSERT_EQ(automation->set_CheckPointRadius(250), S_OK);
    LONG radius = 0;
    ASSERT_EQ(automation->get_CheckPointRadius(&radius), S_OK);
    EXPECT_EQ(radius, 250);
}

TEST_P(BusTest, ServerFailuresComeBackAsTheirCodes) {
    StartServer();
    automation = Attach();
    ASSERT_EQ(Command("fail get_GroupsNum 80020009"), S_OK);
    LONG value = 0;
    EXPECT_EQ(automation->get_GroupsNum(&value), DISP_E_EXCEPTION);
    EXPECT_EQ(automation->get_CarIndex(&value), S_OK);
}

TEST_P(BusTest, EventsArriveAfterTheCallInOrderOnTheUserInterfaceThread) {
    StartServer();
    automation = Attach();
    Advise();
    EXPECT_EQ(ServerSinks(), 1);
    ASSERT_EQ(Command("raise 201 202 203 204 205 206"), S_OK);
    EXPECT_TRUE(sink.events.empty()); // not inside the call
    // Nothing new arrives on any descriptor; the deferred pass alone must deliver what came with the reply.
    QCoreApplication::processEvents();
    ASSERT_TRUE(RunLoopUntil([&] { return sink.events.size() == 6; }));
    EXPECT_EQ(sink.dispIds(), (std::vector<DISPID>{201, 202, 203, 204, 205, 206}));
    std::vector<std::string> firstArguments;
    for (const RecordingSink::Event& e : sink.events) {
        EXPECT_EQ(e.thread, std::this_thread::get_id());
        if (!e.arguments.empty())
            firstArguments.push_back(e.arguments.front());
    }
    EXPECT_EQ(firstArguments, std::vector<std::string>{std::to_string(server)});
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(ServerSinks(), 0);
}

TEST_P(BusTest, AModalLoopStillDeliversEvents) {
    StartServer();
    automation = Attach();
    Advise();
    std::vector<DISPID> insideModal;
    bool modalRan = false;
    QEventLoop* modal = nullptr;
    sink.onEvent = [&](DISPID id) {
        if (modal) {
            insideModal.push_back(id);
            if (id == 203)
                modal->quit();
            return;
        }
        if (id != 201)
            return;
        // The first event opens a "dialog"; the later ones arrive while it runs.
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        modal = &loop;
        loop.exec();
        modal = nullptr;
        modalRan = true;
    };
    ASSERT_EQ(Command("raise 201 202 203"), S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return modalRan; }));
    EXPECT_EQ(insideModal, (std::vector<DISPID>{202, 203}));
}

TEST_P(BusTest, AKilledServerMakesEveryLaterCallFail) {
    StartServer();
    automation = Attach();
    Advise();
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    LONG value = 0;
    EXPECT_EQ(automation->get_GroupsNum(&value), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(automation->set_GroupIndex(1), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(point->Unadvise(cookie), RPC_S_SERVER_UNAVAILABLE_HR);
    ASSERT_TRUE(RunLoopUntil([&] { return sink.refCount == 1; })); // the sink is let go
}

TEST_P(BusTest, TheCloseEventOfAServerThatQuitsStillArrives) {
    StartServer();
    automation = Attach();
    Advise();
    ASSERT_EQ(Command("close"), S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return sink.dispIds() == std::vector<DISPID>{DISPID_OnCloseServer}; }));
    LONG value = 0;
    ASSERT_TRUE(RunLoopUntil([&] { return automation->get_GroupsNum(&value) == RPC_S_SERVER_UNAVAILABLE_HR; }));
}

TEST_P(BusTest, AServerThatDiesInsideACallFailsThatCallAndTheRest) {
    StartServer();
    automation = Attach();
    EXPECT_EQ(Command("crash"), RPC_S_SERVER_UNAVAILABLE_HR);
    BStr version;
    EXPECT_EQ(automation->get_CurrentVersion(version.out()), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(version.get(), nullptr);
}

TEST_P(BusTest, AServerThatLeavesTheBusIsNoticed) {
    StartServer();
    automation = Attach();
    ASSERT_EQ(Command("leave-bus"), S_OK);
    LONG value = 0;
    ASSERT_TRUE(RunLoopUntil([&] { return automation->get_GroupsNum(&value) == RPC_S_SERVER_UNAVAILABLE_HR; }));
    EXPECT_EQ(automation->ShowApplication(), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(::waitpid(server, nullptr, WNOHANG), 0); // the process itself still runs
}

TEST_P(BusTest, TheServerForgetsAKilledClientsSinks) {
    StartServer();
    automation = Attach();
    std::vector<std::string> arguments{"--client"};
    if (!GetParam())
        arguments.push_back("--no-peer");
    const pid_t client = servers.Start(arguments);
    ASSERT_TRUE(RunLoopUntil([&] { return ServerSinks() == 1; }));
    ::kill(client, SIGKILL);
    ASSERT_TRUE(RunLoopUntil([&] { return ServerSinks() == 0; }));
}

TEST_P(BusTest, TheWrapperConnectsAndReceivesEvents) {
    ASSERT_TRUE(servers.RegisterForActivation());
    TNavilonixAutomation wrapper(nullptr);
    int ended = 0;
    wrapper.OnEndComputing = [&](TObject*) { ++ended; };
    wrapper.Connect();
    BStr version(wrapper.get_CurrentVersion());
    servers.AdoptTestServer(wrapper.GetDefaultInterface());
    EXPECT_EQ(version.utf8().rfind("test-server ", 0), 0u);
    BStr command("raise 205");
    wrapper.EnterPassword(command.get());
    ASSERT_TRUE(RunLoopUntil([&] { return ended == 1; }));
    wrapper.Disconnect();
}

INSTANTIATE_TEST_SUITE_P(Channels, BusTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "PrivateChannel" : "BusDaemon"; });

// busctl talks to the server as a user's script would.
class BusctlTest : public BusTest {};

TEST_P(BusctlTest, CallAndIntrospectWorkAndAWrongSignatureGetsAnError) {
    std::string out;
    if (Shell("command -v busctl", &out) != 0)
        GTEST_SKIP() << "busctl (Debian package systemd) is not installed";
    StartServer();
    automation = Attach();
    ASSERT_EQ(automation->set_GroupIndex(0), S_OK);
    const std::string target = "ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB /ole/Object";
    const std::string iface = " ole.IID_9E428CC6_35AE_4899_A9BA_34CE991495D6 ";
    ASSERT_EQ(Shell("busctl --user call " + target + iface + "set_CheckPointName s 'Точка'", &out), 0) << out;
    ASSERT_EQ(Shell("busctl --user call " + target + iface + "get_CheckPointName", &out), 0) << out;
    EXPECT_EQ(out, R"(s "\320\242\320\276\321\207\320\272\320\260")"
                   "\n"); // busctl escapes non-ASCII bytes
    EXPECT_NE(Shell("busctl --user call " + target + iface + "set_GroupIndex s five", &out), 0);
    EXPECT_NE(out.find("nvalid"), std::string::npos) << out;
    ASSERT_EQ(Shell("busctl --user introspect " + target, &out), 0) << out;
    for (const TMemberInfo& m : kNavilonixMembers)
        EXPECT_NE(out.find("." + std::string(m.name) + " "), std::string::npos) << m.name;
    ASSERT_EQ(Shell("busctl --user call " + target + iface + "get_GroupIndex", &out), 0) << out;
    EXPECT_EQ(out, "i 0\n"); // the server is unharmed
}

INSTANTIATE_TEST_SUITE_P(Busctl, BusctlTest, ::testing::Values(true),
                         [](const ::testing::TestParamInfo<bool>&) { return std::string("SessionBus"); });

} // namespace

int main(int argc, char** argv) {
    // Never the user's own bus or service folder: run under a session bus of our own.
    ReexecUnderPrivateSessionBus(argc, argv, "NVX_INTEGRATION_BUS", NVX_SESSION_CONF, NVX_XDG_DATA_HOME);
    return RunBusTests(argc, argv, &g_transport);
}
