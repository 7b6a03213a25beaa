// A scriptable in-process INavilonixAutomation for tests: values and fleets are settable, every call is recorded
// in order, any member can be made to fail with a chosen code, and events are raised on demand.
#pragma once

#include "automation/Navilonix_tlb.h"
#include "platform/ole/ComPtr.h"
#include "platform/ole/Connections.h"
#include "platform/ole/Dispatch.h"

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

using FakeValue = std::variant<LONG, double, std::string>;
// One element of a fake list: property name (without get_) -> value.
using FakeRecord = std::map<std::string, FakeValue, std::less<>>;

struct FakeGroup {
    FakeRecord fields;            // GroupName, GroupAddress, GroupContacts, GroupFileName
    std::vector<FakeRecord> cars; // CarDevice, CarModel, ... (any property beginning with "Car")
};

class FakeAutomation final : public ole::TypedDispatch<INavilonixAutomation, &NavilonixTypeDescription>,
                             public IConnectionPointContainer {
public:
    static ComPtr<FakeAutomation> Create();

    // --- scripting ---
    // Plain values of properties (by property name, without get_/set_). A write stores its value here too.
    void Set(std::string_view property, FakeValue value);
    FakeValue Get(std::string_view property) const;
    LONG Long(std::string_view property) const;
    std::string String(std::string_view property) const;
    // Makes a member (wrapper name: "get_GroupsNum", "set_GroupIndex", "StartComputing") fail with the code;
    // S_OK restores it.
    void Fail(std::string_view member, HRESULT code);
    // Runs before the member's default behaviour; return true to skip the default (for reads, write the result
    // into `value`). Arguments of methods arrive in order.
    using Hook = std::function<bool(std::vector<FakeValue>& arguments, FakeValue& value)>;
    void OnCall(std::string_view member, Hook hook);
    // A fleet behind the group and vehicle cursors (GroupsNum, GroupIndex, Group*, GroupCarsNum, CarIndex, Car*,
    // SetGroupIndexByFileName, SetCarIndexByDevice). Out-of-range indices read empty values.
    void SetFleet(std::vector<FakeGroup> groups);
    std::vector<FakeGroup>& Fleet() { return m_groups; }
    // A list behind a count and an index property, e.g. ("CheckPointsNum", "CheckPointIndex", rows); rows hold
    // the element properties. Writes to element properties change the current row.
    void SetList(std::string_view countProperty, std::string_view indexProperty, std::vector<FakeRecord> rows);

    // The calls received, in order: "get_GroupsNum", "set_GroupIndex(2)", "GoToCarLastPosition(\"a.car\", 5)".
    const std::vector<std::string>& Calls() const { return m_calls; }
    std::vector<std::string> CallsOf(std::string_view prefix) const;
    void ClearCalls() { m_calls.clear(); }

    // Events: raised synchronously to every advised sink (each AddRef'ed around the call).
    void RaiseEvent(DISPID dispId, std::vector<FakeValue> arguments = {});
    // Without a connection point the object refuses IConnectionPointContainer.
    void SetOffersEvents(bool offers) { m_offersEvents = offers; }
    bool SetUnadviseFails(bool fails) { return std::exchange(m_unadviseFails, fails); }
    std::size_t SinkCount() const { return m_point.Count(); }
    ULONG RefCount() const { return m_refCount; }

    // Registers this object as the running object of CLSID_NavilonixAutomation; Revoke undoes it.
    void RegisterAsActive();
    void Revoke();

    // --- IUnknown ---
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch comes from the member table's type description; Invoke reaches the members below.
    // --- IConnectionPointContainer ---
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
    ole::LocalConnectionPoint& EventPoint() { return m_point; }

    // --- INavilonixAutomation, expanded from the member table ---
#define NVX_FAKE_READ(slot, name, type)                                                                                \
    HRESULT STDMETHODCALLTYPE get_##name(type* Value) override {                                                       \
        return Read("get_" #name, #name, Value);                                                                       \
    }
#define NVX_FAKE_WRITE(slot, name, type)                                                                               \
    HRESULT STDMETHODCALLTYPE set_##name(type Value) override {                                                        \
        return Write("set_" #name, #name, Value);                                                                      \
    }
#define NVX_FAKE_METHOD(slot, name, params, args)                                                                      \
    HRESULT STDMETHODCALLTYPE name params override {                                                                   \
        return Call(#name, ToFake args);                                                                               \
    }
    NAVILONIX_MEMBERS(NVX_FAKE_READ, NVX_FAKE_WRITE, NVX_FAKE_METHOD)
#undef NVX_FAKE_READ
#undef NVX_FAKE_WRITE
#undef NVX_FAKE_METHOD

private:
    FakeAutomation();
    ~FakeAutomation() = default;

    template <class... A> static std::vector<FakeValue> ToFake(A... args) {
        return {Convert(args)...};
    }
    static FakeValue Convert(LONG v) {
        return v;
    }
    static FakeValue Convert(double v) {
        return v;
    }
    static FakeValue Convert(BSTR v);

    template <class T> HRESULT Read(const char* member, const char* property, T* out);
    template <class T> HRESULT Write(const char* member, const char* property, T value);
    HRESULT Call(const char* member, std::vector<FakeValue> arguments);
    bool Hooked(const char* member, std::vector<FakeValue>& arguments, FakeValue& value);
    HRESULT Failure(std::string_view member) const;
    FakeValue ReadValue(std::string_view property);
    void WriteValue(std::string_view property, const FakeValue& value);

    struct FakeList {
        std::string countProperty;
        std::string indexProperty;
        std::vector<FakeRecord> rows;
        LONG index = 0;
    };
    FakeList* ListOfElement(std::string_view property);

    ULONG m_refCount = 1;
    std::map<std::string, FakeValue, std::less<>> m_values;
    std::map<std::string, HRESULT, std::less<>> m_failures;
    std::map<std::string, Hook, std::less<>> m_hooks;
    std::vector<std::string> m_calls;
    std::vector<FakeGroup> m_groups;
    bool m_hasFleet = false;
    LONG m_groupIndex = 0;
    LONG m_carIndex = 0;
    std::vector<FakeList> m_lists;
    ole::LocalConnectionPoint m_point{*this, DIID_INavilonixAutomationEvents};
    DWORD m_activeCookie = 0;
    bool m_offersEvents = true;
    bool m_unadviseFails = false;
};

std::string FakeValueText(const FakeValue& value);

// The class object of a fake that outlives its use (on the stack or in a fixture): hands out the fake, refuses
// aggregation, and counts how often it was asked.
class FakeFactory final : public IClassFactory {
public:
    explicit FakeFactory(ComPtr<FakeAutomation> object) : m_object(std::move(object)) {}
    std::atomic<int> made{0};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown && riid != IID_IClassFactory)
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ++made;
        return static_cast<INavilonixAutomation*>(m_object.get())->QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(int) override { return S_OK; }

private:
    ComPtr<FakeAutomation> m_object;
};
