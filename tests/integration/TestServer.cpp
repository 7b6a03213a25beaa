// A small server for the integration tests: the scriptable fake served on the session bus, steered through
// EnterPassword commands:
//   "raise 201 202 ..."  raises the events in order while the call runs (202 carries the pid and a text)
//   "fail get_X 80004005" makes a member fail with the code
//   "crash"              dies inside the call, without replying
//   "leave-bus"          closes the session bus connection and keeps running (private channels stay open)
//   "exit"               quits after replying
//   "close"              raises OnCloseServer, then quits
// FieldsComputingTotalPercents reads the number of advised sinks; CurrentVersion reads "test-server <pid>".
//
// With --client [--no-peer] it acts as a client instead: it attaches to the running server, advises a sink,
// prints "advised" and waits to be killed.
#include "automation/NavilonixMarshal.h"
#include "platform/ole/Registry.h"
#include "platform/qt/QtBusPump.h"
#include "tests/support/FakeAutomation.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// A sink that ignores what it gets; the client mode only needs to be advised.
class QuietSink final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown && riid != IID_IDispatch)
            return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return S_OK;
    }
};

int RunClient(QCoreApplication& app, QtComTransport& transport, bool usePeer) {
    transport.Transport().SetUsePeer(usePeer);
    ComPtr<IUnknown> unknown;
    if (FAILED(GetActiveObject(CLSID_NavilonixAutomation, nullptr, unknown.out())))
        return 2;
    auto container = ComPtr<IConnectionPointContainer>::QueryFrom(unknown.get());
    ComPtr<IConnectionPoint> point;
    if (!container || FAILED(container->FindConnectionPoint(DIID_INavilonixAutomationEvents, point.out())))
        return 3;
    static QuietSink sink;
    DWORD cookie = 0;
    if (FAILED(point->Advise(&sink, &cookie)))
        return 4;
    std::printf("advised\n");
    std::fflush(stdout);
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RegisterNavilonixMarshaling();
    auto transport = InstallQtComTransport();
    CoInitialize(nullptr);
    const QStringList args = app.arguments();
    if (args.contains("--client"))
        return RunClient(app, *transport, !args.contains("--no-peer"));

    // A server that loses its session has nobody left to serve.
    transport->Transport().SetBusLostHandler([] { QCoreApplication::exit(0); });

    ComPtr<FakeAutomation> fake = FakeAutomation::Create();
    fake->Set("CurrentVersion", "test-server " + std::to_string(::getpid()));
    fake->Set("TrackCrdsArray", std::string("Ёжик;55.75"));
    fake->Set("Counters12Array", LONG{-12});
    fake->Set("Counters34Array", 0.125);
    fake->OnCall("get_FieldsComputingTotalPercents", [&fake](std::vector<FakeValue>&, FakeValue& value) {
        value = static_cast<LONG>(fake->SinkCount());
        return true;
    });
    fake->OnCall("EnterPassword", [&](std::vector<FakeValue>& arguments, FakeValue&) {
        std::istringstream command(arguments.empty() ? std::string() : std::get<std::string>(arguments[0]));
        std::string verb;
        command >> verb;
        if (verb == "raise") {
            DISPID id = 0;
            while (command >> id)
                fake->RaiseEvent(id, id == DISPID_OnReceiveOnlineData
                                         ? std::vector<FakeValue>{LONG{::getpid()}, std::string("Онлайн")}
                                         : std::vector<FakeValue>{});
        } else if (verb == "fail") {
            std::string member;
            std::string code;
            command >> member >> code;
            fake->Fail(member, static_cast<HRESULT>(std::stoul(code, nullptr, 16)));
        } else if (verb == "crash") {
            ::raise(SIGKILL);
        } else if (verb == "leave-bus") {
            QTimer::singleShot(0, [&transport] {
                transport->Transport().SetBusLostHandler(nullptr);
                if (ole::Connection* bus = transport->Transport().SessionBus())
                    transport->Transport().Retire(bus);
            });
        } else if (verb == "close") {
            QTimer::singleShot(0, [&fake] {
                fake->RaiseEvent(DISPID_OnCloseServer);
                QCoreApplication::exit(0);
            });
        } else if (verb == "exit") {
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        }
        return true;
    });

    FakeFactory factory(fake);
    DWORD classCookie = 0;
    DWORD activeCookie = 0;
    if (args.contains("--embedding") &&
        FAILED(CoRegisterClassObject(CLSID_NavilonixAutomation, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &classCookie)))
        return 1;
    if (FAILED(RegisterActiveObject(static_cast<INavilonixAutomation*>(fake.get()), CLSID_NavilonixAutomation,
                                    ACTIVEOBJECT_STRONG, &activeCookie)))
        return 1;
    const int code = app.exec();
    if (classCookie)
        CoRevokeClassObject(classCookie);
    RevokeActiveObject(activeCookie, nullptr);
    return code;
}
