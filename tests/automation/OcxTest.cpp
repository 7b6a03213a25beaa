// The wrapper against the in-process fake, reached as the running object through GetActiveObject.
#include "automation/Navilonix_OCX.h"
#include "platform/ole/Registry.h"
#include "platform/rtl/Exceptions.h"
#include "tests/support/FakeAutomation.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const char* const kClassId = "{7166C02F-CFCE-4856-AB71-40F9329297BB}";

// Answers the failure prompt and remembers what it was asked.
struct PromptAnswers {
    int answer = IDNO;
    int shown = 0;
    std::string caption;
    std::string text;
};

class WrapperTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        fake = FakeAutomation::Create();
        fake->RegisterAsActive();
        previousPrompt = SetHrCheckPrompt([this](const std::string& caption, const std::string& text) {
            ++prompt.shown;
            prompt.caption = caption;
            prompt.text = text;
            return prompt.answer;
        });
        previousErrors = SetEventErrorHandler([this](const std::exception& e) { eventErrors.push_back(e.what()); });
    }
    void TearDown() override {
        wrapper.reset();
        fake->Revoke();
        SetHrCheckPrompt(previousPrompt);
        SetEventErrorHandler(previousErrors);
        CoUninitialize();
    }

    std::unique_ptr<TNavilonixAutomation> wrapper = std::make_unique<TNavilonixAutomation>(nullptr);
    ComPtr<FakeAutomation> fake;
    PromptAnswers prompt;
    std::vector<std::string> eventErrors;
    THrCheckPrompt previousPrompt;
    TEventErrorHandler previousErrors;
};

TEST_F(WrapperTest, StartsUnconnectedWithTheInitialSettings) {
    EXPECT_FALSE(wrapper->Connected());
    EXPECT_FALSE(wrapper->AutoConnect);
    EXPECT_EQ(wrapper->ConnectKind, ckRunningOrNew);
    EXPECT_TRUE(wrapper->RemoteMachineName.empty());
    EXPECT_EQ(wrapper->EventsCookie(), 0u);
    EXPECT_EQ(wrapper->EventDispatch()->RefCount(), 1u);
    EXPECT_TRUE(fake->Calls().empty());
    EXPECT_EQ(wrapper->ServerData()->ClassID, CLSID_NavilonixAutomation);
    EXPECT_EQ(wrapper->ServerData()->EventIID, DIID_INavilonixAutomationEvents);
}

TEST_F(WrapperTest, CountsItsInstancesInTheSharedServerData) {
    const int before = TNavilonixAutomation::ClassServerData().InstanceCount;
    {
        TNavilonixAutomation second(nullptr);
        EXPECT_EQ(TNavilonixAutomation::ClassServerData().InstanceCount, before + 1);
    }
    EXPECT_EQ(TNavilonixAutomation::ClassServerData().InstanceCount, before);
}

TEST_F(WrapperTest, ConnectAttachesToTheRunningObjectAndAdvisesTheSink) {
    wrapper->Connect();
    EXPECT_TRUE(wrapper->Connected());
    EXPECT_NE(wrapper->EventsCookie(), 0u);
    EXPECT_EQ(fake->SinkCount(), 1u);
    EXPECT_EQ(fake->Calls(), std::vector<std::string>{"Advise"});
}

TEST_F(WrapperTest, ConnectTwiceAndDisconnectTwiceChangeNothing) {
    wrapper->Connect();
    wrapper->Connect();
    EXPECT_EQ(fake->CallsOf("Advise").size(), 1u);
    wrapper->Disconnect();
    wrapper->Disconnect();
    EXPECT_EQ(fake->CallsOf("Unadvise").size(), 1u);
    EXPECT_FALSE(wrapper->Connected());
    EXPECT_EQ(wrapper->EventsCookie(), 0u);
    EXPECT_EQ(fake->SinkCount(), 0u);
}

TEST_F(WrapperTest, DisconnectReleasesEveryReferenceToTheServer) {
    const ULONG before = fake->RefCount();
    wrapper->Connect();
    wrapper->Disconnect();
    EXPECT_EQ(fake->RefCount(), before);
}

TEST_F(WrapperTest, TheFirstCallAfterDisconnectConnectsAgain) {
    fake->Set("GroupsNum", LONG{3});
    wrapper->Connect();
    wrapper->Disconnect();
    fake->ClearCalls();
    EXPECT_EQ(wrapper->get_GroupsNum(), 3);
    EXPECT_TRUE(wrapper->Connected());
    EXPECT_EQ(fake->Calls(), (std::vector<std::string>{"Advise", "get_GroupsNum"}));
}

TEST_F(WrapperTest, ForwardsReadsWritesAndMethodsWithTheirArguments) {
    fake->Set("CurrentVersion", std::string("2.7 Навигатор"));
    fake->Set("CarLatitude", 55.75);
    BStr version(wrapper->get_CurrentVersion());
    EXPECT_EQ(version.utf8(), "2.7 Навигатор");
    EXPECT_DOUBLE_EQ(wrapper->get_CarLatitude(), 55.75);
    wrapper->set_GroupIndex(2);
    EXPECT_EQ(wrapper->get_GroupIndex(), 2);
    BStr group("Группа 1.car");
    wrapper->GoToCarLastPosition(group.get(), 21999);
    wrapper->ShowApplication();
    const auto calls = fake->Calls();
    EXPECT_EQ(calls.at(calls.size() - 2), "GoToCarLastPosition(\"Группа 1.car\", 21999)");
    EXPECT_EQ(calls.back(), "ShowApplication()");
}

TEST_F(WrapperTest, WithoutAnyServerConnectRaisesClassNotRegistered) {
    fake->Revoke();
    try {
        wrapper->Connect();
        FAIL() << "Connect succeeded without a server";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.Message(), std::string("Class not registered, ClassID: ") + kClassId);
        EXPECT_EQ(static_cast<std::uint32_t>(e.ErrorCode()), 0x80040154u);
    }
    EXPECT_FALSE(wrapper->Connected());
    EXPECT_THROW(wrapper->get_GroupsNum(), EOleSysError); // the next call tries again
}

// A class object whose CreateInstance fails with a chosen code.
class FailingFactory final : public IClassFactory {
public:
    explicit FailingFactory(HRESULT code) : m_code(code) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** ppv) override {
        *ppv = nullptr;
        return m_code;
    }
    HRESULT STDMETHODCALLTYPE LockServer(int) override { return S_OK; }

private:
    HRESULT m_code;
    ULONG m_refs = 1;
};

TEST_F(WrapperTest, ACodeWithoutSystemTextNamesItselfInTheConnectError) {
    fake->Revoke();
    FailingFactory factory(MakeHResult(0x80041234u));
    DWORD cookie = 0;
    ASSERT_EQ(
        CoRegisterClassObject(CLSID_NavilonixAutomation, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
        S_OK);
    try {
        wrapper->Connect();
        FAIL() << "Connect succeeded";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.Message(), std::string("OLE error 80041234, ClassID: ") + kClassId);
    }
    CoRevokeClassObject(cookie);
}

TEST_F(WrapperTest, ASystemTextLosesItsFullStopAndLineEndInTheConnectError) {
    fake->Revoke();
    FailingFactory factory(RPC_S_SERVER_UNAVAILABLE_HR);
    DWORD cookie = 0;
    CoRegisterClassObject(CLSID_NavilonixAutomation, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    try {
        wrapper->Connect();
        FAIL() << "Connect succeeded";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.Message(), std::string("The RPC server is unavailable, ClassID: ") + kClassId);
    }
    CoRevokeClassObject(cookie);
}

TEST_F(WrapperTest, AServerWithoutConnectionPointStillServesCalls) {
    fake->SetOffersEvents(false);
    fake->Set("GroupsNum", LONG{5});
    bool ran = false;
    wrapper->OnChangeCarsLists = [&](TObject*) { ran = true; };
    wrapper->Connect();
    EXPECT_EQ(wrapper->EventsCookie(), 0u);
    EXPECT_EQ(wrapper->get_GroupsNum(), 5);
    fake->RaiseEvent(DISPID_OnChangeCarsLists);
    EXPECT_FALSE(ran);
    EXPECT_EQ(prompt.shown, 0);
}

TEST_F(WrapperTest, AFailedReadAnsweredNoReturnsTheZeroValueOfEachType) {
    fake->Set("GroupsNum", LONG{4});
    fake->Set("CarLatitude", 12.5);
    fake->Set("GroupName", std::string("x"));
    for (const char* member : {"get_GroupsNum", "get_CarLatitude", "get_GroupName", "get_TrackCrdsArray"})
        fake->Fail(member, E_FAIL);
    prompt.answer = IDNO;
    EXPECT_EQ(wrapper->get_GroupsNum(), 0);
    EXPECT_EQ(wrapper->get_CarLatitude(), 0.0);
    EXPECT_EQ(wrapper->get_GroupName(), nullptr);
    VARIANT v = wrapper->get_TrackCrdsArray();
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(prompt.shown, 4);
}

TEST_F(WrapperTest, TheFailurePromptShowsTheExpressionTheSystemTextAndTheChoices) {
    fake->Fail("get_GroupsNum", E_FAIL);
    wrapper->get_GroupsNum();
    EXPECT_EQ(prompt.caption, "HRCHECK: ");
    const std::string start =
        "'GetDefaultInterface()->get_GroupsNum((long*)&Value)': Unspecified error\n @ Navilonix_OCX/";
    EXPECT_EQ(prompt.text.substr(0, start.size()), start);
    const std::string end = "\nPress [Y]es to terminate, [N]o to continue and [C]ancel to Debug";
    ASSERT_GT(prompt.text.size(), end.size());
    EXPECT_EQ(prompt.text.substr(prompt.text.size() - end.size()), end);

    fake->Fail("get_GroupName", E_FAIL);
    BStr(wrapper->get_GroupName());
    EXPECT_NE(prompt.text.find("get_GroupName((BSTR*)&Value)"), std::string::npos);
    fake->Fail("get_CarSpeed", E_FAIL);
    wrapper->get_CarSpeed();
    EXPECT_NE(prompt.text.find("get_CarSpeed((double*)&Value)"), std::string::npos);
}

TEST_F(WrapperTest, ACodeWithoutSystemTextIsShownInHexAndDecimal) {
    fake->Fail("get_TripsNum", MakeHResult(0x80041234u));
    wrapper->get_TripsNum();
    const std::string start =
        "(GetDefaultInterface()->get_TripsNum((long*)&Value)) Error: 80041234 (-2147216844) @ Navilonix_OCX/";
    EXPECT_EQ(prompt.text.substr(0, start.size()), start);
}

TEST_F(WrapperTest, AFailedReadAnsweredYesRaisesTheOleExceptionWithThePromptsMessage) {
    fake->Fail("get_ComputingBusy", RPC_S_SERVER_UNAVAILABLE_HR);
    prompt.answer = IDYES;
    try {
        wrapper->get_ComputingBusy();
        FAIL() << "no exception";
    } catch (const EOleException& e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.ErrorCode()), 0x800706BAu);
        EXPECT_EQ(e.Source(), "Navilonix_OCX");
        EXPECT_EQ(e.HelpFile(), "");
        EXPECT_EQ(e.HelpContext(), 0);
        EXPECT_EQ(prompt.text.substr(0, e.Message().size()), e.Message());
        EXPECT_NE(e.Message().find("The RPC server is unavailable.\n @ Navilonix_OCX/"), std::string::npos);
    }
}

TEST_F(WrapperTest, CancelBreaksIntoTheDebuggerAndThenContinuesAsNo) {
    int breaks = 0;
    auto previous = SetDebugBreak([&] { ++breaks; });
    fake->Fail("get_GroupsNum", E_FAIL);
    prompt.answer = IDCANCEL;
    EXPECT_EQ(wrapper->get_GroupsNum(), 0);
    EXPECT_EQ(breaks, 1);
    SetDebugBreak(previous);
}

TEST_F(WrapperTest, CancelWithoutADebuggerIsReportedAsAnError) {
    SetDebugBreak(nullptr); // the default: no debugger attached under the test runner
    fake->Fail("get_GroupsNum", E_FAIL);
    prompt.answer = IDCANCEL;
    EXPECT_THROW(wrapper->get_GroupsNum(), Exception);
}

TEST_F(WrapperTest, FailedWritesAndMethodsShowNothing) {
    fake->Fail("set_GroupIndex", E_FAIL);
    fake->Fail("StartComputing", E_FAIL);
    wrapper->set_GroupIndex(3);
    BStr text("x");
    // The method's result goes back to the caller, unprompted; OleCheck turns it into an error on request.
    const HRESULT result = wrapper->StartComputing(text.get(), 1, text.get(), text.get(), text.get(), 1);
    EXPECT_EQ(result, E_FAIL);
    EXPECT_EQ(prompt.shown, 0);
    try {
        OleCheck(result);
        ADD_FAILURE() << "no error raised";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode(), E_FAIL);
        EXPECT_EQ(error.Message(), "Unspecified error (0x80004005)");
    }
    EXPECT_NO_THROW(OleCheck(S_FALSE));
    EXPECT_EQ(fake->CallsOf("StartComputing").size(), 1u);
}

TEST_F(WrapperTest, EachEventReachesItsHandlerWithTheWrapperAsSender) {
    std::vector<std::pair<std::string, TObject*>> seen;
    auto record = [&](const char* name) { return [&seen, name](TObject* s) { seen.emplace_back(name, s); }; };
    wrapper->OnChangeCarsLists = record("cars");
    wrapper->OnReceiveOnlineData = record("online");
    wrapper->OnCloseServer = record("close");
    wrapper->OnChangeParameters = record("params");
    wrapper->OnEndComputing = record("end");
    wrapper->OnEndFieldsComputing = record("fields");
    wrapper->Connect();
    for (DISPID id = 200; id <= 207; ++id)
        fake->RaiseEvent(id);
    const std::vector<std::string> expected{"cars", "online", "close", "params", "end", "fields"};
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i].first, expected[i]);
        EXPECT_EQ(seen[i].second, wrapper.get());
    }
}

TEST_F(WrapperTest, UnknownIdentifiersAndEmptyHandlersAreAnsweredWithSuccess) {
    IDispatch* sink = wrapper->EventDispatch();
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(sink->Invoke(200, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink->Invoke(207, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink->Invoke(201, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(WrapperTest, TheSinkAnswersOnlyItsOwnInterfaces) {
    IDispatch* sink = wrapper->EventDispatch();
    void* p = nullptr;
    EXPECT_EQ(sink->QueryInterface(DIID_INavilonixAutomationEvents, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(sink->QueryInterface(IID_IDispatch, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(sink->QueryInterface(IID_INavilonixAutomation, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    // Its names and type information are those of the events interface.
    UINT count = 7;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"onendcomputing")};
    DISPID id = 0;
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, DISPID_OnEndComputing);
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, nullptr, 0, 0, nullptr), E_POINTER);
}

TEST_F(WrapperTest, SinkReferencesArePassedOnToTheWrappersCount) {
    IDispatch* sink = wrapper->EventDispatch();
    const int before = wrapper->RefCount();
    sink->AddRef();
    EXPECT_EQ(wrapper->RefCount(), before + 1);
    sink->Release();
    EXPECT_EQ(wrapper->RefCount(), before);
}

// Records the arguments the sink hands to InvokeEvent and changes the first one.
class RecordingWrapper : public TNavilonixAutomation {
public:
    using TNavilonixAutomation::TNavilonixAutomation;
    void InvokeEvent(DISPID DispID, std::vector<Variant>& Params) override {
        seen.clear();
        for (Variant& v : Params)
            seen.push_back(v.get()->vt == VT_I4 ? v.get()->lVal : -1);
        if (!Params.empty())
            Params[0] = Variant(LONG{99});
        TNavilonixAutomation::InvokeEvent(DispID, Params);
    }
    std::vector<LONG> seen;
};

TEST(WrapperSink, CopiesPositionalArgumentsInCallOrderAndWritesBackByReference) {
    RecordingWrapper wrapper(nullptr);
    VARIANT byRefTarget;
    VariantInit(&byRefTarget);
    byRefTarget.vt = VT_I4;
    byRefTarget.lVal = 1;
    VARIANT block[3];
    // The block holds the last argument first: the call was (first=&byRefTarget, second=2, third=3).
    VariantInit(&block[0]);
    block[0].vt = VT_I4;
    block[0].lVal = 3;
    VariantInit(&block[1]);
    block[1].vt = VT_I4;
    block[1].lVal = 2;
    VariantInit(&block[2]);
    block[2].vt = VT_BYREF | VT_VARIANT;
    block[2].pvarVal = &byRefTarget;
    DISPPARAMS params{block, nullptr, 3, 0};
    EXPECT_EQ(wrapper.EventDispatch()->Invoke(201, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(wrapper.seen, (std::vector<LONG>{1, 2, 3}));
    EXPECT_EQ(byRefTarget.lVal, 99);
    EXPECT_EQ(block[1].lVal, 2); // by-value arguments are never written back
}

TEST_F(WrapperTest, ACloseHandlerThatDestroysTheWrapperReturnsSafely) {
    TNavilonixAutomation* raw = wrapper.release();
    bool closed = false;
    raw->OnCloseServer = [&](TObject*) {
        closed = true;
        raw->Disconnect();
        FreeAndNil(raw);
    };
    raw->Connect();
    fake->RaiseEvent(DISPID_OnCloseServer, {LONG{1}, std::string("прощай")});
    EXPECT_TRUE(closed);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(fake->SinkCount(), 0u);
}

TEST_F(WrapperTest, AfterDestructionAnEventThatStillReachesTheSinkRunsNoHandler) {
    fake->SetUnadviseFails(true);
    bool ran = false;
    wrapper->OnChangeCarsLists = [&](TObject*) { ran = true; };
    wrapper->Connect();
    wrapper.reset(); // the server keeps the sink: withdrawing the connection failed
    EXPECT_EQ(fake->SinkCount(), 1u);
    fake->RaiseEvent(DISPID_OnChangeCarsLists);
    EXPECT_FALSE(ran);
    fake->SetUnadviseFails(false);
}

TEST_F(WrapperTest, AnErrorFromAHandlerNeverLeavesTheSink) {
    wrapper->OnChangeCarsLists = [](TObject*) { throw EConvertError("'x' is not a valid integer value"); };
    wrapper->Connect();
    fake->RaiseEvent(DISPID_OnChangeCarsLists);
    EXPECT_EQ(eventErrors, std::vector<std::string>{"'x' is not a valid integer value"});
}

TEST_F(WrapperTest, TheOwnerDestroysTheWrapperAndItsConnection) {
    auto owner = std::make_unique<TComponent>(nullptr);
    auto* owned = new TNavilonixAutomation(owner.get());
    owned->Connect();
    EXPECT_EQ(owner->ComponentCount(), 1);
    owner.reset();
    EXPECT_EQ(fake->SinkCount(), 0u);
    EXPECT_EQ(fake->CallsOf("Unadvise").size(), 1u);
}

// An object that has no INavilonixAutomation.
class PlainObject final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
};

TEST_F(WrapperTest, AnObjectWithoutTheInterfaceIsReportedAndNeverCalledThrough) {
    fake->Revoke();
    PlainObject plain;
    DWORD cookie = 0;
    RegisterActiveObject(&plain, CLSID_NavilonixAutomation, ACTIVEOBJECT_STRONG, &cookie);
    prompt.answer = IDNO;
    wrapper->Connect();
    EXPECT_EQ(prompt.shown, 1);
    EXPECT_NE(
        prompt.text.find("'src->QueryInterface(GetIID(), (LPVOID*)(&intf))': No such interface supported\n @ utilcls/"),
        std::string::npos);
    EXPECT_FALSE(wrapper->Connected());
    EXPECT_THROW(wrapper->get_GroupsNum(), EOleSysError);
    EXPECT_THROW(wrapper->ShowApplication(), EOleSysError);
    RevokeActiveObject(cookie, nullptr);
    EXPECT_EQ(plain.refs, 1u);
}

TEST_F(WrapperTest, ConnectToAttachesAGivenInterface) {
    wrapper->ConnectTo(fake.get());
    EXPECT_TRUE(wrapper->Connected());
    EXPECT_EQ(fake->SinkCount(), 1u);
    wrapper->Disconnect();
    EXPECT_EQ(fake->SinkCount(), 0u);
}

} // namespace
