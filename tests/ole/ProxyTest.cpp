// Calls through a proxy to an object served over a private channel.
#include "tests/ole/PeerFixture.h"

#include "platform/ole/Proxy.h"

#include <stdexcept>

namespace {

using ProxyTest = PeerFixture;

TEST_F(ProxyTest, PropertyReadsReturnTheServersValues) {
    server->Run([&] {
        fake->Set("GroupsNum", LONG{3});
        fake->Set("CarLatitude", 55.7558);
        fake->Set("CurrentVersion", std::string("Версия 2.1"));
    });
    LONG groups = 0;
    double latitude = 0;
    BStr version;
    EXPECT_EQ(automation->get_GroupsNum(&groups), S_OK);
    EXPECT_EQ(automation->get_CarLatitude(&latitude), S_OK);
    EXPECT_EQ(automation->get_CurrentVersion(version.out()), S_OK);
    EXPECT_EQ(groups, 3);
    EXPECT_EQ(latitude, 55.7558);
    EXPECT_EQ(version.utf8(), "Версия 2.1");
}

TEST_F(ProxyTest, StringsRoundTripCyrillicEmptyAndNull) {
    for (const char* text : {"Точка №1 «Склад»", ""}) {
        BStr in(text);
        ASSERT_EQ(automation->set_CheckPointName(in.get()), S_OK);
        BStr out;
        ASSERT_EQ(automation->get_CheckPointName(out.out()), S_OK);
        EXPECT_EQ(out.utf8(), text);
    }
    ASSERT_EQ(automation->set_CheckPointName(nullptr), S_OK);
    BStr out;
    ASSERT_EQ(automation->get_CheckPointName(out.out()), S_OK);
    EXPECT_EQ(out.length(), 0u);
}

TEST_F(ProxyTest, MethodArgumentsArriveInOrder) {
    BStr name("Ворота");
    BStr address("");
    BStr id("42");
    ASSERT_EQ(automation->AddCheckPoint(name.get(), address.get(), id.get(), 55.5, 37.25, 150), S_OK);
    ASSERT_EQ(automation->ShowApplication(), S_OK);
    std::vector<std::string> calls;
    server->Run([&] { calls = fake->Calls(); });
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].substr(0, 14), "AddCheckPoint(");
    EXPECT_NE(calls[0].find("Ворота"), std::string::npos);
    EXPECT_NE(calls[0].find("150"), std::string::npos);
    EXPECT_EQ(calls[1], "ShowApplication()");
}

TEST_F(ProxyTest, VariantReadsKeepTheirType) {
    server->Run([&] {
        fake->Set("TrackCrdsArray", std::string("55.1;37.2"));
        fake->Set("Counters12Array", LONG{12});
        fake->Set("Counters34Array", 3.5);
    });
    Variant text;
    Variant number;
    Variant real;
    Variant empty;
    ASSERT_EQ(automation->get_TrackCrdsArray(text.get()), S_OK);
    ASSERT_EQ(automation->get_Counters12Array(number.get()), S_OK);
    ASSERT_EQ(automation->get_Counters34Array(real.get()), S_OK);
    ASSERT_EQ(automation->get_Counters56Array(empty.get()), S_OK);
    EXPECT_EQ(text.get()->vt, VT_BSTR);
    EXPECT_EQ(BstrToUtf8(text.get()->bstrVal), "55.1;37.2");
    EXPECT_EQ(number.get()->vt, VT_I4);
    EXPECT_EQ(number.get()->lVal, 12);
    EXPECT_EQ(real.get()->vt, VT_R8);
    EXPECT_EQ(real.get()->dblVal, 3.5);
    EXPECT_EQ(empty.get()->vt, VT_EMPTY);
}

TEST_F(ProxyTest, AServerFailureComesBackAsItsCode) {
    server->Run([&] {
        fake->Fail("get_GroupsNum", DISP_E_EXCEPTION);
        fake->Fail("StartComputing", E_ACCESSDENIED);
    });
    LONG value = 77;
    EXPECT_EQ(automation->get_GroupsNum(&value), DISP_E_EXCEPTION);
    EXPECT_EQ(value, 77); // a failed read leaves a number as it was
    BStr s;
    EXPECT_EQ(automation->StartComputing(s.get(), 1, s.get(), s.get(), s.get(), 0), E_ACCESSDENIED);
}

TEST_F(ProxyTest, AFailedStringReadGivesNull) {
    server->Run([&] { fake->Fail("get_GroupName", E_FAIL); });
    BSTR value = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(automation->get_GroupName(&value), E_FAIL);
    EXPECT_EQ(value, nullptr);
}

TEST_F(ProxyTest, AnExceptionInTheServerBecomesAServerFaultAndTheServerGoesOn) {
    server->Run([&] {
        fake->OnCall("get_GroupsNum",
                     [](std::vector<FakeValue>&, FakeValue&) -> bool { throw std::runtime_error("broken"); });
    });
    LONG value = 0;
    EXPECT_EQ(automation->get_GroupsNum(&value), RPC_E_SERVERFAULT);
    EXPECT_EQ(automation->get_CarIndex(&value), S_OK);
}

TEST_F(ProxyTest, CallsFromAnotherThreadAreRefused) {
    HRESULT hr = S_OK;
    std::thread other([&] {
        LONG value = 0;
        hr = automation->get_GroupsNum(&value);
    });
    other.join();
    EXPECT_EQ(hr, RPC_E_WRONG_THREAD);
    LONG value = 0;
    EXPECT_EQ(automation->get_GroupsNum(&value), S_OK);
}

TEST_F(ProxyTest, OneIdentityForEveryInterface) {
    ComPtr<IUnknown> a;
    ComPtr<IUnknown> b;
    ASSERT_EQ(automation->QueryInterface(IID_IUnknown, a.outVoid()), S_OK);
    ComPtr<INavilonixAutomation> again = ComPtr<INavilonixAutomation>::QueryFrom(a.get());
    EXPECT_EQ(again.get(), automation.get());
    ASSERT_EQ(again->QueryInterface(IID_IUnknown, b.outVoid()), S_OK);
    EXPECT_EQ(a.get(), b.get());
    ComPtr<IDispatch> dispatch = ComPtr<IDispatch>::QueryFrom(automation.get());
    EXPECT_TRUE(dispatch);
}

TEST_F(ProxyTest, InterfacesTheObjectLacksAreRefused) {
    ComPtr<IUnknown> out;
    EXPECT_EQ(automation->QueryInterface(IID_IClassFactory, out.outVoid()), E_NOINTERFACE);
    server->Run([&] { fake->SetOffersEvents(false); });
    EXPECT_EQ(automation->QueryInterface(IID_IConnectionPointContainer, out.outVoid()), E_NOINTERFACE);
    EXPECT_EQ(out.get(), nullptr);
}

TEST_F(ProxyTest, AfterTheServerDiesEveryCallFailsAtOnce) {
    LONG value = 0;
    ASSERT_EQ(automation->get_GroupsNum(&value), S_OK);
    server->Stop();
    EXPECT_EQ(automation->get_GroupsNum(&value), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(automation->set_GroupIndex(1), RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(automation->ShowApplication(), RPC_S_SERVER_UNAVAILABLE_HR);
    ComPtr<IUnknown> out;
    EXPECT_EQ(automation->QueryInterface(IID_IConnectionPointContainer, out.outVoid()), RPC_S_SERVER_UNAVAILABLE_HR);
}

TEST_F(ProxyTest, TheLoopNoticesADeadServerBeforeAnyCall) {
    server->Stop();
    ASSERT_TRUE(RunUntil([&] { return client->Connections().empty(); }));
    LONG value = 0;
    EXPECT_EQ(automation->get_GroupsNum(&value), RPC_S_SERVER_UNAVAILABLE_HR);
}

class ClassObjectTest : public PeerFixture {
protected:
    void SetUp() override {
        byClassObject = true;
        PeerFixture::SetUp();
    }
};

TEST_F(ClassObjectTest, TheObjectIsMadeOnFirstUseAndThenKept) {
    EXPECT_EQ(factory.made, 1); // asked for INavilonixAutomation while connecting
    LONG value = 0;
    ASSERT_EQ(automation->set_GroupIndex(4), S_OK);
    ASSERT_EQ(automation->get_GroupIndex(&value), S_OK);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(factory.made, 1);
}

} // namespace
