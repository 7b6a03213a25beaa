// The server's side: an object offered at /ole/Object, whose members are dispatched from incoming calls to the
// object's slots. How each interface crosses the bus is described once, by an InterfaceMarshaler; its stub members
// are made from the interface's member-function pointers, so argument types are checked by the compiler.
#pragma once

#include "platform/ole/Bus.h"
#include "platform/ole/ComPtr.h"
#include "platform/ole/DeferredReply.h"
#include "platform/ole/Marshal.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace ole {

class DBusTransport;
class ProxyPart;
class RemoteObject;
class ServerPoints;

// Reads the in-arguments of `call`, calls the slot on `object` (a pointer to the marshaled interface) and, when the
// slot succeeds, creates `*reply` with its out-value. Returns a negative errno when the arguments cannot be read;
// otherwise 0, with the slot's result code in `*result`.
using StubDispatch = int (*)(IUnknown* object, sd_bus_message* call, sd_bus_message** reply, HRESULT* result);

struct StubMember {
    std::string name;  // the D-Bus method
    std::string in;    // signature of the arguments
    std::string out;   // signature of the reply
    std::string names; // argument names, each followed by '\0': the inputs, then the outputs
    StubDispatch dispatch;
};

struct InterfaceMarshaler {
    IID iid;
    std::string busInterface;
    std::vector<StubMember> members;
    std::unique_ptr<ProxyPart> (*makeProxy)(RemoteObject& object);
    std::vector<sd_bus_vtable> vtable; // filled in by RegisterInterfaceMarshaler
};

// Registers how an interface crosses the bus (once per identifier; a second registration is ignored). The
// description stays alive for the life of the process.
const InterfaceMarshaler& RegisterInterfaceMarshaler(InterfaceMarshaler marshaler);
const InterfaceMarshaler* FindInterfaceMarshaler(REFIID iid);
std::vector<const InterfaceMarshaler*> RegisteredMarshalers();

// --- stub members from member-function pointers ---

template <class T> struct InArgument;
template <> struct InArgument<LONG> {
    LONG value = 0;
    int Read(sd_bus_message* m) { return ole::Read(m, &value); }
    LONG Get() const { return value; }
};
template <> struct InArgument<double> {
    double value = 0;
    int Read(sd_bus_message* m) { return ole::Read(m, &value); }
    double Get() const { return value; }
};
template <> struct InArgument<BSTR> {
    BStr value; // the caller of the slot owns its in-strings and frees them after the call
    int Read(sd_bus_message* m) { return ole::Read(m, value.out()); }
    BSTR Get() const { return value.get(); }
};
template <> struct InArgument<VARIANT> {
    Variant value;
    int Read(sd_bus_message* m) {
        VARIANT v;
        const int r = ole::Read(m, &v);
        if (r >= 0)
            *value.get() = v;
        return r;
    }
    VARIANT Get() const { return *value.get(); } // a shallow copy: the slot only reads it
};

template <class T> struct OutArgument {
    T value{};
    T* Slot() { return &value; }
    int Append(sd_bus_message* m) { return ole::Append(m, value); }
};
template <> struct OutArgument<BSTR> {
    BStr value; // the string the slot returns belongs to us; freed once it has been sent
    BSTR* Slot() { return value.out(); }
    int Append(sd_bus_message* m) { return ole::Append(m, value.get()); }
};
template <> struct OutArgument<VARIANT> {
    Variant value;
    VARIANT* Slot() { return value.get(); }
    int Append(sd_bus_message* m) { return ole::Append(m, *value.get()); }
};

// A slot whose only argument is a pointer (other than a BSTR, which is one itself) is a property read.
template <class A> inline constexpr bool kIsOutArgument = std::is_pointer_v<A> && !std::is_same_v<A, BSTR>;
template <class... A> inline constexpr bool kIsPropertyRead = sizeof...(A) == 1 && (kIsOutArgument<A> && ...);

template <class I, class... A>
int DispatchSlot(HRESULT (STDMETHODCALLTYPE I::*slot)(A...), IUnknown* object, sd_bus_message* call,
                 sd_bus_message** reply, HRESULT* result) {
    I* target = static_cast<I*>(object);
    *reply = nullptr;
    if constexpr (kIsPropertyRead<A...>) {
        OutArgument<std::remove_pointer_t<A>...> out;
        *result = (target->*slot)(out.Slot());
        if (FAILED(*result))
            return 0;
        int r = sd_bus_message_new_method_return(call, reply);
        if (r >= 0)
            r = out.Append(*reply);
        if (r < 0) {
            sd_bus_message_unref(*reply);
            *reply = nullptr;
            *result = r == -EINVAL ? DISP_E_BADVARTYPE : E_OUTOFMEMORY;
        }
        return 0;
    } else {
        std::tuple<InArgument<A>...> args;
        int r = 1;
        std::apply([&](auto&... a) { ((r = r < 0 ? r : a.Read(call)), ...); }, args);
        if (r < 0)
            return r;
        *result = std::apply([&](auto&... a) { return (target->*slot)(a.Get()...); }, args);
        if (SUCCEEDED(*result) && sd_bus_message_new_method_return(call, reply) < 0)
            *result = E_OUTOFMEMORY;
        return 0;
    }
}

template <auto Slot> int DispatchTo(IUnknown* object, sd_bus_message* call, sd_bus_message** reply, HRESULT* result) {
    return DispatchSlot(Slot, object, call, reply, result);
}

template <class I, class... A>
std::pair<std::string, std::string> SignaturesOf(HRESULT (STDMETHODCALLTYPE I::*)(A...)) {
    if constexpr (kIsPropertyRead<A...>)
        return {"", std::string(1, BusType<std::remove_pointer_t<A>...>::code)};
    else
        return {std::string{BusType<A>::code...}, ""};
}

// A stub member for the slot `Slot`, called `name` on the bus, with the given argument names (inputs, then the
// output of a property read).
template <auto Slot> StubMember MakeStubMember(std::string name, const std::vector<std::string_view>& argumentNames) {
    StubMember m;
    m.name = std::move(name);
    std::tie(m.in, m.out) = SignaturesOf(Slot);
    for (std::string_view n : argumentNames) {
        m.names.append(n);
        m.names.push_back('\0');
    }
    m.dispatch = &DispatchTo<Slot>;
    return m;
}

// --- the object a server process offers ---

class ExportedObject;

struct StubBinding {
    ExportedObject* object;
    const InterfaceMarshaler* marshaler;
    const StubMember* member;
};

class ExportedObject {
public:
    ExportedObject(DBusTransport& transport, REFCLSID clsid);
    ExportedObject(const ExportedObject&) = delete;
    ExportedObject& operator=(const ExportedObject&) = delete;
    ~ExportedObject();

    const CLSID& Clsid() const { return m_clsid; }
    DBusTransport& Transport() const { return m_transport; }
    ServerPoints& Points() const { return *m_points; }

    // The running object is served as it is; a class object makes the served object on first use.
    void SetActiveObject(IUnknown* object);
    void SetClassObject(IUnknown* classObject);
    bool IsPublished() const { return m_active || m_classObject; }

    // Offers the object (its interfaces, connection points and the transport interface) on a connection.
    int Attach(Connection& connection);
    void ConnectionClosed(Connection& connection);
    void ClientLeft(const std::string& uniqueName);
    void AddSlot(Connection& connection, SlotPtr slot);
    std::vector<Connection*> AttachedConnections() const;

    // The served object asked for an interface (a new reference, or null with the reason in `*error`).
    ComPtr<IUnknown> Query(REFIID iid, HRESULT* error);

private:
    static int HandleOpenPeer(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int HandleQueryInterface(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int HandleReadDirectly(sd_bus_message* m, void* userdata, sd_bus_error* error);
    IUnknown* Target(HRESULT* error);

    DBusTransport& m_transport;
    CLSID m_clsid;
    ComPtr<IUnknown> m_active;
    ComPtr<IUnknown> m_classObject;
    ComPtr<IUnknown> m_created;
    std::deque<std::vector<StubBinding>> m_bindings;
    std::map<Connection*, std::vector<SlotPtr>> m_slots;
    std::unique_ptr<ServerPoints> m_points;
};

} // namespace ole
