#include "platform/ole/Stub.h"

#include "platform/ole/ConnectionPoint.h"
#include "platform/ole/Transport.h"

#include <mutex>
#include <unistd.h>
#include <utility>

namespace ole {

namespace {

struct MarshalerTable {
    std::mutex mutex;
    std::deque<InterfaceMarshaler> marshalers; // stable addresses
};

MarshalerTable& Marshalers() {
    static MarshalerTable table;
    return table;
}

sd_bus_vtable VTableStart() {
    sd_bus_vtable v = SD_BUS_VTABLE_START(0);
    return v;
}

sd_bus_vtable VTableEnd() {
    sd_bus_vtable v = SD_BUS_VTABLE_END;
    return v;
}

sd_bus_vtable VTableMethod(const char* member, const char* in, const char* out, sd_bus_message_handler_t handler,
                           std::size_t offset, const char* names) {
    sd_bus_vtable v{};
    v.type = _SD_BUS_VTABLE_METHOD;
    v.flags = 0;
    v.x.method.member = member;
    v.x.method.signature = in;
    v.x.method.result = out;
    v.x.method.handler = handler;
    v.x.method.offset = offset;
    v.x.method.names = names;
    return v;
}

int HandleMemberCall(sd_bus_message* m, void* userdata, sd_bus_error* error);

// The answer of a call taken over by its object: the call message, kept until the answer is sent.
class BusPendingAnswer final : public PendingAnswer {
public:
    BusPendingAnswer(sd_bus_message* call, DBusTransport* transport)
        : m_call(sd_bus_message_ref(call)), m_transport(transport) {}
    BusPendingAnswer(const BusPendingAnswer&) = delete;
    BusPendingAnswer& operator=(const BusPendingAnswer&) = delete;
    ~BusPendingAnswer() override { sd_bus_message_unref(m_call); }

    void Complete(HRESULT result) override {
        // The caller may have left, or its channel closed: its answer is simply not sent.
        if (SUCCEEDED(result))
            sd_bus_reply_method_return(m_call, nullptr);
        else
            ReplyWithResult(m_call, result);
        // What the socket did not take at once is written by the next pass of the loop.
        if (m_transport)
            m_transport->Schedule();
    }

private:
    sd_bus_message* m_call;
    DBusTransport* m_transport;
};

// The call a member is serving on this thread, which it may take over to answer later; installed as the thread's
// deferrer while the member runs.
class ServedCall final : public CallDeferrer {
public:
    ServedCall(sd_bus_message* call, DBusTransport* transport, bool deferrable)
        : m_call(call), m_transport(transport), m_deferrable(deferrable), m_outer(SetCurrentCallDeferrer(this)) {}
    ServedCall(const ServedCall&) = delete;
    ServedCall& operator=(const ServedCall&) = delete;
    ~ServedCall() override { SetCurrentCallDeferrer(m_outer); }

    DeferredReply Defer() override {
        if (!m_deferrable || m_taken)
            return {};
        m_taken = true;
        return DeferredReply(std::make_unique<BusPendingAnswer>(m_call, m_transport));
    }
    bool Taken() const { return m_taken; }

private:
    sd_bus_message* m_call;
    DBusTransport* m_transport;
    bool m_deferrable; // no out-value
    bool m_taken = false;
    CallDeferrer* m_outer;
};

} // namespace

const InterfaceMarshaler& RegisterInterfaceMarshaler(InterfaceMarshaler marshaler) {
    MarshalerTable& table = Marshalers();
    std::lock_guard lock(table.mutex);
    for (const InterfaceMarshaler& known : table.marshalers)
        if (known.iid == marshaler.iid)
            return known;
    InterfaceMarshaler& m = table.marshalers.emplace_back(std::move(marshaler));
    // Each method's handler receives its own StubBinding: the userdata of the registration is the first binding,
    // and the method's offset selects its own.
    m.vtable.clear();
    m.vtable.push_back(VTableStart());
    for (std::size_t i = 0; i < m.members.size(); ++i) {
        const StubMember& s = m.members[i];
        m.vtable.push_back(VTableMethod(s.name.c_str(), s.in.c_str(), s.out.c_str(), &HandleMemberCall,
                                        i * sizeof(StubBinding), s.names.c_str()));
    }
    m.vtable.push_back(VTableEnd());
    return m;
}

const InterfaceMarshaler* FindInterfaceMarshaler(REFIID iid) {
    MarshalerTable& table = Marshalers();
    std::lock_guard lock(table.mutex);
    for (const InterfaceMarshaler& m : table.marshalers)
        if (m.iid == iid)
            return &m;
    return nullptr;
}

std::vector<const InterfaceMarshaler*> RegisteredMarshalers() {
    MarshalerTable& table = Marshalers();
    std::lock_guard lock(table.mutex);
    std::vector<const InterfaceMarshaler*> all;
    for (const InterfaceMarshaler& m : table.marshalers)
        all.push_back(&m);
    return all;
}

namespace {

int HandleMemberCall(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    (void)error;
    const auto* binding = static_cast<const StubBinding*>(userdata);
    HRESULT hr = S_OK;
    sd_bus_message* reply = nullptr;
    int r = 0;
    // The call the member may take over, for the time it runs (members may be called from within one another).
    ServedCall served(m, &binding->object->Transport(), binding->member->out.empty());
    try {
        // The object may be made here, by its class object, on the first call.
        ComPtr<IUnknown> target = binding->object->Query(binding->marshaler->iid, &hr);
        if (!target)
            return ReplyWithResult(m, hr);
        r = binding->member->dispatch(target.get(), m, &reply, &hr);
    } catch (...) {
        if (reply)
            sd_bus_message_unref(reply);
        if (served.Taken())
            return 1;
        return ReplyWithResult(m, RPC_E_SERVERFAULT);
    }
    if (served.Taken()) {
        if (reply)
            sd_bus_message_unref(reply);
        return 1; // answered later, by the DeferredReply
    }
    if (r < 0)
        return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_INVALID_ARGS, "Invalid arguments to %s",
                                          binding->member->name.c_str());
    if (FAILED(hr) || !reply) {
        if (reply)
            sd_bus_message_unref(reply);
        return ReplyWithResult(m, FAILED(hr) ? hr : E_UNEXPECTED);
    }
    r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r < 0 ? r : 1;
}

} // namespace

ExportedObject::ExportedObject(DBusTransport& transport, REFCLSID clsid)
    : m_transport(transport), m_clsid(clsid), m_points(std::make_unique<ServerPoints>(*this)) {}

ExportedObject::~ExportedObject() {
    m_points.reset();
    m_slots.clear();
}

void ExportedObject::SetActiveObject(IUnknown* object) {
    m_active = ComPtr<IUnknown>(object);
}

void ExportedObject::SetClassObject(IUnknown* classObject) {
    m_classObject = ComPtr<IUnknown>(classObject);
}

IUnknown* ExportedObject::Target(HRESULT* error) {
    if (m_active)
        return m_active.get();
    if (!m_created && m_classObject) {
        auto factory = ComPtr<IClassFactory>::QueryFrom(m_classObject.get());
        if (!factory) {
            *error = E_NOINTERFACE;
            return nullptr;
        }
        const HRESULT hr = factory->CreateInstance(nullptr, IID_IUnknown, m_created.outVoid());
        if (FAILED(hr)) {
            *error = hr;
            return nullptr;
        }
    }
    if (!m_created)
        *error = RPC_E_DISCONNECTED;
    return m_created.get();
}

ComPtr<IUnknown> ExportedObject::Query(REFIID iid, HRESULT* error) {
    IUnknown* target = Target(error);
    if (!target)
        return nullptr;
    ComPtr<IUnknown> result;
    const HRESULT hr = target->QueryInterface(iid, result.outVoid());
    if (FAILED(hr) || !result) {
        *error = FAILED(hr) ? hr : E_NOINTERFACE;
        return nullptr;
    }
    return result;
}

int ExportedObject::Attach(Connection& connection) {
    if (m_slots.count(&connection))
        return 0;
    static const sd_bus_vtable kTransportVTable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD_WITH_NAMES("OpenPeer", "", "", "h", SD_BUS_PARAM(channel), &HandleOpenPeer, 0),
        SD_BUS_METHOD_WITH_NAMES("QueryInterface", "s", SD_BUS_PARAM(iid), "b", SD_BUS_PARAM(supported),
                                 &HandleQueryInterface, 0),
        SD_BUS_METHOD(kReadDirectlyMember, "", "", &HandleReadDirectly, 0),
        SD_BUS_VTABLE_END,
    };
    std::vector<SlotPtr>& slots = m_slots[&connection];
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(connection.Bus(), &slot, kObjectPath, kTransportInterface, kTransportVTable, this);
    if (r < 0)
        return r;
    slots.emplace_back(slot);
    for (const InterfaceMarshaler* marshaler : RegisteredMarshalers()) {
        std::vector<StubBinding>* bindings = nullptr;
        for (auto& b : m_bindings)
            if (!b.empty() && b.front().marshaler == marshaler)
                bindings = &b;
        if (!bindings) {
            bindings = &m_bindings.emplace_back();
            for (const StubMember& member : marshaler->members)
                bindings->push_back({this, marshaler, &member});
        }
        if (bindings->empty())
            continue;
        slot = nullptr;
        r = sd_bus_add_object_vtable(connection.Bus(), &slot, kObjectPath, marshaler->busInterface.c_str(),
                                     marshaler->vtable.data(), bindings->data());
        if (r < 0)
            return r;
        slots.emplace_back(slot);
    }
    return m_points->Attach(connection);
}

void ExportedObject::AddSlot(Connection& connection, SlotPtr slot) {
    m_slots[&connection].push_back(std::move(slot));
}

std::vector<Connection*> ExportedObject::AttachedConnections() const {
    std::vector<Connection*> all;
    for (const auto& [connection, slots] : m_slots)
        all.push_back(connection);
    return all;
}

void ExportedObject::ConnectionClosed(Connection& connection) {
    m_points->ConnectionClosed(connection);
    m_slots.erase(&connection);
}

void ExportedObject::ClientLeft(const std::string& uniqueName) {
    m_points->ClientLeft(uniqueName);
}

int ExportedObject::HandleOpenPeer(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<ExportedObject*>(userdata);
    int clientFd = -1;
    const int r = self->m_transport.OpenPeerForClient(&clientFd);
    if (r < 0)
        return r;
    const int sent = sd_bus_reply_method_return(m, "h", clientFd); // the message holds its own duplicate
    ::close(clientFd);
    return sent;
}

int ExportedObject::HandleReadDirectly(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<ExportedObject*>(userdata);
    const int r = sd_bus_reply_method_return(m, "");
    if (r < 0)
        return r;
    sd_bus* bus = sd_bus_message_get_bus(m);
    for (const auto& [connection, slots] : self->m_slots)
        if (connection->Bus() == bus)
            connection->ReadDirectlyAfterThisMessage();
    return r;
}

int ExportedObject::HandleQueryInterface(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<ExportedObject*>(userdata);
    int r = 0;
    const auto iid = ReadInterfaceId(m, &r);
    if (!iid)
        return r;
    HRESULT hr = S_OK;
    const bool supported = static_cast<bool>(self->Query(*iid, &hr));
    if (!supported && hr != E_NOINTERFACE)
        return ReplyWithResult(m, hr);
    return sd_bus_reply_method_return(m, "b", static_cast<int>(supported));
}

} // namespace ole
