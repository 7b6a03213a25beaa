// TNavilonixAutomation: the console's one way to the tracking server. It connects to the server object
// (running or new), forwards every member of the contract as an operation of the same name, checks the result
// of every property read, and turns the server's events into six notification properties.
#pragma once

#include "automation/Component.h"
#include "automation/MessageAnswers.h"
#include "automation/Navilonix_tlb.h"
#include "platform/ole/ComPtr.h"
#include "platform/ole/Dispatch.h"

#include <deque>
#include <string>
#include <vector>

// The failure prompt (caption, text) -> IDYES, IDNO or IDCANCEL. The application installs a message box; tests
// install an answering function. Without one, the prompt writes to stderr and answers No.
using THrCheckPrompt = std::function<int(const std::string& caption, const std::string& text)>;
THrCheckPrompt SetHrCheckPrompt(THrCheckPrompt prompt);
// Where an error raised by an event handler ends up (it must never pass out of the sink's Invoke). The
// application installs its standard error box; without one, the message goes to stderr.
using TEventErrorHandler = std::function<void(const std::exception& error)>;
TEventErrorHandler SetEventErrorHandler(TEventErrorHandler handler);
// Sees the dispatch identifier of every event the sink delivers, before the event's own handler runs (or none
// runs); it takes no handler's place. The console's event list installs one.
using TEventObserver = std::function<void(DISPID DispID)>;
TEventObserver SetEventObserver(TEventObserver observer);
// Requests a break into a debugger; without one attached, raises an error instead.
using TDebugBreak = std::function<void()>;
TDebugBreak SetDebugBreak(TDebugBreak debugBreak);
// Runs a piece of work later from the event loop of the user-interface thread. The application installs its
// loop's; without one, events held back during a call are delivered as soon as the outermost call returns.
using TEventPoster = std::function<void(std::function<void()> work)>;
TEventPoster SetEventPoster(TEventPoster poster);

// Marks a call into the server for as long as it lives. An event that the server raises meanwhile (an
// in-process server may raise it from inside the call) is held back by the sink and delivered from the event
// loop once the call has returned, as the bus transport does: no handler ever runs inside a call.
class TServerCall {
public:
    TServerCall();
    ~TServerCall();
    TServerCall(const TServerCall&) = delete;
    TServerCall& operator=(const TServerCall&) = delete;
    // Whether a call into the server is under way on this thread.
    static bool Running();
};

// The result check: codes >= 0 pass; a failure shows the prompt: Yes raises EOleException, Cancel breaks into the
// debugger and then continues as No, No returns the code.
HRESULT HrCheck(HRESULT code, const char* expression, const char* source, int line);
// For the console's own use on the result of a method: a failed code raises EOleSysError with the system's text
// and the code; the wrapper itself never prompts for a method.
void OleCheck(HRESULT code);

enum TConnectKind { ckRunningOrNew, ckNewInstance, ckRunningInstance, ckRemote, ckAttachToInterface };

// The server description shared by all instances of one wrapper class.
struct TServerData {
    CLSID ClassID{};
    IID IntfIID{};
    IID EventIID{};
    int InstanceCount = 0;
};

class TOleServer;

// The event sink: an IDispatch the server calls with the events' dispatch identifiers. Its type information
// and names are those of the events interface.
class TServerEventDispatch final : public ole::DescribedDispatch<IDispatch, &NavilonixEventsDescription> {
public:
    explicit TServerEventDispatch(TOleServer* Server);
    TServerEventDispatch(const TServerEventDispatch&) = delete;
    TServerEventDispatch& operator=(const TServerEventDispatch&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // The wrapper is being destroyed: later events reach no handler.
    void ForgetServer() { m_server = nullptr; }
    TOleServer* Server() const { return m_server; }
    ULONG RefCount() const { return m_refCount; }
    // Delivers the held events in order, unless a call is under way (its end delivers them then).
    void DeliverHeldEvents();
    // Asks for a delivery pass from the event loop, or at the end of the outermost call when there is no loop.
    void ScheduleDelivery();

private:
    struct THeldEvent {
        DISPID dispId;
        std::vector<Variant> params;
    };
    ~TServerEventDispatch() = default;
    void Dispatch(DISPID dispId, std::vector<Variant>& params);

    TOleServer* m_server;
    ULONG m_refCount = 1;
    std::deque<THeldEvent> m_held;
    bool m_deliveryScheduled = false;
};

class TOleServer : public TComponent {
public:
    explicit TOleServer(TComponent* Owner);
    ~TOleServer() override;

    virtual void Connect() = 0;
    virtual void Disconnect() = 0;
    virtual void InvokeEvent(DISPID DispID, std::vector<Variant>& Params) = 0;

    bool AutoConnect = false;
    TConnectKind ConnectKind = ckRunningOrNew;
    std::string RemoteMachineName;

    // The effective connect kind: a remote machine name makes it ckRemote.
    TConnectKind EffectiveConnectKind() const;
    DWORD EventsCookie() const { return m_eventsConnection; }
    const TServerData* ServerData() const { return m_serverData; }
    TServerEventDispatch* EventDispatch() const { return m_eventDispatch; }
    int RefCount() const { return m_refCount; }

protected:
    virtual void InitServerData() = 0;
    // Obtains the server object by the connect kind; raises EOleSysError when it can be neither found nor made.
    ComPtr<IUnknown> GetServerObject();
    void ConnectEvents(IUnknown* obj);
    void DisconnectEvents(IUnknown* obj);
    // The base's part of destruction: disconnect, detach and release the sink, count the instance out.
    void DestroyServer();

    TServerData* m_serverData = nullptr;
    TServerEventDispatch* m_eventDispatch = nullptr;
    DWORD m_eventsConnection = 0;

private:
    friend class TServerEventDispatch;
    int m_refCount = 0;
    bool m_destroyed = false;
};

class TNavilonixAutomation : public TOleServer {
public:
    explicit TNavilonixAutomation(TComponent* Owner);
    ~TNavilonixAutomation() override;

    void Connect() override;
    void Disconnect() override;
    void ConnectTo(INavilonixAutomation* svrIntf);
    // The server's interface, connecting first if none is held. Raises an error when none can be had.
    INavilonixAutomation* GetDefaultInterface();
    // The default interface's IUnknown (a new reference), or empty.
    ComPtr<IUnknown> GetDunk();
    void InvokeEvent(DISPID DispID, std::vector<Variant>& Params) override;
    bool Connected() const { return static_cast<bool>(m_defaultIntf); }

    TNotifyEvent OnChangeCarsLists;
    TNotifyEvent OnReceiveOnlineData;
    TNotifyEvent OnCloseServer;
    TNotifyEvent OnChangeParameters;
    TNotifyEvent OnEndComputing;
    TNotifyEvent OnEndFieldsComputing;

    // Forwarding operations: get_X() returns the property (a BSTR or VARIANT then belongs to the caller),
    // set_X(Value) writes it, and each method keeps its name and arguments and returns the server's result
    // unexamined.
#define NVX_OCX_DECLARE_READ(slot, name, type) type get_##name();
#define NVX_OCX_DECLARE_WRITE(slot, name, type) void set_##name(type Value);
#define NVX_OCX_DECLARE_METHOD(slot, name, params, args) HRESULT name params;
    NAVILONIX_MEMBERS(NVX_OCX_DECLARE_READ, NVX_OCX_DECLARE_WRITE, NVX_OCX_DECLARE_METHOD)
#undef NVX_OCX_DECLARE_READ
#undef NVX_OCX_DECLARE_WRITE
#undef NVX_OCX_DECLARE_METHOD

    // Calls the member of `slot` with arguments of its table types (VT_I4, VT_R8, VT_BSTR in order) and returns
    // its result code unchecked, without the failure prompt; a read's value goes into `result`. Wrong arguments
    // send nothing and give DISP_E_BADPARAMCOUNT or DISP_E_TYPEMISMATCH, an unknown slot DISP_E_MEMBERNOTFOUND.
    HRESULT CallMember(int slot, const std::vector<Variant>& arguments, Variant& result);

    static TServerData& ClassServerData();

protected:
    void InitServerData() override;
    void BeforeDestruction();

private:
    template <class T> T ReadProperty(int slot, HRESULT (INavilonixAutomation::*accessor)(T*), const char* expression);
    // The default interface's IUnknown asked once more for IUnknown: the object the events are connected on.
    ComPtr<IUnknown> ServerUnknown();
    ComPtr<INavilonixAutomation> m_defaultIntf;
};
