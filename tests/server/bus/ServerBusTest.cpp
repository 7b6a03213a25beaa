// NavilonixServer as a process on a session bus of the tests' own: activation, exit after the last client, the
// close event before exit, one server at a time, and a computation with its end event over the bus.
#include "automation/NavilonixMarshal.h"
#include "automation/Navilonix_OCX.h"
#include "platform/ole/Dispatch.h"
#include "platform/ole/Registry.h"
#include "platform/ole/ServiceFile.h"
#include "platform/qt/QtBusPump.h"
#include "tests/support/BusServers.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/RecordingSink.h"

#include <QCoreApplication>

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

extern char** environ;

namespace {

class ServerBus : public ::testing::Test {
protected:
    void TearDown() override {
        if (point_ && cookie_)
            point_->Unadvise(cookie_);
        point_.reset();
        automation_.reset();
        servers_.Stop();
    }

    void attach() {
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(GetActiveObject(CLSID_NavilonixAutomation, nullptr, unknown.out()), S_OK);
        automation_ = ComPtr<INavilonixAutomation>::QueryFrom(unknown.get());
        ASSERT_TRUE(automation_);
    }
    void advise() { ASSERT_TRUE(sink_.AdviseOn(automation_.get(), point_, cookie_)); }
    // Registers the server for activation and creates its object as a client would, which starts it.
    void activate() {
        ASSERT_TRUE(servers_.RegisterForActivation());
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(
            CoCreateInstance(CLSID_NavilonixAutomation, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, unknown.outVoid()),
            S_OK);
        automation_ = ComPtr<INavilonixAutomation>::QueryFrom(unknown.get());
        ASSERT_TRUE(automation_);
    }
    void startByHand() {
        server_ = servers_.Start({"--work-dir", workDir_.string()});
        ASSERT_TRUE(servers_.WaitUntilUp());
        attach();
    }

    BusServers servers_{{.program = NVX_SERVER, .workDirPrefix = "navilonix_server_bus"}};
    const std::filesystem::path workDir_ = servers_.WorkDir();
    pid_t server_ = -1; // the one startByHand started
    ComPtr<INavilonixAutomation> automation_;
    ComPtr<IConnectionPoint> point_;
    RecordingSink sink_;
    DWORD cookie_ = 0;
};

TEST_F(ServerBus, ActivationStartsTheServerInItsDefaultWorkDirectory) {
    ASSERT_NO_FATAL_FAILURE(activate());
    LONG groups = 0;
    ASSERT_EQ(automation_->get_GroupsNum(&groups), S_OK);
    EXPECT_EQ(groups, 4);
    BStr folder;
    ASSERT_EQ(automation_->get_WorkDirectory(folder.out()), S_OK);
    EXPECT_EQ(folder.utf8(), std::string(NVX_XDG_DATA_HOME) + "/NavilonixServer");
    advise(); // so that the server leaves with this client
}

TEST_F(ServerBus, TheActivatedServerExitsWhenItsLastClientHasGone) {
    ASSERT_NO_FATAL_FAILURE(activate());
    advise();
    // The window shown and hidden again: still a client, so the server stays.
    automation_->ShowApplication();
    automation_->HideApplication();
    RunLoopUntil([] { return false; }, 1500);
    EXPECT_TRUE(ServerRunning());

    ASSERT_EQ(point_->Unadvise(cookie_), S_OK);
    cookie_ = 0;
    point_.reset();
    automation_.reset();
    EXPECT_TRUE(RunLoopUntil([] { return !ServerRunning(); }));
}

TEST_F(ServerBus, ASignalClosesTheServerAfterItHasToldItsClients) {
    startByHand();
    advise();
    ASSERT_EQ(::kill(server_, SIGTERM), 0);
    EXPECT_TRUE(RunLoopUntil([&] { return sink_.received(DISPID_OnCloseServer); }));
    EXPECT_EQ(servers_.WaitForExit(server_), 0);
    EXPECT_FALSE(ServerRunning());
}

TEST_F(ServerBus, ASecondServerLeavesWhileOneOwnsTheName) {
    startByHand();
    const pid_t second = servers_.Start({"--work-dir", (workDir_ / "second").string()});
    EXPECT_EQ(servers_.WaitForExit(second), 1);
    EXPECT_FALSE(std::filesystem::exists(workDir_ / "second"));
    LONG groups = 0;
    EXPECT_EQ(automation_->get_GroupsNum(&groups), S_OK); // the first one still serves
    EXPECT_EQ(groups, 4);
}

TEST_F(ServerBus, AComputationOverTheBusEndsWithItsEventAndExportsATrack) {
    startByHand();
    advise();
    automation_->set_ComputingTimeout(15);
    ASSERT_EQ(automation_->StartComputing(BStr("cargo.grp").get(), 30010, BStr("01.05.2009 00:00:00").get(),
                                          BStr("01.09.2009 00:00:00").get(), BStr("GSM").get(), 1),
              S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return sink_.received(DISPID_OnEndComputing); }));
    LONG busy = 1;
    LONG check = 0;
    LONG trips = 0;
    automation_->get_ComputingBusy(&busy);
    automation_->get_ComputingCheck(&check);
    automation_->get_TripsNum(&trips);
    EXPECT_EQ(busy, 0);
    EXPECT_EQ(check, 1);
    EXPECT_GT(trips, 100);
    automation_->set_TripIndex(2);
    const auto file = workDir_ / "track.kml";
    EXPECT_EQ(
        automation_->ExportTrackToFile(BStr(file.string()).get(), 1, BStr("").get(), BStr("").get(), 0, 0, -1, 0, 0, 0),
        S_OK);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(automation_->ExportTrackToFile(BStr("relative.kml").get(), 1, BStr("").get(), BStr("").get(), 0, 0, -1, 0,
                                             0, 0),
              HRESULT_FROM_WIN32(123));
}

// The replies to calls sent on one connection without waiting, in the order they arrive.
struct Replies {
    struct Reply {
        int order = 0;
        std::string error;
        std::int32_t value = 0;
    };
    sd_bus* bus = nullptr;
    int arrived = 0;
    std::map<std::string, Reply> byMember;

    Replies() { EXPECT_GE(sd_bus_open_user(&bus), 0); }
    ~Replies() { sd_bus_flush_close_unref(bus); }

    template <class... A> void send(const char* member, const char* signature, A... arguments) {
        sd_bus_message* call = nullptr;
        ASSERT_GE(sd_bus_message_new_method_call(bus, &call, "ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB",
                                                 "/ole/Object", "ole.IID_9E428CC6_35AE_4899_A9BA_34CE991495D6", member),
                  0);
        if (*signature) {
            ASSERT_GE(sd_bus_message_append(call, signature, arguments...), 0);
        }
        auto* pending = new std::pair<Replies*, std::string>(this, member);
        ASSERT_GE(sd_bus_call_async(bus, nullptr, call, &Replies::received, pending, 60'000'000), 0);
        sd_bus_message_unref(call);
    }
    static int received(sd_bus_message* m, void* userdata, sd_bus_error*) {
        std::unique_ptr<std::pair<Replies*, std::string>> pending(
            static_cast<std::pair<Replies*, std::string>*>(userdata));
        Reply& r = pending->first->byMember[pending->second];
        r.order = ++pending->first->arrived;
        if (const sd_bus_error* e = sd_bus_message_get_error(m))
            r.error = e->name ? e->name : "?";
        else if (sd_bus_message_peek_type(m, nullptr, nullptr) > 0)
            sd_bus_message_read(m, "i", &r.value);
        return 0;
    }
    // Dispatches until `count` replies have arrived; false after a minute without all of them.
    bool waitFor(int count) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (arrived < count) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            while (sd_bus_process(bus, nullptr) > 0) {
            }
            if (arrived < count)
                sd_bus_wait(bus, 100'000);
        }
        return true;
    }
};

TEST_F(ServerBus, WaitingCallsAreAnsweredLaterWhileTheServerGoesOnServing) {
    startByHand();
    // Sent on one connection without waiting: a server that waited inside Sleep and WaitForComputing would answer
    // them first, in the order they came; now the read sent after them is answered while they still wait.
    Replies replies;
    replies.send("Sleep", "i", 4000);
    replies.send("WaitForComputing", "sisssi", "cargo.grp", 30010, "01.05.2009 00:00:00", "01.09.2009 00:00:00", "GSM",
                 1);
    replies.send("get_ComputingBusy", "");
    ASSERT_TRUE(replies.waitFor(3));
    const auto& sleep = replies.byMember["Sleep"];
    const auto& wait = replies.byMember["WaitForComputing"];
    const auto& busy = replies.byMember["get_ComputingBusy"];
    EXPECT_EQ(busy.order, 1);
    EXPECT_EQ(busy.value, 1); // the computation the first caller waits for runs
    EXPECT_EQ(wait.error, "");
    EXPECT_EQ(sleep.error, "");
    LONG check = 0;
    ASSERT_EQ(automation_->get_ComputingCheck(&check), S_OK);
    EXPECT_EQ(check, 1);

    // Through the console's own proxy on its private channel, as before: the call returns with its result.
    EXPECT_EQ(automation_->Sleep(50), S_OK);
    EXPECT_EQ(automation_->WaitForComputing(BStr("cargo.grp").get(), 30010, BStr("01.05.2009").get(),
                                            BStr("not a date").get(), BStr("GSM").get(), 1),
              E_FAIL);
}

// A client that knows nothing of the interface but names: GetIDsOfNames and Invoke only, as a scripting language
// binds.
class LateBoundClient {
public:
    explicit LateBoundClient(IUnknown* object) : dispatch_(ComPtr<IDispatch>::QueryFrom(object)) {}
    bool valid() const { return static_cast<bool>(dispatch_); }

    HRESULT call(const std::string& name, WORD flags, std::vector<Variant> args, Variant* result = nullptr) {
        const std::u16string wide = Utf8ToUtf16(name);
        LPOLESTR names[] = {const_cast<LPOLESTR>(wide.c_str())};
        DISPID id = DISPID_UNKNOWN;
        if (const HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0, &id); FAILED(hr))
            return hr;
        std::vector<VARIANT> block;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            block.push_back(*it->get());
        DISPID put = DISPID_PROPERTYPUT;
        const bool isPut = flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{block.empty() ? nullptr : block.data(), isPut ? &put : nullptr,
                          static_cast<UINT>(block.size()), isPut ? 1u : 0u};
        return dispatch_->Invoke(id, IID_NULL, 0, flags, &params, result ? result->get() : nullptr, nullptr, nullptr);
    }
    Variant get(const std::string& name) {
        Variant v;
        EXPECT_EQ(call(name, DISPATCH_PROPERTYGET, {}, &v), S_OK) << name;
        return v;
    }
    LONG number(const std::string& name) {
        Variant v = get(name);
        EXPECT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_I4), S_OK);
        return v.get()->lVal;
    }
    std::string text(const std::string& name) {
        Variant v = get(name);
        EXPECT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_BSTR), S_OK);
        return BstrToUtf8(v.get()->bstrVal);
    }

private:
    ComPtr<IDispatch> dispatch_;
};

TEST_F(ServerBus, ALateBoundClientComputesTripsAndReadsThemByName) {
    startByHand();
    LateBoundClient client(automation_.get());
    ASSERT_TRUE(client.valid());
    ASSERT_EQ(client.call("ComputingTimeout", DISPATCH_PROPERTYPUT, {Variant(std::string_view("15"))}), S_OK);
    ASSERT_EQ(
        client.call("startcomputing", DISPATCH_METHOD,
                    {Variant(std::string_view("taxi.grp")), Variant(std::string_view("21305")),
                     Variant(std::string_view("01.07.2009 00:00:00")), Variant(std::string_view("08.07.2009 00:00:00")),
                     Variant(std::string_view("GSM")), Variant(LONG{1})}),
        S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return client.number("ComputingBusy") == 0; }));
    EXPECT_EQ(client.number("ComputingCheck"), 1);
    const LONG trips = client.number("TripsNum");
    ASSERT_GT(trips, 5);
    double total = 0;
    for (LONG i = 1; i <= trips; ++i) {
        ASSERT_EQ(client.call("TripIndex", DISPATCH_PROPERTYPUT, {Variant(i)}), S_OK);
        EXPECT_EQ(client.number("TripIndex"), i);
        EXPECT_FALSE(client.text("TripStartRealTime").empty());
        Variant distance = client.get("TripDistance");
        ASSERT_EQ(distance.get()->vt, VT_R8);
        total += distance.get()->dblVal;
    }
    EXPECT_GT(total, 1000.0);
    // The failures a script sees: an unknown name, a wrong count, a member's own failure as an exception.
    EXPECT_EQ(client.call("NoSuchMember", DISPATCH_METHOD, {}), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(client.call("GoToCarLastTrack", DISPATCH_METHOD, {Variant(LONG{1})}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(client.call("SetGroupIndexByFileName", DISPATCH_METHOD, {Variant(std::string_view("none.grp"))}),
              DISP_E_EXCEPTION);
}

TEST_F(ServerBus, FieldWorkWaitedForOverTheBusEndsWithItsTableInAFreshWorkDirectory) {
    startByHand();
    EXPECT_EQ(automation_->WaitForFieldsComputingEx(40001, BStr("service.grp").get(), BStr("03.08.2009 00:00:00").get(),
                                                    BStr("04.08.2009 00:00:00").get(), BStr("GSM").get(),
                                                    BStr("1").get(), BStr("3").get(), BStr("").get()),
              S_OK);
    LONG check = 0;
    ASSERT_EQ(automation_->get_FieldsComputingCheck(&check), S_OK);
    EXPECT_EQ(check, 1);
    BStr table;
    ASSERT_EQ(automation_->get_FieldsList(table.out()), S_OK);
    EXPECT_NE(table.utf8().find("\tF2\t"), std::string::npos) << table.utf8();
    EXPECT_EQ(automation_->WaitForFieldsComputing(BStr("service.grp").get(), 40001, BStr("03.08.2009 00:00:00").get(),
                                                  BStr("04.08.2009 00:00:00").get(), BStr("GSM").get(), -1.0, 0),
              E_FAIL);
}

// Every member of the table, called once through the typed proxy with plain arguments: none may be missing.
TEST_F(ServerBus, EveryMemberOfTheTableAnswersOverTheBus) {
    startByHand();
    std::string missing;
    std::size_t called = 0;
    for (const ole::DispFunction& f : NavilonixTypeDescription().functions) {
        std::vector<Variant> args;
        for (const ole::DispParam& p : f.params)
            args.push_back(p.type == VT_I4   ? Variant(LONG{0})
                           : p.type == VT_R8 ? Variant(0.0)
                                             : Variant(std::string_view("")));
        std::vector<VARIANT> raw;
        for (Variant& a : args)
            raw.push_back(*a.get());
        Variant result;
        const HRESULT hr = f.call(automation_.get(), raw.data(), result.get());
        ++called;
        if (hr == E_NOTIMPL || hr == DISP_E_MEMBERNOTFOUND || hr == RPC_S_SERVER_UNAVAILABLE_HR ||
            hr == RPC_S_CALL_FAILED_HR)
            missing += " " + f.name + "(slot " + std::to_string(f.slot) + ")";
        if (f.kind == ole::DispKind::Get && SUCCEEDED(hr) && f.result != VT_VARIANT) {
            EXPECT_EQ(result.get()->vt, f.result) << f.name;
        }
    }
    EXPECT_EQ(called, kNavilonixMemberCount);
    EXPECT_EQ(missing, "");
    // The array results arrive as typed arrays.
    Variant track;
    ASSERT_EQ(automation_->get_TrackCrdsArray(track.get()), S_OK);
    EXPECT_EQ(track.get()->vt, VT_ARRAY | VT_R8);
    Variant counters;
    ASSERT_EQ(automation_->get_Counters12Array(counters.get()), S_OK);
    EXPECT_EQ(counters.get()->vt, VT_ARRAY | VT_VARIANT);
}

// What the console does on Connect and on its pages, through its own wrapper: every read must succeed.
TEST_F(ServerBus, TheConsolesWrapperFindsEveryMemberItCallsServed) {
    ASSERT_TRUE(servers_.RegisterForActivation());
    std::vector<std::string> failures;
    const THrCheckPrompt previous = SetHrCheckPrompt([&](const std::string&, const std::string& text) {
        failures.push_back(text);
        return IDNO;
    });
    auto text = [](BSTR value) { return BStr(value).utf8(); };
    {
        TNavilonixAutomation wrapper(nullptr);
        int ended = 0;
        wrapper.OnEndComputing = [&](TObject*) { ++ended; };
        wrapper.Connect(); // running or new: the session bus starts the registered server
        EXPECT_FALSE(text(wrapper.get_CurrentVersion()).empty());

        // The groups tree and the panels.
        wrapper.WaitForInitializing();
        const LONG groups = wrapper.get_GroupsNum();
        ASSERT_EQ(groups, 4);
        for (LONG g = 1; g <= groups; ++g) {
            wrapper.set_GroupIndex(g);
            text(wrapper.get_GroupName());
            text(wrapper.get_GroupAddress());
            text(wrapper.get_GroupContacts());
            text(wrapper.get_GroupFileName());
            const LONG cars = wrapper.get_GroupCarsNum();
            for (LONG c = 1; c <= cars; ++c) {
                wrapper.set_CarIndex(c);
                wrapper.get_CarDevice();
                for (BSTR value : {wrapper.get_CarModel(), wrapper.get_CarNumber(), wrapper.get_CarRoute(),
                                   wrapper.get_CarDrivers(), wrapper.get_CarAlias(), wrapper.get_CarTelNum(),
                                   wrapper.get_CarCheckPointsFile(), wrapper.get_CarGeoZonesFile(),
                                   wrapper.get_CarLastTime(), wrapper.get_CarLastATime(), wrapper.get_CarParkTime()})
                    text(value);
                wrapper.get_CarLatitude();
                wrapper.get_CarLongitude();
                wrapper.get_CarCourse();
                wrapper.get_CarSpeed();
                wrapper.get_CarFlags();
            }
        }
        // The position commands and the check point page.
        wrapper.SetGroupIndexByFileName(BStr("taxi.grp").get());
        wrapper.GoToCarLastPosition(BStr("taxi.grp").get(), 21305);
        wrapper.GoToCarLastTrack(BStr("taxi.grp").get(), 21305);
        text(wrapper.get_CurrentTime());
        EXPECT_NEAR(wrapper.get_CurrentLatitude(), 55.7763, 1e-6);
        wrapper.get_CurrentLongitude();
        wrapper.get_CurrentAltitude();
        wrapper.ReceiveOnlineData(21305);
        const std::string folder = text(wrapper.get_WorkDirectory());
        EXPECT_TRUE(std::filesystem::exists(folder + "/Points/Москва.chp"));
        wrapper.LoadChPFromFile(BStr("Москва").get());
        wrapper.set_CheckPointIndex(1);
        const LONG points = wrapper.get_CheckPointsNum();
        EXPECT_GT(points, 0);
        for (LONG i = 1; i <= points; ++i) {
            wrapper.set_CheckPointIndex(i);
            text(wrapper.get_CheckPointName());
            text(wrapper.get_CheckPointAddress());
            text(wrapper.get_CheckPointID());
            wrapper.get_CheckPointLatitude();
            wrapper.get_CheckPointLongitude();
            wrapper.get_CheckPointRadius();
        }
        wrapper.SetCurrentCoords(55.7539, 37.6208);
        wrapper.set_CheckPointIndex(wrapper.get_CurrentCheckPointIndex());
        EXPECT_EQ(text(wrapper.get_CheckPointName()), "Красная площадь");
        wrapper.SetCarChPParameters(BStr("taxi.grp").get(), 21305, 0, BStr("").get(), 0, 5, 0, 1, 0, BStr("").get());

        // Computing, the trips list, the entries of every kind and the export.
        wrapper.set_ComputingTimeout(15);
        wrapper.StartComputing(BStr("taxi.grp").get(), 21305, BStr("01.05.2009 00:00:00").get(),
                               BStr("01.09.2009 00:00:00").get(), BStr("GSM").get(), 1);
        ASSERT_TRUE(RunLoopUntil([&] { return ended == 1; }));
        EXPECT_EQ(wrapper.get_ComputingBusy(), 0);
        EXPECT_EQ(wrapper.get_ComputingCheck(), 1);
        const LONG trips = wrapper.get_TripsNum();
        ASSERT_GT(trips, 300);
        EXPECT_EQ(wrapper.get_TripIndex(), 1);
        for (LONG t = 1; t <= 3; ++t) {
            wrapper.set_TripIndex(t);
            for (BSTR value : {wrapper.get_TripStartRealTime(), wrapper.get_TripEndRealTime(),
                               wrapper.get_TripRealCont(), wrapper.get_TripMoveCont()})
                EXPECT_FALSE(text(value).empty());
            for (double value :
                 {wrapper.get_TripMaxSpeed(), wrapper.get_TripAverSpeed(), wrapper.get_TripDistance(),
                  wrapper.get_TripTank1StartLevel(), wrapper.get_TripTank1EndLevel(), wrapper.get_TripTank2StartLevel(),
                  wrapper.get_TripTank2EndLevel(), wrapper.get_TripMotor1Hours(), wrapper.get_TripMotor2Hours(),
                  wrapper.get_TripMotor1Fuel(), wrapper.get_TripMotor2Fuel()})
                EXPECT_GE(value, -1.0);
            EXPECT_GT(wrapper.get_TripCrdEntriesNum(), 0);
        }
        const char* const kinds[20][2] = {
            {"checkpoints", "points"}, {"checkpoints", "stages"}, {"geozones", "zones"},  {"geozones", "stages"},
            {"parks", nullptr},        {"blinds", nullptr},       {"power_off", nullptr}, {"over_speed", nullptr},
            {"tank", "num1"},          {"tank", "num2"},          {"tank", "num3"},       {"tank", "num4"},
            {"sensor_on", "num1"},     {"sensor_on", "num2"},     {"sensor_on", "num3"},  {"sensor_on", "num4"},
            {"sensor_on", "num5"},     {"sensor_on", "num6"},     {"sensor_on", "num7"},  {"sensor_on", "num8"}};
        wrapper.set_TripIndex(2);
        LONG listed = 0;
        for (const auto& kind : kinds) {
            wrapper.set_TripEntriesListTypeName(BStr(kind[0]).get());
            if (kind[1])
                wrapper.set_TripEntriesListKindName(BStr(kind[1]).get());
            const LONG n = wrapper.get_TripEntriesNum();
            EXPECT_GE(n, 0);
            listed += n;
            for (LONG i = 1; i <= n; ++i) {
                wrapper.set_EntryIndex(i);
                wrapper.get_EntryID();
                for (BSTR value :
                     {wrapper.get_EntryStartName(), wrapper.get_EntryStartRealTime(), wrapper.get_EntryEndName(),
                      wrapper.get_EntryEndRealTime(), wrapper.get_EntryRealCont()})
                    text(value);
                for (double value :
                     {wrapper.get_EntryDistance(), wrapper.get_EntryTank1StartLevel(), wrapper.get_EntryTank1EndLevel(),
                      wrapper.get_EntryTank2StartLevel(), wrapper.get_EntryTank2EndLevel(),
                      wrapper.get_EntryMotor1Hours(), wrapper.get_EntryMotor2Hours(), wrapper.get_EntryMotor1Fuel(),
                      wrapper.get_EntryMotor2Fuel()})
                    EXPECT_GE(value, 0.0);
            }
        }
        EXPECT_GT(listed, 0);
        const auto track = workDir_ / "Track.plt";
        std::filesystem::create_directories(workDir_);
        wrapper.ExportTrackToFile(BStr(track.string()).get(), 1, BStr("").get(), BStr("").get(), 0, 0, -1, 0, 0, 0);
        EXPECT_TRUE(std::filesystem::exists(track));
        wrapper.Disconnect();
    }
    SetHrCheckPrompt(previous);
    EXPECT_TRUE(failures.empty()) << failures.front();
    // Activated, hidden and left by its only client, the server goes.
    EXPECT_TRUE(RunLoopUntil([] { return !ServerRunning(); }));
}

// How often the threads of a process have gone to sleep and woken since it started.
long wakeUpsOf(pid_t pid) {
    long total = 0;
    const auto tasks = std::filesystem::path("/proc") / std::to_string(pid) / "task";
    std::error_code ec;
    for (std::filesystem::directory_iterator it(tasks, ec), end; !ec && it != end; it.increment(ec)) {
        std::ifstream status(it->path() / "status");
        std::string line;
        while (std::getline(status, line))
            if (line.starts_with("voluntary_ctxt_switches:"))
                total += std::atol(line.c_str() + 24);
    }
    return total;
}

TEST_F(ServerBus, AnActivatedServerSleepsWhenIdleAndExitsWhenItsBusGoes) {
    // A session bus of its own for this server, which the test then takes away as the end of a session does.
    std::filesystem::create_directories(workDir_);
    const std::string address = "unix:path=" + (workDir_ / "bus").string();
    const pid_t daemon = servers_.Spawn(
        {"dbus-daemon", "--config-file=" NVX_SESSION_CONF, "--address=" + address, "--nofork", "--nopidfile"});
    ASSERT_TRUE(RunLoopUntil([&] { return std::filesystem::exists(workDir_ / "bus"); }));
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e)
        if (!std::string_view(*e).starts_with("DBUS_SESSION_BUS_ADDRESS="))
            environment.emplace_back(*e);
    environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + address);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t server = servers_.Start({"--embedding", "--work-dir", (workDir_ / "data").string()}, envp.data());
    const std::string owned =
        "busctl --address=" + address + " status ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB >/dev/null 2>&1";
    ASSERT_TRUE(RunLoopUntil([&] { return std::system(owned.c_str()) == 0; }));

    // Idle, with nothing due, the server wakes for its once-a-second look at the group files and little else.
    RunLoopUntil([] { return false; }, 500);
    const long before = wakeUpsOf(server);
    RunLoopUntil([] { return false; }, 3000);
    EXPECT_LT(wakeUpsOf(server) - before, 15);

    ::kill(daemon, SIGTERM);
    EXPECT_EQ(servers_.WaitForExit(server, 60000), 0);
}

TEST_F(ServerBus, RegisterWritesTheActivationFileAndUnregisterRemovesIt) {
    const auto file = ole::ServiceFilePath(CLSID_NavilonixAutomation);
    EXPECT_EQ(servers_.WaitForExit(servers_.Start({"--register"})), 0);
    ASSERT_TRUE(std::filesystem::exists(file));
    std::ifstream in(file);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(content.find("Name=ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB"), std::string::npos) << content;
    EXPECT_NE(content.find("--embedding"), std::string::npos) << content;
    EXPECT_EQ(servers_.WaitForExit(servers_.Start({"--unregister"})), 0);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(servers_.WaitForExit(servers_.Start({"--help"})), 0);
    EXPECT_EQ(servers_.WaitForExit(servers_.Start({"--bogus"})), 2);
    EXPECT_EQ(servers_.WaitForExit(servers_.Start({"--work-dir"})), 2);
    EXPECT_FALSE(ServerRunning());
}

} // namespace

int main(int argc, char** argv) {
    // Never the user's own bus or service folder: run under a session bus of our own. The servers the tests start
    // show no window on a screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ReexecUnderPrivateSessionBus(argc, argv, "NVX_SERVER_BUS", NVX_SESSION_CONF, NVX_XDG_DATA_HOME);
    return RunBusTests(argc, argv);
}
