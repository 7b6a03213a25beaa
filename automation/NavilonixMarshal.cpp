#include "automation/NavilonixMarshal.h"

#include "platform/ole/Dispatch.h"
#include "platform/ole/Proxy.h"

#include <string>
#include <vector>

namespace {

const std::string& BusInterface() {
    static const std::string name = ole::InterfaceNameFor(IID_INavilonixAutomation);
    return name;
}

// Calls a method of the interface with the arguments it is applied to: TInvoker(object, "Name")(a, b).
class TInvoker {
public:
    TInvoker(ole::RemoteObject& object, const char* member) : m_object(object), m_member(member) {}
    template <class... A> HRESULT operator()(const A&... arguments) const {
        return m_object.Call(BusInterface(), m_member, arguments...);
    }

private:
    ole::RemoteObject& m_object;
    const char* m_member;
};

// Late-bound calls (GetIDsOfNames, Invoke) are answered here from the member table and carried as the typed
// members they name.
class TNavilonixAutomationProxy final : public ole::TypedDispatch<INavilonixAutomation, &NavilonixTypeDescription>,
                                        public ole::ProxyPart {
public:
    explicit TNavilonixAutomationProxy(ole::RemoteObject& object) : ProxyPart(object) {}
    ~TNavilonixAutomationProxy() override = default;

    IUnknown* Interface() override { return static_cast<INavilonixAutomation*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (riid == IID_IDispatch && ppvObject) {
            *ppvObject = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return m_object.QueryInterface(riid, ppvObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_object.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_object.Release(); }

#define NVX_PROXY_READ(slot, name, type)                                                                               \
    HRESULT STDMETHODCALLTYPE get_##name(type* Value) override {                                                       \
        return m_object.CallRead(BusInterface(), "get_" #name, Value);                                                 \
    }
#define NVX_PROXY_WRITE(slot, name, type)                                                                              \
    HRESULT STDMETHODCALLTYPE set_##name(type Value) override {                                                        \
        return m_object.Call(BusInterface(), "set_" #name, Value);                                                     \
    }
#define NVX_PROXY_METHOD(slot, name, params, args)                                                                     \
    HRESULT STDMETHODCALLTYPE name params override {                                                                   \
        return TInvoker(m_object, #name) args;                                                                         \
    }
    NAVILONIX_MEMBERS(NVX_PROXY_READ, NVX_PROXY_WRITE, NVX_PROXY_METHOD)
#undef NVX_PROXY_READ
#undef NVX_PROXY_WRITE
#undef NVX_PROXY_METHOD
};

std::unique_ptr<ole::ProxyPart> MakeProxy(ole::RemoteObject& object) {
    return std::make_unique<TNavilonixAutomationProxy>(object);
}

// The argument names of a slot's member, from the table.
std::vector<std::string_view> NamesOf(int slot) {
    std::vector<std::string_view> names;
    if (const TMemberInfo* m = FindNavilonixMember(slot))
        for (int i = 0; i < m->paramCount; ++i)
            names.push_back(m->params[i].name);
    return names;
}

std::vector<ole::StubMember> StubMembers() {
#define NVX_STUB_READ(slot, name, type)                                                                                \
    ole::MakeStubMember<&INavilonixAutomation::get_##name>("get_" #name, NamesOf(slot)),
#define NVX_STUB_WRITE(slot, name, type)                                                                               \
    ole::MakeStubMember<&INavilonixAutomation::set_##name>("set_" #name, NamesOf(slot)),
#define NVX_STUB_METHOD(slot, name, params, args)                                                                      \
    ole::MakeStubMember<&INavilonixAutomation::name>(#name, NamesOf(slot)),
    return {NAVILONIX_MEMBERS(NVX_STUB_READ, NVX_STUB_WRITE, NVX_STUB_METHOD)};
#undef NVX_STUB_READ
#undef NVX_STUB_WRITE
#undef NVX_STUB_METHOD
}

} // namespace

const ole::InterfaceMarshaler& NavilonixMarshaler() {
    static const ole::InterfaceMarshaler& registered = ole::RegisterInterfaceMarshaler(
        ole::InterfaceMarshaler{IID_INavilonixAutomation, BusInterface(), StubMembers(), &MakeProxy, {}});
    return registered;
}

void RegisterNavilonixMarshaling() {
    NavilonixMarshaler();
}
