#include "automation/Navilonix_OCX.h"

#include "automation/CallLog.h"

#include "platform/ole/ErrorText.h"
#include "platform/ole/Registry.h"
#include "platform/rtl/Exceptions.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string_view>

namespace {

// The message and prompt texts are built in buffers of this many characters, terminator included.
constexpr std::size_t kMessageBuffer = 520;

THrCheckPrompt& Prompt() {
    static THrCheckPrompt prompt;
    return prompt;
}

TEventErrorHandler& EventErrorHandler() {
    static TEventErrorHandler handler;
    return handler;
}

TEventObserver& EventObserver() {
    static TEventObserver observer;
    return observer;
}

bool DebuggerAttached() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("TracerPid:", 0) == 0)
            return std::stoi(line.substr(10)) != 0;
    return false;
}

void DefaultDebugBreak() {
    if (DebuggerAttached()) {
        std::raise(SIGTRAP);
        return;
    }
    throw Exception("A break into the debugger was requested, but no debugger is attached.");
}

TDebugBreak& DebugBreakFunction() {
    static TDebugBreak debugBreak = DefaultDebugBreak;
    return debugBreak;
}

TEventPoster& Poster() {
    static TEventPoster poster;
    return poster;
}

// Calls into the server under way on this thread, and the sinks whose held events wait for the outermost one to
// end.
thread_local int g_callDepth = 0;
thread_local std::vector<ComPtr<TServerEventDispatch>> g_waitingForCallEnd;

// Cuts a UTF-8 text to fit a buffer of kMessageBuffer characters without splitting a character.
std::string FitBuffer(std::string text) {
    if (text.size() < kMessageBuffer)
        return text;
    std::size_t cut = kMessageBuffer - 1;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    text.resize(cut);
    return text;
}

int ShowPrompt(const std::string& caption, const std::string& text) {
    if (Prompt())
        return Prompt()(caption, text);
    std::fprintf(stderr, "%s%s\n", caption.c_str(), text.c_str());
    return IDNO;
}

// The system's text without its trailing blanks, line breaks and full stops.
std::string TrimmedSystemText(HRESULT code) {
    const char* text = SystemErrorText(code);
    if (!text)
        return Format("OLE error %.8x", static_cast<unsigned>(code));
    std::string s = text;
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n' || s.back() == '.'))
        s.pop_back();
    return s;
}

// `detail`, when given, explains the failure in the words of whatever stood in the way (on a line of its own): the
// link to another machine, the session bus, or the bus reporting a server that would not start.
[[noreturn]] void RaiseConnectError(HRESULT code, REFCLSID clsid, const std::string& detail = {}) {
    LPOLESTR clsidText = nullptr;
    std::string clsidUtf8;
    if (SUCCEEDED(StringFromCLSID(clsid, &clsidText))) {
        clsidUtf8 = Utf16ToUtf8(clsidText);
        CoTaskMemFree(clsidText);
    }
    std::string message = Format("%s, ClassID: %s", TrimmedSystemText(code).c_str(), clsidUtf8.c_str());
    if (!detail.empty())
        message += "\n" + detail;
    throw EOleSysError(message, code);
}

// The object's connection point of an event interface, or null when it has none.
ComPtr<IConnectionPoint> EventConnectionPoint(IUnknown* obj, REFIID eventIID) {
    auto container = ComPtr<IConnectionPointContainer>::QueryFrom(obj);
    ComPtr<IConnectionPoint> point;
    if (!container || FAILED(container->FindConnectionPoint(eventIID, point.out())))
        return nullptr;
    return point;
}

template <class T> T ZeroValue() {
    if constexpr (std::is_same_v<T, VARIANT>) {
        VARIANT v;
        VariantInit(&v);
        return v;
    } else {
        return T{};
    }
}

template <class T> void ReleaseValue(T& value) {
    if constexpr (std::is_same_v<T, VARIANT>)
        VariantClear(&value);
    else if constexpr (std::is_same_v<T, BSTR>)
        SysFreeString(std::exchange(value, nullptr));
}

} // namespace

THrCheckPrompt SetHrCheckPrompt(THrCheckPrompt prompt) {
    return std::exchange(Prompt(), std::move(prompt));
}

TEventErrorHandler SetEventErrorHandler(TEventErrorHandler handler) {
    return std::exchange(EventErrorHandler(), std::move(handler));
}

TEventObserver SetEventObserver(TEventObserver observer) {
    return std::exchange(EventObserver(), std::move(observer));
}

TDebugBreak SetDebugBreak(TDebugBreak debugBreak) {
    return std::exchange(DebugBreakFunction(), debugBreak ? std::move(debugBreak) : TDebugBreak(DefaultDebugBreak));
}

TEventPoster SetEventPoster(TEventPoster poster) {
    return std::exchange(Poster(), std::move(poster));
}

TServerCall::TServerCall() {
    ++g_callDepth;
}

TServerCall::~TServerCall() {
    if (--g_callDepth > 0)
        return;
    std::vector<ComPtr<TServerEventDispatch>> waiting;
    waiting.swap(g_waitingForCallEnd);
    for (const ComPtr<TServerEventDispatch>& sink : waiting) {
        if (Poster())
            sink->ScheduleDelivery();
        else
            sink->DeliverHeldEvents();
    }
}

bool TServerCall::Running() {
    return g_callDepth > 0;
}

HRESULT HrCheck(HRESULT code, const char* expression, const char* source, int line) {
    if (code >= 0)
        return code;
    std::string message;
    char* systemText = nullptr;
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, static_cast<DWORD>(code),
                       LANG_USER_DEFAULT, reinterpret_cast<char*>(&systemText), 0, nullptr) != 0 &&
        systemText) {
        message = Format("'%s': %s @ %s/%d", expression, systemText, source, line);
        LocalFree(systemText);
    } else {
        message = Format("(%s) Error: %X (%d) @ %s/%d", expression, static_cast<unsigned>(code), code, source, line);
    }
    message = FitBuffer(message);
    const std::string prompt =
        FitBuffer(Format("%s\nPress [Y]es to terminate, [N]o to continue and [C]ancel to Debug", message.c_str()));
    const int answer = ShowPrompt("HRCHECK: ", prompt);
    if (answer == IDYES)
        throw EOleException(message, code, source, "", 0);
    if (answer == IDCANCEL)
        DebugBreakFunction()();
    return code;
}

void OleCheck(HRESULT code) {
    if (code >= 0)
        return;
    const std::string text = TrimmedSystemText(code);
    if (!SystemErrorText(code))
        throw EOleSysError(text, code); // the text already names the code
    throw EOleSysError(Format("%s (0x%.8X)", text.c_str(), static_cast<unsigned>(code)), code);
}

// --- TServerEventDispatch -------------------------------------------------------------------------------------

TServerEventDispatch::TServerEventDispatch(TOleServer* Server) : m_server(Server) {}

HRESULT TServerEventDispatch::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    const IID& events =
        m_server && m_server->ServerData() ? m_server->ServerData()->EventIID : DIID_INavilonixAutomationEvents;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events) {
        *ppvObject = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG TServerEventDispatch::AddRef() {
    if (m_server)
        ++m_server->m_refCount;
    return ++m_refCount;
}

ULONG TServerEventDispatch::Release() {
    if (m_server)
        --m_server->m_refCount;
    const ULONG count = --m_refCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT TServerEventDispatch::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*,
                                     EXCEPINFO*, UINT*) {
    // Keeps the sink alive while a handler destroys the wrapper (which drops the sink's initial reference).
    AddRef();
    const UINT count = pDispParams ? pDispParams->cArgs : 0;
    const UINT named = pDispParams ? pDispParams->cNamedArgs : 0;
    std::vector<Variant> params(count);
    std::vector<VARIANT*> targets(count, nullptr); // where each element came from
    for (UINT i = 0; i < count; ++i) {
        VARIANT* source = &pDispParams->rgvarg[i];
        UINT index = count - 1 - i; // the block holds the last positional argument first
        if (i < named && pDispParams->rgdispidNamedArgs) {
            const DISPID id = pDispParams->rgdispidNamedArgs[i];
            if (id < 0 || static_cast<UINT>(id) >= count)
                continue;
            index = static_cast<UINT>(id);
        }
        if (source->vt & VT_BYREF) {
            targets[index] = source;
            if (source->vt == (VT_BYREF | VT_VARIANT) && source->pvarVal)
                VariantCopy(params[index].get(), source->pvarVal);
        } else {
            VariantCopy(params[index].get(), source);
        }
    }
    if (m_server && (TServerCall::Running() || !m_held.empty())) {
        // Raised inside a call (or behind events that were): held back, and delivered in order once the call has
        // returned. Arguments passed by reference keep their values then, as over the bus.
        m_held.push_back({dispIdMember, std::move(params)});
        ScheduleDelivery();
        Release();
        return S_OK;
    }
    Dispatch(dispIdMember, params);
    // Only the copies are used from here on: the wrapper may be gone.
    for (UINT i = 0; i < count; ++i)
        if (targets[i] && targets[i]->vt == (VT_BYREF | VT_VARIANT) && targets[i]->pvarVal)
            VariantCopy(targets[i]->pvarVal, params[i].get());
    Release();
    return S_OK;
}

void TServerEventDispatch::Dispatch(DISPID dispId, std::vector<Variant>& params) {
    TOleServer* server = m_server;
    if (!server)
        return;
    try {
        server->InvokeEvent(dispId, params);
    } catch (const std::exception& error) {
        if (EventErrorHandler())
            EventErrorHandler()(error);
        else
            std::fprintf(stderr, "%s\n", error.what());
    } catch (...) {
        if (EventErrorHandler())
            EventErrorHandler()(Exception(""));
    }
}

void TServerEventDispatch::ScheduleDelivery() {
    if (TServerCall::Running() || !Poster()) {
        g_waitingForCallEnd.emplace_back(this);
        return;
    }
    if (m_deliveryScheduled)
        return;
    m_deliveryScheduled = true;
    // The pass holds the sink: the wrapper may be destroyed before it runs.
    Poster()([self = ComPtr<TServerEventDispatch>(this)] {
        self->m_deliveryScheduled = false;
        self->DeliverHeldEvents();
    });
}

void TServerEventDispatch::DeliverHeldEvents() {
    const ComPtr<TServerEventDispatch> self(this); // a handler may destroy the wrapper and drop its reference
    while (!m_held.empty()) {
        if (!m_server) {
            m_held.clear(); // the wrapper is gone: no handler runs any more
            return;
        }
        if (TServerCall::Running()) {
            g_waitingForCallEnd.push_back(self);
            return;
        }
        THeldEvent event = std::move(m_held.front());
        m_held.pop_front();
        // A handler that opens a modal loop lets that loop deliver the next ones, still in order.
        if (!m_held.empty())
            ScheduleDelivery();
        Dispatch(event.dispId, event.params);
    }
}

// --- TOleServer -----------------------------------------------------------------------------------------------

TOleServer::TOleServer(TComponent* Owner) : TComponent(Owner), m_eventDispatch(new TServerEventDispatch(this)) {}

TOleServer::~TOleServer() {
    DestroyServer();
}

void TOleServer::DestroyServer() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    if (m_eventDispatch) {
        m_eventDispatch->ForgetServer();
        // The server may still hold a reference when withdrawing the connection failed; the sink then stays
        // alive and forwards nothing.
        std::exchange(m_eventDispatch, nullptr)->Release();
    }
    if (m_serverData)
        --m_serverData->InstanceCount;
}

TConnectKind TOleServer::EffectiveConnectKind() const {
    return RemoteMachineName.empty() ? ConnectKind : ckRemote;
}

ComPtr<IUnknown> TOleServer::GetServerObject() {
    const CLSID& clsid = m_serverData->ClassID;
    ComPtr<IUnknown> object;
    switch (EffectiveConnectKind()) {
    case ckRunningOrNew:
        if (SUCCEEDED(GetActiveObject(clsid, nullptr, object.out())) && object)
            return object;
        [[fallthrough]];
    case ckNewInstance: {
        const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                            object.outVoid());
        if (FAILED(hr))
            RaiseConnectError(hr, clsid, CoTakeErrorDetail());
        return object;
    }
    case ckRunningInstance: {
        const HRESULT hr = GetActiveObject(clsid, nullptr, object.out());
        if (FAILED(hr))
            RaiseConnectError(hr, clsid);
        return object;
    }
    case ckRemote: {
        // The running object on that machine, or one its bus starts.
        std::u16string machine = Utf8ToUtf16(RemoteMachineName);
        COSERVERINFO server{0, machine.data(), nullptr, 0};
        MULTI_QI result{&IID_IUnknown, nullptr, S_OK};
        const HRESULT hr = CoCreateInstanceEx(clsid, nullptr, CLSCTX_REMOTE_SERVER, &server, 1, &result);
        const std::string said = CoTakeErrorDetail();
        if (FAILED(hr))
            RaiseConnectError(hr, clsid,
                              said.find(RemoteMachineName) != std::string::npos ? said
                              : said.empty()                                    ? RemoteMachineName
                                                                                : RemoteMachineName + ": " + said);
        object = ComPtr<IUnknown>::Attach(result.pItf);
        return object;
    }
    case ckAttachToInterface:
        break;
    }
    return object;
}

void TOleServer::ConnectEvents(IUnknown* obj) {
    if (!obj || !m_eventDispatch)
        return;
    const ComPtr<IConnectionPoint> point = EventConnectionPoint(obj, m_serverData->EventIID);
    if (!point)
        return;
    ComPtr<IUnknown> sink;
    if (FAILED(m_eventDispatch->QueryInterface(IID_IUnknown, sink.outVoid())))
        return;
    DWORD cookie = 0;
    if (SUCCEEDED(point->Advise(sink.get(), &cookie)))
        m_eventsConnection = cookie;
}

void TOleServer::DisconnectEvents(IUnknown* obj) {
    if (!obj || m_eventsConnection == 0)
        return;
    const ComPtr<IConnectionPoint> point = EventConnectionPoint(obj, m_serverData->EventIID);
    if (!point)
        return;
    if (SUCCEEDED(point->Unadvise(m_eventsConnection)))
        m_eventsConnection = 0;
}

// --- TNavilonixAutomation -------------------------------------------------------------------------------------

TServerData& TNavilonixAutomation::ClassServerData() {
    static TServerData data;
    return data;
}

TNavilonixAutomation::TNavilonixAutomation(TComponent* Owner) : TOleServer(Owner) {
    InitServerData();
    ++m_serverData->InstanceCount;
}

TNavilonixAutomation::~TNavilonixAutomation() {
    try {
        BeforeDestruction();
    } catch (...) {
        // Destruction goes on whatever the server answers.
    }
    m_defaultIntf.reset();
    try {
        Disconnect();
    } catch (...) {
    }
    DestroyServer();
}

void TNavilonixAutomation::InitServerData() {
    TServerData& data = ClassServerData();
    data.ClassID = CLSID_NavilonixAutomation;
    data.IntfIID = IID_INavilonixAutomation;
    data.EventIID = DIID_INavilonixAutomationEvents;
    m_serverData = &data;
}

void TNavilonixAutomation::BeforeDestruction() {
    Disconnect();
}

void TNavilonixAutomation::Connect() {
    if (m_defaultIntf)
        return;
    ComPtr<IUnknown> punk = GetServerObject();
    ComPtr<IUnknown> src;
    if (punk)
        punk->QueryInterface(IID_IUnknown, src.outVoid());
    punk.reset();
    m_defaultIntf.reset();
    if (src) {
        INavilonixAutomation* intf = nullptr;
        const HRESULT hr = src->QueryInterface(m_serverData->IntfIID, reinterpret_cast<void**>(&intf));
        if (SUCCEEDED(hr) && intf)
            m_defaultIntf = ComPtr<INavilonixAutomation>::Attach(intf);
        HrCheck(hr, "src->QueryInterface(GetIID(), (LPVOID*)(&intf))", "utilcls", __LINE__);
    }
    if (m_defaultIntf)
        ConnectEvents(ServerUnknown().get());
}

void TNavilonixAutomation::ConnectTo(INavilonixAutomation* svrIntf) {
    Disconnect();
    m_defaultIntf = ComPtr<INavilonixAutomation>(svrIntf);
    if (m_defaultIntf)
        ConnectEvents(ServerUnknown().get());
}

void TNavilonixAutomation::Disconnect() {
    if (!m_defaultIntf)
        return;
    DisconnectEvents(ServerUnknown().get());
    m_defaultIntf.reset();
}

ComPtr<IUnknown> TNavilonixAutomation::ServerUnknown() {
    ComPtr<IUnknown> dunk = GetDunk();
    ComPtr<IUnknown> obj;
    if (dunk)
        dunk->QueryInterface(IID_IUnknown, obj.outVoid());
    return obj;
}

ComPtr<IUnknown> TNavilonixAutomation::GetDunk() {
    if (!m_defaultIntf)
        return nullptr;
    IUnknown* unknown = nullptr;
    const HRESULT hr = m_defaultIntf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
    ComPtr<IUnknown> result = SUCCEEDED(hr) ? ComPtr<IUnknown>::Attach(unknown) : nullptr;
    HrCheck(hr, "src->QueryInterface(GetIID(), (LPVOID*)(&intf))", "utilcls", __LINE__);
    return result;
}

INavilonixAutomation* TNavilonixAutomation::GetDefaultInterface() {
    if (!m_defaultIntf)
        Connect();
    if (!m_defaultIntf) // connecting ended without the interface (the interface check was answered No or Cancel)
        RaiseConnectError(E_NOINTERFACE, m_serverData->ClassID);
    return m_defaultIntf.get();
}

void TNavilonixAutomation::InvokeEvent(DISPID DispID, std::vector<Variant>&) {
    if (EventObserver())
        EventObserver()(DispID);
    const TNotifyEvent* handler = nullptr;
    switch (DispID) {
    case DISPID_OnChangeCarsLists:
        handler = &OnChangeCarsLists;
        break;
    case DISPID_OnReceiveOnlineData:
        handler = &OnReceiveOnlineData;
        break;
    case DISPID_OnCloseServer:
        handler = &OnCloseServer;
        break;
    case DISPID_OnChangeParameters:
        handler = &OnChangeParameters;
        break;
    case DISPID_OnEndComputing:
        handler = &OnEndComputing;
        break;
    case DISPID_OnEndFieldsComputing:
        handler = &OnEndFieldsComputing;
        break;
    default:
        return;
    }
    if (*handler) {
        // A copy: the handler may destroy the wrapper, and with it the stored handler.
        const TNotifyEvent call = *handler;
        call(this);
    }
}

template <class T>
T TNavilonixAutomation::ReadProperty(int slot, HRESULT (INavilonixAutomation::*accessor)(T*), const char* expression) {
    T Value = ZeroValue<T>();
    // A reference held for the call: the wrapper may be disconnected before the call has returned.
    ComPtr<INavilonixAutomation> intf(GetDefaultInterface());
    HRESULT hr;
    {
        const TServerCall call;
        TCallScope logged(slot);
        logged.Arguments();
        hr = logged.Finish((intf.get()->*accessor)(&Value), Value);
    }
    try {
        HrCheck(hr, expression, "Navilonix_OCX", __LINE__);
    } catch (...) {
        ReleaseValue(Value);
        throw;
    }
    return Value;
}

#define NVX_TYPE_TEXT_LONG "long"
#define NVX_TYPE_TEXT_DOUBLE "double"
#define NVX_TYPE_TEXT_BSTR "BSTR"
#define NVX_TYPE_TEXT_VARIANT "VARIANT"

// Every call to the server passes through the operations below and CallMember, and each is recorded in the call
// log there (TCallScope): arguments, result code, a read's value and the duration of the interface call alone.
#define NVX_OCX_READ(slot, name, type)                                                                                 \
    type TNavilonixAutomation::get_##name() {                                                                          \
        return ReadProperty<type>(slot, &INavilonixAutomation::get_##name,                                             \
                                  "GetDefaultInterface()->get_" #name "((" NVX_TYPE_TEXT_##type "*)&Value)");          \
    }
#define NVX_OCX_WRITE(slot, name, type)                                                                                \
    void TNavilonixAutomation::set_##name(type Value) {                                                                \
        ComPtr<INavilonixAutomation> intf(GetDefaultInterface());                                                      \
        const TServerCall call;                                                                                        \
        TCallScope logged(slot);                                                                                       \
        logged.Arguments(Value);                                                                                       \
        logged.Finish(intf->set_##name(Value));                                                                        \
    }
#define NVX_OCX_METHOD(slot, name, params, args)                                                                       \
    HRESULT TNavilonixAutomation::name params {                                                                        \
        ComPtr<INavilonixAutomation> intf(GetDefaultInterface());                                                      \
        const TServerCall call;                                                                                        \
        TCallScope logged(slot);                                                                                       \
        logged.Arguments args;                                                                                         \
        return logged.Finish(intf->name args);                                                                         \
    }
NAVILONIX_MEMBERS(NVX_OCX_READ, NVX_OCX_WRITE, NVX_OCX_METHOD)
#undef NVX_OCX_READ
#undef NVX_OCX_WRITE
#undef NVX_OCX_METHOD

namespace {

template <class T> bool HoldsType(const Variant& value) {
    const VARTYPE vt = value.get()->vt;
    if constexpr (std::is_same_v<T, LONG>)
        return vt == VT_I4;
    else if constexpr (std::is_same_v<T, double>)
        return vt == VT_R8;
    else
        return vt == VT_BSTR;
}

template <class T> T ArgumentOf(const Variant& value) {
    if constexpr (std::is_same_v<T, LONG>)
        return value.get()->lVal;
    else if constexpr (std::is_same_v<T, double>)
        return value.get()->dblVal;
    else
        return value.get()->bstrVal;
}

// Calls `call` with the arguments unpacked by its parameter types, when their number and types match.
template <class Call, class... P, std::size_t... I>
HRESULT ApplyArguments(const std::vector<Variant>& arguments, Call& call, std::index_sequence<I...>) {
    if (arguments.size() != sizeof...(P))
        return DISP_E_BADPARAMCOUNT;
    if (!(HoldsType<P>(arguments[I]) && ...))
        return DISP_E_TYPEMISMATCH;
    return call(ArgumentOf<P>(arguments[I])...);
}

template <class Call, class... P>
HRESULT ApplyArguments(const std::vector<Variant>& arguments, Call& call, HRESULT (Call::*)(P...) const) {
    return ApplyArguments<Call, P...>(arguments, call, std::index_sequence_for<P...>{});
}

template <class T> void StoreResult(T& value, Variant& result) {
    VARIANT* out = result.get();
    VariantClear(out);
    if constexpr (std::is_same_v<T, LONG>) {
        out->vt = VT_I4;
        out->lVal = value;
    } else if constexpr (std::is_same_v<T, double>) {
        out->vt = VT_R8;
        out->dblVal = value;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        out->vt = VT_BSTR;
        out->bstrVal = std::exchange(value, nullptr);
    } else {
        *out = value;
        VariantInit(&value);
    }
}

} // namespace

HRESULT TNavilonixAutomation::CallMember(int slot, const std::vector<Variant>& arguments, Variant& result) {
    VariantClear(result.get());
    ComPtr<INavilonixAutomation> intf(GetDefaultInterface());
    const TServerCall serverCall;
    switch (slot) {
#define NVX_CALL_READ(slot, name, type)                                                                                \
    case slot: {                                                                                                       \
        if (!arguments.empty())                                                                                        \
            return DISP_E_BADPARAMCOUNT;                                                                               \
        type Value = ZeroValue<type>();                                                                                \
        TCallScope call(slot);                                                                                         \
        call.Arguments();                                                                                              \
        const HRESULT hr = call.Finish(intf->get_##name(&Value), Value);                                               \
        if (SUCCEEDED(hr))                                                                                             \
            StoreResult(Value, result);                                                                                \
        else                                                                                                           \
            ReleaseValue(Value);                                                                                       \
        return hr;                                                                                                     \
    }
#define NVX_CALL_WRITE(slot, name, type)                                                                               \
    case slot: {                                                                                                       \
        auto send = [&](type Value) {                                                                                  \
            TCallScope call(slot);                                                                                     \
            call.Arguments(Value);                                                                                     \
            return call.Finish(intf->set_##name(Value));                                                               \
        };                                                                                                             \
        return ApplyArguments(arguments, send, &decltype(send)::operator());                                           \
    }
#define NVX_CALL_METHOD(slot, name, params, args)                                                                      \
    case slot: {                                                                                                       \
        auto send = [&] params {                                                                                       \
            TCallScope call(slot);                                                                                     \
            call.Arguments args;                                                                                       \
            return call.Finish(intf->name args);                                                                       \
        };                                                                                                             \
        return ApplyArguments(arguments, send, &decltype(send)::operator());                                           \
    }
        NAVILONIX_MEMBERS(NVX_CALL_READ, NVX_CALL_WRITE, NVX_CALL_METHOD)
#undef NVX_CALL_READ
#undef NVX_CALL_WRITE
#undef NVX_CALL_METHOD
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}
