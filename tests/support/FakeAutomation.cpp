#include "tests/support/FakeAutomation.h"

#include "platform/ole/Registry.h"

#include <cstdio>

namespace {

template <class T> FakeValue ZeroOf() {
    if constexpr (std::is_same_v<T, LONG>)
        return LONG{0};
    else if constexpr (std::is_same_v<T, double>)
        return 0.0;
    else
        return std::string();
}

LONG AsLong(const FakeValue& v) {
    if (const auto* l = std::get_if<LONG>(&v))
        return *l;
    if (const auto* d = std::get_if<double>(&v))
        return static_cast<LONG>(*d);
    return 0;
}

double AsDouble(const FakeValue& v) {
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* l = std::get_if<LONG>(&v))
        return *l;
    return 0.0;
}

std::string AsString(const FakeValue& v) {
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    return FakeValueText(v);
}

void Store(LONG* out, const FakeValue& v) {
    *out = AsLong(v);
}
void Store(double* out, const FakeValue& v) {
    *out = AsDouble(v);
}
void Store(BSTR* out, const FakeValue& v) {
    *out = SysAllocStringUtf8(AsString(v));
}
void Store(VARIANT* out, const FakeValue& v) {
    VariantInit(out);
    if (const auto* l = std::get_if<LONG>(&v)) {
        out->vt = VT_I4;
        out->lVal = *l;
    } else if (const auto* d = std::get_if<double>(&v)) {
        out->vt = VT_R8;
        out->dblVal = *d;
    } else if (const auto* s = std::get_if<std::string>(&v); s && !s->empty()) {
        out->vt = VT_BSTR;
        out->bstrVal = SysAllocStringUtf8(*s);
    }
}

FakeValue FromValue(LONG v) {
    return v;
}
FakeValue FromValue(double v) {
    return v;
}
FakeValue FromValue(BSTR v) {
    return BstrToUtf8(v);
}
bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string FakeValueText(const FakeValue& value) {
    if (const auto* l = std::get_if<LONG>(&value))
        return std::to_string(*l);
    if (const auto* d = std::get_if<double>(&value)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", *d);
        return buf;
    }
    return "\"" + std::get<std::string>(value) + "\"";
}

FakeAutomation::FakeAutomation() {
    // Every Advise and Unadvise is recorded; an Unadvise can be made to fail.
    m_point.gate = [this](bool advising, DWORD) {
        m_calls.emplace_back(advising ? "Advise" : "Unadvise");
        return !advising && m_unadviseFails ? CONNECT_E_NOCONNECTION : S_OK;
    };
}

ComPtr<FakeAutomation> FakeAutomation::Create() {
    return ComPtr<FakeAutomation>::Attach(new FakeAutomation());
}

FakeValue FakeAutomation::Convert(BSTR v) {
    return BstrToUtf8(v);
}

void FakeAutomation::Set(std::string_view property, FakeValue value) {
    m_values.insert_or_assign(std::string(property), std::move(value));
}

FakeValue FakeAutomation::Get(std::string_view property) const {
    const auto it = m_values.find(property);
    return it == m_values.end() ? FakeValue{LONG{0}} : it->second;
}

LONG FakeAutomation::Long(std::string_view property) const {
    return AsLong(Get(property));
}
std::string FakeAutomation::String(std::string_view property) const {
    return AsString(Get(property));
}

void FakeAutomation::Fail(std::string_view member, HRESULT code) {
    if (code == S_OK)
        m_failures.erase(std::string(member));
    else
        m_failures.insert_or_assign(std::string(member), code);
}

void FakeAutomation::OnCall(std::string_view member, Hook hook) {
    m_hooks.insert_or_assign(std::string(member), std::move(hook));
}

void FakeAutomation::SetFleet(std::vector<FakeGroup> groups) {
    m_groups = std::move(groups);
    m_hasFleet = true;
    m_groupIndex = m_groups.empty() ? 0 : 1;
    m_carIndex = 0;
}

void FakeAutomation::SetList(std::string_view countProperty, std::string_view indexProperty,
                             std::vector<FakeRecord> rows) {
    for (FakeList& list : m_lists) {
        if (list.countProperty == countProperty) {
            list.rows = std::move(rows);
            list.index = list.rows.empty() ? 0 : 1;
            return;
        }
    }
    FakeList list{std::string(countProperty), std::string(indexProperty), std::move(rows), 0};
    list.index = list.rows.empty() ? 0 : 1;
    m_lists.push_back(std::move(list));
}

std::vector<std::string> FakeAutomation::CallsOf(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : m_calls)
        if (StartsWith(c, prefix))
            out.push_back(c);
    return out;
}

HRESULT FakeAutomation::Failure(std::string_view member) const {
    const auto it = m_failures.find(member);
    return it == m_failures.end() ? S_OK : it->second;
}

bool FakeAutomation::Hooked(const char* member, std::vector<FakeValue>& arguments, FakeValue& value) {
    const auto it = m_hooks.find(std::string_view(member));
    if (it == m_hooks.end())
        return false;
    const Hook hook = it->second; // the hook may replace itself
    return hook(arguments, value);
}

FakeAutomation::FakeList* FakeAutomation::ListOfElement(std::string_view property) {
    for (FakeList& list : m_lists)
        for (const FakeRecord& row : list.rows)
            if (row.count(property))
                return &list;
    return nullptr;
}

FakeValue FakeAutomation::ReadValue(std::string_view property) {
    if (m_hasFleet) {
        const bool groupValid = m_groupIndex >= 1 && m_groupIndex <= static_cast<LONG>(m_groups.size());
        if (property == "GroupsNum")
            return static_cast<LONG>(m_groups.size());
        if (property == "GroupIndex")
            return m_groupIndex;
        if (property == "CarIndex")
            return m_carIndex;
        if (property == "GroupCarsNum")
            return groupValid ? static_cast<LONG>(m_groups[m_groupIndex - 1].cars.size()) : LONG{0};
        if (StartsWith(property, "Group")) {
            if (!groupValid)
                return m_values.count(property) ? Get(property) : FakeValue{std::string()};
            const FakeRecord& fields = m_groups[m_groupIndex - 1].fields;
            const auto it = fields.find(property);
            if (it != fields.end())
                return it->second;
        }
        if (StartsWith(property, "Car")) {
            static const std::vector<FakeRecord> noCars;
            const std::vector<FakeRecord>& cars = groupValid ? m_groups[m_groupIndex - 1].cars : noCars;
            if (m_carIndex >= 1 && m_carIndex <= static_cast<LONG>(cars.size())) {
                const auto it = cars[m_carIndex - 1].find(property);
                if (it != cars[m_carIndex - 1].end())
                    return it->second;
            }
        }
    }
    for (FakeList& list : m_lists) {
        if (property == list.countProperty)
            return static_cast<LONG>(list.rows.size());
        if (property == list.indexProperty)
            return list.index;
    }
    if (FakeList* list = ListOfElement(property)) {
        if (list->index >= 1 && list->index <= static_cast<LONG>(list->rows.size())) {
            const FakeRecord& row = list->rows[list->index - 1];
            const auto it = row.find(property);
            if (it != row.end())
                return it->second;
        }
    }
    const auto it = m_values.find(property);
    if (it != m_values.end())
        return it->second;
    return FakeValue{};
}

void FakeAutomation::WriteValue(std::string_view property, const FakeValue& value) {
    if (m_hasFleet && property == "GroupIndex") {
        m_groupIndex = AsLong(value);
        m_carIndex = 0;
        return;
    }
    if (m_hasFleet && property == "CarIndex") {
        m_carIndex = AsLong(value);
        return;
    }
    for (FakeList& list : m_lists) {
        if (property == list.indexProperty) {
            list.index = AsLong(value);
            return;
        }
    }
    if (FakeList* list = ListOfElement(property)) {
        if (list->index >= 1 && list->index <= static_cast<LONG>(list->rows.size()))
            list->rows[list->index - 1].insert_or_assign(std::string(property), value);
        return;
    }
    Set(property, value);
}

template <class T> HRESULT FakeAutomation::Read(const char* member, const char* property, T* out) {
    m_calls.emplace_back(member);
    if (!out)
        return E_POINTER;
    if (const HRESULT hr = Failure(member); FAILED(hr))
        return hr;
    std::vector<FakeValue> none;
    FakeValue value = ZeroOf<std::conditional_t<std::is_same_v<T, VARIANT>, BSTR, T>>();
    if (!Hooked(member, none, value)) {
        FakeValue stored = ReadValue(property);
        // An unset value reads as the type's zero.
        if (!(std::holds_alternative<LONG>(stored) && std::get<LONG>(stored) == 0 && !m_values.count(property)))
            value = stored;
    }
    Store(out, value);
    return S_OK;
}

template <class T> HRESULT FakeAutomation::Write(const char* member, const char* property, T value) {
    const FakeValue fake = FromValue(value);
    m_calls.push_back(std::string(member) + "(" + FakeValueText(fake) + ")");
    if (const HRESULT hr = Failure(member); FAILED(hr))
        return hr;
    std::vector<FakeValue> arguments{fake};
    FakeValue ignored;
    if (!Hooked(member, arguments, ignored))
        WriteValue(property, fake);
    return S_OK;
}

HRESULT FakeAutomation::Call(const char* member, std::vector<FakeValue> arguments) {
    std::string text = std::string(member) + "(";
    for (std::size_t i = 0; i < arguments.size(); ++i)
        text += (i ? ", " : "") + FakeValueText(arguments[i]);
    m_calls.push_back(text + ")");
    if (const HRESULT hr = Failure(member); FAILED(hr))
        return hr;
    FakeValue ignored;
    if (Hooked(member, arguments, ignored))
        return S_OK;
    const std::string_view name(member);
    if (m_hasFleet && name == "SetGroupIndexByFileName" && !arguments.empty()) {
        const std::string file = AsString(arguments[0]);
        for (std::size_t i = 0; i < m_groups.size(); ++i) {
            const auto it = m_groups[i].fields.find("GroupFileName");
            if (it != m_groups[i].fields.end() && AsString(it->second) == file) {
                m_groupIndex = static_cast<LONG>(i + 1);
                m_carIndex = 0;
            }
        }
    } else if (m_hasFleet && name == "SetCarIndexByDevice" && !arguments.empty()) {
        if (m_groupIndex >= 1 && m_groupIndex <= static_cast<LONG>(m_groups.size())) {
            const auto& cars = m_groups[m_groupIndex - 1].cars;
            for (std::size_t i = 0; i < cars.size(); ++i) {
                const auto it = cars[i].find("CarDevice");
                if (it != cars[i].end() && AsLong(it->second) == AsLong(arguments[0]))
                    m_carIndex = static_cast<LONG>(i + 1);
            }
        }
    }
    return S_OK;
}

void FakeAutomation::RaiseEvent(DISPID dispId, std::vector<FakeValue> arguments) {
    std::vector<Variant> args;
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
        Variant v;
        Store(v.get(), *it);
        args.push_back(v);
    }
    std::vector<VARIANT> block;
    for (Variant& v : args)
        block.push_back(*v.get()); // shallow: the Variants keep ownership
    DISPPARAMS params{block.empty() ? nullptr : block.data(), nullptr, static_cast<UINT>(block.size()), 0};
    m_point.Fire(dispId, &params);
}

void FakeAutomation::RegisterAsActive() {
    if (m_activeCookie == 0)
        ::RegisterActiveObject(static_cast<INavilonixAutomation*>(this), CLSID_NavilonixAutomation, ACTIVEOBJECT_STRONG,
                               &m_activeCookie);
}

void FakeAutomation::Revoke() {
    if (m_activeCookie != 0)
        ::RevokeActiveObject(std::exchange(m_activeCookie, 0), nullptr);
}

HRESULT FakeAutomation::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_INavilonixAutomation)
        *ppvObject = static_cast<INavilonixAutomation*>(this);
    else if (riid == IID_IConnectionPointContainer && m_offersEvents)
        *ppvObject = static_cast<IConnectionPointContainer*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG FakeAutomation::AddRef() {
    return ++m_refCount;
}

ULONG FakeAutomation::Release() {
    const ULONG count = --m_refCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT FakeAutomation::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return ole::MakeConnectionPointEnumerator({&m_point}, ppEnum);
}

HRESULT FakeAutomation::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    if (!m_offersEvents || riid != DIID_INavilonixAutomationEvents)
        return CONNECT_E_NOCONNECTION;
    *ppCP = &m_point;
    AddRef();
    return S_OK;
}
